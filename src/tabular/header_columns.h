// Finding the chosen columns in a CSV or TSV header.
#ifndef PROPSMOOTH_TABULAR_HEADER_COLUMNS_H_
#define PROPSMOOTH_TABULAR_HEADER_COLUMNS_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tabular/input_table.h"

namespace propsmooth {

/// What a column is read as: bits, since one column may be read as two.
enum ColumnRole : std::uint8_t {
  kCountRole = 1,
  kSizeRole = 2,
  kGroupRole = 4,
  kIdRole = 8,
  kKeepRole = 16,
  kExpectedRole = 32,
};

/// Where the chosen columns stand in the header.
struct HeaderColumns {
  std::vector<std::uint8_t> Roles;  // per column of the header, ColumnRole bits
  std::size_t Count = 0;            // the count column's index
  std::size_t Size = 0;             // the size column's index
  std::size_t Group = 0;            // the group column's index, when chosen
  std::size_t Expected = 0;         // rates: the expected or exposure column's index
  std::vector<std::size_t> Kept;    // the kept columns' indices, in their order
};

/// Finds each name of `columns` in `header` (matched exactly) and the
/// columns to keep. Empty when the count or size column is not chosen or a
/// kept column would take a name the CSV table has already, or is kept
/// twice (status 1), or a chosen name stands in no column or in two
/// (status 2); otherwise the columns. The
/// message opens with `where` ("deaths.csv line 1: ") and names the
/// option, and the header when that helps.
/// Names each header cell that has no name "field N", after its place.
void NameUnnamedColumns(std::vector<std::string>* header);

std::optional<HeaderColumns> FindHeaderColumns(const std::vector<std::string>& header,
                                               const ColumnChoice& columns,
                                               std::string_view where, InputError* error);

}  // namespace propsmooth

#endif  // PROPSMOOTH_TABULAR_HEADER_COLUMNS_H_
