// The one-dimensional numpy arrays the _core functions take, seen as spans.
#ifndef PROPSMOOTH_PYTHON_ARRAY_VIEW_H_
#define PROPSMOOTH_PYTHON_ARRAY_VIEW_H_

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace propsmooth {

// The arrays the bindings take. Safe casts only: numpy hands over a wider
// integer array as an error, never cut to fewer bits.
using IntArray = pybind11::array_t<std::int32_t, pybind11::array::c_style>;
using LongArray = pybind11::array_t<std::int64_t, pybind11::array::c_style>;
using DoubleArray = pybind11::array_t<double, pybind11::array::c_style>;

/// The values of `array`; ValueError naming it as `what` unless it has one
/// dimension.
template <typename T>
std::span<const T> Values(const pybind11::array_t<T, pybind11::array::c_style>& array,
                          const char* what) {
  if (array.ndim() != 1) {
    throw pybind11::value_error(std::string(what) + " must be one-dimensional");
  }
  return {array.data(), static_cast<std::size_t>(array.shape(0))};
}

}  // namespace propsmooth

#endif  // PROPSMOOTH_PYTHON_ARRAY_VIEW_H_
