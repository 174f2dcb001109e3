// The propsmooth command: empirical Bayes estimates of proportions.
#include <cstdio>
#include <ctime>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "common/platform.h"
#include "driver/job_files.h"
#include "driver/run.h"
#include "estimate/simd_targets.h"

namespace {

std::tm LocalNow() { return propsmooth::LocalTime(std::time(nullptr)); }

}  // namespace

int main(int argc, char** argv) {
  // Before any thread starts and before anything is read or written.
  if (std::string error; !propsmooth::CapSimdTargetsFromEnvironment(&error)) {
    std::fprintf(stderr, "propsmooth: %s\n", error.c_str());
    return 1;
  }
  try {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    return static_cast<int>(propsmooth::Run(args, LocalNow, stdout));
  } catch (const std::bad_alloc&) {
    // Files already written stay as they are.
    return static_cast<int>(propsmooth::ReportOutOfMemory(stdout));
  }
}
