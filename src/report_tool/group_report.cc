#include "report_tool/group_report.h"

#include <algorithm>
#include <cstdint>

#include "report/log_report.h"
#include "report/number_format.h"
#include "report_tool/funnel_plot.h"
#include "report_tool/histogram_plot.h"
#include "report_tool/html_text.h"
#include "report_tool/region_table.h"
#include "report_tool/shrinkage_plot.h"

namespace propsmooth {
namespace {

void AppendPriorNote(const GroupView& group, const GroupPrior& prior, double level,
                     std::string* html) {
  html->append("<p class=\"prior-note\">Prior of the EB proportions in the shrinkage "
               "plot and of the credible intervals: <b>");
  html->append(PriorSourceText(prior.Source));
  html->append("</b>, Alpha = ");
  AppendFixed6(prior.Alpha, html);
  html->append(", Beta = ");
  AppendFixed6(prior.Beta, html);
  html->append(". Region i's posterior is Beta(Data1 + Alpha, Data2 \u2212 Data1 + Beta); "
               "the interval is its equal-tailed ");
  html->append(LevelText(level));
  html->append("% interval.</p>\n");
  if (prior.Source == PriorSource::kMeAfterFailedFit) {
    html->append("<p class=\"warn\">The maximum-likelihood fit failed after ");
    AppendInt(group.Summary.Iterations, html);
    html->append(" iterations (MLE *** above): the plots and intervals fall back to the "
                 "moment estimators.</p>\n");
  }
  if (!PriorIsBeta(prior)) {
    html->append("<p class=\"warn\">No credible intervals: ");
    html->append(prior.Alpha == 0.0 && prior.Beta == 0.0
                     ? "the moment estimators are 0 because the proportions do not vary, "
                       "so there is no prior."
                     : "Alpha or Beta is not positive, which no beta distribution has "
                       "(the proportions vary more than the binomial-beta model allows).");
    html->append("</p>\n");
  }
}

}  // namespace

std::string SectionId(std::size_t index) { return "group-" + std::to_string(index); }

void AppendGroupSection(const GroupView& group, std::size_t index, double eps,
                        PriorEstimator estimator, double level,
                        const SectionLimits& limits, std::string* html) {
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
  html->append("</pre>\n");

  const GroupPrior prior = ChoosePrior(group.Summary, estimator);
  const GroupShape shape = ClassifyGroup(group);
  if (shape == GroupShape::kSingleRegion) {
    html->append("<p class=\"shape\">A single region: one proportion has no spread, so "
                 "no prior can be estimated from it and there is nothing to plot.</p>\n");
  } else if (shape == GroupShape::kEqualProportions) {
    html->append("<p class=\"shape\">All ");
    html->append(std::to_string(count));
    html->append(" regions have the same proportion, ");
    AppendPercent(group.Regions.front().Proportion, html);
    html->append("%: with no spread no prior can be estimated and there is nothing to "
                 "plot.</p>\n");
  }
  AppendPriorNote(group, prior, level, html);
  if (shape == GroupShape::kPlots) {
    html->append("<div class=\"plots\">\n");
    AppendHistogram(group, id, html);
    AppendShrinkagePlot(group, prior, id, limits, html);
    AppendFunnelPlot(group, id, limits, html);
    html->append("</div>\n");
  }
  AppendRegionTable(group, prior, level, limits, html);
  html->append("</section>\n");
}

}  // namespace propsmooth
