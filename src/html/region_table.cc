#include "html/region_table.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "strict_output/number_format.h"
#include "stats/beta_math.h"
#include "stats/group_fit.h"
#include "stats/equal_proportions.h"
#include "html/html_text.h"

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

void AppendPercentCell(std::optional<double> proportion, std::string* html) {
  html->append("<td>");
  html->append(proportion ? BriefPercent(*proportion) : std::string("\u2014"));
  html->append("</td>");
}

}  // namespace

void AppendRegionTable(const GroupView& group, double level, const SectionLimits& limits,
                       std::string* html) {
  const std::string level_text = LevelText(level);
  html->append(group.CodeIsRow ? "<div class=\"wide\"><table class=\"regions\"><thead><tr>"
                                 "<th>Row</th>"
                               : "<div class=\"wide\"><table class=\"regions\"><thead><tr>"
                                 "<th>Code</th>");
  if (!group.Ids.empty()) html->append("<th>Id</th>");
  html->append("<th>");
  AppendEscaped(group.Columns.Count, html);
  html->append("</th><th>");
  AppendEscaped(group.Columns.Size, html);
  html->append("</th><th>Raw (%)</th><th>EB ME (%)</th><th>EB (%)</th><th>");
  html->append(level_text);
  html->append("% lower (%)</th><th>");
  html->append(level_text);
  html->append("% upper (%)</th>");
  const bool threshold = !group.Discoveries.empty();
  if (threshold) {
    html->append("<th>P(rate &gt; threshold)</th><th>PEP</th><th>q-value</th>"
                 "<th>Discovery</th>");
  }
  html->append("<th>Note</th></tr></thead><tbody>\n");
  const std::size_t shown = std::min(group.Regions.size(), limits.TableRows);
  const bool equal_proportions = ProportionsAllEqual(group.Regions);
  for (std::size_t i = 0; i < shown; ++i) {
    const RegionRecord& region = group.Regions[i];
    const CredibleBounds bounds = IntervalUnderFit(region, group.Fit, level);
    const std::optional<double> eb = EbUnderFit(region, group.Fit);
    html->append("<tr><td>");
    AppendInt(region.Code, html);
    if (!group.Ids.empty()) {
      html->append("</td><td style=\"text-align:left\">");
      AppendEscaped(group.Ids[i], html);
    }
    html->append("</td><td>");
    AppendInt(region.Data1, html);
    html->append("</td><td>");
    AppendInt(region.Data2, html);
    html->append("</td>");
    AppendPercentCell(region.Proportion, html);
    AppendPercentCell(ReportedEbMe(region, equal_proportions), html);
    AppendPercentCell(eb, html);
    // As in the CSV table: no interval without an EB proportion.
    const bool interval = eb && bounds.Status == IntervalStatus::kOk;
    AppendPercentCell(interval ? std::optional(bounds.Lower) : std::nullopt, html);
    AppendPercentCell(interval ? std::optional(bounds.Upper) : std::nullopt, html);
    if (threshold) AppendDiscoveryCells(group.Discoveries[i], html);
    html->append("<td>");
    // A count above its size is the reason first: it is why such a
    // group's fit finds no likelihood.
    if (region.Data1 > region.Data2) {
      // The data's own names, not those of the four-number format.
      AppendEscaped(group.Columns.Count, html);
      html->append(" &gt; ");
      AppendEscaped(group.Columns.Size, html);
      html->append(": not a binomial count");
    } else if (!HasPosterior(group.Fit)) {
      html->append("no posterior under the group's fit");
    } else if (bounds.Status != IntervalStatus::kOk) {
      AppendEscaped(IntervalStatusText(bounds.Status), html);
    }
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
