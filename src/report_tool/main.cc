// propsmooth-report: an HTML page of the empirical Bayes estimates.
#include <cstdio>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "driver/job_files.h"
#include "estimate/simd_targets.h"
#include "report_tool/report_run.h"

int main(int argc, char** argv) {
  // Before any thread starts and before anything is read or written.
  if (std::string error; !propsmooth::CapSimdTargetsFromEnvironment(&error)) {
    std::fprintf(stderr, "propsmooth-report: %s\n", error.c_str());
    return 1;
  }
  try {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    return static_cast<int>(propsmooth::RunReport(args, stdout));
  } catch (const std::bad_alloc&) {
    return static_cast<int>(propsmooth::ReportOutOfMemory(stdout));
  }
}
