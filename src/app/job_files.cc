#include "app/job_files.h"

#include <memory>

#include "common/platform.h"

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

// Two outputs land on one file also when a link leads one to the other's
// name before either exists: each would be renamed over the other.
bool SameFile(const std::string& a, const std::string& b) {
  return a == b || NameOneExistingFile(a, b) || SameNameText(OutputTarget(a), OutputTarget(b));
}

}  // namespace

void Print(std::FILE* console, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), console);
}

void PrintFileError(std::FILE* console, std::string_view what, const std::string& name) {
  Print(console, FileErrorText(what, name));
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

bool CommitOutputFiles(std::span<OutputFile* const> files, std::FILE* console) {
  const std::size_t failed = CommitAll(files);
  if (failed == files.size()) return true;
  PrintFileError(console, "create", files[failed]->name());
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
  std::string message;
  const ExitStatus status = DescribeDataRead(ReadDataFile(data.get(), table), name, &message);
  Print(console, message);
  return status;
}

}  // namespace propsmooth
