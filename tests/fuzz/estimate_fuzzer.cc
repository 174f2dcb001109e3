// The whole estimation of one group on arbitrary (Data1, Data2) lists and
// settings, and the printing of its results. Checks, besides the
// sanitizers:
// - each raw proportion is exactly Data1 / Data2 in double;
// - every summary and region field is finite; the ML prior and every
//   EbPropMle are empty exactly when the fit failed (the "***" rule);
// - Iterations lies within the iteration limit;
// - a group without spread (Variance 0) has moment estimators 0 and its raw
//   proportions as EB(ME) proportions;
// - the log section and the table rows print no "nan" or "inf", and "INF"
//   only for an infinite tolerance;
// - the step sums are bit for bit those of the literal double loops over
//   every region and every k, at the starting point and at the estimate;
// - the fit ends exactly as the plain Newton-Raphson loop, step by step to
//   the limit, ends (the fit may cut a cycle of steps short);
// - the estimate is the same when large groups may use threads.
//
// Input: one byte of switches, one byte each choosing Eps, the iteration
// limit, AlphaInit and BetaInit (from a table of telling values, or raw
// bits that follow), then 8 bytes per region. Counts are kept small enough
// for a step to stay fast, except with no step at all (limit 0 or below),
// where the full 32-bit range is allowed.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "common/types.h"
#include "estimate/eb.h"
#include "estimate/step_sums.h"
#include "strict_output/log_report.h"
#include "reference/reference.h"
#include "strict_output/result_table.h"
#include "fuzz_check.h"

namespace propsmooth {
namespace {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size)
      : data_(data), size_(size) {}
  std::size_t left() const { return size_ - pos_; }
  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::uint32_t Word() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
      value = (value << 8) | Byte();
    return value;
  }
  double RawDouble() {
    std::uint64_t bits = (std::uint64_t{Word()} << 32) | Word();
    double value = 0.0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

constexpr double kInf = std::numeric_limits<double>::infinity();

double PickEps(std::uint8_t choice, Input* in) {
  static constexpr double kTable[] = {0.00001, 0.0,    -1.0,   1e-12,
                                      0.5,     9999.0, 9999.5, kInf,
                                      -kInf,   5e-324, 1e300};
  constexpr std::size_t kCount = sizeof kTable / sizeof kTable[0];
  if (choice < kCount)
    return kTable[choice];
  // The option reader refuses only NaN for "-E".
  const double raw = in->RawDouble();
  return std::isnan(raw) ? 0.00001 : raw;
}

double PickStart(std::uint8_t choice, Input* in) {
  static constexpr double kTable[] = {-1.0,   0.0,    1e-300, 0.5,
                                      2.5,    1e6,    1e300,  -kInf,
                                      -1e300, 5e-324, 1e-8,   9999.0};
  constexpr std::size_t kCount = sizeof kTable / sizeof kTable[0];
  if (choice < kCount)
    return kTable[choice];
  // The option reader refuses NaN and +inf for "-A" and "-B".
  const double raw = in->RawDouble();
  return (std::isnan(raw) || raw == kInf) ? -1.0 : raw;
}

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

bool SameOptional(std::optional<double> a, std::optional<double> b) {
  return a.has_value() == b.has_value() && (!a || SameBits(*a, *b));
}

// Field by field: an optional's padding bytes carry no value.
bool SameSummary(const GroupSummary& t, const GroupSummary& s) {
  return SameBits(t.Mean, s.Mean) && SameBits(t.Variance, s.Variance) &&
         SameBits(t.AlphaStart, s.AlphaStart) && SameBits(t.BetaStart, s.BetaStart) &&
         SameBits(t.AlphaMe, s.AlphaMe) && SameBits(t.BetaMe, s.BetaMe) &&
         SameOptional(MleAlpha(t), MleAlpha(s)) && SameOptional(MleBeta(t), MleBeta(s)) &&
         SameBits(t.ErrAlpha, s.ErrAlpha) && SameBits(t.ErrBeta, s.ErrBeta) &&
         t.Iterations == s.Iterations;
}

void CheckStepSums(const std::vector<Region>& regions, double alpha,
                   double beta) {
  StepPlan plan = MakeStepPlan(regions, false);
  const StepSums fast = ComputeStepSums(plan, alpha, beta);
  const StepSums literal = LiteralStepSums(regions, alpha, beta);
  Check(SameBits(fast.GradAlpha, literal.GradAlpha) &&
            SameBits(fast.GradBeta, literal.GradBeta) &&
            SameBits(fast.HessAlpha, literal.HessAlpha) &&
            SameBits(fast.HessBeta, literal.HessBeta) &&
            SameBits(fast.HessMixed, literal.HessMixed),
        "step sums as the literal loops");
}

void CheckPrinted(const std::string& text, bool eps_infinite) {
  for (const char* word : {"nan", "NAN", "inf", "NaN", "Inf"}) {
    Check(text.find(word) == std::string::npos, "no nan or inf printed");
  }
  const std::size_t inf = text.find("INF");
  Check(inf == std::string::npos ||
            (eps_infinite && text.find("(EPS: ") + 7 == inf),
        "INF printed only as the tolerance");
}

}  // namespace
}  // namespace propsmooth

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace propsmooth;
  Input in(data, size);
  const std::uint8_t switches = in.Byte();
  const std::uint8_t eps_choice = in.Byte();
  const std::uint8_t limit_choice = in.Byte();
  const std::uint8_t alpha_choice = in.Byte();
  const std::uint8_t beta_choice = in.Byte();

  RunSettings settings;
  settings.Eps = PickEps(eps_choice, &in);
  // -8 .. 119, the default 20 at 0.
  settings.IterationLimit =
      static_cast<std::int32_t>((limit_choice + 28) % 128) - 8;
  settings.AlphaInit = PickStart(alpha_choice, &in);
  settings.BetaInit = PickStart(beta_choice, &in);

  // A step costs about three times the largest count; keep a whole fit
  // within a few hundred thousand terms.
  constexpr std::uint32_t kBudget = 1u << 16;
  const std::uint32_t count_limit =
      settings.IterationLimit <= 0
          ? 0x80000000u
          : kBudget / static_cast<std::uint32_t>(settings.IterationLimit) + 1;
  GroupWorkspace workspace;
  while (in.left() >= 8 && workspace.Regions.size() < 512) {
    Region region;
    region.Data1 =
        static_cast<std::int32_t>((in.Word() & 0x7fffffffu) % count_limit);
    region.Data2 =
        static_cast<std::int32_t>((in.Word() & 0x7fffffffu) % count_limit);
    if (region.Data2 == 0)
      region.Data2 = 1;
    workspace.Regions.push_back(region);
  }
  if (workspace.Regions.empty())
    return 0;

  EstimateGroup(settings, false, &workspace);
  const GroupSummary& s = workspace.Summary;

  for (const Region& r : workspace.Regions) {
    Check(SameBits(r.Proportion(),
                   static_cast<double>(r.Data1) / static_cast<double>(r.Data2)),
          "raw proportion is Data1 / Data2");
    Check(std::isfinite(r.EbPropMe), "EbPropMe is finite");
    if (s.Mle) {
      Check(r.EbPropMle && std::isfinite(*r.EbPropMle),
            "a converged fit gives finite EbPropMle");
    } else {
      Check(!r.EbPropMle, "a failed fit gives no EbPropMle");
    }
  }
  Check(std::isfinite(s.Mean) && std::isfinite(s.Variance) && s.Variance >= 0.0,
        "mean and variance are finite");
  Check(std::isfinite(s.AlphaMe) && std::isfinite(s.BetaMe),
        "moment estimators are finite");
  Check(std::isfinite(s.AlphaStart) && std::isfinite(s.BetaStart),
        "starting values are finite");
  Check(std::isfinite(s.ErrAlpha) && std::isfinite(s.ErrBeta),
        "corrections are finite");
  if (s.Mle) {
    Check(std::isfinite(s.Mle->Alpha) && std::isfinite(s.Mle->Beta),
          "ML estimates are finite");
    if (s.Iterations > 0)
      Check(s.Mle->Alpha > 0.0 && s.Mle->Beta > 0.0, "ML estimates are positive");
  }
  Check(
      s.Iterations >= 0 && s.Iterations <= std::max(settings.IterationLimit, 0),
      "iterations within the limit");
  if (s.Variance == 0.0) {
    Check(s.AlphaMe == 0.0 && s.BetaMe == 0.0,
          "no spread, no moment estimators");
    for (const Region& r : workspace.Regions) {
      Check(SameBits(r.EbPropMe, r.Proportion()),
            "no spread: EB(ME) is the raw proportion");
    }
  }

  std::string text;
  WriteUnitSection(7, static_cast<std::int64_t>(workspace.Regions.size()), s,
                   settings.Eps, &text);
  CheckPrinted(text, std::isinf(settings.Eps));
  Check((text.find("***") != std::string::npos) == !s.Mle,
        "the log shows *** exactly when the fit failed");
  for (const Region& r : workspace.Regions) {
    RegionRecord record;
    record.Data1 = r.Data1;
    record.Data2 = r.Data2;
    record.EbPropMe = r.EbPropMe;
    record.EbPropMle = r.EbPropMle;
    std::string row;
    AppendResultRow(record, &row);
    CheckPrinted(row, false);
    Check((row.find("***") != std::string::npos) == !s.Mle,
          "the row shows *** exactly when the fit failed");
  }

  std::int64_t terms = 0;
  for (const Region& r : workspace.Regions)
    terms += std::int64_t{r.Data1} + r.Data2;
  if (terms <= (std::int64_t{1} << 18)) {
    CheckStepSums(workspace.Regions, s.AlphaStart, s.BetaStart);
    if (s.Mle) CheckStepSums(workspace.Regions, s.Mle->Alpha, s.Mle->Beta);
  }
  if (settings.IterationLimit > 0) {
    StepPlan plan = MakeStepPlan(workspace.Regions, false);
    GroupSummary plain = s;
    PlainFit(
        settings,
        [&plan](double alpha, double beta) {
          return ComputeStepSums(plan, alpha, beta);
        },
        &plain);
    Check(SameSummary(plain, s), "the fit ends as the plain loop");
  }

  if ((switches & 1) != 0) {
    GroupWorkspace threaded;
    for (const Region& r : workspace.Regions) {
      Region copy;
      copy.Data1 = r.Data1;
      copy.Data2 = r.Data2;
      threaded.Regions.push_back(copy);
    }
    EstimateGroup(settings, true, &threaded);
    Check(SameSummary(threaded.Summary, s), "threads do not change the summary");
    for (std::size_t i = 0; i < threaded.Regions.size(); ++i) {
      Check(SameOptional(threaded.Regions[i].EbPropMle, workspace.Regions[i].EbPropMle) &&
                SameBits(threaded.Regions[i].EbPropMe,
                         workspace.Regions[i].EbPropMe),
            "threads do not change the results");
    }
  }
  return 0;
}
