#include "record_check.h"

#include <pybind11/numpy.h>

#include <optional>
#include <string>

#include "array_view.h"
#include "input/data_file.h"
#include "stats/record_rule.h"

namespace propsmooth {
namespace {

namespace py = pybind11;


const char* FaultName(RecordFault fault) {
  switch (fault) {
    case RecordFault::kCountBelowLeast:
      return "count_below_least";
    case RecordFault::kSizeBelowLeast:
      return "size_below_least";
    case RecordFault::kCountAboveSize:
      return "count_above_size";
    case RecordFault::kNone:
      break;
  }
  return "";
}

// The package's int64 columns, before they are narrowed to 32 bits: the
// first bad row as (position, fault name, fault text), or None.
py::object FirstBad(const LongArray& count_array, const LongArray& size_array) {
  if (count_array.ndim() != 1 || size_array.ndim() != 1 ||
      count_array.shape(0) != size_array.shape(0)) {
    throw py::value_error("counts and sizes must be one-dimensional and of one length");
  }
  const auto rows = static_cast<std::size_t>(count_array.shape(0));
  const std::optional<BadRecord> bad = FirstBadRecord(
      std::span(count_array.data(), rows), std::span(size_array.data(), rows));
  if (!bad) return py::none();
  return py::make_tuple(bad->Row, FaultName(bad->Fault), std::string(RecordFaultText(bad->Fault)));
}

}  // namespace

void CheckRecords(std::span<const std::int32_t> counts, std::span<const std::int32_t> sizes) {
  if (counts.size() != sizes.size()) {
    throw py::value_error("counts has " + std::to_string(counts.size()) +
                          " values but sizes has " + std::to_string(sizes.size()));
  }
  if (counts.size() > kMaxRecords) {
    throw py::value_error("more than 2147483647 rows, the most one run can number");
  }
  if (const std::optional<BadRecord> bad = FirstBadRecord(counts, sizes)) {
    throw py::value_error("row " + std::to_string(bad->Row) + ": count " +
                          std::to_string(counts[bad->Row]) + " and size " +
                          std::to_string(sizes[bad->Row]) + ": " +
                          std::string(RecordFaultText(bad->Fault)) + "; a row needs " +
                          std::string(RecordRuleText()));
  }
}

void RegisterRecordRule(pybind11::module_& m) {
  m.def("first_bad_record", &FirstBad, py::arg("counts"), py::arg("sizes"),
        "The first row of int64 counts and sizes that breaks the record rule, as (position, "
        "fault name, fault text); None when every row keeps it.");
  m.attr("LEAST_COUNT") = kLeastCount;
  m.attr("LEAST_SIZE") = kLeastSize;
}

}  // namespace propsmooth
