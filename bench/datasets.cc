#include "datasets.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

namespace propsmooth {
namespace {

constexpr std::uint64_t kSeed = 0x5eed2024;

// A draw of a beta distribution, from two gamma draws.
double DrawBeta(double a, double b, std::mt19937_64* rng) {
  std::gamma_distribution<double> ga(a, 1.0);
  std::gamma_distribution<double> gb(b, 1.0);
  const double x = ga(*rng);
  const double y = gb(*rng);
  return x / (x + y);
}

std::int32_t ToCount(double value) {
  return static_cast<std::int32_t>(std::clamp(std::llround(value), 0LL, 2147483647LL));
}

// Sizes from a log-normal distribution, scaled so that the largest is
// `largest` and the whole `total`, as in a country's districts.
std::vector<std::int32_t> HeavyTailedSizes(std::size_t count, double total,
                                           double largest, std::mt19937_64* rng) {
  std::lognormal_distribution<double> draw(0.0, 1.8);
  std::vector<double> sizes(count);
  for (double& size : sizes) size = draw(*rng);
  const auto top = static_cast<std::size_t>(
      std::max_element(sizes.begin(), sizes.end()) - sizes.begin());
  const double rest = std::accumulate(sizes.begin(), sizes.end(), 0.0) - sizes[top];
  const double scale = (total - largest) / rest;
  std::vector<std::int32_t> counts(count);
  for (std::size_t i = 0; i < count; ++i) {
    counts[i] = i == top ? ToCount(largest)
                         : std::min(ToCount(sizes[i] * scale), ToCount(largest));
    counts[i] = std::max<std::int32_t>(counts[i], 1);
  }
  return counts;
}

RecordTable National() {
  std::mt19937_64 rng(kSeed);
  const std::vector<std::int32_t> sizes = HeavyTailedSizes(3300, 1.27e8, 3.7e6, &rng);
  RecordTable table(sizes.size());
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    RegionRecord& record = table[i];
    record.Unit = -1;
    record.Code = static_cast<std::int32_t>(i + 1);
    record.Data2 = sizes[i];
    // Around 12 cases per 100,000, varying between districts.
    const double rate = 1.2e-4 * DrawBeta(8.0, 8.0, &rng) * 2.0;
    std::poisson_distribution<std::int32_t> cases(rate * sizes[i]);
    record.Data1 = std::min(cases(rng), record.Data2);
  }
  return table;
}

// Regions of about 1,000 people with proportions around 10% that vary
// more than chance alone would make them.
void FillOrdinary(RegionRecord* record, std::mt19937_64* rng) {
  std::normal_distribution<double> size(1000.0, 150.0);
  record->Data2 = std::max<std::int32_t>(ToCount(size(*rng)), 1);
  std::binomial_distribution<std::int32_t> cases(record->Data2, DrawBeta(6.0, 54.0, rng));
  record->Data1 = cases(*rng);
}

RecordTable SingleGroup(std::size_t count) {
  std::mt19937_64 rng(kSeed + count);
  RecordTable table(count);
  for (std::size_t i = 0; i < count; ++i) {
    table[i].Unit = -1;
    table[i].Code = static_cast<std::int32_t>(i + 1);
    FillOrdinary(&table[i], &rng);
  }
  return table;
}

// Ten regions per unit, the units' records interleaved through the file
// so that grouping has to gather them.
RecordTable Units() {
  constexpr std::size_t kUnits = 100000;
  constexpr std::size_t kPerUnit = 10;
  std::mt19937_64 rng(kSeed + 1);
  std::vector<std::int32_t> units(kUnits * kPerUnit);
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<std::int32_t>(1000 + 7 * (i / kPerUnit));
  }
  std::shuffle(units.begin(), units.end(), rng);
  RecordTable table(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    table[i].Unit = units[i];
    table[i].Code = static_cast<std::int32_t>(i + 1);
    FillOrdinary(&table[i], &rng);
  }
  return table;
}

// As Units, with the rates of a rare disease: few cases a region and
// little spread between regions, so that many groups' fits take every
// step the iteration limit allows.
RecordTable Rare() {
  constexpr std::size_t kUnits = 100000;
  constexpr std::size_t kPerUnit = 10;
  std::mt19937_64 rng(kSeed + 6);
  std::vector<std::int32_t> units(kUnits * kPerUnit);
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<std::int32_t>(1000 + 7 * (i / kPerUnit));
  }
  std::shuffle(units.begin(), units.end(), rng);
  std::uniform_int_distribution<std::int32_t> size(900, 1100);
  RecordTable table(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    RegionRecord& record = table[i];
    record.Unit = units[i];
    record.Code = static_cast<std::int32_t>(i + 1);
    record.Data2 = size(rng);
    std::binomial_distribution<std::int32_t> cases(record.Data2, DrawBeta(20.0, 2000.0, &rng));
    record.Data1 = cases(rng);
  }
  return table;
}

// Few regions with very long sums: the step's time is then the sweeps'
// alone, with next to nothing of the per-region work.
RecordTable Large() {
  std::mt19937_64 rng(kSeed + 5);
  std::uniform_real_distribution<double> size(0.9e8, 1.1e8);
  RecordTable table(5);
  for (std::size_t i = 0; i < table.size(); ++i) {
    RegionRecord& record = table[i];
    record.Unit = -1;
    record.Code = static_cast<std::int32_t>(i + 1);
    record.Data2 = ToCount(size(rng));
    // Around 1%, so that the counts are near 1e6.
    std::binomial_distribution<std::int32_t> cases(record.Data2,
                                                   0.02 * DrawBeta(50.0, 50.0, &rng));
    record.Data1 = cases(rng);
  }
  return table;
}

// Regions of a billion or two trials each with click-like counts, the
// sizes where a sweep's terms fall far below its sums' ulps; in one group
// or spread over `groups` groups, the regions' units interleaved.
RecordTable Giant(int groups) {
  std::mt19937_64 rng(kSeed + 20 + static_cast<std::uint64_t>(groups));
  std::uniform_real_distribution<double> size(1e9, 2.1e9);
  std::uniform_real_distribution<double> log_clicks(std::log(1e5), std::log(1e7));
  RecordTable table(20);
  for (std::size_t i = 0; i < table.size(); ++i) {
    RegionRecord& record = table[i];
    const auto unit = static_cast<std::int32_t>(i % static_cast<std::size_t>(groups));
    record.Unit = groups == 1 ? -1 : 1 + unit;
    record.Code = static_cast<std::int32_t>(i + 1);
    record.Data2 = ToCount(size(rng));
    record.Data1 = std::min(ToCount(std::exp(log_clicks(rng))), record.Data2);
  }
  return table;
}

}  // namespace

std::string NationalRatesCsv() {
  constexpr int kRegions = 2000;
  std::mt19937_64 rng(kSeed + 30);
  std::uniform_real_distribution<double> log_expected(0.0, std::log(1e5));
  std::gamma_distribution<double> relative_risk(25.0, 1.0 / 25.0);
  std::string text = "region,x,e,n\n";
  char field[32];
  for (int i = 0; i < kRegions; ++i) {
    const double expected = std::exp(log_expected(rng));
    std::poisson_distribution<std::int32_t> events(relative_risk(rng) * expected);
    const std::int32_t count = events(rng);
    const std::int32_t size = std::max(ToCount(10.0 * expected), count);
    text += std::to_string(i + 1);
    text.push_back(',');
    text += std::to_string(count);
    text.push_back(',');
    // Shortest round trip: the reader gets the double drawn here.
    const auto written = std::to_chars(field, field + sizeof field, expected);
    text.append(field, written.ptr);
    text.push_back(',');
    text += std::to_string(size);
    text.push_back('\n');
  }
  return text;
}

bool ParseDataset(std::string_view name, Dataset* dataset) {
  if (name == "national") {
    *dataset = Dataset::kNational;
  } else if (name == "units") {
    *dataset = Dataset::kUnits;
  } else if (name == "wide") {
    *dataset = Dataset::kWide;
  } else if (name == "huge") {
    *dataset = Dataset::kHuge;
  } else if (name == "large") {
    *dataset = Dataset::kLarge;
  } else if (name == "giant") {
    *dataset = Dataset::kGiant;
  } else if (name == "giant10") {
    *dataset = Dataset::kGiant10;
  } else if (name == "rare") {
    *dataset = Dataset::kRare;
  } else {
    return false;
  }
  return true;
}

RecordTable MakeDataset(Dataset dataset) {
  switch (dataset) {
    case Dataset::kNational:
      return National();
    case Dataset::kUnits:
      return Units();
    case Dataset::kWide:
      return SingleGroup(100000);
    case Dataset::kHuge:
      return SingleGroup(10000000);
    case Dataset::kLarge:
      return Large();
    case Dataset::kGiant:
      return Giant(1);
    case Dataset::kGiant10:
      return Giant(10);
    case Dataset::kRare:
      return Rare();
  }
  return {};
}

std::string FormatDataFile(const RecordTable& table) {
  std::string text;
  text.reserve(table.size() * 24);
  char field[16];
  for (const RegionRecord& record : table) {
    for (const std::int32_t value : {record.Unit, record.Code, record.Data1, record.Data2}) {
      const auto result = std::to_chars(field, field + sizeof field, value);
      text.append(field, result.ptr);
      text.push_back(' ');
    }
    text.back() = '\n';
  }
  return text;
}

}  // namespace propsmooth
