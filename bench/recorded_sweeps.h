// Every sweep the fits of a whole run take, noted for the tools that time
// them again apart from the run: its base and the ladder it reads off.
#ifndef PROPSMOOTH_BENCH_RECORDED_SWEEPS_H_
#define PROPSMOOTH_BENCH_RECORDED_SWEEPS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/types.h"

namespace propsmooth {

struct RecordedSweep {
  double Base = 0.0;
  std::size_t Ladder = 0;  // into RecordedSweeps::Ladders
};

struct RecordedSweeps {
  // Each group's three ladders once: its fit's steps all sweep them.
  std::vector<std::vector<std::int64_t>> Ladders;
  std::vector<RecordedSweep> Sweeps;
  double FitSeconds = 0.0;  // the fits' own CPU time, on one thread

  std::int64_t Terms(const RecordedSweep& sweep) const {
    const std::vector<std::int64_t>& counts = Ladders[sweep.Ladder];
    return counts.empty() ? 0 : counts.back();
  }
};

/// Makes every group's fit as propsmooth does with default settings, on
/// this thread, and notes each sweep its steps take.
RecordedSweeps RecordSweeps(const RecordTable& table);

/// For a tool run as `TOOL FILE [ROUNDS]`: records the sweeps of FILE's
/// run and sets `rounds` (`default_rounds` where none is given). Where the
/// arguments or the file are wrong, says so on stderr under the tool's
/// name and returns false with the exit status in `status`.
bool RecordSweepsOfArguments(int argc, char** argv, const char* tool, int default_rounds,
                             RecordedSweeps* recorded, int* rounds, int* status);

/// This thread's CPU time: on a shared machine, wall time would count the
/// time other processes ran as well.
double ThreadSeconds();

}  // namespace propsmooth

#endif  // PROPSMOOTH_BENCH_RECORDED_SWEEPS_H_
