// One run of propsmooth-report: data, estimation, the HTML page and the
// tables.
#ifndef PROPSMOOTH_REPORT_TOOL_REPORT_RUN_H_
#define PROPSMOOTH_REPORT_TOOL_REPORT_RUN_H_

#include <span>
#include <string_view>

#include "app/entry.h"
#include "common/exit_status.h"

namespace propsmooth {

/// The whole run for the arguments after the program's name. Data named
/// "-" are read from `streams.In`. Console lines go to `streams.Out`, or to
/// `streams.Err` when the CSV table goes to standard output (`streams.Out`),
/// which then carries nothing else; a progress line goes to `streams.Err`
/// when it is a terminal. Refused data end the run with the input's message
/// and status before any file is created; running out of memory ends it
/// with its message and status, removing a file being written.
ExitStatus RunReport(std::span<const std::string_view> args, const StandardStreams& streams);

}  // namespace propsmooth

#endif  // PROPSMOOTH_REPORT_TOOL_REPORT_RUN_H_
