#include "html/region_table.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "strict_output/number_format.h"
#include "stats/beta_math.h"
#include "stats/group_fit.h"
#include "stats/equal_proportions.h"
#include "html/html_text.h"
#include "html/plot_view.h"

namespace propsmooth {
namespace {

// Three digits, enough to rank and judge them: the CSV table has them all.
// A dash where a region has no posterior.
void AppendDiscoveryCells(const RegionDiscovery& discovery, std::string* html) {
  for (const std::optional<double> value :
       {discovery.Tails ? std::optional(discovery.Tails->Exceed) : std::nullopt,
        discovery.Tails ? std::optional(discovery.Tails->AtMost) : std::nullopt,
        discovery.QValue}) {
    html->append("<td>");
    AppendRounded(value.value_or(std::nan("")), 3, html);
    html->append("</td>");
  }
  html->append(discovery.QValue ? (discovery.Discovery ? "<td><b>yes</b></td>" : "<td>no</td>")
                                : "<td>\u2014</td>");
}

// A value of the model in the units the page shows: a proportion in
// percent, a rate times --per to four significant digits; a dash where
// there is none.
void AppendValueCell(const ValueTerms& terms, std::optional<double> value, std::string* html) {
  html->append("<td>");
  if (!value) {
    html->append("\u2014");
  } else if (terms.Percent) {
    html->append(BriefPercent(*value));
  } else {
    AppendShown(terms.Scale * *value, html);
  }
  html->append("</td>");
}

// A row's figures in the model's units, and its note (HTML).
struct RowFigures {
  std::optional<double> Raw;
  std::optional<double> EbMe;
  std::optional<double> Eb;
  std::optional<double> Lower;  // with Upper, only where there is an EB value
  std::optional<double> Upper;
  std::string Note;
};

RowFigures ProportionRow(const GroupView& group, std::size_t i, double level,
                         bool equal_proportions) {
  const RegionRecord& region = group.Regions[i];
  const CredibleBounds bounds = IntervalUnderFit(region, group.Fit, level);
  RowFigures row;
  row.Raw = region.Proportion();
  row.EbMe = ReportedEbMe(region, equal_proportions);
  row.Eb = EbUnderFit(region, group.Fit);
  // As in the CSV table: no interval without an EB proportion.
  if (row.Eb && bounds.Status == IntervalStatus::kOk) {
    row.Lower = bounds.Lower;
    row.Upper = bounds.Upper;
  }
  // A count above its size is the reason first: it is why such a
  // group's fit finds no likelihood.
  if (region.Data1 > region.Data2) {
    // The data's own names, not those of the four-number format.
    AppendEscaped(group.Columns.Count, &row.Note);
    row.Note.append(" &gt; ");
    AppendEscaped(group.Columns.Size, &row.Note);
    row.Note.append(": not a binomial count");
  } else if (!HasPosterior(group.Fit)) {
    row.Note.append("no posterior under the group's fit");
  } else if (bounds.Status != IntervalStatus::kOk) {
    AppendEscaped(IntervalStatusText(bounds.Status), &row.Note);
  }
  return row;
}

// The rates' figures mark what is missing with NaN.
std::optional<double> Present(double value) {
  return std::isnan(value) ? std::nullopt : std::optional(value);
}

RowFigures RateRow(const GroupView& group, std::size_t i) {
  const RecordFigures& figures = group.Rates->Figures[i];
  RowFigures row;
  row.Raw = Present(figures.Raw);
  row.EbMe = Present(figures.EbMe);
  row.Eb = Present(figures.Eb);
  if (row.Eb && Present(figures.Lower) && Present(figures.Upper)) {
    row.Lower = figures.Lower;
    row.Upper = figures.Upper;
  }
  if (!HasPosterior(group.Fit)) {
    row.Note = "no posterior under the group's fit";
  } else if (row.Eb && !row.Lower) {
    row.Note = "interval not computable";
  }
  return row;
}

}  // namespace

void AppendRegionTable(const GroupView& group, double level, const SectionLimits& limits,
                       std::string* html) {
  const std::string level_text = LevelText(level);
  const std::size_t shown = std::min(group.Regions.size(), limits.TableRows);
  html->append("<div class=\"wide\"");
  if (shown > limits.EagerTableRows) {
    // Until it is laid out the table holds the place of its rows (about
    // 20 pixels each), so that the scroll bar is about right.
    html->append(" style=\"content-visibility:auto;contain-intrinsic-height:auto ");
    html->append(std::to_string(20 * (shown + 1)));
    html->append("px\"");
  }
  html->append(group.CodeIsRow ? "><table class=\"regions\"><thead><tr><th>Row</th>"
                               : "><table class=\"regions\"><thead><tr><th>Code</th>");
  if (!group.Ids.empty()) html->append("<th>Id</th>");
  html->append("<th>");
  AppendEscaped(group.Columns.Count, html);
  html->append("</th><th>");
  AppendEscaped(group.Columns.Size, html);
  const ValueTerms terms =
      group.Rates ? TermsOf(true, group.Rates->Per, group.Rates->Exposure) : ValueTerms();
  for (const std::string_view head : {"Raw", "EB ME", "EB"}) {
    html->append("</th><th>");
    html->append(head);
    html->append(terms.TableUnit);
  }
  html->append("</th><th>");
  html->append(level_text);
  html->append("% lower");
  html->append(terms.TableUnit);
  html->append("</th><th>");
  html->append(level_text);
  html->append("% upper");
  html->append(terms.TableUnit);
  html->append("</th>");
  const bool threshold = !group.Discoveries.empty();
  if (threshold) {
    html->append("<th>P(rate &gt; threshold)</th><th>PEP</th><th>q-value</th>"
                 "<th>Discovery</th>");
  }
  html->append("<th>Note</th></tr></thead><tbody>\n");
  const bool equal_proportions = ProportionsAllEqual(group.Regions);
  for (std::size_t i = 0; i < shown; ++i) {
    const RegionRecord& region = group.Regions[i];
    const RowFigures row = group.Rates ? RateRow(group, i)
                                       : ProportionRow(group, i, level, equal_proportions);
    html->append("<tr><td>");
    AppendInt(region.Code, html);
    if (!group.Ids.empty()) {
      html->append("</td><td style=\"text-align:left\">");
      AppendEscaped(group.Ids[i], html);
    }
    html->append("</td><td>");
    AppendInt(region.Data1, html);
    html->append("</td><td>");
    if (group.Rates) {
      AppendSignificant(group.Rates->Expected[i], html);
    } else {
      AppendInt(region.Data2, html);
    }
    html->append("</td>");
    for (const std::optional<double> value : {row.Raw, row.EbMe, row.Eb, row.Lower, row.Upper}) {
      AppendValueCell(terms, value, html);
    }
    if (threshold) AppendDiscoveryCells(group.Discoveries[i], html);
    html->append("<td>");
    html->append(row.Note);
    html->append("</td>");
    html->append("</tr>\n");
  }
  html->append("</tbody></table></div>\n");
  if (shown < group.Regions.size()) {
    html->append("<p class=\"note\">The first ");
    html->append(std::to_string(shown));
    html->append(" of ");
    html->append(std::to_string(group.Regions.size()));
    html->append(" regions are listed; the CSV table (--csv) holds them all.</p>\n");
  }
}

}  // namespace propsmooth
