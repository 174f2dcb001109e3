// The one way every fuzz target reports a broken property.
#ifndef PROPSMOOTH_TESTS_FUZZ_FUZZ_CHECK_H_
#define PROPSMOOTH_TESTS_FUZZ_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>

namespace propsmooth {

/// Aborts, naming the property, when `condition` does not hold; libFuzzer
/// then keeps the input that broke it.
inline void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "property violated: %s\n", what);
  std::abort();
}

}  // namespace propsmooth

#endif  // PROPSMOOTH_TESTS_FUZZ_FUZZ_CHECK_H_
