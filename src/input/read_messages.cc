#include "input/read_messages.h"

namespace propsmooth {

std::string FileErrorText(std::string_view what, const std::string& name) {
  std::string text = "\n ERROR!! Can't ";
  text += what;
  text += " " + name + " file \n\n";
  return text;
}

ExitStatus DescribeDataRead(const ReadResult& read, const std::string& name,
                            std::string* message) {
  const std::string code = std::to_string(read.Code);
  switch (read.Outcome) {
    case ReadOutcome::kOk:
      message->clear();
      return ExitStatus::kSuccess;
    case ReadOutcome::kOutOfRange:
      *message = "\n Error!! Wrong data found (in code-" + code + ")\n";
      return ExitStatus::kBadInput;
    case ReadOutcome::kMalformed:
      *message = "\n Error!! Wrong data found (around code-" + code + ")\n";
      return ExitStatus::kMalformedData;
    case ReadOutcome::kTooMany:
      *message = "\n Error!! More than " + std::to_string(kMaxRecords) +
                 " records (after code-" + code + "); split the data file\n";
      return ExitStatus::kBadInput;
    case ReadOutcome::kUnreadable:
      break;
  }
  *message = FileErrorText("open", name);
  return ExitStatus::kBadInput;
}

}  // namespace propsmooth
