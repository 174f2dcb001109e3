#include "stats/beta_binomial_likelihood.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "estimate/count_ladder.h"
#include "stats/log_gamma.h"
#include "stats/tail_sums.h"

namespace propsmooth {
namespace {

// The sum over a histogram of log(value!), value by value.
double SumOfLogFactorials(const CountHistogram& histogram) {
  double sum = 0.0;
  for (std::size_t j = 0; j < histogram.Values.size(); ++j) {
    sum = sum + static_cast<double>(histogram.Rows[j]) *
                    LogGamma(static_cast<double>(histogram.Values[j]) + 1.0);
  }
  return sum;
}

// Sizes up to this many are looked up rather than evaluated: three
// log-gamma calls per region were a tenth of a million-region fit's time.
constexpr std::int64_t kTabledFactorials = 1 << 14;

// log(k!) as LogGamma gives it, the same bits whether tabled or not.
double LogFactorial(std::int64_t k) {
  static const std::vector<double> table = [] {
    std::vector<double> values(kTabledFactorials);
    for (std::int64_t j = 0; j < kTabledFactorials; ++j) {
      values[static_cast<std::size_t>(j)] = LogGamma(static_cast<double>(j) + 1.0);
    }
    return values;
  }();
  if (k >= 0 && k < kTabledFactorials) return table[static_cast<std::size_t>(k)];
  return LogGamma(static_cast<double>(k) + 1.0);
}

double LogChoose(std::int64_t n, std::int64_t x) {
  // Integers: log-gamma is within a few ulps of each term, enough beside
  // the sums, and the terms do not depend on the prior.
  return LogFactorial(n) - LogFactorial(x) - LogFactorial(n - x);
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
  std::vector<std::int64_t> scratch;
  FillBetaBinomialData(records, indices, &data, &scratch);
  return data;
}

void FillBetaBinomialData(const RecordTable& records, std::span<const std::uint32_t> indices,
                          BetaBinomialData* data, std::vector<std::int64_t>* scratch) {
  data->Successes = 0;
  data->Failures = 0;
  data->LogChoose = 0.0;
  data->Regions = indices.size();
  data->Binomial = true;
  data->Success.Counts.clear();
  data->Success.AtLeast.clear();
  data->Failure.Counts.clear();
  data->Failure.AtLeast.clear();
  data->Size.Counts.clear();
  data->Size.AtLeast.clear();
  for (const std::uint32_t index : indices) {
    const RegionRecord& record = records[index];
    if (record.Data1 < 0 || record.Data1 > record.Data2) {
      data->Binomial = false;
      return;
    }
    data->Successes += record.Data1;
    data->Failures += std::int64_t{record.Data2} - record.Data1;
    data->LogChoose = data->LogChoose + LogChoose(record.Data2, record.Data1);
  }
  const auto record = [&](std::size_t k) -> const RegionRecord& { return records[indices[k]]; };
  FillCountTail(
      indices.size(), [&](std::size_t k) { return std::int64_t{record(k).Data1}; },
      &data->Success, scratch);
  FillCountTail(
      indices.size(),
      [&](std::size_t k) { return std::int64_t{record(k).Data2} - record(k).Data1; },
      &data->Failure, scratch);
  FillCountTail(
      indices.size(), [&](std::size_t k) { return std::int64_t{record(k).Data2}; }, &data->Size,
      scratch);
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

namespace {

bool OutsideModel(const BetaBinomialData& data, const ModelPoint& point) {
  return (data.Successes > 0 && !(point.Mean > 0.0)) ||
         (data.Failures > 0 && !(point.Complement > 0.0));
}

LikelihoodTerms OutsideTerms() {
  constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
  return {-std::numeric_limits<double>::infinity(), kNan, kNan, kNan, kNan, kNan};
}

// The derivatives from the three ladders' sums.
void SetDerivatives(const TailSums& success, const TailSums& failure, const TailSums& size,
                    LikelihoodTerms* terms) {
  terms->DMean = success.First - failure.First;
  terms->DTheta = (success.KFirst + failure.KFirst) - size.KFirst;
  terms->DMeanMean = -(success.Second + failure.Second);
  terms->DMeanTheta = -(success.KSecond - failure.KSecond);
  terms->DThetaTheta = -((success.KKSecond + failure.KKSecond) - size.KKSecond);
}

}  // namespace

double LogLikelihoodBase(const BetaBinomialData& data, const ModelPoint& point) {
  // log(mu + k theta) = log(mu) + log1p(k theta / mu): the log(mu) terms,
  // one per success, are gathered into one product.
  double loglik = data.LogChoose;
  if (data.Successes > 0) {
    loglik = loglik + static_cast<double>(data.Successes) * std::log(point.Mean);
  }
  if (data.Failures > 0) {
    loglik = loglik + static_cast<double>(data.Failures) * std::log(point.Complement);
  }
  return loglik;
}

LikelihoodTerms EvaluateLikelihood(const BetaBinomialData& data,
                                   const ModelPoint& point) {
  if (OutsideModel(data, point)) return OutsideTerms();
  const TailSums success = SweepTail<true>(data.Success, point.Mean, point.Theta);
  const TailSums failure = SweepTail<true>(data.Failure, point.Complement, point.Theta);
  const TailSums size = SweepTail<true>(data.Size, 1.0, point.Theta);
  LikelihoodTerms terms;
  terms.LogLik = ((LogLikelihoodBase(data, point) + success.Log) + failure.Log) - size.Log;
  SetDerivatives(success, failure, size, &terms);
  return terms;
}

LikelihoodTerms EvaluateDerivatives(const BetaBinomialData& data, const ModelPoint& point) {
  if (OutsideModel(data, point)) return OutsideTerms();
  LikelihoodTerms terms;
  SetDerivatives(SweepTail<true, false>(data.Success, point.Mean, point.Theta),
                 SweepTail<true, false>(data.Failure, point.Complement, point.Theta),
                 SweepTail<true, false>(data.Size, 1.0, point.Theta), &terms);
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
