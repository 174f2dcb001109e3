#include "stats/discovery.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace propsmooth {

std::vector<std::optional<double>> QValues(const std::vector<std::optional<double>>& peps) {
  std::vector<std::size_t> order;
  order.reserve(peps.size());
  for (std::size_t i = 0; i < peps.size(); ++i) {
    if (peps[i] && std::isfinite(*peps[i])) order.push_back(i);
  }
  // Stable, so that equal PEPs keep file order and the sums do not depend
  // on the sort's implementation.
  std::stable_sort(order.begin(), order.end(),
                   [&peps](std::size_t a, std::size_t b) { return *peps[a] < *peps[b]; });
  // The runs of equal PEPs, each with one mean.
  std::vector<double> distinct;
  std::vector<std::int64_t> regions;
  for (const std::size_t i : order) {
    if (distinct.empty() || *peps[i] != distinct.back()) {
      distinct.push_back(*peps[i]);
      regions.push_back(0);
    }
    ++regions.back();
  }
  const std::vector<double> run_q = QValuesOfDistinct(distinct, regions);
  std::vector<std::optional<double>> q_values(peps.size());
  std::size_t begin = 0;
  for (std::size_t run = 0; run < run_q.size(); ++run) {
    const auto end = begin + static_cast<std::size_t>(regions[run]);
    for (std::size_t j = begin; j < end; ++j) q_values[order[j]] = run_q[run];
    begin = end;
  }
  return q_values;
}

std::vector<double> QValuesOfDistinct(std::span<const double> peps,
                                      std::span<const std::int64_t> regions) {
  std::vector<double> q_values(peps.size());
  double sum = 0.0;
  std::int64_t seen = 0;
  for (std::size_t j = 0; j < peps.size(); ++j) {
    // One PEP at a time, as over the regions themselves: the mean runs to
    // the end of the run, shared by all of it.
    for (std::int64_t k = 0; k < regions[j]; ++k) sum = sum + peps[j];
    seen += regions[j];
    q_values[j] = sum / static_cast<double>(seen);
  }
  return q_values;
}

std::vector<bool> Discoveries(const std::vector<std::optional<double>>& q_values, double fdr) {
  std::vector<bool> marked(q_values.size(), false);
  for (std::size_t i = 0; i < q_values.size(); ++i) {
    marked[i] = q_values[i] && *q_values[i] <= fdr;
  }
  return marked;
}

}  // namespace propsmooth
