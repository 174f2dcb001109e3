#include "html/html_report.h"

#include <cmath>

#include "strict_output/number_format.h"
#include "html/html_text.h"
#include "html/plot_view.h"

namespace propsmooth {
namespace {

// Everything the page needs to look right is here: no outside resource.
constexpr const char* kStyle = R"(
body{font-family:sans-serif;margin:1.5em;color:#222;background:#fff;max-width:1400px}
h1{font-size:1.4em}h2{font-size:1.15em;border-top:2px solid #bbb;padding-top:.6em}
h1,h2,p,li{overflow-wrap:anywhere}
.wide{overflow-x:auto;max-width:100%}table.index td{white-space:nowrap}
details.log{margin:.5em 0}details.log summary{cursor:pointer;font-size:.85em;color:#555}
pre.log{background:#f4f4f4;padding:.5em;font-size:.85em;max-width:100%;overflow-x:auto;box-sizing:border-box}
.outcome{max-width:60em}.fit{font-size:.85em;color:#555}
table{border-collapse:collapse;font-size:.82em;margin:.5em 0}
td,th{border:1px solid #ccc;padding:2px 6px;text-align:right}
th{background:#eee}td:last-child{text-align:left}
.plots{display:grid;grid-template-columns:repeat(auto-fit,minmax(min(340px,100%),1fr));gap:12px}
figure{margin:0;min-width:0}figcaption{font-size:.8em;color:#333}
svg.chart{display:block;width:100%;height:auto}.item{white-space:nowrap}
.warn{color:#a40000}.shape{font-weight:bold}.note{font-size:.85em}
svg text{fill:#333}
.frame{fill:none;stroke:#444}.grid{stroke:#e4e4e4}
.bar{fill:#b9c7d8;stroke:#7f93ab}
polyline{fill:none;stroke-width:2}
.me{stroke:#d95f02}.mle{stroke:#1b6ac9}
.diag{stroke:#888;stroke-dasharray:4 3}.prior{stroke:#1a9641;stroke-dasharray:6 3}
.pooled{stroke:#222;stroke-width:1.5}.lim95{stroke:#666;stroke-dasharray:5 3;stroke-width:1.3}
.lim998{stroke:#444;stroke-dasharray:1.5 2.5;stroke-width:1.6}
circle.dot{fill:rgba(27,106,201,.35);stroke:#1b6ac9;stroke-width:.8}
circle.out{fill:rgba(200,0,0,.55);stroke:#a00}
.key{display:inline-block;width:22px;height:0;border-top:3px solid;vertical-align:middle;margin:0 4px 0 8px}
.key.me{border-color:#d95f02}.key.mle{border-color:#1b6ac9}.key.diag{border-top:2px dashed #888}
.key.prior{border-top:2px dashed #1a9641}.key.pooled{border-color:#222}
.key.lim95{border-top:2px dashed #666}.key.lim998{border-top:2px dotted #444}
.ranked{max-width:900px;margin-top:12px}
.ci{stroke:#7f93ab;stroke-width:1.5}.threshold{stroke:#c00;stroke-dasharray:6 3}
.key.ci{border-color:#7f93ab}.key.disc{width:9px;height:9px;border:1px solid #a00;border-radius:50%;background:rgba(200,0,0,.55)}.key.threshold{border-top:2px dashed #c00}
)";

// "column R", the name as the data spell it.
void AppendColumn(std::string_view name, std::string* html) {
  html->append("column <b>");
  AppendEscaped(name, html);
  html->append("</b>");
}

// The index row's first cell: the title, linked to its section when it has
// one.
void AppendTitleCell(std::string_view title, bool detailed, std::size_t index, std::string* html) {
  html->append("<tr><td>");
  if (detailed) {
    html->append("<a href=\"#");
    html->append(SectionId(index));
    html->append("\">");
  }
  AppendEscaped(title, html);
  if (detailed) html->append("</a>");
}

// The summary table's figures of the fit, to four digits (--summary has
// them all), from Fit to Prior used, and the row's end. A gamma prior's
// rate is per unit of person-time, often in the tens of thousands: it is
// written whole rather than with an exponent.
void AppendFitCells(const GroupFit& fit, CountModel model, std::string* html) {
  html->append("</td><td title=\"");
  AppendEscaped(FitBoundaryText(fit.Fit.Boundary, model), html);
  html->append("\">");
  html->append(FitLabelText(fit.Fit.Label));
  const std::optional<BetaPrior>& prior = fit.Fit.Prior;
  for (const std::optional<double> value :
       {prior ? std::optional(prior->Alpha) : std::nullopt,
        prior ? std::optional(prior->Beta) : std::nullopt, fit.Fit.SeAlpha, fit.Fit.SeBeta}) {
    html->append("</td><td>");
    if (model == CountModel::kPoisson) {
      AppendShown(value.value_or(std::nan("")), html);
    } else {
      AppendRounded(value.value_or(std::nan("")), 4, html);
    }
  }
  html->append("</td><td>");
  // An unknown bound is told apart from one that does not exist.
  if (fit.Fit.SizeLower95Unconverged) {
    html->append("not converged");
  } else {
    AppendRounded(fit.Fit.SizeLower95.value_or(std::nan("")), 4, html);
  }
  html->append("</td><td>");
  AppendSignificant(fit.Fit.LogLik, html);
  html->append("</td><td>");
  const std::string_view prior_name = PriorName(fit);
  html->append(prior_name.empty() ? std::string_view("none") : prior_name);
  html->append("</td></tr>\n");
}

}  // namespace

void AppendDocumentHead(const ReportHeader& header, std::string* html) {
  html->append("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
               "<title>EB report: ");
  AppendEscaped(header.DataFileName, html);
  html->append("</title>\n<style>");
  html->append(kStyle);
  html->append(header.Rates ? "</style>\n</head>\n<body>\n<h1>Empirical Bayes rates: "
                            : "</style>\n</head>\n<body>\n<h1>Empirical Bayes proportions: ");
  AppendEscaped(header.DataFileName, html);
  html->append("</h1>\n<ul class=\"settings\">");
  html->append("<li>");
  html->append(std::to_string(header.RecordCount));
  html->append(header.RecordCount == 1 ? " record in " : " records in ");
  html->append(std::to_string(header.GroupCount));
  html->append(header.GroupCount == 1 ? " group" : " groups");
  if (!header.GroupColumn.empty()) {
    html->append(" (by ");
    AppendColumn(header.GroupColumn, html);
    html->append(")");
  }
  html->append(header.Rates ? ": observed counts from " : ": counts from ");
  AppendColumn(header.Columns.Count, html);
  html->append(!header.Rates      ? ", sizes from "
               : header.Exposure ? ", person-time from "
                                 : ", expected counts from ");
  AppendColumn(header.Columns.Size, html);
  if (!header.IdColumn.empty()) {
    html->append(", ids from ");
    AppendColumn(header.IdColumn, html);
  }
  html->append(".</li>\n<li>");
  const ValueTerms terms = TermsOf(header.Rates, header.Per, header.Exposure);
  if (header.Rates) {
    html->append(header.Exposure ? "Rates are events per unit of person-time"
                                 : "Rates are SMRs, observed over expected counts: 1 is the "
                                   "rate the expected counts stand for");
    if (header.Per != 1.0) {
      html->append(", shown");
      html->append(terms.Unit);
      html->append(" (--per)");
    }
    html->append(".</li>\n<li>");
  }
  if (header.Estimator == PriorEstimator::kMle) {
    html->append(header.Rates ? "Each group gets a gamma prior of its rates fitted by maximum "
                                "likelihood: Newton's method, a safeguarded search where it "
                                "fails, and complete pooling where the regions differ no more "
                                "than Poisson sampling would make them."
                              : "Each group gets a beta prior fitted by maximum likelihood: "
                                "Newton's method, a safeguarded search where it fails, and "
                                "complete pooling where the regions differ no more than "
                                "sampling would make them.");
  } else {
    html->append("Each group's prior is given by its moment estimators (--estimator me).");
  }
  html->append("</li>\n<li>Newton's method starts from ");
  // A start not above 0 asks for the moment estimator, as propsmooth reads it.
  const auto append_start = [html](const char* name, const char* option, double value) {
    html->append(name);
    if (value > 0.0) {
      html->append(" = ");
      AppendRounded(value, 6, html);
      html->append(" (");
      html->append(option);
      html->append(")");
    } else {
      html->append(" at its moment estimator");
    }
  };
  if (header.Fit.AlphaInit > 0.0 || header.Fit.BetaInit > 0.0) {
    append_start(header.Rates ? "the shape" : "Alpha", "-A", header.Fit.AlphaInit);
    html->append(" and ");
    append_start(header.Rates ? "the rate" : "Beta", "-B", header.Fit.BetaInit);
  } else {
    html->append("the moment estimators");
  }
  if (header.Rates) {
    // The rates' fit settles on relative changes of its own, not on -E.
    html->append("; it stops when its relative changes fall below 1e-10 or after ");
  } else {
    html->append("; it stops when its corrections fall below ");
    AppendRounded(header.Fit.Eps, 4, html);
    html->append(" (-E) or after ");
  }
  AppendInt(header.Fit.IterationLimit, html);
  html->append(" iterations (-L).</li>\n<li>Credible intervals: equal-tailed ");
  html->append(LevelText(header.Level));
  html->append("%.</li>\n");
  if (header.Threshold) {
    html->append("<li>Threshold ");
    html->append(ValueWords(terms, *header.Threshold));
    html->append(": each region's probability that its rate exceeds it, its PEP and "
                 "q-value (over every region of the file), and a discovery where the "
                 "q-value is at most ");
    html->append(BriefPercentWords(header.Fdr));
    html->append("% (--fdr). They take each group's prior as known, not as estimated."
                 "</li>\n");
  }
  html->append("</ul>\n");
  if (header.UnsmoothedGroups > 0) {
    html->append("<p class=\"warn\"><b>");
    html->append(std::to_string(header.UnsmoothedGroups));
    html->append(" of ");
    html->append(std::to_string(header.GroupCount));
    html->append(header.GroupCount == 1 ? " group" : " groups");
    html->append(header.UnsmoothedGroups == 1 ? " has a single region and was not smoothed:</b>"
                                              : " have a single region and were not "
                                                "smoothed:</b>");
    html->append(" with nothing to pool it with, complete pooling gives such a region its own "
                 "raw " + terms.Singular + " as its EB " + terms.Singular + ".</p>\n");
  }
}

void AppendIndexHead(const ReportHeader& header, std::string* html) {
  if (header.Rates) {
    const ValueTerms terms = TermsOf(true, header.Per, header.Exposure);
    html->append("<h2>Groups</h2>\n<div class=\"wide\"><table class=\"index\"><thead><tr>"
                 "<th>Group</th><th>Regions</th><th>Mean");
    html->append(terms.TableUnit);
    html->append("</th><th>Variance</th><th>ME shape</th><th>ME rate</th><th>Fit</th>"
                 "<th>Shape</th><th>Rate</th><th>SE shape</th><th>SE rate</th>"
                 "<th>Shape lower 95%</th><th>Log-likelihood</th><th>Prior used</th></tr>"
                 "</thead><tbody>\n");
    return;
  }
  html->append("<h2>Groups</h2>\n<div class=\"wide\"><table class=\"index\"><thead><tr><th>Group</th>"
               "<th>Regions</th><th>Mean (%)</th><th>Variance (%&sup2;)</th><th>ME Alpha</th>"
               "<th>ME Beta</th><th>MLE Alpha</th><th>MLE Beta</th>"
               "<th>Iterations</th><th>Fit</th><th>Alpha</th><th>Beta</th><th>SE Alpha</th>"
               "<th>SE Beta</th><th>Size lower 95%</th><th>Log-likelihood</th>"
               "<th>Prior used</th></tr></thead><tbody>\n");
}

void AppendIndexRow(std::string_view title, std::size_t regions, const GroupSummary& summary,
                    const GroupFit& fit, bool detailed, std::size_t index, std::string* html) {
  AppendTitleCell(title, detailed, index, html);
  html->append("</td><td>");
  html->append(std::to_string(regions));
  // Percent like every rate of the page; a variance of proportions then
  // reads in square percentage points.
  html->append("</td><td>");
  html->append(BriefPercent(summary.Mean));
  html->append("</td><td>");
  AppendRounded(PercentOf(PercentOf(summary.Variance)), 4, html);
  for (const double value : {summary.AlphaMe, summary.BetaMe}) {
    html->append("</td><td>");
    AppendRounded(value, 4, html);
  }
  // *** where propsmooth's fit failed, as its log has it.
  for (const std::optional<double> value : {MleAlpha(summary), MleBeta(summary)}) {
    html->append("</td><td>");
    if (value) {
      AppendRounded(*value, 4, html);
    } else {
      html->append("***");
    }
  }
  html->append("</td><td>");
  AppendInt(summary.Iterations, html);
  AppendFitCells(fit, CountModel::kBinomial, html);
}

void AppendRateIndexRow(std::string_view title, std::size_t regions, const RateMoments& moments,
                        double per, const GroupFit& fit, bool detailed, std::size_t index,
                        std::string* html) {
  AppendTitleCell(title, detailed, index, html);
  html->append("</td><td>");
  html->append(std::to_string(regions));
  // The variance of rates shown times `per` is in its square.
  html->append("</td><td>");
  AppendShown(per * moments.Mean, html);
  html->append("</td><td>");
  AppendShown(per * per * moments.Variance, html);
  const bool prior = moments.Alpha > 0.0;
  for (const double value : {prior ? moments.Alpha : std::nan(""),
                             prior ? moments.Beta : std::nan("")}) {
    html->append("</td><td>");
    AppendShown(value, html);
  }
  AppendFitCells(fit, CountModel::kPoisson, html);
}

void AppendIndexFoot(const ReportHeader& header, std::string* html) {
  html->append("</tbody></table></div>\n");
  if (header.DetailedGroups < header.GroupCount) {
    const std::size_t more = header.GroupCount - header.DetailedGroups;
    html->append("<p class=\"more\"><b>");
    html->append(std::to_string(more));
    html->append(more == 1 ? " more group" : " more groups");
    html->append("</b> not listed: the page shows the first ");
    html->append(std::to_string(header.DetailedGroups));
    html->append(" of ");
    html->append(std::to_string(header.GroupCount));
    html->append(" (--max-groups). The summary table (--summary) has every group, the CSV "
                 "table (--csv) every region.</p>\n");
  }
  html->append(header.Rates
                   ? "<p class=\"note\">Mean to ME rate are Marshall's moment estimators "
                     "(as spdep's EBest has them): the prior's mean and variance, and the "
                     "gamma prior's shape and rate they give; Fit to Prior used are the fit "
                     "every other figure of the page uses, as the summary table gives them."
                   : "<p class=\"note\">Mean to Iterations are propsmooth's own log figures; "
                     "Fit to Prior used are the fit every other figure of the page uses, as "
                     "the summary table gives them.");
  if (header.DetailedGroups > 0) html->append(" Each group listed has its section below.");
  html->append("</p>\n");
}

void AppendDocumentFoot(std::string* html) { html->append("</body>\n</html>\n"); }

}  // namespace propsmooth
