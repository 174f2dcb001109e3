// The one rule that makes a record a binomial count: 0 <= x <= n, n >= 1.
// Every reader and entry point of the statistics judges records by it; the
// strict program's four-number reader keeps its own, older meaning (it
// admits x > n, whose posterior is then "not a binomial count").
#ifndef PROPSMOOTH_STATS_RECORD_RULE_H_
#define PROPSMOOTH_STATS_RECORD_RULE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace propsmooth {

/// The least count and the least size a record may have.
inline constexpr std::int64_t kLeastCount = 0;
inline constexpr std::int64_t kLeastSize = 1;

/// What is wrong with a record, the first broken part in this order.
enum class RecordFault : std::uint8_t {
  kNone,
  kCountBelowLeast,  // x < 0
  kSizeBelowLeast,   // n < 1
  kCountAboveSize,   // x > n
};

/// Judges the record (count x, size n). In 64-bit arithmetic, so that any
/// pair of 32-bit (or 64-bit) values is judged without overflow.
RecordFault CheckRecord(std::int64_t count, std::int64_t size);

/// The fault as a fragment of a message: "the count is below 0", "the size
/// is below 1", "the count is above the size"; empty for kNone.
std::string_view RecordFaultText(RecordFault fault);

/// The rule itself, for messages: "0 <= count <= size and size >= 1".
std::string_view RecordRuleText();

/// A record that breaks the rule: its position and fault.
struct BadRecord {
  std::size_t Row = 0;
  RecordFault Fault = RecordFault::kNone;
};

/// The first record (counts[i], sizes[i]) that breaks the rule; empty when
/// all keep it. The spans have one length.
std::optional<BadRecord> FirstBadRecord(std::span<const std::int32_t> counts,
                                        std::span<const std::int32_t> sizes);
std::optional<BadRecord> FirstBadRecord(std::span<const std::int64_t> counts,
                                        std::span<const std::int64_t> sizes);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_RECORD_RULE_H_
