// Exact summation on a binade's grid: while a running sum of terms >= 0
// stays inside one binade, each term adds a whole number of the sum's
// ulps, and whole numbers add in any order. doc/exact-sums.md derives why,
// and every bound used here.
#ifndef PROPSMOOTH_ESTIMATE_BINADE_GRID_H_
#define PROPSMOOTH_ESTIMATE_BINADE_GRID_H_

#include <cstdint>

namespace propsmooth {

inline constexpr double kTwo52 = 0x1p52;
inline constexpr double kTwo53 = 0x1p53;

/// A sum s in the binade [2^e, 2^(e+1)) as Steps whole ulps u = 2^(e-52).
struct Grid {
  double Unit = 0.0;     // u
  double Inverse = 0.0;  // 1 / u, a power of two
  double Steps = 0.0;    // s / u, a whole number in [2^52, 2^53)
};

/// The grid of `sum`, or false when it is not a double far enough inside
/// the normal range for u and 1/u to be normal too.
bool MakeGrid(double sum, Grid* grid);

/// How a sweep may take its next terms a run at a time: both sums on their
/// grids, the first sum's terms as scaled quotients 1/(d*u1) (exactly the
/// rounded 1/d in ulps of the first sum), the second's scaled to its ulps.
struct RunPlan {
  Grid First;
  Grid Second;
  std::int64_t To = 0;           // the run ends before this k
  double ScaledBase = 0.0;       // base * u1
  double Unit = 0.0;             // u1
  double SecondScale = 0.0;      // u1^2 / u2
  bool EstimateSecond = false;   // second terms as q1*q1, checked with Margin
  double SecondMargin = 0.0;     // of the second term's ulps
  int Chunk = 0;                 // terms checked at a time
  bool EndsNearPowerOfTwo = false;  // To is where a sum nears its next binade
};

enum class RunStart {
  kReady,     // *plan is set
  kTooShort,  // a sum is too near its next power of two
  kNotTried,  // a scaled value would leave the normal range, or d <= 0
};

/// Terms checked at a time in a run, at most.
inline constexpr int kLongRunChunk = 256;

/// Plans a run over k in [from, last), where the running sums of 1/d and
/// 1/(d*d), d = base + k, stand at `sum1` and `sum2`.
RunStart PlanRun(double base, std::int64_t from, std::int64_t last, double sum1,
                 double sum2, RunPlan* plan);

}  // namespace propsmooth

#endif  // PROPSMOOTH_ESTIMATE_BINADE_GRID_H_
