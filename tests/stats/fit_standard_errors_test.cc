// The covariance behind every standard error of a prior: the inverse of
// minus the Hessian carried through each model's Jacobian.
#include "stats/fit_standard_errors.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

LocalShape ShapeWith(double h00, double h01, double h11) {
  LocalShape shape;
  shape.Hessian = {{{h00, h01}, {h01, h11}}};
  return shape;
}

using Matrix = std::array<std::array<double, 2>, 2>;

// Minus the Hessian [[4, -1], [-1, 2]] has determinant 7 and inverse
// [[2, 1], [1, 4]] / 7, by hand. J S J^T for each Jacobian by hand:
//   J = [[1, 2], [3, 4]]: J S = [[4, 9], [10, 19]] / 7, times J^T =
//     [[4 + 18, 12 + 36], [10 + 38, 30 + 76]] / 7 = [[22, 48], [48, 106]] / 7;
//   the gamma prior's at shape 2, rate 3, [[0, 2], [-3, 3]]: J S =
//     [[2, 8], [-3, 9]] / 7, times J^T = [[16, 18], [18, 36]] / 7;
//   the beta prior's at mu = 1/4, size 8 (Alpha 2, Beta 6, spread
//     8 * 1/4 * 3/4 = 3/2), [[3/2, 2], [-3/2, 6]]: J S =
//     [[5, 19/2], [3, 45/2]] / 7, times J^T = [[26.5, 49.5], [49.5, 130.5]] / 7.
TEST(CovarianceWith, IsTheDeltaMethodOfTheInverse) {
  ModelPoint quarter;
  quarter.Mean = 0.25;
  quarter.Complement = 0.75;
  const struct {
    std::string name;
    ParameterJacobian jacobian;
    Matrix expected;
  } cases[] = {
      {"identity", {{{1.0, 0.0}, {0.0, 1.0}}}, {{{2.0 / 7, 1.0 / 7}, {1.0 / 7, 4.0 / 7}}}},
      {"general", {{{1.0, 2.0}, {3.0, 4.0}}}, {{{22.0 / 7, 48.0 / 7}, {48.0 / 7, 106.0 / 7}}}},
      {"gamma", GammaParameterJacobian(2.0, 3.0), {{{16.0 / 7, 18.0 / 7}, {18.0 / 7, 36.0 / 7}}}},
      {"beta", BetaParameterJacobian(quarter, 8.0),
       {{{26.5 / 7, 49.5 / 7}, {49.5 / 7, 130.5 / 7}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<FitCovariance> covariance =
        CovarianceWith(ShapeWith(-4.0, 1.0, -2.0), c.jacobian);
    ASSERT_TRUE(covariance.has_value());
    EXPECT_DOUBLE_EQ(covariance->Location, 2.0 / 7);
    EXPECT_DOUBLE_EQ(covariance->Size, 4.0 / 7);
    for (std::size_t i = 0; i < 2; ++i) {
      for (std::size_t j = 0; j < 2; ++j) {
        EXPECT_DOUBLE_EQ(covariance->Parameters[i][j], c.expected[i][j]) << i << j;
      }
    }
    // The standard errors are its diagonal's roots, to the bit.
    const FitStandardErrors errors = StandardErrorsWith(ShapeWith(-4.0, 1.0, -2.0), c.jacobian);
    EXPECT_EQ(*errors.Alpha, std::sqrt(covariance->Parameters[0][0]));
    EXPECT_EQ(*errors.Beta, std::sqrt(covariance->Parameters[1][1]));
  }
}

// No covariance, and no standard errors, where minus the Hessian is not
// positive definite or a parameter's variance is not positive.
TEST(CovarianceWith, IsEmptyAwayFromAPeak) {
  const struct {
    std::string name;
    LocalShape shape;
    ParameterJacobian jacobian;
  } cases[] = {
      {"a saddle", ShapeWith(-1.0, 0.0, 1.0), {{{1.0, 0.0}, {0.0, 1.0}}}},
      {"a valley", ShapeWith(1.0, 0.0, 1.0), {{{1.0, 0.0}, {0.0, 1.0}}}},
      {"singular", ShapeWith(-1.0, 1.0, -1.0), {{{1.0, 0.0}, {0.0, 1.0}}}},
      {"not finite", ShapeWith(-1.0, 0.0, -std::numeric_limits<double>::infinity()),
       {{{1.0, 0.0}, {0.0, 1.0}}}},
      {"a parameter that does not move", ShapeWith(-1.0, 0.0, -1.0), {{{0.0, 0.0}, {0.0, 1.0}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(CovarianceWith(c.shape, c.jacobian).has_value());
    EXPECT_FALSE(StandardErrorsWith(c.shape, c.jacobian).Alpha.has_value());
  }
}

}  // namespace
}  // namespace propsmooth
