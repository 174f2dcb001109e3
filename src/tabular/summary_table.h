// The summary table: one CSV row per group with its moment estimators and
// the fit that does not give up.
#ifndef PROPSMOOTH_TABULAR_SUMMARY_TABLE_H_
#define PROPSMOOTH_TABULAR_SUMMARY_TABLE_H_

#include <cstddef>
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

}  // namespace propsmooth

#endif  // PROPSMOOTH_TABULAR_SUMMARY_TABLE_H_
