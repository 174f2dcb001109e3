// Seeded synthetic data sets for the speed figures: the same records on
// every run and every machine with this standard library.
#ifndef PROPSMOOTH_BENCH_DATASETS_H_
#define PROPSMOOTH_BENCH_DATASETS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "common/types.h"

namespace propsmooth {

/// The data sets of the benchmarks.
enum class Dataset {
  kNational,  // one group: 3,300 regions, sizes summing to about 1.27e8
              // (largest 3.7e6), counts of a rare disease
  kUnits,     // 1,000,000 records in 100,000 units, sizes around 1,000
  kWide,      // one group of 100,000 regions, sizes around 1,000
  kHuge,      // one group of 10,000,000 regions, sizes around 1,000
  kLarge,     // one group of 5 regions, sizes near 1e8, counts near 1e6
  kGiant,     // one group of 20 regions, sizes 1e9 to 2.1e9, counts 1e5 to 1e7
  kGiant10,   // the same kind of regions in ten groups of two
  kRare,      // as kUnits, sizes 900 to 1,100, rates near 1% with little spread
};

/// Parses "national", "units", "wide", "huge", "large", "giant", "giant10"
/// or "rare"; false for anything else.
bool ParseDataset(std::string_view name, Dataset* dataset);

/// The records of `dataset`, in file order (Code = position).
RecordTable MakeDataset(Dataset dataset);

/// The records as data-file text: "Unit Code Data1 Data2" per line.
std::string FormatDataFile(const RecordTable& table);

/// The name of the rates data set, which is CSV rather than a data file.
inline constexpr std::string_view kNationalRatesName = "rates";

/// A national table of rates as CSV, "region,x,e,n" and a row per region:
/// 2,000 regions, expected counts e from 1 to 1e5 (log-uniform), counts x ~
/// Poisson(theta e) with theta ~ Gamma(shape 25, rate 25), so that the
/// regions spread more than Poisson sampling (a relative risk's standard
/// deviation 0.2). n = round(10 e), at least x, makes the same counts a
/// binomial group (--count x --size n) whose proportions x/n are the
/// relative risks over 10, whose binomial variance n p (1 - p) is about
/// 0.9 of the Poisson one, and whose prior spreads as the gamma one does.
std::string NationalRatesCsv();

}  // namespace propsmooth

#endif  // PROPSMOOTH_BENCH_DATASETS_H_
