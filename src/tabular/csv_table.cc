#include "tabular/csv_table.h"

#include <charconv>
#include <cmath>

#include "strict_output/number_format.h"

namespace propsmooth {
namespace {

void AppendWhole(std::int32_t value, std::string* out) {
  char text[16];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out->append(text, result.ptr);
}

void AppendScaled(double value, const FigureScale& scale, std::string* out) {
  if (scale.Percent) {
    AppendShortest(PercentOf(value), out);
  } else if (scale.Per != 1.0) {
    AppendShortest(scale.Per * value, out);
  } else {
    AppendShortest(value, out);
  }
}

}  // namespace

void AppendCsvField(std::string_view text, std::string* out) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out->append(text);
    return;
  }
  out->push_back('"');
  for (const char c : text) {
    if (c == '"') out->push_back('"');
    out->push_back(c);
  }
  out->push_back('"');
}

void AppendShortest(double value, std::string* out) {
  if (!std::isfinite(value)) return;
  // The shortest form of a double takes at most 24 characters.
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out->append(text, result.ptr);
}

void AppendFigureCells(const RecordFigures& figures, const FigureScale& scale, bool threshold,
                       std::string* out) {
  for (const double value : {figures.Raw, figures.EbMe, figures.Eb, figures.Lower, figures.Upper}) {
    out->push_back(',');
    AppendScaled(value, scale, out);
  }
  out->push_back(',');
  AppendCsvField(figures.PriorName, out);
  if (threshold) {
    for (const double probability : {figures.PExceed, figures.Pep, figures.QValue}) {
      out->push_back(',');
      AppendShortest(probability, out);
    }
    out->push_back(',');
    if (figures.Discovery) out->append(*figures.Discovery ? "true" : "false");
  }
}

void AppendLocalCells(const LocalFigures& figures, const FigureScale& scale, std::string* out) {
  out->push_back(',');
  out->append(std::to_string(figures.Neighbours));
  for (const double value : {figures.EbMe, figures.Eb, figures.Lower, figures.Upper}) {
    out->push_back(',');
    AppendScaled(value, scale, out);
  }
  out->push_back(',');
  AppendCsvField(figures.Prior, out);
}

void AppendCsvPairCells(const RegionRecord& record, const CsvRowContext& context,
                        const CredibleBounds& bounds, std::string* out) {
  // A missing figure is NaN, which AppendShortest leaves empty.
  const RecordFigures figures = FiguresOf(record, context, bounds);
  out->push_back(',');
  AppendWhole(record.Data1, out);
  out->push_back(',');
  AppendWhole(record.Data2, out);
  AppendFigureCells(figures, FigureScale{context.Percent, 1.0}, context.Threshold.has_value(),
                    out);
  out->push_back('\n');
}

void AppendCsvRow(const RegionRecord& record, const CsvRowContext& context,
                  const CredibleBounds& bounds, std::string* out) {
  AppendCsvField(context.Group, out);
  out->push_back(',');
  AppendCsvField(context.Id, out);
  AppendCsvPairCells(record, context, bounds, out);
}

}  // namespace propsmooth
