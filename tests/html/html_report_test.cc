// The page's group index: rates in percent like the rest of the page, the
// ML prior as the log shows it.
#include "html/html_report.h"

#include <string>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

TEST(AppendIndexRow, ShowsRatesInPercentAndAFailedFitAsTheLogDoes) {
  GroupSummary summary;
  summary.Mean = 0.125;       // 12.5 %
  summary.Variance = 0.0025;  // 0.0025 * 100^2 = 25 square points
  summary.AlphaMe = 1.5;
  summary.BetaMe = 10.5;
  summary.Iterations = 4;
  const struct {
    const char* name;
    bool fitted;
    const char* mle_cells;
  } cases[] = {
      {"fitted", true, "<td>2.000000</td><td>14.000000</td>"},
      {"failed", false, "<td>***</td><td>***</td>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.fitted) {
      summary.Mle = BetaPrior{2.0, 14.0};
    } else {
      summary.Mle.reset();
    }
    std::string html;
    AppendIndexRow("Unit 7", 3, summary, GroupFit(), false, 0, &html);
    const std::string log_cells =
        std::string("<tr><td>Unit 7</td><td>3</td><td>12.500000</td>"
                    "<td>25.000000</td><td>1.500000</td><td>10.500000</td>") +
        c.mle_cells + "<td>4</td>";
    EXPECT_EQ(html.substr(0, log_cells.size()), log_cells);

  }
}

// The size bound's cell: its figure, a dash where there is none, and words
// where its search did not converge (an unknown bound is not an absent one).
TEST(AppendIndexRow, SaysWhenTheSizeBoundDidNotConverge) {
  const struct {
    const char* Name;
    std::optional<double> Bound;
    bool Unconverged;
    const char* Cells;  // SE Beta's, the bound's, the log-likelihood's
  } cases[] = {
      {"found", 8.76364758367761, false, "<td>\u2014</td><td>8.76365</td><td>-154.14</td>"},
      {"none", std::nullopt, false, "<td>\u2014</td><td>\u2014</td><td>-154.14</td>"},
      {"not converged", std::nullopt, true,
       "<td>\u2014</td><td>not converged</td><td>-154.14</td>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    GroupFit fit;
    fit.Fit.Label = FitLabel::kNewton;
    fit.Fit.LogLik = -154.14;
    fit.Fit.SizeLower95 = c.Bound;
    fit.Fit.SizeLower95Unconverged = c.Unconverged;
    std::string html;
    AppendIndexRow("Unit 7", 3, GroupSummary(), fit, false, 0, &html);
    EXPECT_NE(html.find(c.Cells), std::string::npos) << html;
  }
}

}  // namespace
}  // namespace propsmooth
