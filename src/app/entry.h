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

/// The whole of main(): caps the SIMD dispatch from the environment, runs
/// `command` with standard output as its console, and turns running out of
/// memory into its message and status. A console that could not be written
/// (a full disk, a closed pipe) turns a successful run into
/// kConsoleUnwritable, noted on standard error, once the files are complete.
int RunCommand(std::string_view program, int argc, char** argv, const Command& command);

}  // namespace propsmooth

#endif  // PROPSMOOTH_APP_ENTRY_H_
