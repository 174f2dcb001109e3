#include "html/group_report.h"

#include <algorithm>
#include <cstdint>

#include "strict_output/log_report.h"
#include "strict_output/number_format.h"
#include "html/funnel_plot.h"
#include "html/histogram_plot.h"
#include "html/plot_view.h"
#include "tabular/csv_table.h"
#include "html/html_text.h"
#include "html/ranked_plot.h"
#include "html/region_table.h"
#include "html/shrinkage_plot.h"

namespace propsmooth {
namespace {

// The prior as a reader checks it: Beta(a, b) or Gamma(shape, rate), and
// its mean.
void AppendPriorFigures(const GroupView& group, const GroupFit& fit, std::string* html) {
  if (group.Rates) {
    html->append("Gamma prior: shape ");
    AppendShown(fit.Alpha, html);
    html->append(", rate ");
    AppendShown(fit.Beta, html);
    html->append(", mean ");
    html->append(ValueWords(TermsOf(true, group.Rates->Per, group.Rates->Exposure),
                            fit.Alpha / fit.Beta));
    return;
  }
  html->append("Beta(");
  AppendRounded(fit.Alpha, 4, html);
  html->append(", ");
  AppendRounded(fit.Beta, 4, html);
  html->append("), mean ");
  html->append(BriefPercentWords(fit.Alpha / (fit.Alpha + fit.Beta)));
  html->append("%");
}

// A region's posterior in the data's names: "Beta(R + a, N − R + b)" or
// "Gamma(x + a, E + b)", with the fitted prior's α and β or, for a region
// pooled on its own (`jeffreys`), Jeffreys' prior.
void AppendPosteriorForm(const GroupView& group, bool jeffreys, std::string* html) {
  const ColumnNames& columns = group.Columns;
  if (group.Rates) {
    html->append("Gamma(");
    AppendEscaped(columns.Count, html);
    html->append(jeffreys ? " + 1/2, " : " + \u03b1, ");
    AppendEscaped(columns.Size, html);
    html->append(jeffreys ? ")" : " + \u03b2)");
    return;
  }
  const std::string_view a = jeffreys ? "1/2" : "\u03b1";
  const std::string_view b = jeffreys ? "1/2" : "\u03b2";
  html->append("Beta(");
  AppendEscaped(columns.Count, html);
  html->append(" + ");
  html->append(a);
  html->append(", ");
  AppendEscaped(columns.Size, html);
  html->append(" \u2212 ");
  AppendEscaped(columns.Count, html);
  html->append(" + ");
  html->append(b);
  html->append(")");
}

// Why the fit pooled completely, as the summary's boundary says it.
const char* PoolingReason(FitBoundary boundary, bool rates) {
  if (rates) {
    return boundary == FitBoundary::kNoSuccesses
               ? "No events in the group"
               : "The regions differ no more than Poisson sampling alone would make them";
  }
  switch (boundary) {
    case FitBoundary::kNoSuccesses:
      return "No successes in the group";
    case FitBoundary::kAllSuccesses:
      return "Every trial in the group is a success";
    default:
      return "The regions differ no more than binomial sampling alone would make them";
  }
}

// Why there is no posterior, as the summary's boundary says it.
const char* MissingReason(const GroupFit& fit, bool rates) {
  if (rates) {
    if (fit.Estimator == PriorEstimator::kMe) {
      return "The moment estimators (--estimator me) find no spread beyond Poisson sampling, "
             "so they form no gamma prior";
    }
    switch (fit.Fit.Boundary) {
      case FitBoundary::kNoTrials:
        return "The group has no region";
      case FitBoundary::kNotBinomial:
        return "A count lies below 0 or an expected value is not above 0, so there is no "
               "Poisson likelihood";
      default:
        return "The fit did not converge";
    }
  }
  if (fit.Estimator == PriorEstimator::kMe) {
    return "The moment estimators (--estimator me) are not both positive, so they form no "
           "beta prior";
  }
  switch (fit.Fit.Boundary) {
    case FitBoundary::kNoPooling:
      return "Every region has all successes or none: the likelihood is highest with no "
             "pooling at all, so there is no prior to shrink towards";
    case FitBoundary::kNoTrials:
      return "The group has no trials";
    case FitBoundary::kNotBinomial:
      return "A count lies below 0 or above its size, so there is no binomial likelihood";
    default:
      return "The fit did not converge";
  }
}

// The one paragraph that says what the group's fit found and what its
// regions get: every figure of the section below follows from it, and it
// names the summary table's fit and boundary so that the two read alike.
void AppendOutcome(const GroupView& group, GroupShape shape, double level,
                   std::string* html) {
  const GroupFit& fit = group.Fit;
  const bool rates = group.Rates.has_value();
  const ValueTerms terms =
      rates ? TermsOf(true, group.Rates->Per, group.Rates->Exposure) : ValueTerms();
  const std::string level_text = LevelText(level);
  const bool unsmoothed = shape == GroupShape::kSingleRegion && PoolsCompletely(fit);
  html->append(unsmoothed || !HasPosterior(fit) ? "<p class=\"outcome warn\">"
                                                : "<p class=\"outcome\">");
  if (UsesMomentPrior(fit) || UsesFittedPrior(fit)) {
    html->append(UsesMomentPrior(fit) ? "Prior: the moment estimators (--estimator me), "
                 : fit.Fit.Label == FitLabel::kNewton
                     ? "Prior fitted by maximum likelihood (Newton's method): "
                     : "Prior fitted by maximum likelihood (a safeguarded search, where "
                       "Newton's method failed or fell short): ");
    AppendPriorFigures(group, fit, html);
    html->append(". Each region's EB " + terms.Singular + " is drawn from its raw " +
                 terms.Singular + " towards that mean, the more the smaller its ");
    AppendEscaped(group.Columns.Size, html);
    html->append("; its interval is the equal-tailed ");
    html->append(level_text);
    html->append("% interval of ");
    AppendPosteriorForm(group, false, html);
    html->append(".");
  } else if (unsmoothed) {
    html->append("<b>Not smoothed:</b> a single region has nothing to be pooled with, so "
                 "its EB " + terms.Singular + " is its raw " + terms.Singular + ", ");
    html->append(ValueWords(terms, fit.PooledRate));
    html->append(", and its interval the equal-tailed ");
    html->append(level_text);
    html->append("% interval of ");
    AppendPosteriorForm(group, true, html);
    html->append(" (complete pooling of one region).");
  } else if (PoolsCompletely(fit)) {
    if (shape == GroupShape::kEqualProportions) {
      html->append("All ");
      html->append(std::to_string(group.Regions.size()));
      html->append(" regions have the same " + terms.Singular + ". ");
    }
    html->append(PoolingReason(fit.Fit.Boundary, rates));
    html->append(": complete pooling. Every region gets the group's common rate, ");
    html->append(ValueWords(terms, fit.PooledRate));
    html->append(", with the equal-tailed ");
    html->append(level_text);
    html->append("% interval of the common rate alone, which understates how the regions "
                 "may differ.");
  } else {
    html->append(MissingReason(fit, rates));
    html->append(". The regions get no EB " + terms.Singular + " and no interval; their raw " +
                 terms.Plural + " stand.");
  }
  if (shape != GroupShape::kPlots && !unsmoothed) {
    html->append(" With no spread between " + terms.Plural + " there is nothing to plot.");
  }
  // The summary table's own words, so that a reader can match the two.
  html->append(" <span class=\"fit\">Summary: fit ");
  html->append(FitLabelText(fit.Fit.Label));
  if (fit.Fit.Boundary != FitBoundary::kNone) {
    html->append(", boundary \u201c");
    AppendEscaped(FitBoundaryText(fit.Fit.Boundary,
                                  rates ? CountModel::kPoisson : CountModel::kBinomial),
                  html);
    html->append("\u201d");
  }
  html->append(".</span></p>\n");
  if (fit.Fit.SizeLower95Unconverged) {
    html->append(rates ? "<p class=\"note\">The search for the lower 95% bound of the prior's "
                         "shape did not converge: it is left empty.</p>\n"
                       : "<p class=\"note\">The search for the lower 95% bound of Alpha + Beta "
                         "did not converge: it is left empty.</p>\n");
  }
}

// The log's own lines, so the two never disagree, folded away: they are
// propsmooth's figures, not the ones the section uses. A labelled
// group's Unit is only its place in the data, which the log would show
// as a number: the heading names it instead.
void AppendLog(const GroupView& group, std::int64_t count, double eps, std::string* html) {
  std::string log;
  if (group.SingleGroup || group.Label) {
    WriteGroupSection(count, group.Summary, eps, &log);
  } else {
    WriteUnitSection(group.Unit, count, group.Summary, eps, &log);
  }
  log.erase(std::remove(log.begin(), log.end(), '\r'), log.end());
  while (!log.empty() && log.back() == '\n') log.pop_back();
  html->append("<details class=\"log\"><summary>propsmooth's log for this group</summary>"
               "<pre class=\"log\">");
  AppendEscaped(log, html);
  html->append("</pre>\n<p class=\"note\">propsmooth's own lines, word for word (*** where "
               "its Newton fit failed); the --tsv table keeps these figures. Everything else "
               "here uses the fit described above.</p></details>\n");
}

}  // namespace

std::string SectionId(std::size_t index) { return "group-" + std::to_string(index); }

void AppendGroupSection(const GroupView& group, std::size_t index, double eps, double level,
                        std::optional<double> threshold, const SectionLimits& limits,
                        std::string* html, std::string_view maps) {
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

  const GroupShape shape = ClassifyGroup(group);
  AppendOutcome(group, shape, level, html);

  // propsmooth fits proportions alone: rates have no log of its.
  if (!group.Rates) AppendLog(group, count, eps, html);

  if (shape == GroupShape::kPlots) {
    const PlotView view = PlotViewOf(group, level);
    html->append("<div class=\"plots\">\n");
    AppendHistogram(view, id, html);
    // No EB value, no shrinkage to show.
    if (HasPosterior(group.Fit)) AppendShrinkagePlot(view, id, limits, html);
    AppendFunnelPlot(view, id, limits, html);
    html->append("</div>\n");
    // Its own row: the three plots above keep theirs at common widths.
    html->append("<div class=\"ranked\">\n");
    AppendRankedPlot(view, threshold, id, limits, html);
    html->append("</div>\n");
  }
  html->append(maps);
  AppendRegionTable(group, level, limits, html);
  html->append("</section>\n");
}

}  // namespace propsmooth
