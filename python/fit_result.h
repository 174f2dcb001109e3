// What propsmooth.fit and the fit from sufficient statistics share: the
// settings from fit's keywords and the dict of FitResult's fields.
#ifndef PROPSMOOTH_PYTHON_FIT_RESULT_H_
#define PROPSMOOTH_PYTHON_FIT_RESULT_H_

#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>

#include "common/types.h"
#include "stats/prior_fit.h"

namespace propsmooth {

/// propsmooth's -A, -B, -E and -L, refused where its option reader refuses.
RunSettings FitSettings(std::optional<double> alpha, std::optional<double> beta, double eps,
                        std::int32_t max_iter);

/// The threads a call may use: `threads` (0: no limit) at most the cores.
unsigned Workers(unsigned threads);

/// FitResult's fields from propsmooth's `summary` and, when the
/// safeguarded fit was asked for, its result.
pybind11::dict FitResultDict(const GroupSummary& summary,
                             const std::optional<PriorFit>& prior_fit);

}  // namespace propsmooth

#endif  // PROPSMOOTH_PYTHON_FIT_RESULT_H_
