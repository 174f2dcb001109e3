#include "html/group_report.h"
#include "html/html_report.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "estimate/worked_groups.h"
#include "estimated_group.h"
#include "svg_reading.h"

namespace propsmooth {
namespace {

std::string Section(const GroupView& group, const SectionLimits& limits = SectionLimits{}) {
  std::string html;
  AppendGroupSection(group, 0, 0.00001, 0.95, std::nullopt, limits, &html);
  return html;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// One paragraph says what the group's fit found and what its regions get,
// in the summary table's own fit and boundary words, and the table, the
// plots and the note agree on it; propsmooth's log keeps its own figures
// ("***" where its fit failed), folded away below. Groups without spread
// say what they are instead of drawing empty plots; a group without a
// posterior draws no shrinkage. The worked example of a failed fit (four
// regions 0, 10, 1, 9 of 10, negative moment estimators) is fitted by the
// safeguarded search; under --estimator me it has no posterior. Equal
// proportions pool completely at 8 / 32 = 25%; one region pools with
// nothing and keeps its 3 / 10. A count above its size leaves no
// likelihood at all, and under the moment estimators that region alone
// has no EB proportion and no interval. Named columns replace Data1 and
// Data2 everywhere in the section.
TEST(AppendGroupSection, ExplainsEachOutcomeOnce) {
  const Counts failed = {{0, 10}, {10, 10}, {1, 10}, {9, 10}};
  const Counts spread = {{12, 100}, {30, 120}, {5, 90}, {22, 110}, {9, 70}};
  const Counts above = {{3, 20}, {25, 21}, {4, 22}, {7, 19}};
  const ColumnNames legacy;
  const ColumnNames named{"deaths", "births"};
  struct Case {
    const char* Name;
    Counts Regions;
    PriorEstimator Estimator;
    GroupShape Shape;
    std::vector<const char*> Says;
    std::size_t WithoutInterval;
    std::optional<std::size_t> Charts = std::nullopt;
    std::optional<std::size_t> Dashes = std::nullopt;
    bool BoundUnconverged = false;
    ColumnNames Columns = ColumnNames{};
  };
  const Case cases[] = {
      {"single region", {{3, 10}}, PriorEstimator::kMle, GroupShape::kSingleRegion,
       {"class=\"outcome warn\"><b>Not smoothed:</b>", "raw proportion, 30%",
        "Beta(Data1 + 1/2, Data2 \u2212 Data1 + 1/2)"},
       0, 0},
      {"spread", spread, PriorEstimator::kMle, GroupShape::kPlots,
       {"<figure>", "Prior fitted by maximum likelihood"}, 0, 4},
      {"spread, size bound not converged", spread, PriorEstimator::kMle, GroupShape::kPlots,
       {"<figure>"}, 0, 4, std::nullopt, true},
      {"spread, named columns", spread, PriorEstimator::kMle, GroupShape::kPlots,
       {"<th>deaths</th><th>births</th>", "Beta(deaths + \u03b1, births \u2212 deaths + \u03b2)",
        "dot area in proportion to births", "births (region size)"},
       0, 4, std::nullopt, false, named},
      {"failed MLE", failed, PriorEstimator::kMle, GroupShape::kPlots,
       {" MLE of Alpha : *** \n MLE of Beta  : *** ", " ME of Alpha : -0.042683",
        "propsmooth's own lines", "(a safeguarded search",
        "Each region's EB proportion (safeguarded prior)", "safeguarded Beta("},
       0, 4},
      {"failed MLE, me", failed, PriorEstimator::kMe, GroupShape::kPlots,
       {"class=\"outcome warn\">The moment estimators (--estimator me) are not both positive",
        "no EB proportion and no interval"},
       4, 2},
      {"equal proportions", {{1, 4}, {2, 8}, {5, 20}}, PriorEstimator::kMle,
       GroupShape::kEqualProportions,
       {"All 3 regions have the same proportion",
        "complete pooling. Every region gets the group's common rate, 25%",
        "understates how the regions may differ", "nothing to plot"},
       0, 0},
      {"count above size", above, PriorEstimator::kMle, GroupShape::kPlots,
       {"A count lies below 0 or above its size", "Data1 &gt; Data2: not a binomial count"},
       3, 2},
      {"count above size, named columns", above, PriorEstimator::kMle, GroupShape::kPlots,
       {"deaths &gt; births: not a binomial count"}, 3, 2, std::nullopt, false, named},
      {"count above size, me", {{12, 100}, {30, 120}, {95, 90}, {22, 110}, {9, 70}},
       PriorEstimator::kMe, GroupShape::kPlots, {"Data1 &gt; Data2: not a binomial count"}, 0,
       std::nullopt, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    GroupView group = EstimatedGroup(c.Regions, c.Estimator);
    group.Fit.Fit.SizeLower95Unconverged = c.BoundUnconverged;
    group.Columns = c.Columns;
    EXPECT_EQ(ClassifyGroup(group), c.Shape);
    const std::string html = Section(group);
    for (const char* says : c.Says) EXPECT_NE(html.find(says), std::string::npos) << says;
    EXPECT_EQ(Count(html, "class=\"outcome"), 1u);
    // The outcome names the summary table's fit and boundary, as it has them.
    std::string summary_words = std::string("Summary: fit ") + FitLabelText(group.Fit.Fit.Label);
    if (group.Fit.Fit.Boundary != FitBoundary::kNone) {
      summary_words += std::string(", boundary \u201c") + FitBoundaryText(group.Fit.Fit.Boundary);
    }
    EXPECT_NE(html.find(summary_words), std::string::npos) << summary_words;
    if (c.Columns.Count != legacy.Count) {
      EXPECT_EQ(html.find("Data1"), std::string::npos);
      EXPECT_EQ(html.find("Data2"), std::string::npos);
    }
    // The legacy names belong to the log and the --tsv table alone.
    EXPECT_EQ(html.find("ME (MLE failed)"), std::string::npos);
    EXPECT_EQ(html.find("<td>***</td>"), std::string::npos);
    EXPECT_EQ(Count(html, "<td>\u2014</td><td>\u2014</td><td>\u2014</td><td>no posterior "
                          "under the group's fit"),
              c.WithoutInterval);
    // A row of its own for each count above its size.
    EXPECT_EQ(Count(html, ": not a binomial count"),
              static_cast<std::size_t>(std::count_if(c.Regions.begin(), c.Regions.end(),
                                                     [](auto r) { return r.first > r.second; })));
    EXPECT_EQ(Count(html, "lower 95% bound of Alpha + Beta did not converge: it is left empty."),
              c.BoundUnconverged ? 1u : 0u);
    // One table row per region whatever the shape, in a box that scrolls
    // sideways on its own.
    EXPECT_EQ(Count(html, "<tr><td>"), c.Regions.size());
    EXPECT_EQ(Count(html, "<div class=\"wide\"><table class=\"regions\">"), 1u);
    if (c.Charts) {
      EXPECT_EQ(Count(html, "<svg"), *c.Charts);
    }
    if (c.Dashes) {
      EXPECT_EQ(Count(html, "<td>\u2014</td>"), *c.Dashes);
    }
  }
}

// Large groups are thinned in the scatter plots and cut in the table, and
// each cut is stated.
TEST(AppendGroupSection, StatesHowALargeGroupIsCut) {
  std::vector<std::pair<int, int>> counts;
  for (int i = 0; i < 50; ++i) counts.push_back({i % 7, 20 + i});
  SectionLimits limits;
  limits.PlottedPoints = 10;
  limits.TableRows = 3;
  const std::string html = Section(EstimatedGroup(counts), limits);
  EXPECT_EQ(Count(html, "Every 5th region is drawn (10 of 50)."), 3u);
  EXPECT_EQ(Count(html, "<circle"), 30u);
  EXPECT_EQ(Count(html, "<tr><td>"), 3u);
  EXPECT_NE(html.find("The first 3 of 50 regions are listed"), std::string::npos);
}

// A group of thousands of regions keeps the page light for a browser: past
// 500 dots a plot clips its dots as one group and names only the highlighted
// ones (the funnel's red ones, the discoveries), the ranked plot draws its
// intervals as one path, and the table lists 500 rows, laid out only when
// scrolled near once it has more than 200. Up to those counts the section
// is as it always was: every dot clipped and named, every region listed.
TEST(AppendGroupSection, KeepsTheSectionOfThousandsOfRegionsLight) {
  const struct {
    const char* Name;
    std::size_t Regions;
    bool NamesAll;
    std::size_t Rows;
    bool Deferred;
  } cases[] = {
      {"200 regions", 200, true, 200, false},
      {"201 regions", 201, true, 201, true},
      {"500 regions", 500, true, 500, true},
      {"501 regions", 501, false, 500, true},
      {"3000 municipalities", 3000, false, 500, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::pair<int, int>> counts;
    for (std::size_t i = 0; i < c.Regions; ++i) {
      counts.push_back({static_cast<int>(i % 7), static_cast<int>(20 + i % 50)});
    }
    const std::string html = Section(EstimatedGroup(counts));
    const std::vector<std::string> dots = Elements(html, "circle");
    EXPECT_EQ(dots.size(), 3u * c.Regions);
    std::size_t named = 0;
    for (const std::string& dot : dots) {
      const bool has_title = dot.find("<title>") != std::string::npos;
      const bool has_clip = dot.find("clip-path") != std::string::npos;
      const bool highlighted = dot.find("dot out") != std::string::npos;
      named += has_title ? 1u : 0u;
      ASSERT_EQ(has_title, c.NamesAll || highlighted) << dot;
      ASSERT_EQ(has_clip, c.NamesAll) << dot;
    }
    EXPECT_EQ(Count(html, " named on hover"), c.NamesAll ? 0u : 3u);
    // Besides the dots, a few dozen marks at most: axes, limits, lines.
    EXPECT_LE(Count(html, "<polyline"), c.NamesAll ? 20u + c.Regions : 20u);
    EXPECT_LE(Count(html, "<title>"), named + 5u);
    EXPECT_EQ(Count(html, "<tr><td>"), c.Rows);
    EXPECT_EQ(Count(html, "content-visibility:auto"), c.Deferred ? 1u : 0u);
    EXPECT_EQ(html.find("regions are listed") != std::string::npos,
              c.Rows < c.Regions);
  }
}

// The page's group index: the log's cells (rates in percent like the rest
// of the page, to four digits, *** where the log has it), then the size
// bound's:
// its figure, a dash where there is none, and words where its search did
// not converge (an unknown bound is not an absent one).
TEST(AppendIndexRow, ShowsTheLogsFiguresAndTheSizeBound) {
  GroupSummary summary;
  summary.Mean = 0.125;       // 12.5 %
  summary.Variance = 0.0025;  // 0.0025 * 100^2 = 25 square points
  summary.AlphaMe = 1.5;
  summary.BetaMe = 10.5;
  summary.Iterations = 4;
  const struct {
    const char* Name;
    std::optional<BetaPrior> Mle;
    const char* MleCells;
    std::optional<double> Bound;
    bool Unconverged;
    const char* FitCells;  // SE Beta's, the bound's, the log-likelihood's
  } cases[] = {
      {"fitted, bound found", BetaPrior{2.0, 14.0}, "<td>2</td><td>14</td>",
       8.76364758367761, false, "<td>\u2014</td><td>8.764</td><td>-154.14</td>"},
      {"failed, no bound", std::nullopt, "<td>***</td><td>***</td>", std::nullopt, false,
       "<td>\u2014</td><td>\u2014</td><td>-154.14</td>"},
      {"bound not converged", BetaPrior{2.0, 14.0}, "<td>2</td><td>14</td>",
       std::nullopt, true, "<td>\u2014</td><td>not converged</td><td>-154.14</td>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    summary.Mle = c.Mle;
    GroupFit fit;
    fit.Fit.Label = FitLabel::kNewton;
    fit.Fit.LogLik = -154.14;
    fit.Fit.SizeLower95 = c.Bound;
    fit.Fit.SizeLower95Unconverged = c.Unconverged;
    std::string html;
    AppendIndexRow("Unit 7", 3, summary, fit, false, 0, &html);
    const std::string log_cells =
        std::string("<tr><td>Unit 7</td><td>3</td><td>12.50</td>"
                    "<td>25</td><td>1.5</td><td>10.5</td>") +
        c.MleCells + "<td>4</td>";
    EXPECT_EQ(html.substr(0, log_cells.size()), log_cells);
    EXPECT_NE(html.find(c.FitCells), std::string::npos) << html;
  }
}

// The head states the run in words, with the data's column names, and
// warns of groups of one region left as they were; the index stops at
// --max-groups and says how many more groups the summary table has.
TEST(AppendDocumentHead, StatesTheRunInWords) {
  struct Case {
    const char* Name;
    ColumnNames Columns;
    double AlphaInit;
    std::optional<double> Threshold;
    std::size_t Unsmoothed, Groups, Listed;
    std::vector<const char*> Says;
    std::vector<const char*> Never;
  };
  const Case cases[] = {
      {"four-number data, defaults", ColumnNames{}, -1.0, std::nullopt, 0, 3, 3,
       {"counts from column <b>Data1</b>, sizes from column <b>Data2</b>",
        "starts from the moment estimators", "corrections fall below 1e-05 (-E) or after 20 iterations",
        "equal-tailed 95%", "Each group listed has its section below."},
       {"-1.000000", "0.000010", "Threshold", "not smoothed", "more group"}},
      {"named columns, a start, a threshold", ColumnNames{"R", "N"}, 2.5, 0.5, 1, 4, 4,
       {"column <b>R</b>", "column <b>N</b>", "Alpha = 2.5 (-A) and Beta at its moment",
        "Threshold 50%:", "at most 5% (--fdr)",
        "1 of 4 groups has a single region and was not smoothed"},
       {"Data1", "Data2", "50.000000", "more group"}},
      {"200,000 groups of one region, 100 listed", ColumnNames{}, -1.0, std::nullopt, 200000,
       200000, 100,
       {"200000 of 200000 groups have a single region and were not smoothed",
        "199900 more groups</b> not listed: the page shows the first 100 of 200000",
        "summary table (--summary) has every group"},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    ReportHeader header;
    header.DataFileName = "rates.csv";
    header.Fit.AlphaInit = c.AlphaInit;
    header.Threshold = c.Threshold;
    header.Columns = c.Columns;
    header.UnsmoothedGroups = c.Unsmoothed;
    header.GroupCount = c.Groups;
    header.DetailedGroups = c.Listed;
    std::string html;
    AppendDocumentHead(header, &html);
    AppendIndexHead(header, &html);
    AppendIndexFoot(header, &html);
    for (const char* says : c.Says) EXPECT_NE(html.find(says), std::string::npos) << says;
    for (const char* never : c.Never) EXPECT_EQ(html.find(never), std::string::npos) << never;
    EXPECT_EQ(Count(html, "<div class=\"wide\"><table class=\"index\">"), 1u);
  }
}

}  // namespace
}  // namespace propsmooth
