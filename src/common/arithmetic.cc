// Out-of-line so that the compiler sees no constants and must emit the
// operations the build flags allow.
#include "common/arithmetic.h"

namespace propsmooth {

double MulAdd(double a, double b, double c) { return a * b + c; }

double SumOfThree(double a, double b, double c) { return (a + b) + c; }

}  // namespace propsmooth
