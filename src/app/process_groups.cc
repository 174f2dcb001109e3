#include "app/process_groups.h"

#include <string>

#include "estimate/estimate_groups.h"
#include "strict_output/log_report.h"

namespace propsmooth {

bool ProcessGroups(const RunSettings& settings, RecordTable* table, OutputFile* log) {
  const GroupPlan plan = PlanGroups(*table);
  std::string text;
  return EstimateGroups(
      settings, plan, table, [&](std::size_t first, std::span<const GroupSummary> summaries) {
        text.clear();
        for (std::size_t i = 0; i < summaries.size(); ++i) {
          const GroupSpan& group = plan.Groups[first + i];
          const auto count = static_cast<std::int64_t>(group.End - group.Begin);
          if (plan.SingleGroup) {
            WriteGroupSection(count, summaries[i], settings.Eps, &text);
          } else {
            WriteUnitSection(group.Unit, count, summaries[i], settings.Eps, &text);
          }
        }
        log->Write(text);
        return log->ok();
      });
}

}  // namespace propsmooth
