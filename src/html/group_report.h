// One group's section of the HTML report: its log figures, its prior, the
// three plots and the table of regions with their credible intervals.
#ifndef PROPSMOOTH_HTML_GROUP_REPORT_H_
#define PROPSMOOTH_HTML_GROUP_REPORT_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "html/group_view.h"

namespace propsmooth {

/// The anchor id of section `index` (from 0) in the page: "group-<index>".
std::string SectionId(std::size_t index);

/// Appends the <section> of `group`, the section number `index` (from 0)
/// of the page: propsmooth's log lines (`eps` is the tolerance they
/// print), the note on the group's fit, the plots (or what the group is,
/// when it has nothing to plot) and the region table, every figure after
/// the log under the group's Fit, with credible intervals at `level` and,
/// with a `threshold`, the region table's exceedance columns; `maps`
/// (HTML) goes between the plots and the region table.
void AppendGroupSection(const GroupView& group, std::size_t index, double eps, double level,
                        std::optional<double> threshold, const SectionLimits& limits,
                        std::string* html, std::string_view maps = {});

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_GROUP_REPORT_H_
