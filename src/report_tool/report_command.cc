#include "report_tool/report_command.h"

#include <new>
#include <string>

#include "app/job_files.h"
#include "report_app/report_run.h"
#include "report_app/version.h"
#include "report_tool/report_options.h"

namespace propsmooth {

ExitStatus RunReport(std::span<const std::string_view> args, const StandardStreams& streams) {
  ReportSettings settings;
  std::string text;
  const CommandLineOutcome outcome = ReadReportCommandLine(args, &settings, &text);
  // A table on standard output shares it with nothing.
  std::FILE* console = outcome == CommandLineOutcome::kRun &&
                               ((settings.CsvFileName == kStandardStream ||
                                settings.SummaryFileName == kStandardStream))
                           ? streams.Err
                           : streams.Out;
  Print(console, std::string(kReportProgram) + " " + kReportToolVersion +
                     ": HTML report of EB estimates for the Binomial-Beta model\n\n");
  switch (outcome) {
    case CommandLineOutcome::kRun:
      break;
    case CommandLineOutcome::kShown:
      Print(console, text);
      return ExitStatus::kSuccess;
    case CommandLineOutcome::kOptionError:
    case CommandLineOutcome::kUsageError:
      Print(console, text);
      return ExitStatus::kBadInput;
  }
  try {
    return RunReportJob(settings, streams, console);
  } catch (const std::bad_alloc&) {
    // The files being written were removed on the way here.
    return ReportOutOfMemory(console);
  }
}

}  // namespace propsmooth
