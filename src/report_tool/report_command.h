// propsmooth-report's command: the command line read, the banner, and the
// run it asks for.
#ifndef PROPSMOOTH_REPORT_TOOL_REPORT_COMMAND_H_
#define PROPSMOOTH_REPORT_TOOL_REPORT_COMMAND_H_

#include <span>
#include <string_view>

#include "app/entry.h"
#include "common/exit_status.h"

namespace propsmooth {

/// The whole run for the arguments after the program's name. Console lines
/// (the banner, the file names, the summary line) go to `streams.Out`, or
/// to `streams.Err` when an output streams to standard output
/// (`streams.Out`), which then carries nothing else; none with --quiet.
/// Errors, command-line errors among them, go to `streams.Err`; the help
/// and the version's one line to `streams.Out`. Running out of memory ends
/// the run with its message and status.
ExitStatus RunReport(std::span<const std::string_view> args, const StandardStreams& streams);

}  // namespace propsmooth

#endif  // PROPSMOOTH_REPORT_TOOL_REPORT_COMMAND_H_
