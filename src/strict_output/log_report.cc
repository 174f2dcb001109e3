#include "strict_output/log_report.h"

#include <charconv>

#include "strict_output/number_format.h"

namespace propsmooth {
namespace {

constexpr const char* kCrLf = "\r\n";

void AppendCount(std::int64_t value, std::string* out) {
  char text[24];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out->append(text, result.ptr);
}

void AppendLine(const char* label, std::optional<double> value, std::string* log) {
  log->append(label);
  AppendEstimate(value, log);
  // The missing mark stands apart from the line end.
  if (!value) log->push_back(' ');
  log->append(kCrLf);
}

// Lines 1 to 10 of a section, and line 11 without its line end.
void WriteSectionBody(std::int64_t region_count, const GroupSummary& s,
                      double eps, std::string* log) {
  log->append(" Number of regions: ");
  AppendCount(region_count, log);
  log->append(kCrLf);
  AppendLine(" Mean of Proportion : ", s.Mean, log);
  AppendLine(" Variance of Proportion : ", s.Variance, log);
  AppendLine(" Initial value of Alpha : ", s.AlphaStart, log);
  AppendLine(" Initial value of Beta  : ", s.BetaStart, log);
  AppendLine(" ME of Alpha : ", s.AlphaMe, log);
  AppendLine(" ME of Beta  : ", s.BetaMe, log);
  AppendLine(" MLE of Alpha : ", MleAlpha(s), log);
  AppendLine(" MLE of Beta  : ", MleBeta(s), log);
  log->append(" Error of convergence : {");
  AppendFixed6(s.ErrAlpha, log);
  log->append(", ");
  AppendFixed6(s.ErrBeta, log);
  log->append("}   (EPS: ");
  AppendFixed6(eps, log);
  log->append(")\r\n");
  log->append(" Iteration for convergence : ");
  AppendInt(s.Iterations, log);
}

// The title and credit lines end in "\n", as on the console; the log
// writes them with CR LF.
void AppendWithCrLf(const std::string& text, std::string* out) {
  for (const char c : text) {
    if (c == '\n') out->push_back('\r');
    out->push_back(c);
  }
}

}  // namespace

void WriteLogHeader(std::string* log) {
  AppendWithCrLf(kTitleLine, log);
  AppendWithCrLf(kCreditLine, log);
  log->append(kCrLf);
}

void WriteGroupSection(std::int64_t region_count, const GroupSummary& summary,
                       double eps, std::string* log) {
  WriteSectionBody(region_count, summary, eps, log);
  log->append(kCrLf);
}

void WriteUnitSection(std::int32_t unit, std::int64_t region_count,
                      const GroupSummary& summary, double eps, std::string* log) {
  log->append("For unit ");
  AppendInt(unit, log);
  log->append(" ..............................................\r\n");
  WriteSectionBody(region_count, summary, eps, log);
  log->append("\r\n\r\n");
}

}  // namespace propsmooth
