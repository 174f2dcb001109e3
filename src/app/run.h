// One run of the program, from the command line to the exit status.
#ifndef PROPSMOOTH_APP_RUN_H_
#define PROPSMOOTH_APP_RUN_H_

#include <cstdio>
#include <ctime>
#include <span>
#include <string_view>

#include "common/exit_status.h"

namespace propsmooth {

/// Gives the local date and time at the moment of the call.
using LocalClock = std::tm (*)();

/// Runs the whole job for the arguments after the program's name: banner,
/// options, names, data, groups, log and table. Writes every console line
/// to `console`; reads `clock` only for the "-T" time stamps.
ExitStatus Run(std::span<const std::string_view> args, LocalClock clock,
               std::FILE* console);

}  // namespace propsmooth

#endif  // PROPSMOOTH_APP_RUN_H_
