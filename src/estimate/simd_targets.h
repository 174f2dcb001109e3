// Which instruction sets the step kernel may run on: the cap a user sets
// with PROPSMOOTH_SIMD, and the names the benchmarks and tests report.
#ifndef PROPSMOOTH_ESTIMATE_SIMD_TARGETS_H_
#define PROPSMOOTH_ESTIMATE_SIMD_TARGETS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace propsmooth {

/// The environment variable that caps the dispatch.
inline constexpr const char* kSimdVariable = "PROPSMOOTH_SIMD";

/// Caps the kernel's dispatch at the target family `name` names ("auto",
/// "scalar", "ssse3", "sse4", "avx2", "avx512", "neon", "sve", "sve2"): the
/// best target this CPU has at or below it, scalar for a name of the other
/// architecture. Call before any thread runs the kernel. False, with nothing
/// changed, for a name it does not know.
bool CapSimdTargets(std::string_view name);

/// Reads kSimdVariable and caps the dispatch by it. False, with `*error`
/// set to the one-line message for the user, when its value is unknown.
bool CapSimdTargetsFromEnvironment(std::string* error);

/// Names of the compiled targets this CPU runs (after any cap), best first.
std::vector<std::string> AvailableSimdTargets();

/// The name of the target the kernel's dispatch chooses now, as the
/// dispatched code itself reports it.
std::string ActiveSimdTarget();

/// The Highway bits of every target compiled into the kernel.
std::int64_t CompiledSimdTargets();

}  // namespace propsmooth

#endif  // PROPSMOOTH_ESTIMATE_SIMD_TARGETS_H_
