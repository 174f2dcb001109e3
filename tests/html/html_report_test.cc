// The page's group index: rates in percent like the rest of the page, the
// ML prior as the log shows it.
#include "html/html_report.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

// The log's cells, then the size bound's: its figure, a dash where there is
// none, and words where its search did not converge (an unknown bound is
// not an absent one).
TEST(AppendIndexRow, ShowsTheLogsFiguresAndTheSizeBound) {
  GroupSummary summary;
  summary.Mean = 0.125;       // 12.5 %
  summary.Variance = 0.0025;  // 0.0025 * 100^2 = 25 square points
  summary.AlphaMe = 1.5;
  summary.BetaMe = 10.5;
  summary.Iterations = 4;
  const struct {
    const char* Name;
    std::optional<BetaPrior> Mle;
    const char* MleCells;
    std::optional<double> Bound;
    bool Unconverged;
    const char* FitCells;  // SE Beta's, the bound's, the log-likelihood's
  } cases[] = {
      {"fitted, bound found", BetaPrior{2.0, 14.0}, "<td>2.000000</td><td>14.000000</td>",
       8.76364758367761, false, "<td>\u2014</td><td>8.76365</td><td>-154.14</td>"},
      {"failed, no bound", std::nullopt, "<td>***</td><td>***</td>", std::nullopt, false,
       "<td>\u2014</td><td>\u2014</td><td>-154.14</td>"},
      {"bound not converged", BetaPrior{2.0, 14.0}, "<td>2.000000</td><td>14.000000</td>",
       std::nullopt, true, "<td>\u2014</td><td>not converged</td><td>-154.14</td>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    summary.Mle = c.Mle;
    GroupFit fit;
    fit.Fit.Label = FitLabel::kNewton;
    fit.Fit.LogLik = -154.14;
    fit.Fit.SizeLower95 = c.Bound;
    fit.Fit.SizeLower95Unconverged = c.Unconverged;
    std::string html;
    AppendIndexRow("Unit 7", 3, summary, fit, false, 0, &html);
    const std::string log_cells =
        std::string("<tr><td>Unit 7</td><td>3</td><td>12.500000</td>"
                    "<td>25.000000</td><td>1.500000</td><td>10.500000</td>") +
        c.MleCells + "<td>4</td>";
    EXPECT_EQ(html.substr(0, log_cells.size()), log_cells);
    EXPECT_NE(html.find(c.FitCells), std::string::npos) << html;
  }
}

}  // namespace
}  // namespace propsmooth
