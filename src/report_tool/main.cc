// propsmooth-report: an HTML page of the empirical Bayes estimates.
#include <cstdio>
#include <new>
#include <string_view>
#include <vector>

#include "driver/job_files.h"
#include "report_tool/report_run.h"

int main(int argc, char** argv) {
  try {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    return static_cast<int>(propsmooth::RunReport(args, stdout));
  } catch (const std::bad_alloc&) {
    return static_cast<int>(propsmooth::ReportOutOfMemory(stdout));
  }
}
