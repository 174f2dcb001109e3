// The summary table: one CSV row per group with its moment estimators and
// the fit that does not give up.
#ifndef PROPSMOOTH_TABULAR_SUMMARY_TABLE_H_
#define PROPSMOOTH_TABULAR_SUMMARY_TABLE_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/types.h"
#include "stats/prior_fit.h"

namespace propsmooth {

/// The header line of --summary.
inline constexpr std::string_view kSummaryTableHeader =
    "group,regions,mean,variance,alpha_me,beta_me,alpha,beta,se_alpha,se_beta,"
    "se_logit_mean,se_log_size,size_lower95,loglik,iterations,fit,boundary\n";

/// Appends the row of a group, LF ended, in the CSV table's conventions:
/// shortest round-trip numbers, an empty cell where there is no value.
/// alpha and beta are the fit's prior (empty at a boundary); mean and
/// variance are propsmooth's, as proportions.
void AppendSummaryRow(std::string_view group, std::size_t regions, const GroupSummary& summary,
                      const PriorFit& fit, std::string* out);

/// The moment columns of a row: mean, variance, alpha_me and beta_me, an
/// empty optional an empty cell.
struct SummaryMoments {
  double Mean = 0.0;
  double Variance = 0.0;
  std::optional<double> AlphaMe;
  std::optional<double> BetaMe;
};

/// The same row from its moment columns, the boundary in the words of
/// `model`. For rates the columns keep their names: mean and variance are
/// Marshall's (the variance clamped at 0, alpha_me and beta_me then
/// empty), alpha and beta the gamma prior's shape and rate, se_logit_mean
/// and se_log_size the standard errors of the log mean and log shape, and
/// size_lower95 the lower bound of the shape.
void AppendSummaryRow(std::string_view group, std::size_t regions, const SummaryMoments& moments,
                      const PriorFit& fit, CountModel model, std::string* out);

}  // namespace propsmooth

#endif  // PROPSMOOTH_TABULAR_SUMMARY_TABLE_H_
