// The division floor of a whole run: `propsmooth_run_floor FILE` makes the
// fits propsmooth makes of FILE's groups (default settings), notes every
// sweep they take (its base and its number of terms), and times the
// divisions of those sweeps alone, on one thread, in CPU time, best of a
// few rounds.
// A run's CPU time over this floor says how much of it goes to anything
// but the divisions no exact sum can avoid: planning, term-by-term
// stretches, grouping, reading and writing. PROPSMOOTH_SIMD caps the
// floor's target as it caps the program's.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "division_floor.h"
#include "estimate/simd_targets.h"
#include "recorded_sweeps.h"

namespace propsmooth {
namespace {

double TimeFloor(const RecordedSweeps& recorded, double* checksum) {
  const double start = ThreadSeconds();
  double total = 0.0;
  for (const RecordedSweep& sweep : recorded.Sweeps) {
    const ReciprocalSums sums = SweepDivisionFloor(sweep.Base, recorded.Terms(sweep));
    total += sums.First + sums.Second;
  }
  *checksum = total;
  return ThreadSeconds() - start;
}

}  // namespace
}  // namespace propsmooth

int main(int argc, char** argv) {
  using namespace propsmooth;  // NOLINT(build/namespaces): a tool's main
  std::string error;
  if (!CapSimdTargetsFromEnvironment(&error)) {
    std::fprintf(stderr, "propsmooth_run_floor: %s\n", error.c_str());
    return 1;
  }
  RecordedSweeps recorded;
  int rounds = 0;
  int status = 0;
  if (!RecordSweepsOfArguments(argc, argv, "propsmooth_run_floor", 5, &recorded, &rounds,
                               &status)) {
    return status;
  }
  std::int64_t terms = 0;
  for (const RecordedSweep& sweep : recorded.Sweeps) terms += recorded.Terms(sweep);
  double best = 0.0;
  double checksum = 0.0;
  for (int round = 0; round < rounds; ++round) {
    const double seconds = TimeFloor(recorded, &checksum);
    best = round == 0 ? seconds : std::min(best, seconds);
  }
  // One line, read by bench/run.sh: target, sweeps, terms, floor seconds,
  // the fits' own seconds (one thread, plans included), and a checksum
  // that keeps the divisions from being optimised away.
  std::printf("%s %zu %lld %.4f %.4f %.6g\n", DivisionFloorTarget().c_str(), recorded.Sweeps.size(),
              static_cast<long long>(terms), best, recorded.FitSeconds, checksum);
  return 0;
}
