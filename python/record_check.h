// What every _core entry point that takes rows checks of them: the record
// rule of src/stats, and no more rows than a record's 32-bit position can
// number.
#ifndef PROPSMOOTH_PYTHON_RECORD_CHECK_H_
#define PROPSMOOTH_PYTHON_RECORD_CHECK_H_

#include <pybind11/pybind11.h>

#include <cstdint>
#include <span>

namespace propsmooth {

/// Refuses with ValueError counts and sizes of different lengths, more
/// than 2147483647 rows, or a row that breaks the record rule (the first,
/// named by position, values and fault).
void CheckRecords(std::span<const std::int32_t> counts, std::span<const std::int32_t> sizes);

/// Adds first_bad_record and the rule's bounds, with which the package
/// words its refusals by the caller's labels.
void RegisterRecordRule(pybind11::module_& m);

}  // namespace propsmooth

#endif  // PROPSMOOTH_PYTHON_RECORD_CHECK_H_
