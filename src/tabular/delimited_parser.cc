#include "tabular/delimited_parser.h"

#include <csv.h>

#include <cstddef>
#include <functional>
#include <limits>
#include <new>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/platform.h"
#include "stats/record_rule.h"
#include "tabular/cell_text.h"
#include "tabular/header_columns.h"

namespace propsmooth {
namespace {

// Line breaks within a quoted value: LF, CR LF and a CR alone each count
// once, as they do between rows.
std::uint64_t CountLineBreaks(std::string_view text) {
  std::uint64_t breaks = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
      ++breaks;
    }
  }
  return breaks;
}

struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const noexcept {
    return std::hash<std::string_view>{}(text);
  }
};

}  // namespace

struct DelimitedParser::State {
  State(InputFormat format_in, std::string name_in, const ColumnChoice& columns_in,
        InputTable* table_in)
      : format(format_in), name(std::move(name_in)), columns(columns_in), table(table_in) {}

  // libcsv calls these from C: nothing may be thrown through it, so running
  // out of memory is noted here and thrown once csv_parse has returned.
  static void OnField(void* text, std::size_t size, void* state) {
    auto* self = static_cast<State*>(state);
    if (self->refused || self->out_of_memory) return;
    try {
      self->TakeField(text == nullptr ? std::string_view()
                                      : std::string_view(static_cast<const char*>(text), size));
    } catch (const std::bad_alloc&) {
      self->out_of_memory = true;
    }
  }
  static void OnRowEnd(int terminator, void* state) {
    auto* self = static_cast<State*>(state);
    if (self->refused || self->out_of_memory) return;
    try {
      self->EndRow(terminator);
    } catch (const std::bad_alloc&) {
      self->out_of_memory = true;
    }
  }

  void TakeField(std::string_view text) {
    if (field == 0) {
      row_line = line;
      row_text.clear();
    }
    after_carriage_return = false;
    line += CountLineBreaks(text);
    const std::size_t index = field++;
    if (in_header) {
      header.emplace_back(text);
      return;
    }
    // Only the cells read are kept until the row ends, when the number of
    // its fields is known: a row with a stray delimiter must be named as
    // such, not by what its shifted cells hold.
    if (index >= header.size() || chosen.Roles[index] == 0) return;
    cell_begin[index] = row_text.size();
    row_text.append(text);
    cell_end[index] = row_text.size();
  }

  std::string_view Cell(std::size_t index) const {
    const std::size_t begin = cell_begin[index];
    return std::string_view(row_text).substr(begin, cell_end[index] - begin);
  }

  void EndRow(int terminator) {
    // A row with no value at all is a blank line.
    if (field > 0) {
      if (in_header) {
        EndHeader();
      } else {
        EndRecord();
      }
    }
    field = 0;
    if (terminator == '\r') {
      ++line;
      after_carriage_return = true;
    } else if (terminator == '\n') {
      // The LF of a CR LF ends no line of its own.
      if (!after_carriage_return) ++line;
      after_carriage_return = false;
    }
  }

  void EndHeader() {
    in_header = false;
    NameUnnamedColumns(&header);
    std::optional<HeaderColumns> found = FindHeaderColumns(header, columns, At(row_line), &error);
    if (!found) {
      refused = true;
      return;
    }
    chosen = std::move(*found);
    cell_begin.assign(header.size(), 0);
    cell_end.assign(header.size(), 0);
    for (const std::size_t index : chosen.Kept) table->KeptNames.push_back(header[index]);
    table->Kept.resize(chosen.Kept.size());
    Reserve();
  }

  void EndRecord() {
    ++data_rows;
    if (field != header.size()) {
      Refuse(ExitStatus::kMalformedData,
             name + " line " + std::to_string(row_line) + " has " + std::to_string(field) +
                 " fields, the header " + std::to_string(header.size()) +
                 (field > header.size()
                      ? std::string("; a value with a ") + DelimiterName() +
                            " in it must be in double quotes"
                      : std::string("; every row has a value, if only an empty one, for each "
                                    "column")));
      return;
    }
    std::int32_t count = 0;
    std::int32_t size = 0;
    double expected = 0.0;
    if (!columns.Group.empty() && IsMissingGroupText(Cell(chosen.Group))) {
      switch (columns.Missing) {
        case MissingGroup::kRefuse:
          Refuse(ExitStatus::kMalformedData,
                 At(row_line, chosen.Group) + QuoteForMessage(Cell(chosen.Group)) +
                     " is no group; give the row its group, or leave such rows out with "
                     "--missing-group skip or gather them with --missing-group own-group");
          return;
        case MissingGroup::kSkip:
          ++table->SkippedRows;
          return;
        case MissingGroup::kOwnGroup:
          break;
      }
    }
    // Cell by cell in the header's order, so that the first fault is told.
    for (std::size_t index = 0; index < header.size(); ++index) {
      const std::uint8_t role = chosen.Roles[index];
      if (role == 0) continue;
      const std::string_view text = Cell(index);
      if ((role & kCountRole) != 0 &&
          !ReadNumber(text, index, "count", kLeastCount, &count)) {
        return;
      }
      if ((role & kSizeRole) != 0 && !ReadNumber(text, index, "size", kLeastSize, &size)) return;
      if ((role & kExpectedRole) != 0 && !ReadExpected(text, index, &expected)) return;
      if ((role & (kGroupRole | kIdRole | kKeepRole)) != 0 && !CheckLabel(text, index)) return;
    }
    if (columns.Expected.empty() && CheckRecord(count, size) == RecordFault::kCountAboveSize) {
      Refuse(ExitStatus::kBadInput, At(row_line, chosen.Count) + std::to_string(count) +
                                        " is above its size, " + std::to_string(size) + " (" +
                                        ColumnLabel(chosen.Size) +
                                        "); a count is at most its size");
      return;
    }
    RecordTable& records = table->Records;
    if (records.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
      Refuse(ExitStatus::kBadInput,
             At(row_line) + "more than 2147483647 rows, the most one run can number");
      return;
    }
    RegionRecord record;
    record.Unit = -1;
    if (!columns.Group.empty()) {
      const std::string_view group = Cell(chosen.Group);
      record.Unit = UnitOf(IsMissingGroupText(group) ? std::string_view() : group);
    }
    // The row's number among the data rows, skipped ones counted.
    record.Code = static_cast<std::int32_t>(data_rows);
    record.Data1 = count;
    record.Data2 = size;
    records.push_back(record);
    if (!columns.Expected.empty()) table->Expected.push_back(expected);
    for (std::size_t index = 0; index < header.size(); ++index) {
      if ((chosen.Roles[index] & kIdRole) != 0) table->Ids.Append(Cell(index));
    }
    for (std::size_t k = 0; k < chosen.Kept.size(); ++k) {
      table->Kept[k].Append(Cell(chosen.Kept[k]));
    }
  }

  // Labels are text, read as UTF-8 by the page and the tables' readers;
  // false after refusing one that is not.
  bool CheckLabel(std::string_view text, std::size_t index) {
    const std::size_t bad = FirstNonUtf8Byte(text);
    if (bad == std::string_view::npos) return true;
    Refuse(ExitStatus::kMalformedData,
           At(row_line, index) + QuoteForMessage(text) + " is not UTF-8 text (byte " +
               std::to_string(bad + 1) + " is " + EscapeForMessage(text.substr(bad, 1)) +
               "); save the data as UTF-8");
    return false;
  }

  const char* DelimiterName() const {
    switch (delimiter) {
      case '\t': return "tab";
      case ';': return "semicolon";
      case '|': return "vertical bar";
      default: return "comma";
    }
  }

  // Reads a count or size cell into `value`; false after refusing it.
  bool ReadNumber(std::string_view text, std::size_t index, const char* what, std::int64_t least,
                  std::int32_t* value) {
    const CellNumber number = ReadCountCell(text, delimiter == ';');
    if (number.Reading == CellReading::kWhole && number.Value >= least) {
      *value = number.Value;
      return true;
    }
    const std::string found = At(row_line, index) + QuoteForMessage(text);
    const std::string allowed = "a whole number >= " + std::to_string(least);
    switch (number.Reading) {
      case CellReading::kWhole:
      case CellReading::kNegative:
        Refuse(ExitStatus::kBadInput,
               found + " is below " + std::to_string(least) + "; a " + what + " is " + allowed);
        break;
      case CellReading::kTooLarge:
        Refuse(ExitStatus::kMalformedData,
               found + " is above 2147483647, the largest " + what + " allowed");
        break;
      case CellReading::kNotWhole:
        Refuse(ExitStatus::kMalformedData,
               found + " is not " + allowed +
                   (IsMissingValueText(text) ? "; fill in the missing value or leave the row out"
                                             : ""));
        break;
    }
    return false;
  }

  // Reads an expected count or exposure cell into `value`; false after
  // refusing it.
  bool ReadExpected(std::string_view text, std::size_t index, double* value) {
    const PositiveNumber number = ReadPositiveCell(text, delimiter == ';');
    if (number.Reading == PositiveReading::kPositive) {
      *value = number.Value;
      return true;
    }
    const std::string found = At(row_line, index) + QuoteForMessage(text);
    const std::string what = columns.Exposure ? "an exposure" : "an expected count";
    switch (number.Reading) {
      case PositiveReading::kPositive:
        break;
      case PositiveReading::kNotAbove0:
        Refuse(ExitStatus::kBadInput, found + " is not above 0; " + what + " is a number > 0");
        break;
      case PositiveReading::kNotFinite:
        Refuse(ExitStatus::kBadInput, found + " is not a finite number; " + what +
                                          " is a number > 0");
        break;
      case PositiveReading::kNotANumber:
        Refuse(ExitStatus::kMalformedData,
               found + " is not a number > 0" +
                   (IsMissingValueText(text) ? "; fill in the missing value or leave the row out"
                                             : ""));
        break;
    }
    return false;
  }

  std::int32_t UnitOf(std::string_view value) {
    std::vector<std::string>& labels = table->GroupLabels;
    // Rows of one group often stand together.
    if (last_unit >= 0 && labels[static_cast<std::size_t>(last_unit)] == value) return last_unit;
    auto found = units.find(value);
    if (found == units.end()) {
      found = units.emplace(std::string(value), static_cast<std::int32_t>(labels.size())).first;
      labels.emplace_back(value);
    }
    last_unit = found->second;
    return last_unit;
  }

  // Room for every row the expected bytes can hold (a row takes at least
  // its delimiters, a digit or two and a line end) and for ids as long as
  // the whole text. Pages no row reaches are never touched; where the room
  // cannot be had, the table grows as it goes.
  void Reserve() {
    if (expected_bytes == 0) return;
    const std::size_t rows = expected_bytes / (header.size() + 2) + 1;
    if (rows > std::numeric_limits<std::size_t>::max() / sizeof(RegionRecord)) return;
    try {
      RecordTable& records = table->Records;
      records.reserve(rows);
      AskForLargePages(records.data(), records.capacity() * sizeof(RegionRecord));
      if (!columns.Id.empty()) table->Ids.Reserve(rows, expected_bytes);
      if (!columns.Expected.empty()) table->Expected.reserve(rows);
      for (TextColumn& kept : table->Kept) kept.Reserve(rows, 0);
    } catch (const std::bad_alloc&) {
    }
  }

  // After libcsv stopped on a quote where none may be: the value so far and
  // the byte it stopped on.
  void RefuseMisplacedQuote(char stopped_at) {
    Refuse(ExitStatus::kMalformedData,
           At(StartOfRow(), field) + QuoteForMessage(ValueSoFar() + stopped_at) +
               " has a double quote out of place; a value with double quotes in it must be in "
               "double quotes itself, each of its own written twice");
  }

  void RefuseOpenQuote() {
    Refuse(ExitStatus::kMalformedData,
           At(StartOfRow(), field) + "the quoted value " + QuoteForMessage(ValueSoFar()) +
               " is not closed by the end of the data; a quoted value ends with a double quote");
  }

  std::uint64_t StartOfRow() const { return field == 0 ? line : row_line; }

  // The value libcsv is in the middle of, its opening quote included.
  std::string ValueSoFar() const {
    std::string value = parser.quoted != 0 ? "\"" : "";
    if (parser.entry_buf != nullptr) {
      value.append(reinterpret_cast<const char*>(parser.entry_buf), parser.entry_pos);
    }
    return value;
  }

  std::string ColumnLabel(std::size_t index) const {
    if (in_header || index >= header.size() || header[index].empty()) {
      return "field " + std::to_string(index + 1);
    }
    return "column " + EscapeForMessage(header[index]);
  }

  std::string At(std::uint64_t at_line) const {
    return name + " line " + std::to_string(at_line) + ": ";
  }
  std::string At(std::uint64_t at_line, std::size_t index) const {
    return name + " line " + std::to_string(at_line) + ", " + ColumnLabel(index) + ": ";
  }

  void Refuse(ExitStatus status, std::string message) {
    refused = true;
    error.Status = status;
    error.Message = std::move(message) + "\n";
  }

  // Settings.
  InputFormat format;
  std::string name;
  ColumnChoice columns;
  InputTable* table;
  char delimiter = ',';
  std::size_t expected_bytes = 0;
  csv_parser parser{};

  // The header and what each of its columns is read as.
  bool in_header = true;
  std::vector<std::string> header;
  HeaderColumns chosen;

  // Where libcsv is: the line of the text after the last value or row end
  // it reported, the line the current row started on, and how many values
  // of that row it has reported.
  std::uint64_t line = 1;
  std::uint64_t row_line = 1;
  bool after_carriage_return = false;
  std::size_t field = 0;
  std::uint64_t data_rows = 0;

  // The cells of the current row that are read, end to end, and where
  // each column's stands in them.
  std::string row_text;
  std::vector<std::size_t> cell_begin;
  std::vector<std::size_t> cell_end;

  // Group values to Units.
  std::unordered_map<std::string, std::int32_t, TextHash, std::equal_to<>> units;
  std::int32_t last_unit = -1;

  bool refused = false;
  bool out_of_memory = false;
  InputError error;
};

DelimitedParser::DelimitedParser(InputFormat format, std::string name, const ColumnChoice& columns,
                                 InputTable* table)
    : state_(std::make_unique<State>(format, std::move(name), columns, table)) {
  table->Format = format;
  // Strict: a quote inside an unquoted value, or text after a closing
  // quote, is an error rather than a guess. Every line end is reported, so
  // that lines can be counted.
  csv_init(&state_->parser, CSV_STRICT | CSV_STRICT_FINI | CSV_REPALL_NL);
  state_->delimiter = columns.Delimiter != 0            ? columns.Delimiter
                      : format == InputFormat::kTsv ? '\t'
                                                        : ',';
  csv_set_delim(&state_->parser, static_cast<unsigned char>(state_->delimiter));
}

DelimitedParser::~DelimitedParser() { csv_free(&state_->parser); }

void DelimitedParser::ExpectBytes(std::size_t bytes) { state_->expected_bytes = bytes; }

bool DelimitedParser::Parse(std::string_view piece) {
  State& state = *state_;
  if (state.refused) return false;
  const std::size_t parsed =
      csv_parse(&state.parser, piece.data(), piece.size(), State::OnField, State::OnRowEnd, &state);
  if (state.out_of_memory) throw std::bad_alloc();
  if (state.refused) return false;
  if (parsed < piece.size()) {
    // Strict mode stops on the offending byte; anything else is memory.
    if (csv_error(&state.parser) != CSV_EPARSE) throw std::bad_alloc();
    state.RefuseMisplacedQuote(piece[parsed]);
    return false;
  }
  return true;
}

bool DelimitedParser::Finish() {
  State& state = *state_;
  if (state.refused) return false;
  if (csv_fini(&state.parser, State::OnField, State::OnRowEnd, &state) != 0) {
    state.RefuseOpenQuote();
    return false;
  }
  if (state.out_of_memory) throw std::bad_alloc();
  if (state.refused) return false;
  if (state.in_header) {
    state.Refuse(ExitStatus::kMalformedData,
                 state.name + ": no header; its first line must name the columns, with " +
                     state.DelimiterName() + "s between them");
    return false;
  }
  return true;
}

const InputError& DelimitedParser::error() const { return state_->error; }

}  // namespace propsmooth
