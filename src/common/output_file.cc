#include "common/output_file.h"

#include <exception>

namespace propsmooth {

OutputFile::~OutputFile() {
  if (stream_ == nullptr || !owned_) return;
  std::fclose(stream_);
  // Unwinding from an exception thrown after Create: nothing will finish
  // the file, and a truncated table must not pass for a result.
  if (std::uncaught_exceptions() > exceptions_at_create_) std::remove(name_.c_str());
}

bool OutputFile::Create(const std::string& name) {
  name_ = name;
  exceptions_at_create_ = std::uncaught_exceptions();
  // Binary mode: the CR LF line ends are in the text already.
  stream_ = std::fopen(name.c_str(), "wb");
  if (stream_ != nullptr) std::setvbuf(stream_, nullptr, _IOFBF, 1 << 16);
  return stream_ != nullptr;
}

void OutputFile::Attach(std::FILE* stream) {
  stream_ = stream;
  owned_ = false;
}

void OutputFile::Write(std::string_view text) {
  if (!ok_ || stream_ == nullptr || text.empty()) return;
  ok_ = std::fwrite(text.data(), 1, text.size(), stream_) == text.size();
}

bool OutputFile::Flush() {
  if (ok_ && stream_ != nullptr && std::fflush(stream_) != 0) ok_ = false;
  return ok_;
}

bool OutputFile::Close() {
  if (stream_ == nullptr) return ok_;
  if (std::fflush(stream_) != 0) ok_ = false;
  if (owned_ && std::fclose(stream_) != 0) ok_ = false;
  stream_ = nullptr;
  return ok_;
}

}  // namespace propsmooth
