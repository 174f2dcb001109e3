// Sweeps whose cost does not grow with the largest count. Far enough out,
// a term is a few ulps of its running sum at most, and the number of ulps
// it adds falls by one only every so many terms: such a stretch of terms
// is added at once. doc/exact-sums.md proves it bit for bit the plain loop.
#ifndef PROPSMOOTH_ESTIMATE_STRETCH_SUMS_H_
#define PROPSMOOTH_ESTIMATE_STRETCH_SUMS_H_

#include <cstdint>
#include <span>
#include <vector>

namespace propsmooth {

/// What SweepInnerSums gives, bit for bit: the kernel up to where stretches
/// are long (StretchStart), stretches from there on.
void SweepInnerSumsInStretches(const std::vector<std::int64_t>& counts, double base,
                               std::vector<double>* first, std::vector<double>* second);

/// The k from which a sweep with terms in base + k up to `largest` takes
/// stretches, or 0 where the kernel alone is faster. Only a matter of
/// speed: any k gives the same sums.
std::int64_t StretchStart(double base, std::int64_t largest);

/// The plain loop's sums continued from k = `from`, where they stand at
/// `sum1` (of 1/d) and `sum2` (of 1/(d*d)), d = base + k: read off after
/// `counts[j]` terms in all into `first[j]` and `second[j]`. `counts`
/// ascends from at least `from`; base + from must be above 0. Any sums,
/// also those the stretches cannot take (then term by term).
void ContinueInStretches(double base, std::int64_t from, double sum1, double sum2,
                         std::span<const std::int64_t> counts, std::span<double> first,
                         std::span<double> second);

}  // namespace propsmooth

#endif  // PROPSMOOTH_ESTIMATE_STRETCH_SUMS_H_
