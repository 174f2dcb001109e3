// A write-only output file whose every failure is noticed.
#ifndef PROPSMOOTH_COMMON_OUTPUT_FILE_H_
#define PROPSMOOTH_COMMON_OUTPUT_FILE_H_

#include <cstdio>
#include <string>
#include <string_view>

namespace propsmooth {

/// Owns one output file. Writes are buffered; the first failed write,
/// flush or close is remembered and every later write is skipped, so the
/// caller checks `ok()` where it can act on it. A file created here and
/// left open by an exception (running out of memory) is removed, as it is
/// incomplete.
/// Not copyable.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  /// Creates `name`, or empties it if it exists. False when it cannot be
  /// created (no folder, no permission, a folder of that name).
  bool Create(const std::string& name);

  /// Writes to `stream`, open already (standard output): Close flushes it
  /// but leaves it open, and nothing removes it.
  void Attach(std::FILE* stream);

  /// Appends `text` as it stands (line ends are written by the caller).
  void Write(std::string_view text);

  /// Hands the buffered text to the system; false when this or any earlier
  /// write failed.
  bool Flush();

  /// Flushes and closes; false when this or any earlier write failed.
  bool Close();

  bool ok() const { return ok_; }

 private:
  std::FILE* stream_ = nullptr;
  std::string name_;
  int exceptions_at_create_ = 0;
  bool ok_ = true;
  bool owned_ = true;  // opened by Create, so closed here
};

}  // namespace propsmooth

#endif  // PROPSMOOTH_COMMON_OUTPUT_FILE_H_
