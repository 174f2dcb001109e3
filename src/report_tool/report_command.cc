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
  // The help speaks of both models; a run, of its own. A run of
  // proportions keeps the banner it always had: scripts compare consoles.
  const char* const what =
      outcome == CommandLineOutcome::kShown
          ? "HTML report and tables of EB estimates for the Binomial-Beta model (proportions) "
            "and the Poisson-Gamma model (rates)"
      : settings.Model == CountModel::kPoisson
          ? "HTML report and tables of EB estimates for the Poisson-Gamma model"
          : "HTML report of EB estimates for the Binomial-Beta model";
  const std::string banner =
      std::string(kReportProgram) + " " + kReportToolVersion + ": " + what + "\n\n";
  switch (outcome) {
    case CommandLineOutcome::kRun:
      break;
    case CommandLineOutcome::kVersion:
      Print(streams.Out, text);
      return ExitStatus::kSuccess;
    case CommandLineOutcome::kShown:
      Print(streams.Out, banner + text);
      return ExitStatus::kSuccess;
    case CommandLineOutcome::kOptionError:
    case CommandLineOutcome::kUsageError:
      Print(streams.Err, std::string(kReportProgram) + ": " + text);
      return ExitStatus::kBadInput;
  }
  // An output on standard output shares it with nothing.
  const bool output_streams = settings.ReportFileName == kStandardStream ||
                              settings.TsvFileName == kStandardStream ||
                              settings.CsvFileName == kStandardStream ||
                              settings.SummaryFileName == kStandardStream;
  std::FILE* console =
      settings.Quiet ? nullptr : output_streams ? streams.Err : streams.Out;
  if (console != nullptr) Print(console, banner);
  try {
    return RunReportJob(settings, streams, console);
  } catch (const std::bad_alloc&) {
    // No file was given its name: the temporaries went on the way here.
    return ReportOutOfMemory(streams.Err);
  }
}

}  // namespace propsmooth
