#include "report_tool/input_format.h"

#include <cstdint>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "report_tool/cell_text.h"

namespace propsmooth {
namespace {

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
      {"data.csv.gz", std::nullopt},
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
      {"county;deaths", InputFormat::kLegacy},
      {"1,2", InputFormat::kCsv},
  };
  for (const LineCase& c : lines) {
    SCOPED_TRACE(c.Line);
    EXPECT_EQ(FormatFromFirstLine(c.Line), c.Format);
  }
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
      {"+5", R::kNotWhole, 0},
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

TEST(QuoteForMessage, KeepsTheMessageOnOneLine) {
  EXPECT_EQ(QuoteForMessage("a\"b\\c\nd\te\x01"), R"("a\"b\\c\nd\te\x01")");
  // 59 letters, then a two-byte character across the 60-byte limit.
  const std::string long_text = std::string(59, 'a') + "\xC3\xA9" + "b";
  EXPECT_EQ(QuoteForMessage(long_text), "\"" + std::string(59, 'a') + "\"...");
  EXPECT_EQ(QuoteForMessage(std::string(60, 'a')), "\"" + std::string(60, 'a') + "\"");
}

}  // namespace
}  // namespace propsmooth
