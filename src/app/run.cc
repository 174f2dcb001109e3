#include "app/run.h"

#include <string>

#include "common/types.h"
#include "app/job_files.h"
#include "app/log_name.h"
#include "app/options.h"
#include "app/process_groups.h"
#include "strict_output/log_report.h"
#include "common/output_file.h"
#include "strict_output/result_table.h"

namespace propsmooth {
namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "   propsmooth DataFileName OutFileName\n"
    "Options:\n"
    "   -Affff   Initial value for Alpha (a parametor of Gamma distribution)\n"
    "             (default ffff=moment estimator: auto)\n"
    "   -Bffff   Initial value for Beta (a parametor of Gamma distribution)\n"
    "             (default ffff=moment estimator: auto)\n"
    "   -Effff   Desired error tolerance for Newton-Raphson method\n"
    "             (default ffff=0.00001)\n"
    "   -Lnn     Limit of itelations for Newton-Raphson method\n"
    "             (default nn=20)\n"
    "Examples:\n"
    "   propsmooth sample.txt output.txt                (recommend)\n"
    "   propsmooth sample.txt output.txt -A12.3 -B13.0 -E0.005 -L10\n";

}  // namespace

ExitStatus Run(std::span<const std::string_view> args, LocalClock clock,
               std::FILE* console) {
  Print(console, kTitleLine);
  Print(console, kCreditLine);
  Print(console, "\n");
  if (args.size() < 2) {
    Print(console, kUsage);
    return ExitStatus::kSuccess;
  }

  RunSettings settings;
  if (!ParseOptions(args.subspan(2), &settings)) {
    Print(console, "Option Error!\n");
    return ExitStatus::kBadInput;
  }
  const std::string data_file_name(args[0]);
  const std::string out_file_name(args[1]);
  const std::string log_file_name = MakeLogFileName(out_file_name);
  Print(console, " DataFileName: " + data_file_name + "\n");
  Print(console, " OutFileName : " + out_file_name + "\n");
  Print(console, " LogFileName : " + log_file_name + "\n");

  const NamePair pairs[] = {{&out_file_name, &data_file_name},
                            {&log_file_name, &data_file_name},
                            {&out_file_name, &log_file_name}};
  if (RefuseSameFiles(pairs, console)) return ExitStatus::kFileError;

  RecordTable table;
  const ExitStatus loaded = LoadDataFile(data_file_name, &table, console);
  if (loaded != ExitStatus::kSuccess) return loaded;

  if (settings.ShowTimes) Print(console, "\n start: " + FormatTimeStamp(clock()));

  OutputFile log;
  if (!CreateOutputFile(log_file_name, &log, console)) return ExitStatus::kFileError;
  std::string header;
  WriteLogHeader(&header);
  log.Write(header);
  // A log that cannot be written stops the run before the table is
  // computed into a file that would only be thrown away.
  if (!log.ok() || !ProcessGroups(settings, &table, &log) || !log.Flush()) {
    PrintFileError(console, "write", log_file_name);
    return ExitStatus::kFileError;
  }

  if (settings.ShowTimes) Print(console, " end:   " + FormatTimeStamp(clock()));

  // A table name that reaches the log in a way the first check could not
  // see (a file or link made there while the groups ran) is found before
  // the table would be renamed over the log.
  const NamePair table_and_log[] = {{&out_file_name, &log_file_name}};
  if (RefuseSameFiles(table_and_log, console)) return ExitStatus::kFileError;

  OutputFile out;
  if (!CreateOutputFile(out_file_name, &out, console)) return ExitStatus::kFileError;
  WriteResultTable(table, &out);
  if (!CloseOutputFile(log_file_name, &log, console) ||
      !CloseOutputFile(out_file_name, &out, console)) {
    return ExitStatus::kFileError;
  }
  // Both files take their names only now, so that a run that fails
  // anywhere leaves an earlier run's log and table as they were.
  OutputFile* const files[] = {&log, &out};
  if (!CommitOutputFiles(files, console)) return ExitStatus::kFileError;
  return ExitStatus::kSuccess;
}

}  // namespace propsmooth
