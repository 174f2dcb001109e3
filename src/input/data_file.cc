#include "input/data_file.h"

#include <array>
#include <memory>

namespace propsmooth {
namespace {

constexpr int kEnd = -1;
constexpr int kCtrlZ = 0x1A;

// A byte source with the text-mode view of the data: no carriage returns,
// and nothing from the first Ctrl-Z on. Reads the stream in large blocks.
class TextSource {
 public:
  // `stream` may be null when the whole text is given as `initial`.
  TextSource(std::FILE* stream, std::string_view initial)
      : stream_(stream), next_(initial.data()), end_(initial.data() + initial.size()) {
    if (stream_ != nullptr) buffer_ = std::make_unique<std::array<char, kBlock>>();
  }
  TextSource(const TextSource&) = delete;
  TextSource& operator=(const TextSource&) = delete;

  /// The next byte without taking it, or kEnd.
  int Peek() {
    for (;;) {
      if (next_ == end_ && !Refill()) return kEnd;
      const int c = static_cast<unsigned char>(*next_);
      if (c == '\r') {
        ++next_;
        continue;
      }
      if (c == kCtrlZ) {
        ended_ = true;
        next_ = end_;
        return kEnd;
      }
      return c;
    }
  }

  void Take() { ++next_; }

  bool failed() const { return failed_; }

 private:
  static constexpr std::size_t kBlock = std::size_t{1} << 20;

  bool Refill() {
    if (stream_ == nullptr || ended_) return false;
    const std::size_t got = std::fread(buffer_->data(), 1, kBlock, stream_);
    if (got == 0) {
      ended_ = true;
      failed_ = std::ferror(stream_) != 0;
      return false;
    }
    next_ = buffer_->data();
    end_ = next_ + got;
    return true;
  }

  std::FILE* stream_;
  std::unique_ptr<std::array<char, kBlock>> buffer_;
  const char* next_;
  const char* end_;
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

ReadResult ReadRecords(TextSource* source, RecordTable* table) {
  std::int32_t last_code = 0;
  for (;;) {
    std::int32_t fields[4] = {0, 0, 0, 0};
    for (int f = 0; f < 4; ++f) {
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
    table->push_back(record);
    last_code = record.Code;
  }
}

}  // namespace

ReadResult ReadDataFile(std::FILE* stream, RecordTable* table) {
  TextSource source(stream, {});
  return ReadRecords(&source, table);
}

ReadResult ReadDataText(std::string_view text, RecordTable* table) {
  TextSource source(nullptr, text);
  return ReadRecords(&source, table);
}

}  // namespace propsmooth
