#include "driver/run.h"

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "common/types.h"
#include "driver/log_name.h"
#include "driver/options.h"
#include "driver/process_groups.h"
#include "input/data_file.h"
#include "report/log_report.h"
#include "report/output_file.h"
#include "report/result_table.h"

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

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using InputFile = std::unique_ptr<std::FILE, FileCloser>;

// True when `a` and `b` are the same text or name one existing file.
bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

// The data file, or null when it cannot be opened or is a folder (which
// opens on this platform but has no bytes to read).
InputFile OpenDataFile(const std::string& name) {
  InputFile file(std::fopen(name.c_str(), "rb"));
  if (!file) return file;
  struct stat info {};
  if (fstat(fileno(file.get()), &info) != 0 || S_ISDIR(info.st_mode)) file.reset();
  return file;
}

class Console {
 public:
  explicit Console(std::FILE* stream) : stream_(stream) {}
  void Print(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stream_); }
  void FileMessage(const char* what, const std::string& name) {
    Print("\n ERROR!! Can't ");
    Print(what);
    Print(" ");
    Print(name);
    Print(" file \n\n");
  }

 private:
  std::FILE* stream_;
};

}  // namespace

ExitStatus Run(std::span<const std::string_view> args, LocalClock clock,
               std::FILE* console_stream) {
  Console console(console_stream);
  console.Print(kTitleLine);
  console.Print(kCreditLine);
  console.Print("\n");
  if (args.size() < 2) {
    console.Print(kUsage);
    return ExitStatus::kSuccess;
  }

  RunSettings settings;
  if (!ParseOptions(args.subspan(2), &settings)) {
    console.Print("Option Error!\n");
    return ExitStatus::kBadInput;
  }
  const std::string data_file_name(args[0]);
  const std::string out_file_name(args[1]);
  const std::string log_file_name = MakeLogFileName(out_file_name);
  console.Print(" DataFileName: " + data_file_name + "\n");
  console.Print(" OutFileName : " + out_file_name + "\n");
  console.Print(" LogFileName : " + log_file_name + "\n");

  // Writing a file that is also read, or opening one file twice for
  // writing, would destroy data: refuse before any file is opened.
  const std::pair<const std::string*, const std::string*> pairs[] = {
      {&out_file_name, &data_file_name},
      {&log_file_name, &data_file_name},
      {&out_file_name, &log_file_name}};
  for (const auto& [first, second] : pairs) {
    if (SameFile(*first, *second)) {
      console.Print("\n ERROR!! " + *first + " and " + *second +
                    " name the same file \n\n");
      return ExitStatus::kFileError;
    }
  }

  RecordTable table;
  {
    InputFile data = OpenDataFile(data_file_name);
    if (!data) {
      console.FileMessage("open", data_file_name);
      return ExitStatus::kBadInput;
    }
    const ReadResult read = ReadDataFile(data.get(), &table);
    switch (read.Outcome) {
      case ReadOutcome::kOk:
        break;
      case ReadOutcome::kOutOfRange:
        console.Print("\n Error!! Wrong data found (in code-" +
                      std::to_string(read.Code) + ")\n");
        return ExitStatus::kBadInput;
      case ReadOutcome::kMalformed:
        console.Print("\n Error!! Wrong data found (around code-" +
                      std::to_string(read.Code) + ")\n");
        return ExitStatus::kMalformedData;
      case ReadOutcome::kUnreadable:
        console.FileMessage("open", data_file_name);
        return ExitStatus::kBadInput;
    }
  }

  if (settings.ShowTimes) console.Print("\n start: " + FormatTimeStamp(clock()));

  OutputFile log;
  if (!log.Create(log_file_name)) {
    console.FileMessage("create", log_file_name);
    return ExitStatus::kFileError;
  }
  std::string header;
  WriteLogHeader(&header);
  log.Write(header);
  if (!log.ok() || !ProcessGroups(settings, &table, &log)) {
    console.FileMessage("write", log_file_name);
    return ExitStatus::kFileError;
  }

  if (settings.ShowTimes) console.Print(" end:   " + FormatTimeStamp(clock()));

  OutputFile out;
  if (!out.Create(out_file_name)) {
    console.FileMessage("create", out_file_name);
    return ExitStatus::kFileError;
  }
  WriteResultTable(table, &out);
  if (!log.Close()) {
    console.FileMessage("write", log_file_name);
    return ExitStatus::kFileError;
  }
  if (!out.Close()) {
    console.FileMessage("write", out_file_name);
    return ExitStatus::kFileError;
  }
  return ExitStatus::kSuccess;
}

}  // namespace propsmooth
