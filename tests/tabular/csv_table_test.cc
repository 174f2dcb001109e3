#include "tabular/csv_table.h"

#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

TEST(AppendCsvField, QuotesOnlyWhatRfc4180Needs) {
  struct Case {
    const char* Text;
    const char* Field;
  };
  const Case cases[] = {
      {"", ""},
      {"Ohio", "Ohio"},
      {" 01 ", " 01 "},
      {"NA", "NA"},
      {"Adams, OH", "\"Adams, OH\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"cr\rhere", "\"cr\rhere\""},
      {"tab\there", "tab\there"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    std::string out = "x";
    AppendCsvField(c.Text, &out);
    EXPECT_EQ(out, std::string("x") + c.Field);
  }
}

// The digits are Python's repr() of the same doubles, which is the
// shortest text that reads back exactly as well.
TEST(AppendShortest, WritesTheShortestRoundTripDigits) {
  struct Case {
    double Value;
    const char* Text;
  };
  const Case cases[] = {
      {0.0, "0"},
      {1.0, "1"},
      {0.1, "0.1"},
      {0.1 + 0.2, "0.30000000000000004"},
      {1.0 / 3.0, "0.3333333333333333"},
      {100.0 * 0.07, "7.000000000000001"},
      {1e-05, "1e-05"},
      {2.5e-10, "2.5e-10"},
      {std::numeric_limits<double>::quiet_NaN(), ""},
      {std::numeric_limits<double>::infinity(), ""},
      {-std::numeric_limits<double>::infinity(), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    std::string out;
    AppendShortest(c.Value, &out);
    EXPECT_EQ(out, c.Text);
  }
}

// One row per kind of prior: its EB proportion and interval, or empty
// cells; then the threshold cells: probabilities never in percent, empty
// without a posterior, discovery only where there is a q-value.
TEST(AppendCsvRow, WritesThePriorsEstimatesAndTheThresholdCellsOrEmptyCells) {
  RegionRecord record;
  record.Data1 = 7;
  record.Data2 = 100;
  record.EbPropMe = 0.25;
  record.EbPropMle = 0.125;
  CredibleBounds ok;
  ok.Status = IntervalStatus::kOk;
  ok.Lower = 0.0625;
  ok.Upper = 0.5;
  CredibleBounds none;
  none.Status = IntervalStatus::kNotComputable;
  RegionDiscovery found;
  found.Tails = TailProbabilities{0.75, 0.25};
  found.QValue = 0.125;
  found.Discovery = true;
  RegionDiscovery missed = found;
  missed.Discovery = false;
  struct Case {
    const char* Name;
    std::optional<double> Eb;
    const char* PriorName;
    bool Percent;
    const CredibleBounds& Bounds;
    std::string Row;
    std::optional<RegionDiscovery> Threshold = std::nullopt;
  };
  const std::string unfitted = "g,\"a,b\",7,100,7.000000000000001,25,,,,";
  const Case cases[] = {
      {"newton", 0.125, "newton", false, ok,
       "g,\"a,b\",7,100,0.07,0.25,0.125,0.0625,0.5,newton\n"},
      {"me", 0.25, "me", false, ok,
       "g,\"a,b\",7,100,0.07,0.25,0.25,0.0625,0.5,me\n"},
      {"pooled", 0.1, "complete pooling", false, ok,
       "g,\"a,b\",7,100,0.07,0.25,0.1,0.0625,0.5,complete pooling\n"},
      {"no interval", 0.125, "safeguarded", false, none,
       "g,\"a,b\",7,100,0.07,0.25,0.125,,,safeguarded\n"},
      {"no posterior", std::nullopt, "", false, none,
       "g,\"a,b\",7,100,0.07,0.25,,,,\n"},
      {"percent", 0.125, "newton", true, ok,
       "g,\"a,b\",7,100,7.000000000000001,25,12.5,6.25,50,newton\n"},
      {"found", std::nullopt, "", true, none, unfitted + ",0.75,0.25,0.125,true\n", found},
      {"missed", std::nullopt, "", true, none, unfitted + ",0.75,0.25,0.125,false\n", missed},
      {"threshold, no posterior", std::nullopt, "", true, none, unfitted + ",,,,\n",
       RegionDiscovery()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    CsvRowContext context;
    context.Group = "g";
    context.Id = "a,b";
    context.Eb = c.Eb;
    context.PriorName = c.PriorName;
    context.Percent = c.Percent;
    context.Threshold = c.Threshold;
    std::string out;
    AppendCsvRow(record, context, c.Bounds, &out);
    EXPECT_EQ(out, c.Row);
  }
}

}  // namespace
}  // namespace propsmooth
