// The data file reader: four whole numbers per record, tested as read.
#ifndef PROPSMOOTH_INPUT_DATA_FILE_H_
#define PROPSMOOTH_INPUT_DATA_FILE_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "common/types.h"

namespace propsmooth {

/// How reading the data ended.
enum class ReadOutcome {
  kOk,           // every record read; the table holds them all
  kOutOfRange,   // a complete record with Data1 < 0, Data2 <= 0 or Unit < -1
  kMalformed,    // text that is no record (also a number beyond 32 bits)
  kUnreadable,   // the stream's bytes could not be read
  kTooMany,      // more records than one run can number (kMaxRecords)
};

/// The most records one run takes, as the CSV reader: a record's position
/// is a 32-bit signed number (the CSV path's Code, the index a group plan
/// keeps of it).
inline constexpr std::size_t kMaxRecords = 2147483647;

struct ReadResult {
  ReadOutcome Outcome = ReadOutcome::kOk;
  /// kOutOfRange: the offending record's Code. kMalformed and kTooMany: the
  /// Code of the last record admitted before the bad text or the record
  /// too many, 0 when there is none.
  std::int32_t Code = 0;
};

/// Reads every record of `stream` into `table` (appending). The stream is
/// seen as in text mode: carriage returns are dropped and the first 0x1A
/// byte ends the data. Stops at the first bad record; the table then holds
/// the records admitted before it. A record that would make the table hold
/// more than `max_records` is refused as kTooMany (the default is the real
/// limit; tests try a small one). Neither opens nor closes the stream.
ReadResult ReadDataFile(std::FILE* stream, RecordTable* table,
                        std::size_t max_records = kMaxRecords);

/// ReadDataFile over text already in memory: a stream that cannot be read
/// twice (a pipe) whose start was read to tell its format.
ReadResult ReadDataText(std::string_view text, RecordTable* table,
                        std::size_t max_records = kMaxRecords);

}  // namespace propsmooth

#endif  // PROPSMOOTH_INPUT_DATA_FILE_H_
