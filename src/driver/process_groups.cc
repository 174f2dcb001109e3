#include "driver/process_groups.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/parallel.h"
#include "estimate/eb.h"
#include "input/grouping.h"
#include "report/log_report.h"

namespace propsmooth {
namespace {

// Groups estimated between two writes of the log; bounds the text held.
constexpr std::size_t kBatch = 4096;
// Below this many records the threads cost more than they save.
constexpr std::size_t kParallelRecords = 20000;

void AppendSection(const GroupPlan& plan, const GroupSpan& group,
                   const GroupSummary& summary, double eps, std::string* log) {
  const auto count = static_cast<std::int64_t>(group.End - group.Begin);
  if (plan.SingleGroup) {
    WriteGroupSection(count, summary, eps, log);
  } else {
    WriteUnitSection(group.Unit, count, summary, eps, log);
  }
}

// Estimates groups [first, last) of the plan, leaving their log sections in
// `sections` (indexed from `first`) and their results in the records. Each
// group touches only its own records and section, so workers need no lock.
void EstimateBatch(const RunSettings& settings, const GroupPlan& plan,
                   std::size_t first, std::size_t last, unsigned workers,
                   RecordTable* table, std::vector<std::string>* sections) {
  std::atomic<std::size_t> next{first};
  const bool allow_threads = workers == 1;
  const auto work = [&] {
    GroupWorkspace workspace;
    for (std::size_t g = next++; g < last; g = next++) {
      const GroupSpan& group = plan.Groups[g];
      GatherGroup(*table, plan, group, &workspace);
      EstimateGroup(settings, allow_threads, &workspace);
      std::string& section = (*sections)[g - first];
      section.clear();
      AppendSection(plan, group, workspace.Summary, settings.Eps, &section);
      ScatterGroupResults(workspace, plan, group, table);
    }
  };
  RunInParallel(workers, [&](std::size_t) { work(); });
}

}  // namespace

bool ProcessGroups(const RunSettings& settings, RecordTable* table,
                   OutputFile* log) {
  const GroupPlan plan = PlanGroups(*table);
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const unsigned workers =
      (plan.Groups.size() > 1 && table->size() >= kParallelRecords) ? cores : 1;
  std::vector<std::string> sections;
  std::string text;
  for (std::size_t first = 0; first < plan.Groups.size(); first += kBatch) {
    const std::size_t last = std::min(plan.Groups.size(), first + kBatch);
    sections.resize(last - first);
    EstimateBatch(settings, plan, first, last, workers, table, &sections);
    text.clear();
    for (std::size_t g = first; g < last; ++g) text += sections[g - first];
    log->Write(text);
    if (!log->ok()) return false;
  }
  return true;
}

}  // namespace propsmooth
