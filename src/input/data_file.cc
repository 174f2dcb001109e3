#include "input/data_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <string_view>

#include "common/platform.h"

namespace propsmooth {
namespace {

constexpr int kEnd = -1;
constexpr int kCtrlZ = 0x1A;

// A byte source with the text-mode view of the data: no carriage returns,
// and nothing from the first Ctrl-Z on. The view is applied to a whole
// block when it is read, so that taking a byte is a plain load.
class TextSource {
 public:
  // Reads `stream`, or `text` when `stream` is null.
  TextSource(std::FILE* stream, std::string_view text)
      : stream_(stream),
        text_(text),
        capacity_(stream != nullptr ? kBlock : std::min(kBlock, std::max<std::size_t>(text.size(), 1))),
        buffer_(std::make_unique_for_overwrite<char[]>(capacity_)) {}
  TextSource(const TextSource&) = delete;
  TextSource& operator=(const TextSource&) = delete;

  /// The next byte without taking it, or kEnd.
  int Peek() {
    if (next_ == end_ && !Refill()) return kEnd;
    return static_cast<unsigned char>(*next_);
  }

  void Take() { ++next_; }

  /// The bytes of the view loaded already, [Next(), End()), and taking
  /// them up to `to` in one step; nothing is loaded.
  const char* Next() const { return next_; }
  const char* End() const { return end_; }
  void TakeTo(const char* to) { next_ = to; }

  bool failed() const { return failed_; }

 private:
  static constexpr std::size_t kBlock = std::size_t{1} << 20;

  // Loads the next block that holds any byte of the view; false at the end.
  bool Refill() {
    while (!ended_) {
      char* block = buffer_.get();
      std::size_t got = 0;
      if (stream_ != nullptr) {
        got = std::fread(block, 1, capacity_, stream_);
        if (got == 0) failed_ = std::ferror(stream_) != 0;
      } else {
        got = std::min(capacity_, text_.size());
        std::memcpy(block, text_.data(), got);
        text_.remove_prefix(got);
      }
      if (got == 0) {
        ended_ = true;
        break;
      }
      if (const void* stop = std::memchr(block, kCtrlZ, got)) {
        got = static_cast<std::size_t>(static_cast<const char*>(stop) - block);
        ended_ = true;
      }
      got = DropCarriageReturns(block, got);
      if (got == 0) continue;
      next_ = block;
      end_ = block + got;
      return true;
    }
    return false;
  }

  // Removes every CR of block[0, size) in place; returns the new size.
  static std::size_t DropCarriageReturns(char* block, std::size_t size) {
    char* out = static_cast<char*>(std::memchr(block, '\r', size));
    if (out == nullptr) return size;
    for (const char* in = out; in != block + size; ++in) {
      if (*in != '\r') *out++ = *in;
    }
    return static_cast<std::size_t>(out - block);
  }

  std::FILE* stream_;
  std::string_view text_;
  std::size_t capacity_;
  std::unique_ptr<char[]> buffer_;
  const char* next_ = nullptr;
  const char* end_ = nullptr;
  bool ended_ = false;
  bool failed_ = false;
};

bool IsSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f';
}

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

enum class Scan { kNumber, kNoMore, kBad };

// Skips white space and reads one number: an optional sign and one or more
// digits, ending at the first non-digit, which stays unread. kNoMore when
// only white space remained; kBad for anything else, a value beyond 32 bits
// too.
Scan ScanNumber(TextSource* source, std::int32_t* value) {
  int c = source->Peek();
  while (IsSpace(c)) {
    source->Take();
    c = source->Peek();
  }
  if (c == kEnd) return Scan::kNoMore;
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    source->Take();
    c = source->Peek();
  }
  if (!IsDigit(c)) return Scan::kBad;
  constexpr std::int64_t kLimit = std::int64_t{1} << 31;
  std::int64_t magnitude = 0;
  bool too_large = false;
  do {
    if (!too_large) {
      magnitude = magnitude * 10 + (c - '0');
      too_large = magnitude > kLimit;
    }
    source->Take();
    c = source->Peek();
  } while (IsDigit(c));
  if (too_large || (!negative && magnitude == kLimit)) return Scan::kBad;
  *value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return Scan::kNumber;
}

// ScanNumber on the bytes loaded already, where nearly every number is
// read: true with the number when it and the byte after it lie there;
// false, with nothing taken, when ScanNumber must decide (the number may
// go on in the next block, or the text is no number).
bool ScanNumberInBlock(TextSource* source, std::int32_t* value) {
  const char* at = source->Next();
  const char* const end = source->End();
  while (at != end && IsSpace(*at)) ++at;
  if (at == end) return false;
  const bool negative = *at == '-';
  if (negative || *at == '+') ++at;
  if (at == end || !IsDigit(*at)) return false;
  constexpr std::int64_t kLimit = std::int64_t{1} << 31;
  std::int64_t magnitude = 0;
  do {
    magnitude = magnitude * 10 + (*at - '0');
    if (magnitude > kLimit) return false;
    ++at;
  } while (at != end && IsDigit(*at));
  if (at == end || (!negative && magnitude == kLimit)) return false;
  *value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  source->TakeTo(at);
  return true;
}

ReadResult ReadRecords(TextSource* source, RecordTable* table, std::size_t max_records) {
  std::int32_t last_code = 0;
  for (;;) {
    std::int32_t fields[4] = {0, 0, 0, 0};
    for (int f = 0; f < 4; ++f) {
      if (ScanNumberInBlock(source, &fields[f])) continue;
      const Scan scan = ScanNumber(source, &fields[f]);
      if (scan == Scan::kNumber) continue;
      if (source->failed()) return {ReadOutcome::kUnreadable, 0};
      if (scan == Scan::kNoMore && f == 0) return {ReadOutcome::kOk, 0};
      return {ReadOutcome::kMalformed, last_code};
    }
    RegionRecord record;
    record.Unit = fields[0];
    record.Code = fields[1];
    record.Data1 = fields[2];
    record.Data2 = fields[3];
    if (record.Data1 < 0 || record.Data2 <= 0 || record.Unit < -1) {
      return {ReadOutcome::kOutOfRange, record.Code};
    }
    if (table->size() >= max_records) return {ReadOutcome::kTooMany, last_code};
    table->push_back(record);
    last_code = record.Code;
  }
}

}  // namespace

ReadResult ReadDataFile(std::FILE* stream, RecordTable* table, std::size_t max_records) {
  // A record takes at least eight bytes ("0 0 0 1" and a separator), so a
  // regular file's size bounds the count. Reserving that much address
  // space up front spares the copies and fresh pages of repeated growth;
  // pages that no record reaches are never touched. Where it cannot be
  // had, the table grows as it goes.
  StreamKind kind;
  if (InspectStream(stream, &kind) && kind.Bytes > 0) {
    try {
      table->reserve(table->size() + kind.Bytes / 8 + 1);
      AskForLargePages(table->data(), table->capacity() * sizeof(RegionRecord));
    } catch (const std::exception&) {
    }
  }
  TextSource source(stream, {});
  return ReadRecords(&source, table, max_records);
}

ReadResult ReadDataText(std::string_view text, RecordTable* table, std::size_t max_records) {
  TextSource source(nullptr, text);
  return ReadRecords(&source, table, max_records);
}

}  // namespace propsmooth
