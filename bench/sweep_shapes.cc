// Whether a sweep's shape favours one SIMD target over another:
// `propsmooth_sweep_shapes FILE [ROUNDS]` notes every sweep propsmooth's
// fits of FILE take, sorts them by shape (the largest count to a power of
// two, the base to a power of ten), and times each shape's sweeps on every
// target family the CPU has, the families in turn within each round, best
// of the rounds, in CPU time on one thread. A shape where a lesser target
// is clearly faster is where the dispatch should pick by shape; the last
// line says what picking the faster for every shape would save.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "estimate/simd_targets.h"
#include "estimate/sweep.h"
#include "recorded_sweeps.h"

namespace propsmooth {
namespace {

// The families a cap can select, best first within each architecture; the
// other architecture's caps leave only the portable target, not timed.
constexpr const char* kFamilies[] = {"avx512", "avx2", "sse4", "sve2", "sve", "neon"};

std::vector<std::string> FamiliesHere() {
  std::vector<std::string> here;
  std::string last;
  for (const char* family : kFamilies) {
    CapSimdTargets(family);
    const std::string target = ActiveSimdTarget();
    if (target != last && target != "EMU128" && target != "SCALAR") here.emplace_back(family);
    last = target;
  }
  return here;
}

struct Shape {
  int TermsLog2;
  int BaseLog10;
  bool operator<(const Shape& other) const {
    return std::pair(TermsLog2, BaseLog10) < std::pair(other.TermsLog2, other.BaseLog10);
  }
};

}  // namespace
}  // namespace propsmooth

int main(int argc, char** argv) {
  using namespace propsmooth;  // NOLINT(build/namespaces): a tool's main
  RecordedSweeps recorded;
  int rounds = 0;
  int status = 0;
  if (!RecordSweepsOfArguments(argc, argv, "propsmooth_sweep_shapes", 3, &recorded, &rounds,
                               &status)) {
    return status;
  }
  std::map<Shape, std::vector<const RecordedSweep*>> shapes;
  for (const RecordedSweep& sweep : recorded.Sweeps) {
    const std::int64_t terms = recorded.Terms(sweep);
    if (terms == 0 || !(sweep.Base > 0.0)) continue;
    const Shape shape{static_cast<int>(std::floor(std::log2(static_cast<double>(terms)))),
                      static_cast<int>(std::floor(std::log10(sweep.Base)))};
    shapes[shape].push_back(&sweep);
  }
  const std::vector<std::string> families = FamiliesHere();
  std::printf("%-8s %-8s %9s %10s", "terms", "base", "sweeps", "terms/sw");
  for (const std::string& family : families) std::printf(" %9s", (family + "_ns").c_str());
  std::printf("  faster\n");
  std::vector<double> totals(families.size(), 0.0);
  double best_total = 0.0;
  std::vector<double> first;
  std::vector<double> second;
  for (const auto& [shape, sweeps] : shapes) {
    std::vector<double> best(families.size(), 1e300);
    for (int round = 0; round < rounds; ++round) {
      for (std::size_t f = 0; f < families.size(); ++f) {
        CapSimdTargets(families[f]);
        const double start = ThreadSeconds();
        for (const RecordedSweep* sweep : sweeps) {
          SweepInnerSums(recorded.Ladders[sweep->Ladder], sweep->Base, &first, &second);
        }
        best[f] = std::min(best[f], ThreadSeconds() - start);
      }
    }
    std::int64_t terms = 0;
    for (const RecordedSweep* sweep : sweeps) terms += recorded.Terms(*sweep);
    const std::size_t fastest =
        static_cast<std::size_t>(std::min_element(best.begin(), best.end()) - best.begin());
    for (std::size_t f = 0; f < families.size(); ++f) totals[f] += best[f];
    best_total += best[fastest];
    // Shapes of a few sweeps time too briefly to compare; they still count
    // in the totals.
    if (sweeps.size() < 1000) continue;
    std::printf("2^%-6d 1e%-6d %9zu %10.0f", shape.TermsLog2, shape.BaseLog10, sweeps.size(),
                static_cast<double>(terms) / static_cast<double>(sweeps.size()));
    for (const double seconds : best) {
      std::printf(" %9.1f", 1e9 * seconds / static_cast<double>(sweeps.size()));
    }
    std::printf("  %s%s\n", families[fastest].c_str(),
                best[fastest] < 0.9 * best[0] ? " (by over 10%)" : "");
  }
  std::printf("all sweeps:");
  for (std::size_t f = 0; f < families.size(); ++f) {
    std::printf(" %s %.3f s", families[f].c_str(), totals[f]);
  }
  std::printf("; the faster for every shape %.3f s\n", best_total);
  return 0;
}
