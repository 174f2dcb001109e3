#include "html/group_maps.h"

#include <cmath>
#include <vector>

#include "html/html_text.h"
#include "html/plot_view.h"
#include "html/region_map.h"
#include "stats/group_fit.h"

namespace propsmooth {
namespace {

// Seven classes: as many as a reader tells apart in one sequential palette.
constexpr std::size_t kRateClasses = 7;

// The probability classes: the middle and the two tails that matter.
const std::vector<double>& ExceedanceBreaks() {
  static const std::vector<double> breaks{0.05, 0.2, 0.5, 0.8, 0.95};
  return breaks;
}

// The hover text's start: the region's name and, when it differs, its id.
std::string RegionTitle(const RegionShape& shape) {
  std::string title = shape.name.empty() ? shape.id : shape.name;
  if (!shape.name.empty() && shape.name != shape.id) title += " (" + shape.id + ")";
  return title + ": ";
}

std::optional<double> Finite(std::optional<double> value) {
  return value && std::isfinite(*value) ? value : std::nullopt;
}

}  // namespace

RegionJoin JoinRegions(const RegionShapes& shapes, bool whole_layer) {
  RegionJoin join;
  join.Shapes = &shapes;
  join.WholeLayer = whole_layer;
  join.ById.reserve(shapes.regions.size());
  for (std::size_t s = 0; s < shapes.regions.size(); ++s) {
    join.ById.emplace(shapes.regions[s].id, s);
  }
  return join;
}

std::string GroupMaps(const GroupView& group, const RegionJoin& join,
                      std::optional<double> threshold) {
  std::string html;
  if (join.Shapes == nullptr) return html;
  if (group.Ids.empty()) {
    html.append("<p class=\"note\">No maps: the data have no id column (--id) to join the "
                "records to the regions.</p>\n");
    return html;
  }
  const RegionShapes& shapes = *join.Shapes;
  // Each drawn shape and the record that gives its values, if any.
  std::vector<std::size_t> selected;
  std::vector<std::optional<std::size_t>> record_of;
  std::vector<char> taken(shapes.regions.size(), 0);
  std::size_t without_shape = 0;
  std::size_t repeated = 0;
  for (std::size_t i = 0; i < group.Regions.size(); ++i) {
    const auto found = join.ById.find(group.Ids[i]);
    if (found == join.ById.end()) {
      ++without_shape;
    } else if (taken[found->second]) {
      ++repeated;
    } else {
      taken[found->second] = 1;
      selected.push_back(found->second);
      record_of.push_back(i);
    }
  }
  if (selected.empty()) {
    html.append("<p class=\"note\">No maps: no id of this group's records is an id of the "
                "regions.</p>\n");
    return html;
  }
  if (join.WholeLayer) {
    for (std::size_t s = 0; s < shapes.regions.size(); ++s) {
      if (taken[s]) continue;
      selected.push_back(s);
      record_of.push_back(std::nullopt);
    }
  }

  const RegionOutlines outlines = OutlineRegions(shapes, selected, MapSize{});
  if (outlines.Width <= 0.0) {
    html.append("<p class=\"note\">No maps: the regions of this group have no extent to "
                "draw.</p>\n");
    return html;
  }
  std::vector<std::string> paths;
  paths.reserve(outlines.Rings.size());
  for (const std::vector<GridRing>& rings : outlines.Rings) paths.push_back(OutlinePath(rings));

  // Rates speak in their own units (SMRs, rates per --per), proportions
  // in percent.
  const ValueTerms terms = TermsOf(group.Rates.has_value(),
                                   group.Rates ? group.Rates->Per : 1.0,
                                   group.Rates && group.Rates->Exposure);
  std::vector<MapEntry> raw(selected.size());
  std::vector<MapEntry> eb(selected.size());
  const bool spatial = group.LocalEb.size() == group.Regions.size();
  std::vector<MapEntry> local(spatial ? selected.size() : 0);
  std::vector<double> both;
  bool any_eb = false;
  for (std::size_t k = 0; k < selected.size(); ++k) {
    const std::string title = RegionTitle(shapes.regions[selected[k]]);
    raw[k].Outline = eb[k].Outline = k;
    if (spatial) local[k].Outline = k;
    if (!record_of[k]) {
      raw[k].Title = eb[k].Title = title + "no record in the data";
      if (spatial) local[k].Title = raw[k].Title;
      continue;
    }
    if (spatial) {
      local[k].Value = Finite(group.LocalEb[*record_of[k]]);
      local[k].Title = title + "spatial EB " +
                       (!local[k].Value  ? std::string("\u2014")
                        : group.Rates    ? ValueWords(terms, *local[k].Value)
                                         : BriefPercent(*local[k].Value) + "%");
      if (local[k].Value) both.push_back(*local[k].Value);
    }
    const RegionRecord& region = group.Regions[*record_of[k]];
    if (group.Rates) {
      const RecordFigures& figures = group.Rates->Figures[*record_of[k]];
      raw[k].Value = Finite(figures.Raw);
      eb[k].Value = Finite(figures.Eb);
      std::string measure;
      AppendShown(group.Rates->Expected[*record_of[k]], &measure);
      raw[k].Title = title + std::to_string(region.Data1) +
                     (group.Rates->Exposure ? " in " + measure + " person-time"
                                            : " observed, " + measure + " expected") +
                     ", raw " + (raw[k].Value ? ValueWords(terms, *raw[k].Value) : "\u2014");
      eb[k].Title = title + "EB " + (eb[k].Value ? ValueWords(terms, *eb[k].Value) : "\u2014");
    } else {
      raw[k].Value = Finite(region.Proportion());
      eb[k].Value = Finite(EbUnderFit(region, group.Fit));
      raw[k].Title = title + std::to_string(region.Data1) + " of " +
                     std::to_string(region.Data2) + ", raw " +
                     (raw[k].Value ? BriefPercent(*raw[k].Value) + "%" : "\u2014");
      eb[k].Title = title + "EB " + (eb[k].Value ? BriefPercent(*eb[k].Value) + "%" : "\u2014");
    }
    if (raw[k].Value) both.push_back(*raw[k].Value);
    if (eb[k].Value) {
      both.push_back(*eb[k].Value);
      any_eb = true;
    }
  }
  const MapClasses classes =
      group.Rates ? QuantileClasses(both, kRateClasses, terms.Scale, terms.Unit)
                  : QuantileClasses(both, kRateClasses);

  html.append("<div class=\"plots\" style=\"grid-template-columns:repeat(auto-fit,"
              "minmax(min(420px,100%),1fr))\">\n");
  MapLegend legend;
  const std::string raw_label = "Map of the raw " + terms.Plural;
  legend.Label = raw_label;
  legend.CaptionHtml = "<b>Raw " + terms.Singular + "</b>";
  if (group.Rates) AppendEscaped(terms.Unit, &legend.CaptionHtml);
  legend.CaptionHtml += " (";
  AppendEscaped(group.Columns.Count, &legend.CaptionHtml);
  legend.CaptionHtml += " / ";
  AppendEscaped(group.Columns.Size, &legend.CaptionHtml);
  legend.CaptionHtml +=
      spatial  ? "), in the classes of the EB maps: each holds about as many of the raw, EB "
                 "and spatial EB " + terms.Plural + " together."
      : any_eb ? "), in the classes of the EB map: each holds about as many of the raw and "
                 "EB " + terms.Plural + " together."
               : "): classes of about equal numbers of regions.";
  AppendRegionMap(outlines, paths, raw, classes, legend, &html);
  if (any_eb) {
    const std::string eb_label = "Map of the EB " + terms.Plural;
    legend.Label = eb_label;
    legend.CaptionHtml = "<b>EB " + terms.Singular + "</b>, in the classes of the raw map: "
                         "smoothing shows as fewer regions in the outer classes.";
    AppendRegionMap(outlines, paths, eb, classes, legend, &html);
  }
  if (spatial) {
    const std::string local_label = "Map of the spatial EB " + terms.Plural;
    legend.Label = local_label;
    legend.CaptionHtml = "<b>Spatial EB " + terms.Singular + "</b>, each region shrunk "
                         "towards its neighbourhood (itself and its neighbours) rather than "
                         "the whole group, in the classes of the raw map.";
    AppendRegionMap(outlines, paths, local, classes, legend, &html);
  }
  if (threshold && group.Discoveries.size() == group.Regions.size()) {
    const std::string exceed_words =
        group.Rates ? terms.Singular + " > " + ValueWords(terms, *threshold)
                    : "rate > " + BriefPercentWords(*threshold) + "%";
    std::vector<MapEntry> exceed(selected.size());
    for (std::size_t k = 0; k < selected.size(); ++k) {
      exceed[k].Outline = k;
      const std::string title = RegionTitle(shapes.regions[selected[k]]);
      if (!record_of[k]) {
        exceed[k].Title = title + "no record in the data";
        continue;
      }
      const RegionDiscovery& discovery = group.Discoveries[*record_of[k]];
      if (discovery.Tails) exceed[k].Value = Finite(discovery.Tails->Exceed);
      exceed[k].Outlined = discovery.Discovery;
      exceed[k].Title = title + "P(" + exceed_words + ") ";
      if (exceed[k].Value) {
        AppendRounded(*exceed[k].Value, 3, &exceed[k].Title);
      } else {
        exceed[k].Title += "\u2014";
      }
      if (discovery.Discovery) exceed[k].Title += ", discovery";
    }
    legend.Label = "Map of the probabilities of exceeding the threshold";
    legend.CaptionHtml = "<b>P(";
    AppendEscaped(exceed_words, &legend.CaptionHtml);
    legend.CaptionHtml += ")</b>, each region's posterior probability; outlined: the "
                          "discoveries of the region table.";
    legend.OutlinedText = "discovery";
    AppendRegionMap(outlines, paths, exceed, FixedClasses(ExceedanceBreaks()), legend, &html);
  }
  html.append("</div>\n");
  if (without_shape > 0 || repeated > 0) {
    html.append("<p class=\"note\">Not on the maps: ");
    if (without_shape > 0) {
      html.append(std::to_string(without_shape));
      html.append(without_shape == 1 ? " record whose id no region has"
                                     : " records whose ids no region has");
    }
    if (repeated > 0) {
      if (without_shape > 0) html.append("; ");
      html.append(std::to_string(repeated));
      html.append(repeated == 1 ? " record whose id an earlier record of the group has (the "
                                  "map shows the first)"
                                : " records whose ids earlier records of the group have (the "
                                  "map shows the first)");
    }
    html.append(".</p>\n");
  }
  return html;
}

}  // namespace propsmooth
