// The propsmooth command: empirical Bayes estimates of proportions.
#include <cstdio>
#include <ctime>
#include <new>
#include <string_view>
#include <vector>

#include "driver/job_files.h"
#include "driver/run.h"

namespace {

std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    return static_cast<int>(propsmooth::Run(args, LocalNow, stdout));
  } catch (const std::bad_alloc&) {
    // Files already written stay as they are.
    return static_cast<int>(propsmooth::ReportOutOfMemory(stdout));
  }
}
