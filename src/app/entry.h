// What happens around every command of the tool, from main() to the exit
// status.
#ifndef PROPSMOOTH_APP_ENTRY_H_
#define PROPSMOOTH_APP_ENTRY_H_

#include <cstdio>
#include <functional>
#include <span>
#include <string_view>

#include "common/exit_status.h"

namespace propsmooth {

/// One command: the arguments after the program's name, the console.
using Command =
    std::function<ExitStatus(std::span<const std::string_view> args, std::FILE* console)>;

/// The standard streams of a command that may read its data from standard
/// input or write a product to standard output; tests hand it files.
struct StandardStreams {
  std::FILE* In = stdin;
  std::FILE* Out = stdout;  // the console, unless a product goes there
  std::FILE* Err = stderr;  // the console when a product goes to Out
};

/// A command that chooses its console among the standard streams.
using StreamCommand = std::function<ExitStatus(std::span<const std::string_view> args,
                                               const StandardStreams& streams)>;

/// The whole of main(): ignores SIGPIPE (a closed pipe is a failed write),
/// caps the SIMD dispatch from the environment, runs
/// `command` with standard output as its console, and turns running out of
/// memory into its message and status, and any other exception into
/// kInternalError with a line on standard error. A console that could not be written
/// (a full disk, a closed pipe) turns a successful run into
/// kConsoleUnwritable, noted on standard error, once the files are complete.
int RunCommand(std::string_view program, int argc, char** argv, const Command& command);

/// The same for a command given the three standard streams. A failed write
/// to standard output or standard error, whichever the console was, turns
/// a successful run into kConsoleUnwritable. A command that writes a
/// product to standard output reports its failure with its own status.
int RunCommand(std::string_view program, int argc, char** argv, const StreamCommand& command);

/// RunCommand after the SIMD cap, on the streams given: `args` without the
/// program's name. Whatever `command` throws ends here: a file it was
/// writing has been removed by the unwinding (OutputFile), and the status
/// says what happened (kOutOfMemory, or kInternalError for anything else,
/// "PROGRAM: internal error: WHAT ..." on `streams.Err`).
int RunCommandOn(std::string_view program, std::span<const std::string_view> args,
                 const StreamCommand& command, const StandardStreams& streams);

}  // namespace propsmooth

#endif  // PROPSMOOTH_APP_ENTRY_H_
