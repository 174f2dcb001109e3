// Gradual underflow for the exact kernels, whatever the process had set.
#ifndef PROPSMOOTH_COMMON_FLOAT_ENV_H_
#define PROPSMOOTH_COMMON_FLOAT_ENV_H_

#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace propsmooth {

/// While it lives, the calling thread computes with subnormal numbers as
/// IEEE 754 says: flush-to-zero and denormals-are-zero are cleared (FTZ and
/// DAZ in x86's MXCSR, FZ in ARM's FPCR), and restored at the end. A library
/// loaded into the same process (a Python extension built with fast-math,
/// say) may have set them, and the sums must not depend on it.
class GradualUnderflow {
 public:
  GradualUnderflow() {
#if defined(__x86_64__) || defined(__i386__)
    saved_ = _mm_getcsr();
    const unsigned int wanted = saved_ & ~(kFlushToZero | kDenormalsAreZero);
    if (wanted != saved_) _mm_setcsr(wanted);
#elif defined(__aarch64__)
    asm volatile("mrs %0, fpcr" : "=r"(saved_));
    const std::uint64_t wanted = saved_ & ~kFlushToZero;
    if (wanted != saved_) asm volatile("msr fpcr, %0" : : "r"(wanted));
#endif
  }
  ~GradualUnderflow() {
#if defined(__x86_64__) || defined(__i386__)
    if (_mm_getcsr() != saved_) _mm_setcsr(saved_);
#elif defined(__aarch64__)
    std::uint64_t now = 0;
    asm volatile("mrs %0, fpcr" : "=r"(now));
    if (now != saved_) asm volatile("msr fpcr, %0" : : "r"(saved_));
#endif
  }
  GradualUnderflow(const GradualUnderflow&) = delete;
  GradualUnderflow& operator=(const GradualUnderflow&) = delete;

 private:
#if defined(__x86_64__) || defined(__i386__)
  static constexpr unsigned int kFlushToZero = 1u << 15;
  static constexpr unsigned int kDenormalsAreZero = 1u << 6;
  unsigned int saved_ = 0;
#elif defined(__aarch64__)
  static constexpr std::uint64_t kFlushToZero = std::uint64_t{1} << 24;
  std::uint64_t saved_ = 0;
#endif
};

}  // namespace propsmooth

#endif  // PROPSMOOTH_COMMON_FLOAT_ENV_H_
