// The data reader on arbitrary bytes. Checks, besides the sanitizers:
// - the outcome, the reported Code and the admitted records agree with an
//   independent reading of the same text built on strtol;
// - the stream reader and the in-memory reader agree;
// - every admitted record passes the range test;
// - the admitted records, written back one per line, read back identically.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/types.h"
#include "input/data_file.h"
#include "fuzz_check.h"

namespace propsmooth {
namespace {

bool SameRecords(const RecordTable& a, const RecordTable& b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].Unit != b[i].Unit || a[i].Code != b[i].Code ||
        a[i].Data1 != b[i].Data1 || a[i].Data2 != b[i].Data2) {
      return false;
    }
  }
  return true;
}

// The text the reader must see: carriage returns dropped, and nothing from
// the first Ctrl-Z byte on.
std::string TextView(std::string_view bytes) {
  std::string text;
  for (const char c : bytes) {
    if (c == '\x1a')
      break;
    if (c != '\r')
      text.push_back(c);
  }
  return text;
}

// The reference reading: white space as isspace in the C locale (the
// carriage returns are already gone), numbers by strtol in base 10, each
// required to fit 32 bits.
ReadResult ReferenceRead(const std::string& text, RecordTable* table) {
  const char* const begin = text.c_str();
  std::size_t pos = 0;
  std::int32_t last_code = 0;
  for (;;) {
    long fields[4] = {0, 0, 0, 0};
    for (int f = 0; f < 4; ++f) {
      while (pos < text.size() &&
             (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n' ||
              text[pos] == '\v' || text[pos] == '\f')) {
        ++pos;
      }
      if (pos == text.size() && f == 0)
        return {ReadOutcome::kOk, 0};
      // strtol would skip a leading blank itself; there is none left, and
      // an embedded NUL ends its view of the text, which then holds no
      // number: both are malformed text for the reader too.
      char* end = nullptr;
      errno = 0;
      const long value = std::strtol(begin + pos, &end, 10);
      if (end == begin + pos || errno == ERANGE || value < INT32_MIN ||
          value > INT32_MAX) {
        return {ReadOutcome::kMalformed, last_code};
      }
      fields[f] = value;
      pos = static_cast<std::size_t>(end - begin);
    }
    RegionRecord record;
    record.Unit = static_cast<std::int32_t>(fields[0]);
    record.Code = static_cast<std::int32_t>(fields[1]);
    record.Data1 = static_cast<std::int32_t>(fields[2]);
    record.Data2 = static_cast<std::int32_t>(fields[3]);
    if (record.Data1 < 0 || record.Data2 <= 0 || record.Unit < -1) {
      return {ReadOutcome::kOutOfRange, record.Code};
    }
    table->push_back(record);
    last_code = record.Code;
  }
}

std::string Canonical(const RecordTable& table) {
  std::string text;
  for (const RegionRecord& r : table) {
    text += std::to_string(r.Unit) + ' ' + std::to_string(r.Code) + ' ' +
            std::to_string(r.Data1) + ' ' + std::to_string(r.Data2) + '\n';
  }
  return text;
}

}  // namespace
}  // namespace propsmooth

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace propsmooth;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  RecordTable table;
  const ReadResult result = ReadDataText(bytes, &table);
  Check(result.Outcome != ReadOutcome::kUnreadable,
        "text in memory is readable");

  RecordTable reference;
  const ReadResult expected = ReferenceRead(TextView(bytes), &reference);
  Check(result.Outcome == expected.Outcome, "outcome as the reference reading");
  Check(result.Code == expected.Code, "reported Code as the reference reading");
  Check(SameRecords(table, reference), "records as the reference reading");

  // The stream reader takes a large block buffer per call, which costs
  // about a hundred in-memory readings under the sanitizers: compare the
  // two on one input in eight.
  if (size > 0 && size % 8 == 0) {
    // fmemopen needs a writable buffer in older C libraries.
    std::string copy(bytes);
    std::FILE* stream = fmemopen(copy.data(), copy.size(), "rb");
    Check(stream != nullptr, "fmemopen");
    RecordTable from_stream;
    const ReadResult streamed = ReadDataFile(stream, &from_stream);
    std::fclose(stream);
    Check(streamed.Outcome == result.Outcome && streamed.Code == result.Code,
          "stream and memory readers end alike");
    Check(SameRecords(from_stream, table),
          "stream and memory readers read alike");
  }

  for (const RegionRecord& r : table) {
    Check(r.Data1 >= 0 && r.Data2 >= 1 && r.Unit >= -1,
          "admitted records are in range");
  }

  // Whatever was admitted before the end (or before the bad record) is a
  // table of its own and must survive a round trip.
  RecordTable again;
  const ReadResult reread = ReadDataText(Canonical(table), &again);
  Check(reread.Outcome == ReadOutcome::kOk,
        "canonical text reads without error");
  Check(SameRecords(again, table), "canonical text reads back identically");
  return 0;
}
