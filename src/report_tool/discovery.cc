#include "report_tool/discovery.h"

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
  std::vector<std::optional<double>> q_values(peps.size());
  double sum = 0.0;
  std::size_t begin = 0;
  while (begin < order.size()) {
    // One run of equal PEPs: the mean runs to its end, shared by all of it.
    std::size_t end = begin;
    const double pep = *peps[order[begin]];
    while (end < order.size() && *peps[order[end]] == pep) {
      sum = sum + *peps[order[end]];
      ++end;
    }
    const double q = sum / static_cast<double>(end);
    for (std::size_t j = begin; j < end; ++j) q_values[order[j]] = q;
    begin = end;
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
