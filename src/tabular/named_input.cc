#include "tabular/named_input.h"

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <memory>
#include <string_view>

#ifdef PROPSMOOTH_HAVE_ZLIB
#include <zlib.h>
#endif

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
         !columns.Id.empty() || !columns.Keep.empty() || columns.KeepAll ||
         !columns.Expected.empty();
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

InputError ColumnsWithLegacy(const std::string& name, const ColumnChoice& columns) {
  // Rates cannot leave their columns out: the four numbers are proportions.
  if (!columns.Expected.empty()) {
    return {ExitStatus::kBadInput,
            name +
                " is read in the four-number format, which holds proportions only; rates "
                "need a CSV or TSV file with named columns: give --format csv or --format "
                "tsv\n"};
  }
  return {ExitStatus::kBadInput,
          name +
              " is read in the four-number format, which has no named columns; leave out "
              "--count, --size, --group, --id and --keep, or give --format csv or --format "
              "tsv\n"};
}

// propsmooth's reading of the legacy format, its outcome in its words.
std::optional<InputError> LegacyOutcome(const ReadResult& read, const std::string& name) {
  InputError error;
  error.Status = DescribeDataRead(read, name, &error.Message);
  if (error.Status == ExitStatus::kSuccess) return std::nullopt;
  return error;
}

// The bytes of the data, inflated on the way when they are gzip data
// (gzip's magic bytes first; several members one after another, as
// `cat a.gz b.gz` makes them, are read as one text).
class DataSource {
 public:
  /// Reads `stream` from where it stands; `first` holds bytes already
  /// taken from it, which come first.
  DataSource(std::FILE* stream, std::string first) : stream_(stream), raw_(std::move(first)) {}
  ~DataSource() {
#ifdef PROPSMOOTH_HAVE_ZLIB
    if (inflating_) inflateEnd(&zlib_);
#endif
  }
  DataSource(const DataSource&) = delete;
  DataSource& operator=(const DataSource&) = delete;

  /// Appends the next piece of the data to `text`: none at the end. False
  /// when it cannot be read; why() then says why.
  bool Append(std::string* text) {
    if (!started_) {
      started_ = true;
      if (raw_.size() < 2 && !ReadRaw(2 - raw_.size())) return false;
      if (IsGzipData(raw_) && !StartInflating()) return false;
    }
    if (!gzip_) {
      if (raw_at_ < raw_.size()) {
        text->append(raw_, raw_at_);
        raw_at_ = raw_.size();
        return true;
      }
      return ReadBlock(text);
    }
    return Inflate(text);
  }

  /// Appends pieces until `text` holds a line end (or, with `whole`, to the
  /// end).
  bool AppendLine(bool whole, std::string* text) {
    for (;;) {
      const std::size_t old_size = text->size();
      if (!Append(text)) return false;
      if (text->size() == old_size) return true;
      // A line ends in LF, CR LF, or (old Macintosh files) CR.
      if (!whole && std::string_view(*text).substr(old_size).find_first_of("\r\n") !=
                        std::string_view::npos) {
        return true;
      }
    }
  }

  bool gzip() const { return gzip_; }
  const std::string& why() const { return why_; }

 private:
  // Appends a block of the stream to `text`; false on a read error.
  bool ReadBlock(std::string* text) {
    const std::size_t old_size = text->size();
    text->resize(old_size + kBlock);
    const std::size_t got = std::fread(text->data() + old_size, 1, kBlock, stream_);
    text->resize(old_size + got);
    if (got == 0 && std::ferror(stream_) != 0) {
      why_ = std::strerror(errno);
      return false;
    }
    return true;
  }

  // Appends at least `wanted` bytes to raw_ unless the stream ends first.
  bool ReadRaw(std::size_t wanted) {
    const std::size_t goal = raw_.size() + wanted;
    while (raw_.size() < goal) {
      const std::size_t old_size = raw_.size();
      if (!ReadBlock(&raw_)) return false;
      if (raw_.size() == old_size) break;
    }
    return true;
  }

#ifdef PROPSMOOTH_HAVE_ZLIB
  bool StartInflating() {
    gzip_ = true;
    // 16 + the largest window: gzip data only, with their header and check.
    if (inflateInit2(&zlib_, 16 + MAX_WBITS) != Z_OK) throw std::bad_alloc();
    inflating_ = true;
    return true;
  }

  bool Inflate(std::string* text) {
    const std::size_t old_size = text->size();
    for (;;) {
      if (raw_at_ == raw_.size()) {
        raw_.clear();
        raw_at_ = 0;
        if (!ReadBlock(&raw_)) return false;
        if (raw_.empty()) {
          if (member_open_) return Fault("the gzip data end early: the file is cut short");
          return true;
        }
      }
      text->resize(old_size + kBlock);
      zlib_.next_in = reinterpret_cast<Bytef*>(raw_.data() + raw_at_);
      zlib_.avail_in = static_cast<uInt>(std::min<std::size_t>(raw_.size() - raw_at_, kBlock));
      zlib_.next_out = reinterpret_cast<Bytef*>(text->data() + old_size);
      zlib_.avail_out = static_cast<uInt>(kBlock);
      const std::size_t offered = zlib_.avail_in;
      member_open_ = true;
      const int result = inflate(&zlib_, Z_NO_FLUSH);
      raw_at_ += offered - zlib_.avail_in;
      text->resize(old_size + kBlock - zlib_.avail_out);
      if (result == Z_STREAM_END) {
        // Another member may follow.
        member_open_ = false;
        if (inflateReset(&zlib_) != Z_OK) throw std::bad_alloc();
      } else if (result == Z_MEM_ERROR) {
        throw std::bad_alloc();
      } else if (result != Z_OK && result != Z_BUF_ERROR) {
        return Fault(std::string("the gzip data are damaged (") +
                     (zlib_.msg != nullptr ? zlib_.msg : "zlib cannot read them") + ")");
      }
      if (text->size() > old_size) return true;
    }
  }
#else
  bool StartInflating() {
    gzip_ = true;
    return Fault("it is gzip data, and this propsmooth-report was built without zlib; "
                 "decompress it first (gunzip -c)");
  }
  bool Inflate(std::string*) { return false; }
#endif

  bool Fault(std::string why) {
    why_ = std::move(why);
    gzip_fault_ = true;
    return false;
  }

 public:
  /// Whether why() is about the gzip data rather than the stream.
  bool gzip_fault() const { return gzip_fault_; }

 private:
  std::FILE* stream_;
  std::string raw_;  // bytes read but not yet handed on (or inflated)
  std::size_t raw_at_ = 0;
  bool started_ = false;
  bool gzip_ = false;
  bool gzip_fault_ = false;
#ifdef PROPSMOOTH_HAVE_ZLIB
  bool member_open_ = false;  // inside a gzip member, its end not yet seen
  bool inflating_ = false;
  z_stream zlib_{};
#endif
  std::string why_;
};

InputError SourceFault(const DataSource& source, const std::string& name) {
  if (source.gzip_fault()) return {ExitStatus::kMalformedData, name + ": " + source.why() + "\n"};
  return CannotRead("read", name, source.why().c_str());
}

std::optional<InputError> ReadDelimited(DataSource* source, std::FILE* stream,
                                        const std::string& name, InputFormat format,
                                        const ColumnChoice& columns, std::string_view head,
                                        InputTable* table) {
  ColumnChoice chosen = columns;
  if (chosen.Delimiter == 0 && format == InputFormat::kCsv) {
    chosen.Delimiter = CsvDelimiterOf(FirstFilledLine(head));
  }
  DelimitedParser parser(format, name, chosen, table);
  StreamKind kind;
  if (!source->gzip() && InspectStream(stream, &kind) && kind.Regular) {
    parser.ExpectBytes(kind.Bytes);
  }
  bool going = parser.Parse(head);
  std::string block;
  while (going) {
    block.clear();
    if (!source->Append(&block)) return SourceFault(*source, name);
    if (block.empty()) break;
    going = parser.Parse(block);
  }
  if (!going) return parser.error();
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
    return ColumnsWithLegacy(path, columns);
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
    if (NamesAnyColumn(columns)) return ColumnsWithLegacy(name, columns);
    // No four-number file starts with gzip's first byte: any other first
    // byte goes back for propsmooth's reader.
    const int first = std::getc(stream);
    if (first != 0x1F) {
      if (first != EOF) std::ungetc(first, stream);
      return LegacyOutcome(ReadDataFile(stream, &table->Records), name);
    }
    DataSource source(stream, std::string(1, static_cast<char>(first)));
    std::string text;
    if (!source.AppendLine(true, &text)) return SourceFault(source, name);
    return LegacyOutcome(ReadDataText(text, &table->Records), name);
  }
  // The first line may have to tell the format, and the legacy reader must
  // then start again at its beginning.
  std::fpos_t start;
  const bool rewindable = std::fgetpos(stream, &start) == 0;
  DataSource source(stream, std::string());
  std::string head;
  if (!source.AppendLine(false, &head)) {
    if (source.gzip_fault()) return SourceFault(source, name);
    if (SpeaksLegacy(known, columns)) return LegacyCannotOpen(name);
    return CannotRead("read", name, source.why().c_str());
  }
  const std::string_view text = WithoutByteOrderMark(head);
  const InputFormat chosen =
      known ? *known
            : FormatFromFirstLine(text.substr(0, text.find_first_of("\r\n")), columns.Delimiter);
  if (chosen != InputFormat::kLegacy) {
    return ReadDelimited(&source, stream, name, chosen, columns, text, table);
  }
  if (NamesAnyColumn(columns)) return ColumnsWithLegacy(name, columns);
  if (!source.gzip() && rewindable && std::fsetpos(stream, &start) == 0) {
    head = std::string();
    return LegacyOutcome(ReadDataFile(stream, &table->Records), name);
  }
  if (!source.AppendLine(true, &head)) {
    if (source.gzip_fault()) return SourceFault(source, name);
    return LegacyCannotOpen(name);
  }
  return LegacyOutcome(ReadDataText(head, &table->Records), name);
}

}  // namespace propsmooth
