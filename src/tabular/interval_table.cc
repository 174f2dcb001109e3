#include "tabular/interval_table.h"

#include "strict_output/number_format.h"

namespace propsmooth {

void AppendIntervalRow(const RegionRecord& record, PriorSource source,
                       const CredibleBounds& bounds, std::string* out) {
  AppendResultFields(record, out);
  out->push_back('\t');
  out->append(PriorSourceText(source));
  out->push_back('\t');
  if (bounds.Status == IntervalStatus::kOk) {
    AppendFixed6(100.0 * bounds.Lower, out);
    out->push_back('\t');
    AppendFixed6(100.0 * bounds.Upper, out);
    out->push_back('\t');
  } else {
    out->append("\t\t");
    out->append(IntervalStatusText(bounds.Status));
  }
}

void AppendTsvText(std::string_view text, std::string* out) {
  for (const char c : text) {
    switch (c) {
      case '\\': out->append("\\\\"); break;
      case '\t': out->append("\\t"); break;
      case '\n': out->append("\\n"); break;
      case '\r': out->append("\\r"); break;
      default: out->push_back(c); break;
    }
  }
}

}  // namespace propsmooth
