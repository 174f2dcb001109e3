#include "stats/equal_proportions.h"

#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "estimate/eb.h"
#include "fit_data.h"
#include "input/grouping.h"
#include "stats/record_estimates.h"
#include "stats/record_figures.h"

namespace propsmooth {
namespace {

TEST(ProportionsAllEqual, DecidesInIntegers) {
  struct Case {
    const char* Name;
    Counts Regions;
    bool Equal;
  };
  const Case cases[] = {
      {"2/10 .. 12/60", kEqualProportions, true},
      {"one region", {{3, 7}}, true},
      {"all zero", {{0, 5}, {0, 9}}, true},
      {"all full", {{5, 5}, {2147483647, 2147483647}}, true},
      {"one differs", {{2, 10}, {4, 20}, {7, 30}}, false},
      // Distinct fractions that round to the same double (Python:
      // 2147483646/2147483647 == 2147483645/2147483646 is True).
      {"same double", {{2147483646, 2147483647}, {2147483645, 2147483646}}, false},
      {"a size of 0", {{0, 0}, {0, 0}}, false},
      {"a size of 0 after equal ones", {{1, 2}, {2, 4}, {0, 0}}, false},
      {"no region", {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<Region> regions = RegionsOf(c.Regions);
    EXPECT_EQ(ProportionsAllEqual(regions), c.Equal);
    std::vector<RegionRecord> records;
    for (const Region& region : regions) records.push_back({0, 0, region.Data1, region.Data2});
    EXPECT_EQ(ProportionsAllEqual(records), c.Equal);
  }
}

// 2/10, 4/20, ..., 12/60 through the front door's estimation: propsmooth
// rounds their variance to some 1e-34 and its moment estimators to some
// 1e31; the front door reports no spread, as for a variance of exactly 0
// (moment estimators 0, eb_me the raw proportion 0.2 = 2.0/10.0), while the
// legacy table's prior keeps propsmooth's figures. A group beside it whose
// proportions differ keeps propsmooth's figures everywhere.
TEST(SettleEqualProportions, FrontDoorReportsNoSpreadWhereTheLegacyFiguresKeepPropsmooths) {
  const Counts& equal = kEqualProportions;
  const Counts spread = {{1, 10}, {4, 20}, {9, 30}};
  RecordTable records;
  for (const auto& [x, n] : equal) records.push_back({1, 0, x, n});
  for (const auto& [x, n] : spread) records.push_back({2, 0, x, n});
  for (std::size_t i = 0; i < records.size(); ++i) records[i].Code = static_cast<int>(i + 1);

  // propsmooth's own figures for the equal group: not 0, the case at hand.
  GroupWorkspace workspace = MakeGroup(equal);
  EstimateGroup(RunSettings{}, false, &workspace);
  ASSERT_NE(workspace.Summary.Variance, 0.0);
  ASSERT_GT(workspace.Summary.AlphaMe, 1e20);

  // The test is made while the groups are fitted where they are, else on
  // its own; its answer is the same.
  for (const bool fits : {true, false}) {
    SCOPED_TRACE(fits ? "with fits" : "without fits");
    RecordTable table = records;
    EstimatedGroups groups;
    groups.Plan = PlanGroups(table);
    EstimateParts parts;
    parts.Fits = fits;
    EstimateRecords(EstimateSettings(), parts, 2, StageProgress(), &table, &groups);
    EXPECT_EQ(groups.EqualProportions, (std::vector<bool>{true, false}));
    EXPECT_EQ(groups.Fits.size(), fits ? 2u : 0u);
    EXPECT_EQ(ReportedSummary(groups, 0).AlphaMe, 0.0);
    EXPECT_EQ(ReportedSummary(groups, 1).AlphaMe, groups.Summaries[1].AlphaMe);
  }

  for (const PriorEstimator estimator : {PriorEstimator::kMle, PriorEstimator::kMe}) {
    SCOPED_TRACE(static_cast<int>(estimator));
    RecordTable table = records;
    EstimatedGroups groups;
    groups.Plan = PlanGroups(table);
    EstimateSettings settings;
    settings.Estimator = estimator;
    EstimateParts parts;
    parts.Fits = true;
    parts.Posteriors = true;
    const RecordEstimates estimates =
        EstimateRecords(settings, parts, 1, StageProgress(), &table, &groups);
    ASSERT_EQ(groups.Summaries.size(), 2u);
    EXPECT_EQ(groups.EqualProportions, (std::vector<bool>{true, false}));
    const GroupSummary settled = ReportedSummary(groups, 0);
    EXPECT_EQ(settled.Variance, 0.0);
    EXPECT_EQ(settled.AlphaMe, 0.0);
    EXPECT_EQ(settled.BetaMe, 0.0);
    EXPECT_EQ(settled.Mean, workspace.Summary.Mean);
    // The legacy table and the log lines keep propsmooth's own figures.
    EXPECT_EQ(groups.Summaries[0].AlphaMe, workspace.Summary.AlphaMe);
    EXPECT_EQ(ReportedSummary(groups, 1).AlphaMe, groups.Summaries[1].AlphaMe);
    EXPECT_GT(groups.Summaries[1].AlphaMe, 0.0);
    for (std::size_t i = 0; i < table.size(); ++i) {
      const RecordFigures figures =
          FiguresOf(table[i], FigureSourcesOf(table, groups, estimates.Posteriors, i, false),
                    estimates.Posteriors[i]);
      if (i < equal.size()) {
        EXPECT_EQ(figures.EbMe, 2.0 / 10.0) << i;
        // The moment estimators of no spread form no prior: under
        // --estimator me the group has no posterior, as a variance of 0.
        if (estimator == PriorEstimator::kMe) {
          EXPECT_TRUE(figures.PriorName.empty()) << i;
        }
      } else {
        EXPECT_EQ(figures.EbMe, table[i].EbPropMe) << i;
      }
    }
  }
}

}  // namespace
}  // namespace propsmooth
