#include "tabular/named_input.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

#include "common/platform.h"
#include "input/data_file.h"
#include "input/read_messages.h"
#include "tabular/delimited_parser.h"

namespace propsmooth {
namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

bool NamesAnyColumn(const ColumnChoice& columns) {
  return !columns.Count.empty() || !columns.Size.empty() || !columns.Group.empty() ||
         !columns.Id.empty();
}

// A file that cannot be read gets propsmooth's words when it was to be
// read as propsmooth reads it, or when nothing says otherwise yet.
bool SpeaksLegacy(std::optional<InputFormat> known, const ColumnChoice& columns) {
  return known ? *known == InputFormat::kLegacy : !NamesAnyColumn(columns);
}

InputError LegacyCannotOpen(const std::string& name) {
  return {ExitStatus::kBadInput, FileErrorText("open", name)};
}

InputError CannotRead(const std::string& verb, const std::string& name, const char* reason) {
  return {ExitStatus::kBadInput, "cannot " + verb + " " + name + ": " + reason + "\n"};
}

InputError ColumnsWithLegacy(const std::string& name) {
  return {ExitStatus::kBadInput,
          name +
              " is read in the four-number format, which has no named columns; leave out "
              "--count, --size, --group and --id, or give --format csv or --format tsv\n"};
}

// propsmooth's reading of the legacy format, its outcome in its words.
std::optional<InputError> LegacyOutcome(const ReadResult& read, const std::string& name) {
  InputError error;
  error.Status = DescribeDataRead(read, name, &error.Message);
  if (error.Status == ExitStatus::kSuccess) return std::nullopt;
  return error;
}

// Appends blocks of `stream` to `text` until one holds a line end (or, with
// `whole`, to the end). False when the stream could not be read.
bool ReadInto(std::FILE* stream, bool whole, std::string* text) {
  for (;;) {
    const std::size_t old_size = text->size();
    text->resize(old_size + kBlock);
    const std::size_t got = std::fread(text->data() + old_size, 1, kBlock, stream);
    text->resize(old_size + got);
    if (got == 0) return std::ferror(stream) == 0;
    // A line ends in LF, CR LF, or (old Macintosh files) CR.
    if (!whole &&
        std::string_view(*text).substr(old_size).find_first_of("\r\n") != std::string_view::npos) {
      return true;
    }
  }
}

std::optional<InputError> ReadDelimited(std::FILE* stream, const std::string& name,
                                        InputFormat format, const ColumnChoice& columns,
                                        std::string_view head, InputTable* table) {
  DelimitedParser parser(format, name, columns, table);
  StreamKind kind;
  if (InspectStream(stream, &kind) && kind.Regular) parser.ExpectBytes(kind.Bytes);
  bool going = parser.Parse(head);
  const auto block = std::make_unique_for_overwrite<char[]>(kBlock);
  while (going) {
    const std::size_t got = std::fread(block.get(), 1, kBlock, stream);
    if (got == 0) break;
    going = parser.Parse(std::string_view(block.get(), got));
  }
  if (!going) return parser.error();
  if (std::ferror(stream) != 0) return CannotRead("read", name, std::strerror(errno));
  if (!parser.Finish()) return parser.error();
  return std::nullopt;
}

}  // namespace

std::optional<InputError> ReadNamedInput(const std::string& path, std::optional<InputFormat> format,
                                         const ColumnChoice& columns, InputTable* table) {
  if (path == "-") return ReadNamedStream(stdin, "standard input", format, columns, table);
  const std::optional<InputFormat> known = format ? format : FormatFromName(path);
  if (known == InputFormat::kLegacy && NamesAnyColumn(columns)) {
    *table = InputTable();
    return ColumnsWithLegacy(path);
  }
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  const int open_error = errno;
  // A folder opens on some systems but has no bytes to read.
  StreamKind kind;
  const bool folder = file && (!InspectStream(file.get(), &kind) || kind.Folder);
  if (!file || folder) {
    *table = InputTable();
    if (SpeaksLegacy(known, columns)) return LegacyCannotOpen(path);
    return CannotRead("open", path, folder ? "it is a folder" : std::strerror(open_error));
  }
  return ReadNamedStream(file.get(), path, format, columns, table);
}

std::optional<InputError> ReadNamedStream(std::FILE* stream, const std::string& name,
                                          std::optional<InputFormat> format,
                                          const ColumnChoice& columns, InputTable* table) {
  *table = InputTable();
  const std::optional<InputFormat> known = format ? format : FormatFromName(name);
  if (known == InputFormat::kLegacy) {
    if (NamesAnyColumn(columns)) return ColumnsWithLegacy(name);
    return LegacyOutcome(ReadDataFile(stream, &table->Records), name);
  }
  // The first line may have to tell the format, and the legacy reader must
  // then start again at its beginning.
  std::fpos_t start;
  const bool rewindable = std::fgetpos(stream, &start) == 0;
  std::string head;
  if (!ReadInto(stream, false, &head)) {
    if (SpeaksLegacy(known, columns)) return LegacyCannotOpen(name);
    return CannotRead("read", name, std::strerror(errno));
  }
  const std::string_view text = WithoutByteOrderMark(head);
  const InputFormat chosen =
      known ? *known : FormatFromFirstLine(text.substr(0, text.find_first_of("\r\n")));
  if (chosen != InputFormat::kLegacy) {
    return ReadDelimited(stream, name, chosen, columns, text, table);
  }
  if (NamesAnyColumn(columns)) return ColumnsWithLegacy(name);
  if (rewindable && std::fsetpos(stream, &start) == 0) {
    head = std::string();
    return LegacyOutcome(ReadDataFile(stream, &table->Records), name);
  }
  if (!ReadInto(stream, true, &head)) return LegacyCannotOpen(name);
  return LegacyOutcome(ReadDataText(head, &table->Records), name);
}

}  // namespace propsmooth
