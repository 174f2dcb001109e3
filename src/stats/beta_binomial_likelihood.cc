#include "stats/beta_binomial_likelihood.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "estimate/count_ladder.h"
#include "stats/euler_maclaurin.h"
#include "stats/log_gamma.h"

namespace propsmooth {
namespace {

// `tail` holds the distinct counts and the regions with each.
void AccumulateFromTop(CountTail* tail) {
  // From the top down: regions with this count or a larger one.
  for (std::size_t j = tail->AtLeast.size(); j-- > 1;) {
    tail->AtLeast[j - 1] += tail->AtLeast[j];
  }
}

CountTail MakeCountTail(const std::vector<Region>& regions, CountKind kind) {
  const CountLadder ladder = MakeCountLadder(regions, kind);
  CountTail tail;
  tail.Counts = ladder.Counts;
  tail.AtLeast.assign(ladder.Counts.size(), 0);
  for (const std::uint32_t rung : ladder.Rung) ++tail.AtLeast[rung];
  AccumulateFromTop(&tail);
  return tail;
}

CountTail MakeCountTail(const CountHistogram& histogram) {
  CountTail tail{histogram.Values, histogram.Rows};
  AccumulateFromTop(&tail);
  return tail;
}

// The tail of the counts count_of(k), k below `regions`, all at least 0:
// by a table over the counts where they are few to the regions, else by
// sorting them.
template <typename CountOf>
CountTail CountTailOf(std::size_t regions, const CountOf& count_of) {
  CountTail tail;
  std::int64_t largest = 0;
  for (std::size_t k = 0; k < regions; ++k) largest = std::max(largest, count_of(k));
  if (static_cast<std::uint64_t>(largest) <= 4 * regions + 64) {
    std::vector<std::int64_t> rows(static_cast<std::size_t>(largest) + 1, 0);
    for (std::size_t k = 0; k < regions; ++k) ++rows[static_cast<std::size_t>(count_of(k))];
    for (std::size_t count = 0; count < rows.size(); ++count) {
      if (rows[count] == 0) continue;
      tail.Counts.push_back(static_cast<std::int64_t>(count));
      tail.AtLeast.push_back(rows[count]);
    }
  } else {
    std::vector<std::int64_t> counts(regions);
    for (std::size_t k = 0; k < regions; ++k) counts[k] = count_of(k);
    std::sort(counts.begin(), counts.end());
    for (const std::int64_t count : counts) {
      if (tail.Counts.empty() || tail.Counts.back() != count) {
        tail.Counts.push_back(count);
        tail.AtLeast.push_back(0);
      }
      ++tail.AtLeast.back();
    }
  }
  AccumulateFromTop(&tail);
  return tail;
}

// The sum over a histogram of log(value!), value by value.
double SumOfLogFactorials(const CountHistogram& histogram) {
  double sum = 0.0;
  for (std::size_t j = 0; j < histogram.Values.size(); ++j) {
    sum = sum + static_cast<double>(histogram.Rows[j]) *
                    LogGamma(static_cast<double>(histogram.Values[j]) + 1.0);
  }
  return sum;
}

// Weighted sums over k of the terms in d = base + k theta.
struct TailSums {
  double Log = 0.0;       // log1p(k theta / base): log d less log(base)
  double First = 0.0;     // 1/d
  double KFirst = 0.0;    // k/d
  double Second = 0.0;    // 1/d^2
  double KSecond = 0.0;   // k/d^2
  double KKSecond = 0.0;  // k^2/d^2
};

// The segment k in [first, end) of a long ladder step: k = first + j, so
// d = b (1 + j t) with b = base + first theta and t = theta / b; every part
// is a sum of positive terms, none a difference.
template <bool kAll>
TailSums SumLongSegment(std::int64_t first, std::int64_t end, double base, double theta) {
  const auto a = static_cast<double>(first);
  const double b = base + a * theta;
  const double t = theta / b;
  const std::int64_t m = end - first;
  const UnitSums unit = SumUnitTerms<kAll>(m, t);
  const double b2 = b * b;
  TailSums segment;
  if constexpr (kAll) {
    segment.Log = static_cast<double>(m) * std::log1p(a * theta / base) + unit.Log;
  }
  segment.First = unit.H0 / b;
  segment.KFirst = a * segment.First + unit.H1 / b;
  segment.Second = unit.S0 / b2;
  segment.KSecond = a * segment.Second + unit.S1 / b2;
  segment.KKSecond = a * a * segment.Second + 2.0 * a * (unit.S1 / b2) + unit.S2 / b2;
  return segment;
}

// Each term counts once per region whose count is above k. A segment of k
// between two rungs is summed from 0.0 in k order (a long one in closed
// form, see SumLongSegment), then added with the number of regions that
// reach it, the segments in ascending order. Without `kAll`, only First
// and Second: all that the slope in mu and its derivative need.
template <bool kAll>
TailSums SweepTail(const CountTail& tail, double base, double theta) {
  TailSums total;
  std::int64_t k = 0;
  for (std::size_t j = 0; j < tail.Counts.size(); ++j) {
    TailSums segment;
    if (tail.Counts[j] - k >= kEulerMaclaurinShortest) {
      segment = SumLongSegment<kAll>(k, tail.Counts[j], base, theta);
      k = tail.Counts[j];
    }
    for (; k < tail.Counts[j]; ++k) {
      const auto kd = static_cast<double>(k);
      const double step = kd * theta;
      const double inverse = 1.0 / (base + step);
      segment.First = segment.First + inverse;
      segment.Second = segment.Second + inverse * inverse;
      if constexpr (kAll) {
        const double k_inverse = kd * inverse;
        segment.Log = segment.Log + std::log1p(step / base);
        segment.KFirst = segment.KFirst + k_inverse;
        segment.KSecond = segment.KSecond + k_inverse * inverse;
        segment.KKSecond = segment.KKSecond + k_inverse * k_inverse;
      }
    }
    const auto weight = static_cast<double>(tail.AtLeast[j]);
    total.Log = total.Log + weight * segment.Log;
    total.First = total.First + weight * segment.First;
    total.KFirst = total.KFirst + weight * segment.KFirst;
    total.Second = total.Second + weight * segment.Second;
    total.KSecond = total.KSecond + weight * segment.KSecond;
    total.KKSecond = total.KKSecond + weight * segment.KKSecond;
  }
  return total;
}

double LogChoose(std::int64_t n, std::int64_t x) {
  // Integers: log-gamma is within a few ulps of each term, enough beside
  // the sums, and the terms do not depend on the prior.
  return LogGamma(static_cast<double>(n) + 1.0) -
         LogGamma(static_cast<double>(x) + 1.0) -
         LogGamma(static_cast<double>(n - x) + 1.0);
}

}  // namespace

BetaBinomialData MakeBetaBinomialData(const std::vector<Region>& regions) {
  BetaBinomialData data;
  data.Regions = regions.size();
  for (const Region& region : regions) {
    if (region.Data1 < 0 || region.Data1 > region.Data2) {
      data.Binomial = false;
      return data;
    }
    data.Successes += region.Data1;
    data.Failures += std::int64_t{region.Data2} - region.Data1;
    data.LogChoose = data.LogChoose + LogChoose(region.Data2, region.Data1);
  }
  data.Success = MakeCountTail(regions, CountKind::kSuccess);
  data.Failure = MakeCountTail(regions, CountKind::kFailure);
  data.Size = MakeCountTail(regions, CountKind::kSize);
  return data;
}

BetaBinomialData MakeBetaBinomialData(const RecordTable& records,
                                      std::span<const std::uint32_t> indices) {
  BetaBinomialData data;
  data.Regions = indices.size();
  for (const std::uint32_t index : indices) {
    const RegionRecord& record = records[index];
    if (record.Data1 < 0 || record.Data1 > record.Data2) {
      data.Binomial = false;
      return data;
    }
    data.Successes += record.Data1;
    data.Failures += std::int64_t{record.Data2} - record.Data1;
    data.LogChoose = data.LogChoose + LogChoose(record.Data2, record.Data1);
  }
  const auto record = [&](std::size_t k) -> const RegionRecord& { return records[indices[k]]; };
  data.Success = CountTailOf(indices.size(), [&](std::size_t k) {
    return std::int64_t{record(k).Data1};
  });
  data.Failure = CountTailOf(indices.size(), [&](std::size_t k) {
    return std::int64_t{record(k).Data2} - record(k).Data1;
  });
  data.Size = CountTailOf(indices.size(), [&](std::size_t k) {
    return std::int64_t{record(k).Data2};
  });
  return data;
}

BetaBinomialData MakeBetaBinomialData(const CountHistogram& success,
                                      const CountHistogram& failure,
                                      const CountHistogram& size) {
  BetaBinomialData data;
  for (const std::int64_t rows : size.Rows) data.Regions += static_cast<std::size_t>(rows);
  // Every x and every n - x at least 0 is every region with 0 <= x <= n.
  if ((!success.Values.empty() && success.Values.front() < 0) ||
      (!failure.Values.empty() && failure.Values.front() < 0)) {
    data.Binomial = false;
    return data;
  }
  for (std::size_t j = 0; j < success.Values.size(); ++j) {
    data.Successes += success.Values[j] * success.Rows[j];
  }
  for (std::size_t j = 0; j < failure.Values.size(); ++j) {
    data.Failures += failure.Values[j] * failure.Rows[j];
  }
  data.LogChoose =
      (SumOfLogFactorials(size) - SumOfLogFactorials(success)) - SumOfLogFactorials(failure);
  data.Success = MakeCountTail(success);
  data.Failure = MakeCountTail(failure);
  data.Size = MakeCountTail(size);
  return data;
}

ModelPoint PointOfPrior(double alpha, double beta) {
  const double size = alpha + beta;
  return {alpha / size, beta / size, 1.0 / size};
}

ModelPoint PointOfCoordinates(double logit_mean, double log_size) {
  return {1.0 / (1.0 + std::exp(-logit_mean)), 1.0 / (1.0 + std::exp(logit_mean)),
          std::exp(-log_size)};
}

ModelPoint PooledPoint(const BetaBinomialData& data) {
  const auto successes = static_cast<double>(data.Successes);
  const auto failures = static_cast<double>(data.Failures);
  const double trials = successes + failures;
  return {successes / trials, failures / trials, 0.0};
}

LikelihoodTerms EvaluateLikelihood(const BetaBinomialData& data,
                                   const ModelPoint& point) {
  LikelihoodTerms terms;
  if ((data.Successes > 0 && !(point.Mean > 0.0)) ||
      (data.Failures > 0 && !(point.Complement > 0.0))) {
    constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
    terms = {-std::numeric_limits<double>::infinity(), kNan, kNan, kNan, kNan, kNan};
    return terms;
  }
  const TailSums success = SweepTail<true>(data.Success, point.Mean, point.Theta);
  const TailSums failure = SweepTail<true>(data.Failure, point.Complement, point.Theta);
  const TailSums size = SweepTail<true>(data.Size, 1.0, point.Theta);
  // log(mu + k theta) = log(mu) + log1p(k theta / mu): the log(mu) terms,
  // one per success, are gathered into one product.
  double loglik = data.LogChoose;
  if (data.Successes > 0) {
    loglik = loglik + static_cast<double>(data.Successes) * std::log(point.Mean);
  }
  if (data.Failures > 0) {
    loglik = loglik + static_cast<double>(data.Failures) * std::log(point.Complement);
  }
  terms.LogLik = ((loglik + success.Log) + failure.Log) - size.Log;
  terms.DMean = success.First - failure.First;
  terms.DTheta = (success.KFirst + failure.KFirst) - size.KFirst;
  terms.DMeanMean = -(success.Second + failure.Second);
  terms.DMeanTheta = -(success.KSecond - failure.KSecond);
  terms.DThetaTheta = -((success.KKSecond + failure.KKSecond) - size.KKSecond);
  return terms;
}

MeanSlope EvaluateMeanSlope(const BetaBinomialData& data, const ModelPoint& point) {
  const TailSums success = SweepTail<false>(data.Success, point.Mean, point.Theta);
  const TailSums failure = SweepTail<false>(data.Failure, point.Complement, point.Theta);
  return {success.First - failure.First, -(success.Second + failure.Second)};
}

LocalShape ShapeInLogitLogSize(const LikelihoodTerms& terms,
                               const ModelPoint& point) {
  // d mu / d logit = mu (1 - mu), its derivative mu (1 - mu)(1 - 2 mu);
  // d theta / d log size = -theta, its derivative theta.
  const double weight = point.Mean * point.Complement;
  const double theta = point.Theta;
  LocalShape shape;
  shape.LogLik = terms.LogLik;
  shape.Gradient[0] = weight * terms.DMean;
  shape.Gradient[1] = -theta * terms.DTheta;
  shape.Hessian[0][0] = weight * weight * terms.DMeanMean +
                        weight * (point.Complement - point.Mean) * terms.DMean;
  shape.Hessian[0][1] = -weight * theta * terms.DMeanTheta;
  shape.Hessian[1][0] = shape.Hessian[0][1];
  shape.Hessian[1][1] = theta * theta * terms.DThetaTheta + theta * terms.DTheta;
  return shape;
}

}  // namespace propsmooth
