// The data file reader: records, text-mode view of the bytes, and the first
// bad record deciding the outcome.
#include "input/data_file.h"

#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "input/read_messages.h"

namespace propsmooth {
namespace {

using namespace std::string_view_literals;

constexpr ReadOutcome kOk = ReadOutcome::kOk;
constexpr ReadOutcome kOutOfRange = ReadOutcome::kOutOfRange;
constexpr ReadOutcome kMalformed = ReadOutcome::kMalformed;

constexpr std::int32_t kMaxInt = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMinInt = std::numeric_limits<std::int32_t>::min();

struct Fields {
  std::int32_t Unit;
  std::int32_t Code;
  std::int32_t Data1;
  std::int32_t Data2;
};

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

struct Read {
  ReadResult Result;
  RecordTable Table;
};

// Reads `text` once from memory and once through a stream over the same
// bytes, each into a table already holding `before` records; both paths
// must agree, so every case checks both.
Read ReadBoth(std::string_view text, std::size_t before = 0,
              std::size_t limit = kMaxRecords) {
  Read from_text;
  from_text.Table.resize(before);
  from_text.Result = ReadDataText(text, &from_text.Table, limit);

  Read from_file;
  from_file.Table.resize(before);
  std::string bytes(text);
  std::unique_ptr<std::FILE, FileCloser> stream(
      fmemopen(bytes.data(), bytes.size(), "r"));
  EXPECT_NE(stream, nullptr);
  if (stream) from_file.Result = ReadDataFile(stream.get(), &from_file.Table, limit);

  EXPECT_EQ(from_file.Result.Outcome, from_text.Result.Outcome);
  EXPECT_EQ(from_file.Result.Code, from_text.Result.Code);
  EXPECT_EQ(from_file.Table.size(), from_text.Table.size());
  return from_text;
}

void ExpectTable(const RecordTable& table, const std::vector<Fields>& expected) {
  ASSERT_EQ(table.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("record " + std::to_string(i + 1));
    EXPECT_EQ(table[i].Unit, expected[i].Unit);
    EXPECT_EQ(table[i].Code, expected[i].Code);
    EXPECT_EQ(table[i].Data1, expected[i].Data1);
    EXPECT_EQ(table[i].Data2, expected[i].Data2);
  }
}

// A printable trace of bytes that may hold control characters.
std::string Visible(std::string_view text) {
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      shown += c;
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      shown += escape;
    }
  }
  return shown;
}

struct Case {
  std::string_view Text;
  ReadOutcome Outcome;
  std::int32_t Code;             // the Code the message names
  std::vector<Fields> Admitted;  // records in the table when reading stopped
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(Visible(c.Text));
    const Read read = ReadBoth(c.Text);
    EXPECT_EQ(read.Result.Outcome, c.Outcome);
    EXPECT_EQ(read.Result.Code, c.Code);
    ExpectTable(read.Table, c.Admitted);
  }
}

TEST(ReadDataFile, ReadsRecordsWhateverTheLayout) {
  const std::vector<Fields> two = {{1, 10, 2, 5}, {2, 20, 3, 6}};
  RunCases({
      {""sv, kOk, 0, {}},
      {" \t\n\v\f \n"sv, kOk, 0, {}},
      {"1 10 2 5"sv, kOk, 0, {{1, 10, 2, 5}}},
      {"1 10 2 5\n"sv, kOk, 0, {{1, 10, 2, 5}}},
      {"\n\n  1 10 2 5  \n\n"sv, kOk, 0, {{1, 10, 2, 5}}},
      {"1 10 2 5\n2 20 3 6\n"sv, kOk, 0, two},
      {"1 10 2 5 2 20 3 6"sv, kOk, 0, two},
      {"1\n10\n2\n5\n2 20\n3\t6"sv, kOk, 0, two},
      {"1\t10\v2\f5\n\n\n2   20 3 6\n"sv, kOk, 0, two},
      {"1 10 2 5\r\n2 20 3 6\r\n"sv, kOk, 0, two},
      {"1 10 2 5\r\n2 20 3 6"sv, kOk, 0, two},
      {"\r\n\r\n1 10 2 5\r\n\r\n2 20 3 6\r\n\r\n"sv, kOk, 0, two},
      {"+1 +10 +2 +5"sv, kOk, 0, {{1, 10, 2, 5}}},
      {"007 0010 -0 0005"sv, kOk, 0, {{7, 10, 0, 5}}},
      {"0000000000000000000001 2 3 4"sv, kOk, 0, {{1, 2, 3, 4}}},
  });
}

// Carriage returns are dropped wherever they stand, also inside a number,
// and the first Ctrl-Z ends the data.
TEST(ReadDataFile, ReadsTheTextModeView) {
  RunCases({
      {"1 1\r2 3 4"sv, kOk, 0, {{1, 12, 3, 4}}},
      {"1 -\r7 3 4\r"sv, kOk, 0, {{1, -7, 3, 4}}},
      {"\r1\r \r10\r \r2\r \r5\r"sv, kOk, 0, {{1, 10, 2, 5}}},
      // A lone CR is no separator: "1\r10" is 110, leaving three numbers.
      {"1\r10 2 5"sv, kMalformed, 0, {}},
      {"\x1A"sv, kOk, 0, {}},
      {"\x1Agarbage"sv, kOk, 0, {}},
      {"  \n\x1A 1 2 3 4"sv, kOk, 0, {}},
      {"1 10 2 5\n\x1A"sv, kOk, 0, {{1, 10, 2, 5}}},
      {"1 10 2 5\x1A"sv, kOk, 0, {{1, 10, 2, 5}}},
      {"1 10 2 5\n\x1Ajunk 1 2\n"sv, kOk, 0, {{1, 10, 2, 5}}},
      {"1 10 2 5\r\n\x1A\r\n\x1A\x1A\0\xFF"sv, kOk, 0, {{1, 10, 2, 5}}},
      {"1 10 2 5\n2 20 3\x1A" "6\n"sv, kMalformed, 10, {{1, 10, 2, 5}}},
      {"1 10 2 5\n2 20 3 \x1A" "6\n"sv, kMalformed, 10, {{1, 10, 2, 5}}},
  });
}

// A number ends at its first non-digit: a sign there starts the next one,
// anything else makes the record malformed.
TEST(ReadDataFile, SplitsNumbersAtSigns) {
  RunCases({
      {"3-1+2+4"sv, kOk, 0, {{3, -1, 2, 4}}},
      {"-1-5 0 1"sv, kOk, 0, {{-1, -5, 0, 1}}},
      {"1 10 2 5-1 11 0 1"sv, kOk, 0, {{1, 10, 2, 5}, {-1, 11, 0, 1}}},
      {"3 1-2 4"sv, kOutOfRange, 1, {}},
      {"+-1 2 3 4"sv, kMalformed, 0, {}},
      {"1 --2 3 4"sv, kMalformed, 0, {}},
      {"1 - 2 3 4"sv, kMalformed, 0, {}},
      {"1 10 2 5 +"sv, kMalformed, 10, {{1, 10, 2, 5}}},
      {"1 10 2 5\n-\n"sv, kMalformed, 10, {{1, 10, 2, 5}}},
      {"1 10 2 5\n2 20 3 6+"sv, kMalformed, 20, {{1, 10, 2, 5}, {2, 20, 3, 6}}},
  });
}

// Only Data1 < 0, Data2 <= 0 and Unit < -1 are refused, and the message
// names the refused record's own Code.
TEST(ReadDataFile, TestsEachRecordsRange) {
  const Fields first = {1, 10, 2, 5};
  RunCases({
      {"1 10 2 5\n1 11 0 0\n"sv, kOutOfRange, 11, {first}},
      {"1 10 2 5\n1 11 -1 5\n"sv, kOutOfRange, 11, {first}},
      {"1 10 2 5\n-2 11 1 5\n"sv, kOutOfRange, 11, {first}},
      {"1 10 2 5\n1 11 1 -5\n"sv, kOutOfRange, 11, {first}},
      {"1 -7 0 0"sv, kOutOfRange, -7, {}},
      // Records failing several tests at once.
      {"1 12 -1 0"sv, kOutOfRange, 12, {}},
      {"-2 13 -1 0"sv, kOutOfRange, 13, {}},
      {"-2 14 3 0"sv, kOutOfRange, 14, {}},
      {"-2 15 -3 4"sv, kOutOfRange, 15, {}},
      {"-2147483648 16 0 1"sv, kOutOfRange, 16, {}},
      {"1 17 -2147483648 1"sv, kOutOfRange, 17, {}},
      {"1 18 0 -2147483648"sv, kOutOfRange, 18, {}},
      // The first offending record wins, even before a later bad one.
      {"1 10 2 5\n1 11 2 0\n1 12 -1 5\n"sv, kOutOfRange, 11, {first}},
      // Admitted: Data1 above Data2, Data1 0, Unit -1 anywhere, repeated
      // codes, extreme codes.
      {"1 10 7 5\n-1 10 0 1\n3 10 0 1\n-1 -3 1 2\n"sv, kOk, 0,
       {{1, 10, 7, 5}, {-1, 10, 0, 1}, {3, 10, 0, 1}, {-1, -3, 1, 2}}},
      {"1 -2147483648 0 1\n2147483647 2147483647 2147483647 2147483647\n"sv, kOk,
       0, {{1, kMinInt, 0, 1}, {kMaxInt, kMaxInt, kMaxInt, kMaxInt}}},
  });
}

// A number that does not fit 32 bits is malformed text, like any other
// character that cannot be read.
TEST(ReadDataFile, RefusesNumbersBeyond32Bits) {
  const Fields first = {1, 5, 0, 1};
  RunCases({
      {"1 2147483648 0 1"sv, kMalformed, 0, {}},
      {"1 -2147483649 0 1"sv, kMalformed, 0, {}},
      {"1 5 0 1\n1 2147483648 0 1"sv, kMalformed, 5, {first}},
      {"1 5 0 1\n2147483648 6 0 1"sv, kMalformed, 5, {first}},
      {"1 5 0 1\n1 6 4294967297 1"sv, kMalformed, 5, {first}},
      {"1 5 0 1\n1 6 0 4294967296"sv, kMalformed, 5, {first}},
      {"1 5 0 1\n1 6 0 99999999999999999999999999"sv, kMalformed, 5, {first}},
      {"1 5 0 1\n1 6 0 -99999999999999999999999999"sv, kMalformed, 5, {first}},
  });
}

// A point ends the number before it; where the record already had its four
// numbers, the record stands and the point spoils the next one.
TEST(ReadDataFile, ReadsTheIntegerPartOfFractions) {
  const Fields first = {1, 10, 2, 5};
  RunCases({
      {"0.5 10 2 5"sv, kMalformed, 0, {}},
      {"1 10 2 5\n0.5 11 2 5\n"sv, kMalformed, 10, {first}},
      {"1 10 2 5\n1 0.5 2 5\n"sv, kMalformed, 10, {first}},
      {"1 10 2 5\n1 11 0.5 5\n"sv, kMalformed, 10, {first}},
      {"1 10 2 5\n1 11 0 0.5\n"sv, kOutOfRange, 11, {first}},
      {"1 10 2 5\n1 11 0 2.5\n"sv, kMalformed, 11, {first, {1, 11, 0, 2}}},
      {"1 10 2 5\n1 11 0 2.\n"sv, kMalformed, 11, {first, {1, 11, 0, 2}}},
      {"1 10 2 5\n1 11 0 .5\n"sv, kMalformed, 10, {first}},
  });
}

TEST(ReadDataFile, RefusesTextThatIsNoRecord) {
  const Fields first = {1, 10, 2, 5};
  RunCases({
      // Incomplete last records name the last complete one.
      {"1 10 2 5\n2 20 3 6\n3 30 4\n"sv, kMalformed, 20,
       {first, {2, 20, 3, 6}}},
      {"1 10 2 5\n3 30\n"sv, kMalformed, 10, {first}},
      {"1 10 2 5\n3"sv, kMalformed, 10, {first}},
      {"1 10 2"sv, kMalformed, 0, {}},
      {"1"sv, kMalformed, 0, {}},
      // A letter right after the fourth number: the record is complete and
      // tested first.
      {"1 10 2 5x\n"sv, kMalformed, 10, {first}},
      {"1 10 2 5\n1 11 3 4x\n"sv, kMalformed, 11, {first, {1, 11, 3, 4}}},
      {"1 10 -2 5x\n"sv, kOutOfRange, 10, {}},
      {"1 10 2 5\n1 11 3 0x\n"sv, kOutOfRange, 11, {first}},
      // Column names or a byte-order mark in front of the first record.
      {"Unit Code Data1 Data2\n1 10 2 5\n"sv, kMalformed, 0, {}},
      {"\xEF\xBB\xBF" "1 10 2 5\n"sv, kMalformed, 0, {}},
      {"# comment\n1 10 2 5\n"sv, kMalformed, 0, {}},
      {"1,10,2,5"sv, kMalformed, 0, {}},
      {"1 10 2 5\n1;11;2;5"sv, kMalformed, 10, {first}},
      {"1 10 2 5\n\0"sv, kMalformed, 10, {first}},
      {"1 10 2 5\n1 11\0 2 5"sv, kMalformed, 10, {first}},
      {"1 10 2 5\n\xA0" "1 11 2 5"sv, kMalformed, 10, {first}},
      {"1 10 2 5\n1 0x1A 2 5"sv, kMalformed, 10, {first}},
  });
}

// Records are tested as they are read, so whichever fault comes first in
// the file decides.
TEST(ReadDataFile, FirstFaultInFileOrderDecides) {
  const Fields first = {1, 10, 2, 5};
  RunCases({
      {"1 10 2 5\n1 11 2 0\n1 x 2 5\n"sv, kOutOfRange, 11, {first}},
      {"1 10 2 5\n1 11 2 0\n1 2 3\n"sv, kOutOfRange, 11, {first}},
      {"1 10 2 5\n1 x 2 5\n1 11 2 0\n"sv, kMalformed, 10, {first}},
      {"1 10 2 5\n1 11 2 5.5\n1 12 2 0\n"sv, kMalformed, 11,
       {first, {1, 11, 2, 5}}},
      {"1 10 2 5\n1 2147483648 2 5\n1 11 2 0\n"sv, kMalformed, 10, {first}},
      {"1 10 2 5\n1 11 2 0\n1 2147483648 2 5\n"sv, kOutOfRange, 11, {first}},
  });
}

// Streams are read in blocks; a number, a dropped CR or a Ctrl-Z must not
// care where a block ends. The tokens are placed across the 1 MiB mark,
// which is a block boundary for every power-of-two block up to that size.
TEST(ReadDataFile, ReadsAcrossBlockBoundaries) {
  constexpr std::size_t kMark = std::size_t{1} << 20;
  for (std::size_t shift = 1; shift <= 8; ++shift) {
    SCOPED_TRACE(shift);
    std::string text(kMark - shift, ' ');
    text += "1 1234\r5678 2 5\n3 3";
    text += '\x1A';
    text += "garbage";
    const Read read = ReadBoth(text);
    EXPECT_EQ(read.Result.Outcome, kMalformed);
    EXPECT_EQ(read.Result.Code, 12345678);
    ExpectTable(read.Table, {{1, 12345678, 2, 5}});
  }
  std::string text(2 * kMark + 3, '\n');
  text += "9 8 7 6";
  const Read read = ReadBoth(text);
  EXPECT_EQ(read.Result.Outcome, kOk);
  ExpectTable(read.Table, {{9, 8, 7, 6}});
}

// Most numbers are read straight from the block at hand, the rest (one
// that may go on in the next block, or text that is no number) the long
// way: every number placed across the 1 MiB block mark, at each shift,
// reads as it does inside a block. The values are those written; the
// limits are 2^31 - 1 = 2147483647 and -2^31.
TEST(ReadDataFile, ReadsEachNumberTheSameAcrossTheBlockMark) {
  constexpr std::size_t kMark = std::size_t{1} << 20;
  const Case cases[] = {
      {"7 1234567 12 345\n", kOk, 0, {{7, 1234567, 12, 345}}},
      {"-1 +42 0 0000000000000000009\n", kOk, 0, {{-1, 42, 0, 9}}},
      {"1 2147483647 2147483647 2147483647\n", kOk, 0,
       {{1, kMaxInt, kMaxInt, kMaxInt}}},
      {"1 -2147483648 0 1\n", kOk, 0, {{1, kMinInt, 0, 1}}},
      {"1 2147483648 0 1\n", kMalformed, 0, {}},
      {"1 -2147483649 0 1\n", kMalformed, 0, {}},
      {"1 99999999999999999999 0 1\n", kMalformed, 0, {}},
      {"1 2 - 3 4\n", kMalformed, 0, {}},
      {"1 2 +\n", kMalformed, 0, {}},
      {"1\t\v\f2 3\n 4", kOk, 0, {{1, 2, 3, 4}}},
      {"1 2 3 4x", kMalformed, 2, {{1, 2, 3, 4}}},
      {"1 2 3 4", kOk, 0, {{1, 2, 3, 4}}},
  };
  for (const Case& c : cases) {
    for (std::size_t shift = 1; shift <= 36; ++shift) {
      SCOPED_TRACE(Visible(c.Text) + " at " + std::to_string(shift));
      // A record of all zeros but its size ends just before the mark less
      // the shift, so the case's record starts `shift` bytes before it.
      std::string text(kMark - shift - 8, ' ');
      text += "0 0 0 1\n";
      text += c.Text;
      std::vector<Fields> expected = {{0, 0, 0, 1}};
      expected.insert(expected.end(), c.Admitted.begin(), c.Admitted.end());
      const Read read = ReadBoth(text);
      EXPECT_EQ(read.Result.Outcome, c.Outcome);
      EXPECT_EQ(read.Result.Code, c.Code);
      ExpectTable(read.Table, expected);
    }
  }
}

// A run numbers its records in 32 bits: the record past the limit is
// refused, named by the last one admitted, whether the table was empty or
// held records already. Tried at a small limit; the real one is 2^31 - 1.
TEST(ReadDataFile, RefusesMoreRecordsThanTheLimit) {
  struct LimitCase {
    std::string_view Text;
    std::size_t Before;  // records in the table before reading
    std::size_t Limit;
    ReadOutcome Outcome;
    std::int32_t Code;
    std::size_t After;
  };
  const LimitCase kCases[] = {
      {"1 10 2 5\n1 11 2 5\n1 12 2 5\n"sv, 0, 3, kOk, 0, 3},
      {"1 10 2 5\n1 11 2 5\n1 12 2 5\n"sv, 0, 2, ReadOutcome::kTooMany, 11, 2},
      {"1 10 2 5\n1 11 2 5\n"sv, 1, 2, ReadOutcome::kTooMany, 10, 2},
      {"1 10 2 5\n"sv, 2, 2, ReadOutcome::kTooMany, 0, 2},
      // A record is tested whole before it is counted: the first fault in
      // file order decides.
      {"1 10 2 5\n1 11 2 0\n1 12 2 5\n"sv, 0, 2, kOutOfRange, 11, 1},
      {"1 10 2 5\n1 11 2 5\n1 12 x 5\n"sv, 0, 2, kMalformed, 11, 2},
      {"1 10 2 5\n1 11 2 5\n1 12 2 0\n"sv, 0, 2, kOutOfRange, 12, 2},
  };
  for (const LimitCase& c : kCases) {
    SCOPED_TRACE(Visible(c.Text) + " limit " + std::to_string(c.Limit));
    const Read read = ReadBoth(c.Text, c.Before, c.Limit);
    EXPECT_EQ(read.Result.Outcome, c.Outcome);
    EXPECT_EQ(read.Result.Code, c.Code);
    EXPECT_EQ(read.Table.size(), c.After);
  }
  std::string message;
  EXPECT_EQ(DescribeDataRead({ReadOutcome::kTooMany, 11}, "data.txt", &message),
            ExitStatus::kBadInput);
  EXPECT_EQ(message, "\n Error!! More than 2147483647 records (after code-11); split the "
                     "data file\n");
}

TEST(ReadDataFile, ReportsAStreamThatCannotBeRead) {
  char buffer[16] = "1 10 2 5\n";
  std::unique_ptr<std::FILE, FileCloser> stream(
      fmemopen(buffer, sizeof buffer, "w"));
  ASSERT_NE(stream, nullptr);
  RecordTable table;
  EXPECT_EQ(ReadDataFile(stream.get(), &table).Outcome, ReadOutcome::kUnreadable);
  EXPECT_TRUE(table.empty());
}

}  // namespace
}  // namespace propsmooth
