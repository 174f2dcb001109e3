// The CSV table's own column names, which the reader must know too: a
// column kept from the data may not take one of them.
#ifndef PROPSMOOTH_TABULAR_CSV_COLUMNS_H_
#define PROPSMOOTH_TABULAR_CSV_COLUMNS_H_

#include <cstddef>
#include <initializer_list>
#include <string_view>

namespace propsmooth {

/// The header line. "x" and "n" rather than "count" and "size", which are
/// methods of a pandas DataFrame and so cannot be reached as attributes.
inline constexpr std::string_view kCsvTableHeader =
    "group,id,x,n,raw,eb_me,eb,lower,upper,prior\n";

/// The header line of rates, with --expected; with --exposure the fourth
/// column is "exposure".
inline constexpr std::string_view kRateCsvTableHeader =
    "group,id,x,expected,raw,eb_me,eb,lower,upper,prior\n";
inline constexpr std::string_view kExposureColumn = "exposure";

/// The columns --threshold adds at the end of the header, comma first.
inline constexpr std::string_view kCsvThresholdColumns = ",p_exceed,pep,q_value,discovery";

/// The columns --neighbours adds after the threshold's, comma first.
inline constexpr std::string_view kCsvSpatialColumns =
    ",neighbours,local_eb_me,local_eb,local_lower,local_upper,local_prior";

/// Whether `name` is one of the CSV table's own columns, the threshold's
/// included.
constexpr bool IsCsvTableColumn(std::string_view name) {
  for (std::string_view names : {kCsvTableHeader.substr(0, kCsvTableHeader.size() - 1),
                                 kCsvThresholdColumns.substr(1)}) {
    for (std::size_t begin = 0; begin <= names.size();) {
      const std::size_t found = names.find(',', begin);
      const std::size_t end = found == std::string_view::npos ? names.size() : found;
      if (names.substr(begin, end - begin) == name) return true;
      begin = end + 1;
    }
  }
  return false;
}

/// Whether `name` is a column of the rates' CSV table (either name of its
/// fourth column counts).
constexpr bool IsRateCsvTableColumn(std::string_view name) {
  return name == "expected" || name == kExposureColumn ||
         (name != "n" && IsCsvTableColumn(name));
}

}  // namespace propsmooth

#endif  // PROPSMOOTH_TABULAR_CSV_COLUMNS_H_
