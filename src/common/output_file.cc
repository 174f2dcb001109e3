#include "common/output_file.h"

#include <cerrno>
#include <filesystem>
#include <random>
#include <system_error>

#include "common/platform.h"

namespace propsmooth {
namespace {

namespace fs = std::filesystem;

// Links are followed one at a time, as the system would, so that a link
// whose file does not exist yet still leads to the name it will make.
fs::path FollowLinks(const std::string& name) {
  fs::path path(name);
  std::error_code error;
  // The system gives up after 40 links as well; a loop ends there.
  for (int hop = 0; hop < 40 && fs::is_symlink(fs::symlink_status(path, error)); ++hop) {
    const fs::path target = fs::read_symlink(path, error);
    if (error) break;
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  return path;
}

// A hidden name in the target's folder, there so that the rename never
// crosses file systems, the target's name kept short enough for any name
// that fit.
std::string TemporaryName(const fs::path& target, unsigned long long tag) {
  std::string base = target.filename().string();
  if (base.size() > 64) base.resize(64);
  static const char kDigits[] = "0123456789abcdef";
  std::string suffix;
  for (int i = 0; i < 12; ++i, tag >>= 4) suffix.push_back(kDigits[tag & 15]);
  return (target.parent_path() / ("." + base + "." + suffix + ".tmp")).string();
}

unsigned long long RandomTag() {
  static std::mt19937_64 generator{std::random_device{}()};
  return generator();
}

}  // namespace

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Create(const std::string& name) {
  name_ = name;
  const fs::path target = FollowLinks(name);
  target_ = target.string();
  std::error_code error;
  const fs::file_status status = fs::status(target, error);
  if (fs::is_directory(status)) return false;
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    // A device or a pipe cannot be replaced, nor written back.
    stream_ = std::fopen(target_.c_str(), "wb");
    return stream_ != nullptr;
  }
  // Replacing a file is a change of its folder, which the file's own
  // permissions would not stop: they are asked here.
  if (fs::exists(status) && !MayWrite(target_)) return false;
  for (int attempt = 0; attempt < 16 && stream_ == nullptr; ++attempt) {
    temporary_ = TemporaryName(target, RandomTag());
    stream_ = CreateNewFile(temporary_);
    if (stream_ == nullptr && errno != EEXIST) break;
  }
  if (stream_ == nullptr) {
    temporary_.clear();
    return false;
  }
  // The new file keeps what the old one allowed (a table kept private).
  if (fs::exists(status)) fs::permissions(temporary_, status.permissions(), error);
  std::setvbuf(stream_, nullptr, _IOFBF, 1 << 16);
  return true;
}

void OutputFile::Attach(std::FILE* stream) {
  stream_ = stream;
  owned_ = false;
}

void OutputFile::Write(std::string_view text) {
  if (!ok_ || stream_ == nullptr || text.empty()) return;
  ok_ = std::fwrite(text.data(), 1, text.size(), stream_) == text.size();
  written_ += text.size();
  // The sync at the end waited for all of a large file at once: a CSV
  // table of a million rows (128 MB) spent a fifth of a second there. Its
  // parts now go to the device while the rest is made.
  constexpr std::uint64_t kWriteAhead = std::uint64_t{16} << 20;
  if (ok_ && !temporary_.empty() && written_ - handed_ >= kWriteAhead) {
    ok_ = std::fflush(stream_) == 0;
    if (ok_) StartWriteToDevice(stream_, handed_, written_);
    handed_ = written_;
  }
}

bool OutputFile::Flush() {
  if (ok_ && stream_ != nullptr && std::fflush(stream_) != 0) ok_ = false;
  return ok_;
}

bool OutputFile::Close() {
  closed_ = true;
  if (stream_ == nullptr) return ok_;
  if (std::fflush(stream_) != 0) ok_ = false;
  // A full disk or a lost network share may show only here.
  if (ok_ && !temporary_.empty() && !SyncToDevice(stream_)) ok_ = false;
  if (owned_ && std::fclose(stream_) != 0) ok_ = false;
  stream_ = nullptr;
  return ok_;
}

bool OutputFile::Commit() {
  if (temporary_.empty()) return closed_ && ok_;
  if (!closed_ || !ok_) {
    Discard();
    return false;
  }
  std::error_code error;
  fs::rename(temporary_, target_, error);
  if (error) {
    ok_ = false;
    Discard();
    return false;
  }
  temporary_.clear();
  SyncFolder(fs::path(target_).parent_path().string());
  return true;
}

void OutputFile::Discard() {
  if (stream_ != nullptr && owned_) std::fclose(stream_);
  if (owned_) stream_ = nullptr;
  if (!temporary_.empty()) {
    std::error_code error;
    fs::remove(temporary_, error);
    temporary_.clear();
  }
}

std::string OutputTarget(const std::string& name) {
  std::error_code error;
  // Absolute first: a relative name none of whose folders exist would stay
  // relative, and unequal to the same file reached through one that does.
  const fs::path absolute = fs::absolute(FollowLinks(name), error);
  if (error) return FollowLinks(name).lexically_normal().string();
  const fs::path target = fs::weakly_canonical(absolute, error);
  return error ? absolute.lexically_normal().string() : target.string();
}

std::size_t CommitAll(std::span<OutputFile* const> files) {
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (files[i]->Commit()) continue;
    for (std::size_t j = i + 1; j < files.size(); ++j) files[j]->Discard();
    return i;
  }
  return files.size();
}

}  // namespace propsmooth
