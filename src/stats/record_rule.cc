#include "stats/record_rule.h"

#include <algorithm>

namespace propsmooth {
namespace {

template <typename T>
std::optional<BadRecord> FirstBad(std::span<const T> counts, std::span<const T> sizes) {
  const std::size_t rows = std::min(counts.size(), sizes.size());
  for (std::size_t i = 0; i < rows; ++i) {
    const RecordFault fault = CheckRecord(counts[i], sizes[i]);
    if (fault != RecordFault::kNone) return BadRecord{i, fault};
  }
  return std::nullopt;
}

}  // namespace

RecordFault CheckRecord(std::int64_t count, std::int64_t size) {
  if (count < kLeastCount) return RecordFault::kCountBelowLeast;
  if (size < kLeastSize) return RecordFault::kSizeBelowLeast;
  if (count > size) return RecordFault::kCountAboveSize;
  return RecordFault::kNone;
}

std::string_view RecordFaultText(RecordFault fault) {
  switch (fault) {
    case RecordFault::kNone:
      return "";
    case RecordFault::kCountBelowLeast:
      return "the count is below 0";
    case RecordFault::kSizeBelowLeast:
      return "the size is below 1";
    case RecordFault::kCountAboveSize:
      return "the count is above the size";
  }
  return "";
}

std::string_view RecordRuleText() { return "0 <= count <= size and size >= 1"; }

std::optional<BadRecord> FirstBadRecord(std::span<const std::int32_t> counts,
                                        std::span<const std::int32_t> sizes) {
  return FirstBad(counts, sizes);
}

std::optional<BadRecord> FirstBadRecord(std::span<const std::int64_t> counts,
                                        std::span<const std::int64_t> sizes) {
  return FirstBad(counts, sizes);
}

}  // namespace propsmooth
