// A write-only output file whose every failure is noticed, and that takes
// the place of its name only once it is complete.
#ifndef PROPSMOOTH_COMMON_OUTPUT_FILE_H_
#define PROPSMOOTH_COMMON_OUTPUT_FILE_H_

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace propsmooth {

/// Owns one output file. Its text goes to a new temporary file in the folder
/// the name leads to (through links); Commit renames that over the name, so
/// that a reader finds either the old file or the complete new one, never a
/// part. Until then an existing file of that name keeps its bytes, and a
/// file not committed (a failure, an exception) has its temporary removed.
/// A name that leads to something other than a file or a folder (a device,
/// a named pipe) is written straight away, like standard output.
/// Writes are buffered; the first failed write, flush, sync or close is
/// remembered and every later write is skipped, so the caller checks `ok()`
/// where it can act on it. Incremental writes are fine: nothing is held
/// back but the buffer. Not copyable.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  /// Makes the temporary file for `name`. False when the name cannot be
  /// written (no folder, no permission, a folder of that name, a read-only
  /// file): the same refusals as creating the file itself.
  bool Create(const std::string& name);

  /// Writes to `stream`, open already (standard output): Close flushes it
  /// but leaves it open, Commit has nothing to do and nothing removes it.
  void Attach(std::FILE* stream);

  /// Appends `text` as it stands (line ends are written by the caller).
  void Write(std::string_view text);

  /// Hands the buffered text to the system; false when this or any earlier
  /// write failed.
  bool Flush();

  /// Flushes, has the system put the file on the device, and closes it;
  /// false when this or any earlier write failed. The name is not touched.
  bool Close();

  /// Renames the closed file over its name; false (the temporary removed)
  /// when Close failed or was not called, or the rename fails.
  bool Commit();

  /// Removes the temporary file, unless committed.
  void Discard();

  bool ok() const { return ok_; }

  /// The name given to Create.
  const std::string& name() const { return name_; }

 private:
  std::FILE* stream_ = nullptr;
  std::string name_;
  std::string target_;     // the name after its links: what Commit replaces
  std::string temporary_;  // empty: written in place (attached, a device)
  std::uint64_t written_ = 0;  // bytes given to Write
  std::uint64_t handed_ = 0;   // of those, bytes the device was asked to take
  bool ok_ = true;
  bool owned_ = true;   // opened by Create, so closed here
  bool closed_ = false;
};

/// The file an output named `name` will replace: the name after its links,
/// as far as they lead, folders made absolute and "." and ".." resolved.
std::string OutputTarget(const std::string& name);

/// Commits every file of `files`, in order, once all are closed. Returns
/// the index of the first that could not be committed (every later one is
/// discarded; those before it are in place already, a rename seldom
/// failing once its folder took the temporary), or files.size() when all
/// took their names.
std::size_t CommitAll(std::span<OutputFile* const> files);

}  // namespace propsmooth

#endif  // PROPSMOOTH_COMMON_OUTPUT_FILE_H_
