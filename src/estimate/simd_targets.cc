#include "estimate/simd_targets.h"

#include <array>
#include <cstdlib>

#include <hwy/highway.h>
#include <hwy/targets.h>

#include "estimate/sweep.h"

namespace propsmooth {
namespace {

// The portable fallback: Highway calls it SCALAR with some compilers and
// EMU128 with others.
constexpr std::int64_t kScalar = HWY_SCALAR | HWY_EMU128;

// A name and every target it admits, this one and all below it in its
// family. Highway orders targets by bit: a lower bit is a better target.
struct Cap {
  std::string_view Name;
  std::int64_t Allowed;
};

constexpr std::int64_t kSsse3 = HWY_SSSE3 | kScalar;
constexpr std::int64_t kSse4 = HWY_SSE4 | kSsse3;
constexpr std::int64_t kAvx2 = HWY_AVX2 | kSse4;
constexpr std::int64_t kAvx512 = HWY_AVX3 | HWY_AVX3_DL | kAvx2;
constexpr std::int64_t kNeon = HWY_NEON | kScalar;
constexpr std::int64_t kSve = HWY_SVE | HWY_SVE_256 | kNeon;
constexpr std::int64_t kSve2 = HWY_SVE2 | HWY_SVE2_128 | kSve;

constexpr std::array<Cap, 8> kCaps = {{
    {"scalar", kScalar},
    {"ssse3", kSsse3},
    {"sse4", kSse4},
    {"avx2", kAvx2},
    {"avx512", kAvx512},
    {"neon", kNeon},
    {"sve", kSve},
    {"sve2", kSve2},
}};

std::int64_t Usable() {
#ifdef HWY_COMPILE_ONLY_STATIC
  // The one target compiled in needs nothing the baseline lacks, and
  // Highway's library, which would detect the others, is not linked.
  return CompiledSimdTargets();
#else
  const std::int64_t supported = hwy::SupportedTargets();
  // This version of Highway points the dispatch at every target the CPU
  // has, capped ones included, whenever SupportedTargets() runs: point it
  // back at those it returned.
  hwy::GetChosenTarget().Update(supported);
  return supported & CompiledSimdTargets();
#endif
}

}  // namespace

std::int64_t CompiledSimdTargets() { return HWY_TARGETS; }

bool CapSimdTargets(std::string_view name) {
  if (name.empty() || name == "auto") return true;
  for (const Cap& cap : kCaps) {
    if (cap.Name == name) {
      // With the baseline target alone there is nothing to cap: a known
      // name still runs, as it would on a CPU without anything better.
#ifndef HWY_COMPILE_ONLY_STATIC
      hwy::DisableTargets(~cap.Allowed);
#endif
      return true;
    }
  }
  return false;
}

bool CapSimdTargetsFromEnvironment(std::string* error) {
  const char* value = std::getenv(kSimdVariable);
  if (value == nullptr || CapSimdTargets(value)) return true;
  *error = std::string(kSimdVariable) + "=\"" + value +
           "\" names no instruction set; it takes auto";
  for (const Cap& cap : kCaps) {
    *error += std::string(cap.Name == kCaps.back().Name ? " or " : ", ") +
              std::string(cap.Name);
  }
  return false;
}

std::vector<std::string> AvailableSimdTargets() {
  std::vector<std::string> names;
  for (std::int64_t targets = Usable(); targets != 0; targets &= targets - 1) {
    names.emplace_back(hwy::TargetName(targets & -targets));
  }
  return names;
}

std::string ActiveSimdTarget() { return SweepTargetName(); }

}  // namespace propsmooth
