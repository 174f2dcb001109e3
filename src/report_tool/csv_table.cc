#include "report_tool/csv_table.h"

#include <charconv>
#include <cmath>

#include "report_tool/html_text.h"

namespace propsmooth {
namespace {

void AppendWhole(std::int32_t value, std::string* out) {
  char text[16];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out->append(text, result.ptr);
}

void AppendProportion(double proportion, bool percent, std::string* out) {
  AppendShortest(percent ? PercentOf(proportion) : proportion, out);
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

void AppendCsvRow(const RegionRecord& record, const CsvRowContext& context,
                  const CredibleBounds& bounds, std::string* out) {
  AppendCsvField(context.Group, out);
  out->push_back(',');
  AppendCsvField(context.Id, out);
  out->push_back(',');
  AppendWhole(record.Data1, out);
  out->push_back(',');
  AppendWhole(record.Data2, out);
  out->push_back(',');
  AppendProportion(record.Proportion, context.Percent, out);
  out->push_back(',');
  AppendProportion(record.EbPropMe, context.Percent, out);
  out->push_back(',');
  const bool beta = context.Eb.has_value();
  if (beta) AppendProportion(*context.Eb, context.Percent, out);
  out->push_back(',');
  if (beta && bounds.Status == IntervalStatus::kOk) {
    AppendProportion(bounds.Lower, context.Percent, out);
    out->push_back(',');
    AppendProportion(bounds.Upper, context.Percent, out);
  } else {
    out->push_back(',');
  }
  out->push_back(',');
  if (beta) AppendCsvField(context.PriorName, out);
  if (const std::optional<RegionDiscovery>& cells = context.Threshold) {
    out->push_back(',');
    if (cells->Tails) AppendShortest(cells->Tails->Exceed, out);
    out->push_back(',');
    if (cells->Tails) AppendShortest(cells->Tails->AtMost, out);
    out->push_back(',');
    if (cells->QValue) AppendShortest(*cells->QValue, out);
    out->push_back(',');
    if (cells->QValue) out->append(cells->Discovery ? "true" : "false");
  }
  out->push_back('\n');
}

}  // namespace propsmooth
