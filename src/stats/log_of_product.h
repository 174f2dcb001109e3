// A sum of log1p(x) over many terms x >= 0, taken as the logarithm of
// their product: one log1p for a run of terms instead of one a term, which
// was most of the fast likelihood's time.
//
// Why it is as exact as adding the terms' logarithms. The product of the
// factors 1 + x, less one, is kept as E, and each factor makes it
// (E + x) + E x: a sum of terms >= 0, so each of its three roundings moves
// it by at most u = 2^-53 relative and nothing cancels. By induction, after
// m factors the computed E is within (1 + u)^(2m) - 1 <= 2.01 m u of the
// real product less one (the factor's own x is taken as given; its
// argument's error is the caller's, as it was for log1p).
// log1p(E (1 + e)) - log1p(E) = log1p(E e / (1 + E)), at most |e| log1p(E)
// in size because E / (1 + E) <= log1p(E), so the sum keeps that relative
// error, plus the last log1p's own few ulps. A run is ended (its log1p
// added) before E could overflow, and a term too large for the product,
// negative or NaN takes its own log1p as before; the runs' logarithms, all
// >= 0 but for such terms, add u each. For the 63 terms of a short ladder
// segment that is within 140 u of the real sum, the same order as adding
// their log1p one by one (64 u); likelihood_bound.cc allows 2^-36.
#ifndef PROPSMOOTH_STATS_LOG_OF_PRODUCT_H_
#define PROPSMOOTH_STATS_LOG_OF_PRODUCT_H_

#include <cmath>

namespace propsmooth {

class LogOfProduct {
 public:
  /// Adds log1p(x).
  void Add(double x) {
    if (x >= 0.0 && x <= kLargestFactor) {
      excess_ = (excess_ + x) + excess_ * x;
      if (excess_ > kEndRunAbove) {
        logs_ = logs_ + std::log1p(excess_);
        excess_ = 0.0;
      }
    } else {
      logs_ = logs_ + std::log1p(x);
    }
  }

  /// The sum so far: +0 when every term was +0 (the binomial limit's
  /// log-likelihood is its base, bit for bit).
  double Sum() const { return excess_ == 0.0 ? logs_ + excess_ : logs_ + std::log1p(excess_); }

 private:
  // E below 2^900 times a factor below 2^64 + 1 stays below 2^965.
  static constexpr double kLargestFactor = 0x1p64;
  static constexpr double kEndRunAbove = 0x1p900;

  double logs_ = 0.0;    // the logarithms of the runs ended, and of lone terms
  double excess_ = 0.0;  // E: the product of this run's 1 + x, less one
};

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_LOG_OF_PRODUCT_H_
