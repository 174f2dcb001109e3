#include "report/output_file.h"

namespace propsmooth {

OutputFile::~OutputFile() {
  if (stream_ != nullptr) std::fclose(stream_);
}

bool OutputFile::Create(const std::string& name) {
  // Binary mode: the CR LF line ends are in the text already.
  stream_ = std::fopen(name.c_str(), "wb");
  if (stream_ != nullptr) std::setvbuf(stream_, nullptr, _IOFBF, 1 << 16);
  return stream_ != nullptr;
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
  if (std::fclose(stream_) != 0) ok_ = false;
  stream_ = nullptr;
  return ok_;
}

}  // namespace propsmooth
