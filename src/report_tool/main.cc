// propsmooth-report: an HTML page of the empirical Bayes estimates.
#include <cstdio>
#include <string_view>
#include <vector>

#include "report_tool/report_run.h"

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  return static_cast<int>(propsmooth::RunReport(args, stdout));
}
