// Floating-point helpers whose order of operations is part of the results.
#ifndef PROPSMOOTH_COMMON_ARITHMETIC_H_
#define PROPSMOOTH_COMMON_ARITHMETIC_H_

namespace propsmooth {

/// a * b + c as two roundings. A build that fuses it into one
/// multiply-add changes printed digits; the tests call this to catch that.
double MulAdd(double a, double b, double c);

/// ((a + b) + c) in this order. A build that reassociates sums changes
/// printed digits; the tests call this to catch that.
double SumOfThree(double a, double b, double c);

}  // namespace propsmooth

#endif  // PROPSMOOTH_COMMON_ARITHMETIC_H_
