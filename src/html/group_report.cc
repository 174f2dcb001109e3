#include "html/group_report.h"

#include <algorithm>
#include <cstdint>

#include "strict_output/log_report.h"
#include "strict_output/number_format.h"
#include "html/funnel_plot.h"
#include "html/histogram_plot.h"
#include "tabular/csv_table.h"
#include "html/html_text.h"
#include "html/ranked_plot.h"
#include "html/region_table.h"
#include "html/shrinkage_plot.h"

namespace propsmooth {
namespace {

// Where the group's prior comes from, named once: every figure of the
// section below the log takes it.
void AppendPriorName(const GroupFit& fit, std::string* html) {
  html->append("<b>");
  if (fit.Estimator == PriorEstimator::kMe) {
    // The fit's own label and boundary are the summary's: not this prior's.
    html->append("the moment estimators</b> (--estimator me)");
    return;
  }
  if (PoolsCompletely(fit)) {
    html->append("complete pooling</b>");
    // That boundary's words end by naming it.
    if (fit.Fit.Boundary == FitBoundary::kCompletePooling) return;
  } else {
    html->append(FitLabelText(fit.Fit.Label));
    html->append("</b> fit");
  }
  if (fit.Fit.Boundary != FitBoundary::kNone) {
    html->append(" (");
    AppendEscaped(FitBoundaryText(fit.Fit.Boundary), html);
    html->append(")");
  }
}

// The one note on the prior the section uses: the CSV table's, the
// summary's and the ranked plot's too.
void AppendPriorNote(const GroupFit& fit, double level, std::optional<double> threshold,
                     std::string* html) {
  html->append("<p class=\"prior-note\">Prior of the EB proportions, credible intervals "
               "and plots below (and of the CSV table): ");
  AppendPriorName(fit, html);
  if (UsesFittedPrior(fit) || UsesMomentPrior(fit)) {
    html->append(", Alpha = ");
    AppendFixed6(fit.Alpha, html);
    html->append(", Beta = ");
    AppendFixed6(fit.Beta, html);
    html->append(". Region i's posterior is Beta(Data1 + Alpha, Data2 \u2212 Data1 + Beta); "
                 "the interval is its equal-tailed ");
    html->append(LevelText(level));
    html->append("% interval.</p>\n");
  } else if (PoolsCompletely(fit)) {
    html->append(": every region gets the common rate ");
    AppendPercent(fit.PooledRate, html);
    html->append("% and the equal-tailed ");
    html->append(LevelText(level));
    html->append("% interval of its posterior Beta(sum x + 1/2, sum (n \u2212 x) + 1/2)."
                 "</p>\n<p class=\"warn\">These intervals understate the regions' spread: "
                 "they are the common rate's alone.</p>\n");
  } else if (fit.Estimator == PriorEstimator::kMe) {
    html->append(". No posterior: the moment estimators are not both positive, so they form "
                 "no beta prior.</p>\n");
  } else {
    html->append(". No posterior: this fit gives no prior, so the regions have no EB "
                 "proportion or interval.</p>\n");
  }
  if (fit.Fit.SizeLower95Unconverged) {
    html->append("<p class=\"note\">The search for the lower 95% bound of Alpha + Beta did "
                 "not converge: it is left empty.</p>\n");
  }
  if (threshold) {
    html->append("<p class=\"note\">Exceedance probabilities, PEPs and q-values at ");
    AppendPercent(*threshold, html);
    html->append("% treat Alpha and Beta as known: the prior's own uncertainty is not in "
                 "them. q-values are over every region of the file.</p>\n");
  }
}

}  // namespace

std::string SectionId(std::size_t index) { return "group-" + std::to_string(index); }

void AppendGroupSection(const GroupView& group, std::size_t index, double eps, double level,
                        std::optional<double> threshold, const SectionLimits& limits,
                        std::string* html) {
  const std::string id = SectionId(index);
  const auto count = static_cast<std::int64_t>(group.Regions.size());
  html->append("<section class=\"group\" id=\"");
  html->append(id);
  html->append("\">\n<h2>");
  AppendEscaped(GroupTitle(group), html);
  html->append(" <small>(");
  html->append(std::to_string(count));
  html->append(count == 1 ? " region" : " regions");
  html->append(")</small></h2>\n");

  // The log's own lines, so the two never disagree. A labelled group's
  // Unit is only its place in the data, which the log would show as a
  // number: the heading names it instead.
  std::string log;
  if (group.SingleGroup || group.Label) {
    WriteGroupSection(count, group.Summary, eps, &log);
  } else {
    WriteUnitSection(group.Unit, count, group.Summary, eps, &log);
  }
  log.erase(std::remove(log.begin(), log.end(), '\r'), log.end());
  while (!log.empty() && log.back() == '\n') log.pop_back();
  html->append("<pre class=\"log\">");
  AppendEscaped(log, html);
  html->append("</pre>\n<p class=\"note\">The lines above are propsmooth's own log, "
               "word for word (its MLE, *** where its fit failed); like the --tsv table, "
               "they keep propsmooth's figures. Everything below uses the prior named "
               "next.</p>\n");

  const GroupShape shape = ClassifyGroup(group);
  if (shape == GroupShape::kSingleRegion) {
    html->append("<p class=\"shape\">A single region: one proportion has no spread, so "
                 "no beta prior can be fitted to it and there is nothing to plot.</p>\n");
  } else if (shape == GroupShape::kEqualProportions) {
    html->append("<p class=\"shape\">All ");
    html->append(std::to_string(count));
    html->append(" regions have the same proportion, ");
    AppendPercent(group.Regions.front().Proportion, html);
    html->append("%: with no spread no beta prior can be fitted and there is nothing to "
                 "plot.</p>\n");
  }
  AppendPriorNote(group.Fit, level, threshold, html);
  if (shape == GroupShape::kPlots) {
    html->append("<div class=\"plots\">\n");
    AppendHistogram(group, id, html);
    AppendShrinkagePlot(group, id, limits, html);
    AppendFunnelPlot(group, id, limits, html);
    html->append("</div>\n");
    // Its own row: the three plots above keep theirs at common widths.
    html->append("<div class=\"ranked\">\n");
    AppendRankedPlot(group, level, threshold, id, limits, html);
    html->append("</div>\n");
  }
  AppendRegionTable(group, level, limits, html);
  html->append("</section>\n");
}

}  // namespace propsmooth
