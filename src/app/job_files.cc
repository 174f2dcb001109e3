#include "app/job_files.h"

#include <memory>

#include "common/platform.h"
#include "input/data_file.h"

namespace propsmooth {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using InputFile = std::unique_ptr<std::FILE, FileCloser>;

// A folder opens on this platform but has no bytes to read.
InputFile OpenDataFile(const std::string& name) {
  InputFile file(std::fopen(name.c_str(), "rb"));
  if (!file) return file;
  StreamKind kind;
  if (!InspectStream(file.get(), &kind) || kind.Folder) file.reset();
  return file;
}

bool SameFile(const std::string& a, const std::string& b) {
  return a == b || NameOneExistingFile(a, b);
}

}  // namespace

void Print(std::FILE* console, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), console);
}

void PrintFileError(std::FILE* console, std::string_view what, const std::string& name) {
  std::string text = "\n ERROR!! Can't ";
  text += what;
  text += " " + name + " file \n\n";
  Print(console, text);
}

bool RefuseSameFiles(std::span<const NamePair> pairs, std::FILE* console) {
  for (const auto& [first, second] : pairs) {
    if (SameFile(*first, *second)) {
      Print(console, "\n ERROR!! " + *first + " and " + *second + " name the same file \n\n");
      return true;
    }
  }
  return false;
}

bool CreateOutputFile(const std::string& name, OutputFile* file, std::FILE* console) {
  if (file->Create(name)) return true;
  PrintFileError(console, "create", name);
  return false;
}

bool CloseOutputFile(const std::string& name, OutputFile* file, std::FILE* console) {
  if (file->Close()) return true;
  PrintFileError(console, "write", name);
  return false;
}

ExitStatus ReportOutOfMemory(std::FILE* console) {
  Print(console, "\n ERROR!! Not enough memory \n\n");
  return ExitStatus::kOutOfMemory;
}

ExitStatus LoadDataFile(const std::string& name, RecordTable* table, std::FILE* console) {
  const InputFile data = OpenDataFile(name);
  if (!data) {
    PrintFileError(console, "open", name);
    return ExitStatus::kBadInput;
  }
  const ReadResult read = ReadDataFile(data.get(), table);
  switch (read.Outcome) {
    case ReadOutcome::kOk:
      return ExitStatus::kSuccess;
    case ReadOutcome::kOutOfRange:
      Print(console, "\n Error!! Wrong data found (in code-" + std::to_string(read.Code) + ")\n");
      return ExitStatus::kBadInput;
    case ReadOutcome::kMalformed:
      Print(console,
            "\n Error!! Wrong data found (around code-" + std::to_string(read.Code) + ")\n");
      return ExitStatus::kMalformedData;
    case ReadOutcome::kUnreadable:
      break;
  }
  PrintFileError(console, "open", name);
  return ExitStatus::kBadInput;
}

}  // namespace propsmooth
