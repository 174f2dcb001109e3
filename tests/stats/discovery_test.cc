#include "stats/discovery.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

// By hand. PEPs in file order: 0.30, 0.01, none, 0.10, 0.01, 0.50, 0.10.
// Ascending, the present ones are 0.01 0.01 0.10 0.10 0.30 0.50, so
//   q(0.01) = (0.01 + 0.01) / 2                  = 0.01
//   q(0.10) = (0.02 + 0.10 + 0.10) / 4           = 0.055  (the tie shares it)
//   q(0.30) = (0.22 + 0.30) / 5                  = 0.104
//   q(0.50) = (0.52 + 0.50) / 6                  = 0.17
// and the region without a PEP has no q. At 0.056 the ties at 0.10 are
// discoveries together; at 0.05 only the two at 0.01 are.
TEST(QValues, MeanOfPepsAtMostOwnWithTiesSharing) {
  const std::vector<std::optional<double>> peps = {0.30, 0.01, std::nullopt, 0.10,
                                                   0.01, 0.50, 0.10};
  const std::vector<std::optional<double>> expected = {0.104, 0.01, std::nullopt, 0.055,
                                                       0.01,  0.17, 0.055};
  const std::vector<std::optional<double>> q = QValues(peps);
  ASSERT_EQ(q.size(), expected.size());
  for (std::size_t i = 0; i < q.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(q[i].has_value(), expected[i].has_value());
    if (q[i]) {
      EXPECT_NEAR(*q[i], *expected[i], 1e-15);
    }
  }
  EXPECT_EQ(q[3], q[6]);  // ties share one value, not merely close ones
  // The same PEPs counted by value, as the parts of a distributed table
  // send them: the same q-values.
  const std::vector<double> by_value = QValuesOfDistinct(
      std::vector<double>{0.01, 0.10, 0.30, 0.50}, std::vector<std::int64_t>{2, 2, 1, 1});
  EXPECT_EQ(by_value, (std::vector<double>{*q[1], *q[3], *q[0], *q[5]}));
  struct Case {
    double Fdr;
    std::vector<bool> Marked;
  };
  const Case cases[] = {
      {0.056, {false, true, false, true, true, false, true}},
      {0.05, {false, true, false, false, true, false, false}},
      {0.0, {false, false, false, false, false, false, false}},
      {1.0, {true, true, false, true, true, true, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Fdr);
    EXPECT_EQ(Discoveries(q, c.Fdr), c.Marked);
  }
}

// A PEP that is not a number counts nowhere; an empty file has no q.
TEST(QValues, SkipsMissingAndNonFinite) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<std::optional<double>> q = QValues({0.2, nan, 0.4});
  ASSERT_EQ(q.size(), 3u);
  EXPECT_DOUBLE_EQ(q[0].value_or(-1.0), 0.2);
  EXPECT_FALSE(q[1].has_value());
  EXPECT_DOUBLE_EQ(q[2].value_or(-1.0), 0.3);
  EXPECT_TRUE(QValues({}).empty());
}

}  // namespace
}  // namespace propsmooth
