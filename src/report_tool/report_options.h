// The report tool's command line: the data file, the page, the tables, the
// columns to read, its own long options and propsmooth's fit options.
#ifndef PROPSMOOTH_REPORT_TOOL_REPORT_OPTIONS_H_
#define PROPSMOOTH_REPORT_TOOL_REPORT_OPTIONS_H_

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "report_app/report_settings.h"

namespace propsmooth {

/// How reading the command line ended.
enum class CommandLineOutcome {
  kRun,          // settings complete
  kShown,        // --help: the text is to be printed, status 0
  kVersion,      // --version: the text is its one line, status 0
  kOptionError,  // a fit option propsmooth would refuse: the text names it
  kUsageError,   // anything else wrong: the text says what
};

/// Reads the arguments after the program's name; options and file names
/// may come in any order, and after "--" every argument is a file name.
/// The fit options -A, -B, -E and -L (either case) are read as propsmooth
/// reads them, the value glued behind the letter ("-L10") or, for a letter
/// alone, the next argument ("-L 10", "-A -1"); unlike propsmooth, the
/// value must be a number as a whole (a whole one for -L), so that "-L abc"
/// or "-A nan" is refused. Everything else goes to the long-option parser.
/// At most one output may be "-" (standard output). `text` receives the
/// help, version or error text; an error names the option.
CommandLineOutcome ReadReportCommandLine(std::span<const std::string_view> args,
                                         ReportSettings* settings, std::string* text);

}  // namespace propsmooth

#endif  // PROPSMOOTH_REPORT_TOOL_REPORT_OPTIONS_H_
