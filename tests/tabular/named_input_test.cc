#include "tabular/named_input.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "input/grouping.h"
#include "tabular/cell_text.h"
#include "tabular/input_format.h"

namespace propsmooth {
namespace {

namespace fs = std::filesystem;

constexpr ExitStatus k1 = ExitStatus::kBadInput;
constexpr ExitStatus k2 = ExitStatus::kMalformedData;

struct Read {
  std::optional<InputError> Error;
  InputTable Table;
};

// Reads `text` as the stream named `name` (a temporary file, so rewindable).
Read ReadText(std::string_view text, const std::string& name, const ColumnChoice& columns,
              std::optional<InputFormat> format = std::nullopt) {
  std::FILE* file = std::tmpfile();
  EXPECT_NE(file, nullptr);
  std::fwrite(text.data(), 1, text.size(), file);
  std::rewind(file);
  Read read;
  read.Error = ReadNamedStream(file, name, format, columns, &read.Table);
  std::fclose(file);
  return read;
}

// The same through a pipe, which cannot be rewound; the text fits its buffer.
Read ReadThroughPipe(std::string_view text, const std::string& name, const ColumnChoice& columns) {
  int ends[2];
  EXPECT_EQ(::pipe(ends), 0);
  EXPECT_EQ(::write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::close(ends[1]);
  std::FILE* file = ::fdopen(ends[0], "rb");
  Read read;
  read.Error = ReadNamedStream(file, name, std::nullopt, columns, &read.Table);
  std::fclose(file);
  return read;
}

const ColumnChoice kDeathsBirths = {"deaths", "births", "", ""};

ColumnChoice RateColumns() {
  ColumnChoice rates;
  rates.Count = "deaths";
  rates.Expected = "expected";
  return rates;
}

std::vector<std::string> IdsOf(const InputTable& table) {
  std::vector<std::string> ids;
  for (std::size_t i = 0; i < table.Ids.size(); ++i) {
    ids.emplace_back(table.Ids[i]);
  }
  return ids;
}

TEST(InputFormat, ComesFromTheNameElseTheFirstLine) {
  struct NameCase {
    const char* Name;
    std::optional<InputFormat> Format;
  };
  const NameCase names[] = {
      {"deaths.csv", InputFormat::kCsv},
      {"DEATHS.CSV", InputFormat::kCsv},
      {"a/b.tsv", InputFormat::kTsv},
      {"b.Tab", InputFormat::kTsv},
      {"rats.txt", std::nullopt},
      {"rats.dat", std::nullopt},
      {"-", std::nullopt},
      {"data.csv/input", std::nullopt},
      {"data.csv.gz", InputFormat::kCsv},
      {"data.tsv.GZ", InputFormat::kTsv},
      {"data.gz", std::nullopt},
      {"csv", std::nullopt},
  };
  for (const NameCase& c : names) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(FormatFromName(c.Name), c.Format);
  }
  struct LineCase {
    const char* Line;
    InputFormat Format;
  };
  const LineCase lines[] = {
      {"1 1 3 20", InputFormat::kLegacy},
      {"-1\t+7\t3\t20\r", InputFormat::kLegacy},
      {"", InputFormat::kLegacy},
      {"county,deaths", InputFormat::kCsv},
      {"county\tdeaths", InputFormat::kTsv},
      {"a, b\tc", InputFormat::kTsv},
      {"county;deaths", InputFormat::kCsv},
      {"county|deaths", InputFormat::kLegacy},
      {"1,2", InputFormat::kCsv},
  };
  for (const LineCase& c : lines) {
    SCOPED_TRACE(c.Line);
    EXPECT_EQ(FormatFromFirstLine(c.Line), c.Format);
  }
  // A delimiter asked for decides alone.
  EXPECT_EQ(FormatFromFirstLine("county|deaths", '|'), InputFormat::kCsv);
  EXPECT_EQ(FormatFromFirstLine("county,deaths", '|'), InputFormat::kLegacy);
  EXPECT_EQ(FormatFromFirstLine("county\tdeaths", '\t'), InputFormat::kTsv);
  // Semicolons only when no comma is there: R's write.csv2.
  EXPECT_EQ(CsvDelimiterOf("\"\";\"x\";\"n\""), ';');
  EXPECT_EQ(CsvDelimiterOf("a;b,c"), ',');
  EXPECT_EQ(CsvDelimiterOf("x"), ',');
  EXPECT_EQ(FirstFilledLine("\r\n \n x;n\r\n1;2"), " x;n");
  EXPECT_TRUE(IsGzipData("\x1F\x8B\x08"));
  EXPECT_FALSE(IsGzipData("\x1F"));
  EXPECT_EQ(WithoutByteOrderMark("\xEF\xBB\xBFx,n"), "x,n");
  EXPECT_EQ(WithoutByteOrderMark("\xEF\xBBx"), "\xEF\xBBx");
}

TEST(ReadCountCell, TakesWholeNumbersOnly) {
  using R = CellReading;
  struct Case {
    const char* Text;
    CellReading Reading;
    std::int32_t Value;
  };
  const Case cases[] = {
      {"0", R::kWhole, 0},
      {" 12\t", R::kWhole, 12},
      {"12.0", R::kWhole, 12},
      {"12.000", R::kWhole, 12},
      {"007", R::kWhole, 7},
      {"-0.0", R::kWhole, 0},
      {"2147483647", R::kWhole, 2147483647},
      {"2147483648", R::kTooLarge, 0},
      {"99999999999999999999", R::kTooLarge, 0},
      {"-1", R::kNegative, 0},
      {"-99999999999", R::kNegative, 0},
      {"1.5", R::kNotWhole, 0},
      {"12.", R::kNotWhole, 0},
      {"12.01", R::kNotWhole, 0},
      {".0", R::kNotWhole, 0},
      {"", R::kNotWhole, 0},
      {"NA", R::kNotWhole, 0},
      {"1e3", R::kNotWhole, 0},
      {"+5", R::kWhole, 5},
      {"+0", R::kWhole, 0},
      {"-0", R::kWhole, 0},
      {"+-5", R::kNotWhole, 0},
      {"+", R::kNotWhole, 0},
      {"12,0", R::kNotWhole, 0},
      {"1,000", R::kNotWhole, 0},
      {"1 2", R::kNotWhole, 0},
      {"-", R::kNotWhole, 0},
      {"--1", R::kNotWhole, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    const CellNumber number = ReadCountCell(c.Text);
    EXPECT_EQ(number.Reading, c.Reading);
    if (c.Reading == R::kWhole) {
      EXPECT_EQ(number.Value, c.Value);
    }
  }
}

// Where a comma is the decimal mark, "12,0" is a whole number too.
TEST(ReadCountCell, TakesADecimalCommaWhenAsked) {
  EXPECT_EQ(ReadCountCell("12,0", true).Value, 12);
  EXPECT_EQ(ReadCountCell("12,00", true).Reading, CellReading::kWhole);
  EXPECT_EQ(ReadCountCell("12.0", true).Reading, CellReading::kWhole);
  EXPECT_EQ(ReadCountCell("12,5", true).Reading, CellReading::kNotWhole);
  EXPECT_EQ(ReadCountCell("1,", true).Reading, CellReading::kNotWhole);
  // Either mark may group thousands there: a thousand is never read as 1.
  EXPECT_EQ(ReadCountCell("1,000", true).Reading, CellReading::kNotWhole);
  EXPECT_EQ(ReadCountCell("1.000", true).Reading, CellReading::kNotWhole);
  EXPECT_EQ(ReadCountCell("1.000", false).Value, 1);
}

// The byte ranges of RFC 3629, table 3.7 of the Unicode standard.
TEST(FirstNonUtf8Byte, FindsTheFirstByteOutsideUtf8) {
  struct Case {
    std::string Text;
    std::size_t Bad;
  };
  constexpr std::size_t kNone = std::string::npos;
  const Case cases[] = {
      {"plain", kNone},
      {std::string("a\0b", 3), kNone},
      {"\xC3\xA9t\xC3\xA9", kNone},              // é
      {"\xE2\x82\xAC", kNone},                  // €
      {"\xF0\x9F\x98\x80", kNone},              // U+1F600
      {"\xF4\x8F\xBF\xBF", kNone},              // U+10FFFF
      {"Z\xFCrich", 1},                        // Latin-1 ü
      {"\xC0\xAF", 0},                          // overlong /
      {"\xE0\x80\xAF", 0},                      // overlong /
      {"\xED\xA0\x80", 0},                      // a surrogate
      {"\xF4\x90\x80\x80", 0},                  // above U+10FFFF
      {"ab\xC3", 2},                           // cut short
      {"\xE2\x82x", 0},                         // continuation missing
      {"\x80", 0},                              // continuation alone
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(EscapeForMessage(c.Text));
    EXPECT_EQ(FirstNonUtf8Byte(c.Text), c.Bad);
  }
}

// Nothing that a terminal obeys reaches it; other text stays as it is.
TEST(PrintableText, EscapesControlsAndBytesNotUtf8) {
  struct Case {
    std::string Text;
    const char* Shown;
  };
  const Case cases[] = {
      {"a\"b\\c", "a\"b\\c"},
      {std::string("a\0b", 3), "a\\x00b"},
      {"\x1B[2J\a", "\\x1B[2J\\x07"},
      {"\n\r\t\x7F", "\\n\\r\\t\\x7F"},
      {"\xC2\x9B" "1m", "\\xC2\\x9B1m"},  // U+009B, CSI
      {"\xC2\xA0\xC3\xA9", "\xC2\xA0\xC3\xA9"},  // no-break space, é
      {"\xFF\xC3", "\\xFF\\xC3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Shown);
    EXPECT_EQ(PrintableText(c.Text), c.Shown);
  }
}

TEST(QuoteForMessage, KeepsTheMessageOnOneLine) {
  EXPECT_EQ(QuoteForMessage("a\"b\\c\nd\te\x01"), R"("a\"b\\c\nd\te\x01")");
  // 59 letters, then a two-byte character across the 60-byte limit.
  const std::string long_text = std::string(59, 'a') + "\xC3\xA9" + "b";
  EXPECT_EQ(QuoteForMessage(long_text), "\"" + std::string(59, 'a') + "\"...");
  EXPECT_EQ(QuoteForMessage(std::string(60, 'a')), "\"" + std::string(60, 'a') + "\"");
}

// Each format read well: counts, sizes, row numbers, ids and groups.
TEST(ReadNamedStream, ReadsEachFormat) {
  const Read csv = ReadText(
      "\xEF\xBB\xBF"
      "county,deaths,births\r\n"
      "\"Smith, \"\"Old\"\"\nTown\",3,20\r\n"
      "  Lee ,5.0, 24 \r\n",
      "d.csv", {"deaths", "births", "", "county"});
  ASSERT_FALSE(csv.Error) << csv.Error->Message;
  EXPECT_EQ(csv.Table.Format, InputFormat::kCsv);
  ASSERT_EQ(csv.Table.Records.size(), 2u);
  EXPECT_EQ(csv.Table.Records[1].Data1, 5);
  EXPECT_EQ(csv.Table.Records[1].Data2, 24);
  EXPECT_EQ(csv.Table.Records[1].Code, 2);
  EXPECT_EQ(csv.Table.Records[0].Unit, -1);
  EXPECT_EQ(IdsOf(csv.Table), (std::vector<std::string>{"Smith, \"Old\"\nTown", "Lee"}));
  EXPECT_TRUE(csv.Table.GroupLabels.empty());

  // Groups in order of first appearance; a tab inside quotes is a value's.
  const Read tsv =
      ReadText("g\tx\tn\nb\t1\t10\na\t2\t10\na\t3\t10\nb\t4\t10\n\"c\td\"\t5\t10\na\t6\t10\n",
               "d.txt", {"x", "n", "g", ""});
  ASSERT_FALSE(tsv.Error) << tsv.Error->Message;
  EXPECT_EQ(tsv.Table.Format, InputFormat::kTsv);
  EXPECT_EQ(tsv.Table.GroupLabels, (std::vector<std::string>{"b", "a", "c\td"}));
  std::vector<std::int32_t> units;
  for (const RegionRecord& record : tsv.Table.Records) units.push_back(record.Unit);
  EXPECT_EQ(units, (std::vector<std::int32_t>{0, 1, 1, 0, 2, 1}));
  const GroupPlan plan = PlanGroups(tsv.Table.Records);
  ASSERT_EQ(plan.Groups.size(), 3u);
  EXPECT_EQ(plan.Groups[0].Unit, 0);  // "b", first seen, runs first
  EXPECT_EQ(std::vector<std::uint32_t>(plan.RecordIndices.begin(), plan.RecordIndices.end()),
            (std::vector<std::uint32_t>{0, 3, 1, 2, 5, 4}));

  // Legacy, told by the first line, also through a pipe that cannot rewind.
  for (const bool piped : {false, true}) {
    const std::string text = "1 1 3 20\n1 2 5 24\n";
    const Read legacy = piped ? ReadThroughPipe(text, "d.dat", {}) : ReadText(text, "d.dat", {});
    ASSERT_FALSE(legacy.Error) << legacy.Error->Message;
    EXPECT_EQ(legacy.Table.Format, InputFormat::kLegacy);
    ASSERT_EQ(legacy.Table.Records.size(), 2u);
    EXPECT_EQ(legacy.Table.Records[1].Code, 2);
    EXPECT_EQ(legacy.Table.Records[1].Data1, 5);
  }
  // An explicit format wins over the name and the first line.
  const Read forced = ReadText("x\ty\n1\t2\n", "d.csv", {"x", "y", "", ""}, InputFormat::kTsv);
  ASSERT_FALSE(forced.Error) << forced.Error->Message;
  ASSERT_EQ(forced.Table.Records.size(), 1u);
  EXPECT_EQ(forced.Table.Records[0].Data2, 2);
  // A header alone is data with no records.
  const Read empty = ReadText("deaths,births\n", "d.csv", kDeathsBirths);
  ASSERT_FALSE(empty.Error) << empty.Error->Message;
  EXPECT_TRUE(empty.Table.Records.empty());
}

// Every refusal: its status, and a message with the file, the line the
// record starts on, the column and the text.
TEST(ReadNamedStream, RefusesWithLineColumnAndText) {
  struct Case {
    const char* Name;
    std::string Text;
    ColumnChoice Columns;
    ExitStatus Status;
    const char* Message;
    std::optional<InputFormat> Format = std::nullopt;
  };
  const std::string head = "county,deaths,births\n";
  const ColumnChoice cols = kDeathsBirths;
  const Case cases[] = {
      {"d.csv", head + "A,1,12.5\n", cols, k2,
       "d.csv line 2, column births: \"12.5\" is not a whole number >= 1\n"},
      {"d.csv", head + "A,NA,2\n", cols, k2,
       "d.csv line 2, column deaths: \"NA\" is not a whole number >= 0; fill in the missing "
       "value or leave the row out\n"},
      {"d.csv", head + "A,1,\n", cols, k2,
       "d.csv line 2, column births: \"\" is not a whole number >= 1; fill in the missing "
       "value or leave the row out\n"},
      {"d.csv", head + "A,-1,2\n", cols, k1,
       "d.csv line 2, column deaths: \"-1\" is below 0; a count is a whole number >= 0\n"},
      {"d.csv", head + "A,0,0.0\n", cols, k1,
       "d.csv line 2, column births: \"0.0\" is below 1; a size is a whole number >= 1\n"},
      {"d.csv", head + "A,2147483648,1\n", cols, k2,
       "d.csv line 2, column deaths: \"2147483648\" is above 2147483647, the largest count "
       "allowed\n"},
      {"d.csv", head + "A,30,20\n", cols, k1,
       "d.csv line 2, column deaths: 30 is above its size, 20 (column births); a count is at "
       "most its size\n"},
      {"d.csv", head + "A,1\n", cols, k2,
       "d.csv line 2 has 2 fields, the header 3; every row has a value, if only an empty one, "
       "for each column\n"},
      {"d.csv", head + "A,1,2,x y\n", cols, k2,
       "d.csv line 2 has 4 fields, the header 3; a value with a comma in it must be in double "
       "quotes\n"},
      // The stray field is told before the cells it shifted.
      {"d.csv", head + "A,1,000,2\n", cols, k2,
       "d.csv line 2 has 4 fields, the header 3; a value with a comma in it must be in double "
       "quotes\n"},
      {"d.tsv", "county\tdeaths\tbirths\nA\t1\t2\tx\n", cols, k2,
       "d.tsv line 2 has 4 fields, the header 3; a value with a tab in it must be in double "
       "quotes\n"},
      {"d.csv", "county;deaths;births\nA;1;2;x\n", cols, k2,
       "d.csv line 2 has 4 fields, the header 3; a value with a semicolon in it must be in "
       "double quotes\n"},
      {"d.csv", head + "Z\xFCrich,1,2\n", {"deaths", "births", "", "county"}, k2,
       "d.csv line 2, column county: \"Z\\xFCrich\" is not UTF-8 text (byte 2 is \\xFC); "
       "save the data as UTF-8\n"},
      {"d.csv", head + "A,1,2\n NA ,1,2\n", {"deaths", "births", "county", ""}, k2,
       "d.csv line 3, column county: \"NA\" is no group; give the row its group, or leave such "
       "rows out with --missing-group skip or gather them with --missing-group own-group\n"},
      {"d.csv", head + "A,1,2\n", {"deaths", "births", "", "", {"county", "county"}}, k1,
       "d.csv line 1: column \"county\" is named twice in --keep\n"},
      {"d.csv", "county,deaths,births,eb\n", {"deaths", "births", "", "", {"eb"}}, k1,
       "d.csv line 1: column \"eb\" cannot be kept: the CSV table has a column of that name; "
       "rename it in the data, or keep the columns you need with --keep\n"},
      {"d.csv", "county,deaths,births\n", {"deaths", "births", "", "", {"pop"}}, k2,
       "d.csv line 1: no column is named \"pop\" (--keep); the header has \"county\", "
       "\"deaths\", \"births\"\n"},
      // The quoted line break counts: the bad row starts on line 4.
      {"d.csv", head + "\"Old\nTown\",1,2\nB,x,2\n", cols, k2,
       "d.csv line 4, column deaths: \"x\" is not a whole number >= 0\n"},
      // A record is placed on the line it starts on.
      {"d.csv", head + "A,1,2\n\"Old\nTown\",x,2\n", cols, k2,
       "d.csv line 3, column deaths: \"x\" is not a whole number >= 0\n"},
      // CR LF, blank lines and a CR alone each end one line.
      {"d.csv", head + "A,1,2\r\n\r\n\nB,1,2\rC,1,z\n", cols, k2,
       "d.csv line 6, column births: \"z\" is not a whole number >= 1\n"},
      {"d.tsv", "county\tdeaths\tbirths\nA\t1\t1.5\n", cols, k2,
       "d.tsv line 2, column births: \"1.5\" is not a whole number >= 1\n"},
      {"d.csv", "county,deaths,pop\n", cols, k2,
       "d.csv line 1: no column is named \"births\" (--size); the header has \"county\", "
       "\"deaths\", \"pop\"\n"},
      {"d.csv", "deaths,births,deaths\n", cols, k2,
       "d.csv line 1: fields 1 and 3 are both named \"deaths\" (--count); rename one of them\n"},
      {"d.csv",
       "\n\ncounty,deaths\n",
       {"", "", "", ""},
       k1,
       "d.csv line 3: name the count and size columns with --count and --size; the header has "
       "\"county\", \"deaths\"\n"},
      {"d.csv", head + "Sm\"ith,1,2\n", cols, k2,
       "d.csv line 2, column county: \"Sm\\\"\" has a double quote out of place; a value with "
       "double quotes in it must be in double quotes itself, each of its own written twice\n"},
      {"d.csv", head + "A,1,2\n\"Old,1,2\n", cols, k2,
       "d.csv line 3, column county: the quoted value \"\\\"Old,1,2\\n\" is not closed by the "
       "end of the data; a quoted value ends with a double quote\n"},
      {"d.csv", "", cols, k2,
       "d.csv: no header; its first line must name the columns, with commas between them\n"},
      {"d.txt", "1 1 3 20\n", cols, k1,
       "d.txt is read in the four-number format, which has no named columns; leave out "
       "--count, --size, --group, --id and --keep, or give --format csv or --format tsv\n"},
      // Rates cannot leave their columns out, so they are not told to.
      {"d.txt", "1 1 3 20\n", RateColumns(), k1,
       "d.txt is read in the four-number format, which holds proportions only; rates need a "
       "CSV or TSV file with named columns: give --format csv or --format tsv\n"},
      // The legacy format keeps propsmooth's words.
      {"d.txt", "1 1 3 20\n1 2 x 24\n", {}, k2, "\n Error!! Wrong data found (around code-1)\n"},
      {"d.txt", "1 1 3 20\n1 2 5 0\n", {}, k1, "\n Error!! Wrong data found (in code-2)\n"},
      // An explicit format wins over the name.
      {"d.csv", "x,y\n", {}, k2, "\n Error!! Wrong data found (around code-0)\n",
       InputFormat::kLegacy},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    const Read read = ReadText(c.Text, c.Name, c.Columns, c.Format);
    ASSERT_TRUE(read.Error);
    EXPECT_EQ(read.Error->Status, c.Status);
    EXPECT_EQ(read.Error->Message, c.Message);
  }
}

// A file that cannot be opened: propsmooth's words for the legacy format,
// and for a format still unknown when no column is named.
TEST(ReadNamedInput, SaysWhyAFileCannotBeOpened) {
  const fs::path nowhere =
      fs::temp_directory_path() / ("propsmooth-no-such-folder-" + std::to_string(::getpid()));
  const std::string missing_csv = (nowhere / "missing.csv").string();
  const std::string missing = (nowhere / "missing").string();
  const std::string folder = fs::temp_directory_path().string();
  struct Case {
    std::string Path;
    ColumnChoice Columns;
    std::string Message;
  };
  const Case cases[] = {
      {missing_csv, {}, "cannot open " + missing_csv + ": No such file or directory\n"},
      {missing, kDeathsBirths, "cannot open " + missing + ": No such file or directory\n"},
      {folder, kDeathsBirths, "cannot open " + folder + ": it is a folder\n"},
      {missing, {}, "\n ERROR!! Can't open " + missing + " file \n\n"},
      {folder, {}, "\n ERROR!! Can't open " + folder + " file \n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Path);
    InputTable table;
    const std::optional<InputError> error = ReadNamedInput(c.Path, std::nullopt, c.Columns, &table);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Status, k1);
    EXPECT_EQ(error->Message, c.Message);
  }
}

// "-" is standard input, named so in messages.
TEST(ReadNamedInput, ReadsStandardInput) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::fputs("x,n\n1,2\n3,2\n", file);
  std::fflush(file);
  std::rewind(file);
  // Nothing has read standard input yet: its stream has no buffered bytes.
  ASSERT_EQ(::dup2(::fileno(file), STDIN_FILENO), STDIN_FILENO);
  InputTable table;
  const std::optional<InputError> error =
      ReadNamedInput("-", std::nullopt, {"x", "n", "", ""}, &table);
  std::fclose(file);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Message,
            "standard input line 3, column x: 3 is above its size, 2 (column n); a count is at "
            "most its size\n");
  EXPECT_EQ(table.Records.size(), 1u);
}

}  // namespace
}  // namespace propsmooth

namespace propsmooth {
namespace {

// Rates: a count and an expected value per record. Every refusal names
// the line, the column and the text, as the counts' own do; the expected
// value is any finite number above 0, with a decimal comma where ';'
// separates the values.
TEST(ReadNamedStream, ReadsAndRefusesExpectedValues) {
  const ColumnChoice rates = RateColumns();
  ColumnChoice exposure = rates;
  exposure.Expected = "py";
  exposure.Exposure = true;
  struct Case {
    std::string Text;
    const ColumnChoice* Columns;
    ExitStatus Status;  // kSuccess: read, Value its first expected value
    const char* Message;
    double Value = 0.0;
  };
  const std::string head = "county,deaths,expected\n";
  const ExitStatus ok = ExitStatus::kSuccess;
  const Case cases[] = {
      {head + "A,3,2.5\nB,0,1e-3\n", &rates, ok, "", 2.5},
      {head + "A,3, 12 \n", &rates, ok, "", 12.0},
      {"county;deaths;expected\nA;3;2,5\n", &rates, ok, "", 2.5},
      {head + "A,3,0\n", &rates, k1,
       "d.csv line 2, column expected: \"0\" is not above 0; an expected count is a number > 0\n"},
      {head + "A,3,-1.5\n", &rates, k1,
       "d.csv line 2, column expected: \"-1.5\" is not above 0; an expected count is a number "
       "> 0\n"},
      {head + "A,3,1e-400\n", &rates, k1,
       "d.csv line 2, column expected: \"1e-400\" is not above 0; an expected count is a "
       "number > 0\n"},
      {head + "A,3,inf\n", &rates, k1,
       "d.csv line 2, column expected: \"inf\" is not a finite number; an expected count is a "
       "number > 0\n"},
      {head + "A,3,1e999\n", &rates, k1,
       "d.csv line 2, column expected: \"1e999\" is not a finite number; an expected count is "
       "a number > 0\n"},
      {head + "A,3,NaN\n", &rates, k1,
       "d.csv line 2, column expected: \"NaN\" is not a finite number; an expected count is a "
       "number > 0\n"},
      {head + "A,3,NA\n", &rates, k2,
       "d.csv line 2, column expected: \"NA\" is not a number > 0; fill in the missing value "
       "or leave the row out\n"},
      {head + "A,3,2.5 h\n", &rates, k2,
       "d.csv line 2, column expected: \"2.5 h\" is not a number > 0\n"},
      {head + "A,3,0x10\n", &rates, k2,
       "d.csv line 2, column expected: \"0x10\" is not a number > 0\n"},
      {"county;deaths;expected\nA;3;2.5\n", &rates, k2,
       "d.csv line 2, column expected: \"2.5\" is not a number > 0\n"},
      // Counts are refused as for proportions, and a count above the
      // expected value is no fault.
      {head + "A,2.5,1\n", &rates, k2,
       "d.csv line 2, column deaths: \"2.5\" is not a whole number >= 0\n"},
      {head + "A,-1,1\n", &rates, k1,
       "d.csv line 2, column deaths: \"-1\" is below 0; a count is a whole number >= 0\n"},
      {head + "A,30,0.5\n", &rates, ok, "", 0.5},
      {"county,deaths,py\nA,3,0\n", &exposure, k1,
       "d.csv line 2, column py: \"0\" is not above 0; an exposure is a number > 0\n"},
      {head + "A,3,2\n", &exposure, k2,
       "d.csv line 1: no column is named \"py\" (--exposure); the header has \"county\", "
       "\"deaths\", \"expected\"\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    const Read read = ReadText(c.Text, "d.csv", *c.Columns);
    if (c.Status == ok) {
      ASSERT_FALSE(read.Error.has_value()) << read.Error->Message;
      ASSERT_EQ(read.Table.Expected.size(), read.Table.Records.size());
      EXPECT_EQ(read.Table.Expected[0], c.Value);
      EXPECT_EQ(read.Table.Records[0].Data2, 0);
      continue;
    }
    ASSERT_TRUE(read.Error.has_value());
    EXPECT_EQ(read.Error->Status, c.Status);
    EXPECT_EQ(read.Error->Message, c.Message);
  }
}

}  // namespace
}  // namespace propsmooth
