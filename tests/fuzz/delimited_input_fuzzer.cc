// propsmooth-report's reader (ReadNamedStream: format detection, the
// byte order mark, CSV and TSV through libcsv, the header's columns) on
// arbitrary bytes. The first byte chooses the file name, and so the format
// (".csv", ".tsv", or none: the first line decides), and which of the group
// and id columns are read; the second and third where the text is cut into
// pieces; its top three bits how missing groups are read, --keep-all, or
// '|' as the delimiter. Checks, besides the sanitizers:
// - every accepted record has count >= 0 and size >= 1; in CSV and TSV
//   also count <= size, its Code is its row number (rising past skipped
//   rows), its Unit a group label's index (Units appearing in ascending
//   order, the labels distinct, UTF-8, and none missing unless missing
//   groups form their own) or -1 without a group column, and there is one
//   id per record when an id column is read, one cell per record in each
//   kept column, every id and kept cell UTF-8;
// - a refusal has status 1 or 2 and one line that names the file (and the
//   line, which exists) for CSV and TSV, propsmooth's own text otherwise;
// - the parser handed the text in three pieces cut anywhere reads exactly
//   what the stream reader read, message included.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "tabular/cell_text.h"
#include "tabular/delimited_parser.h"
#include "tabular/input_format.h"
#include "tabular/named_input.h"

namespace propsmooth {
namespace {

bool SameTables(const InputTable& a, const InputTable& b) {
  if (a.Records.size() != b.Records.size() || a.GroupLabels != b.GroupLabels ||
      a.Ids.size() != b.Ids.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.Records.size(); ++i) {
    const RegionRecord& x = a.Records[i];
    const RegionRecord& y = b.Records[i];
    if (x.Unit != y.Unit || x.Code != y.Code || x.Data1 != y.Data1 || x.Data2 != y.Data2) {
      return false;
    }
  }
  for (std::size_t i = 0; i < a.Ids.size(); ++i) {
    if (a.Ids[i] != b.Ids[i]) return false;
  }
  if (a.KeptNames != b.KeptNames || a.Kept.size() != b.Kept.size() ||
      a.SkippedRows != b.SkippedRows) {
    return false;
  }
  for (std::size_t k = 0; k < a.Kept.size(); ++k) {
    if (a.Kept[k].size() != b.Kept[k].size()) return false;
    for (std::size_t i = 0; i < a.Kept[k].size(); ++i) {
      if (a.Kept[k][i] != b.Kept[k][i]) return false;
    }
  }
  return true;
}

// Lines as the reader counts them: LF, CR LF and a CR alone end one each.
std::uint64_t LineCount(std::string_view text) {
  std::uint64_t lines = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
      ++lines;
    }
  }
  return lines;
}

void CheckAccepted(const InputTable& table, const ColumnChoice& columns) {
  std::int32_t next_unit = 0;
  for (std::size_t i = 0; i < table.Records.size(); ++i) {
    const RegionRecord& r = table.Records[i];
    Check(r.Data2 >= 1 && r.Data1 >= 0, "count >= 0, size >= 1");
    // propsmooth's own format admits a count above its size, as propsmooth
    // does: the fit leaves such a record out.
    if (table.Format == InputFormat::kLegacy) {
      Check(r.Unit >= -1, "a legacy Unit is -1 or more");
      continue;
    }
    Check(r.Data1 <= r.Data2, "a CSV or TSV count is at most its size");
    if (columns.Missing == MissingGroup::kSkip) {
      Check(r.Code >= static_cast<std::int32_t>(i + 1) &&
                (i == 0 || r.Code > table.Records[i - 1].Code),
            "a record's Code is its row number, skipped rows counted");
    } else {
      Check(r.Code == static_cast<std::int32_t>(i + 1), "a record's Code is its row number");
    }
    if (columns.Group.empty()) {
      Check(r.Unit == -1, "no group column: Unit -1");
    } else {
      Check(r.Unit >= 0 && r.Unit <= next_unit, "Units in order of first appearance");
      if (r.Unit == next_unit) ++next_unit;
    }
  }
  if (table.Format == InputFormat::kLegacy) return;
  Check(table.GroupLabels.size() == static_cast<std::size_t>(next_unit),
        "one group label per Unit");
  const std::set<std::string> distinct(table.GroupLabels.begin(), table.GroupLabels.end());
  Check(distinct.size() == table.GroupLabels.size(), "group labels are distinct");
  Check(table.Ids.size() == (columns.Id.empty() ? 0 : table.Records.size()),
        "one id per record when an id column is read");
  for (const std::string& label : table.GroupLabels) {
    Check(FirstNonUtf8Byte(label) == std::string::npos, "group labels are UTF-8");
    Check(!IsMissingGroupText(label) ||
              (label.empty() && columns.Missing == MissingGroup::kOwnGroup),
          "no missing group unless missing groups form their own");
  }
  for (std::size_t i = 0; i < table.Ids.size(); ++i) {
    Check(FirstNonUtf8Byte(table.Ids[i]) == std::string::npos, "ids are UTF-8");
  }
  Check(table.Kept.size() == table.KeptNames.size(), "one name per kept column");
  for (const TextColumn& kept : table.Kept) {
    Check(kept.size() == table.Records.size(), "one kept cell per record");
    for (std::size_t i = 0; i < kept.size(); ++i) {
      Check(FirstNonUtf8Byte(kept[i]) == std::string::npos, "kept cells are UTF-8");
    }
  }
}

void CheckRefused(const InputError& error, const InputTable& table, const std::string& name,
                  std::string_view text) {
  Check(error.Status == ExitStatus::kBadInput || error.Status == ExitStatus::kMalformedData,
        "a refusal has status 1 or 2");
  const std::string& message = error.Message;
  Check(!message.empty() && message.back() == '\n', "a message ends with a line feed");
  if (table.Format == InputFormat::kLegacy) {
    Check(message.starts_with("\n Error!! Wrong data found (") ||
              message.find(name) != std::string::npos,
          "the legacy format's refusal is propsmooth's");
    return;
  }
  Check(message.find('\n') == message.size() - 1, "a CSV or TSV refusal is one line");
  Check(message.starts_with(name + ": ") || message.starts_with(name + " line "),
        "a CSV or TSV refusal names the file");
  if (message.starts_with(name + " line ")) {
    const char* digits = message.c_str() + name.size() + 6;
    char* end = nullptr;
    const unsigned long long line = std::strtoull(digits, &end, 10);
    // "line 5: ...", "line 5, column x: ..." or "line 5 has 4 fields, ...".
    const bool row_told = std::string_view(end).starts_with(" has ");
    Check(end != digits && (*end == ':' || *end == ',' || row_told), "the line is a number");
    Check(line >= 1 && line <= LineCount(text), "the line named exists");
  }
}

}  // namespace
}  // namespace propsmooth

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace propsmooth;
  if (size < 3) return 0;
  const std::uint8_t mode = data[0];
  const std::size_t cut1 = data[1];
  const std::size_t cut2 = data[2];
  std::string bytes(reinterpret_cast<const char*>(data) + 3, size - 3);

  static const char* const kNames[] = {"in.csv", "in.tsv", "in", "in.txt"};
  const std::string name = kNames[mode & 3];
  ColumnChoice columns;
  columns.Count = "n";
  columns.Size = "size";
  if ((mode & 4) != 0) columns.Group = "g";
  if ((mode & 8) != 0) columns.Id = (mode & 16) != 0 ? "g" : "id";  // one column read twice
  switch (mode >> 5) {
    case 1: columns.Missing = MissingGroup::kSkip; break;
    case 2: columns.Missing = MissingGroup::kOwnGroup; break;
    case 3: columns.KeepAll = true; break;
    case 4: columns.Delimiter = '|'; break;
    // No column named, as for the legacy format: one input in eight.
    case 7: columns = ColumnChoice(); break;
    default: break;
  }

  std::FILE* stream = fmemopen(bytes.data(), bytes.size(), "rb");
  if (stream == nullptr) return 0;  // an empty buffer, on older C libraries
  InputTable table;
  const std::optional<InputError> error = ReadNamedStream(stream, name, std::nullopt, columns, &table);
  std::fclose(stream);

  const std::string_view text = WithoutByteOrderMark(bytes);
  if (error) {
    CheckRefused(*error, table, name, text);
  } else {
    CheckAccepted(table, columns);
  }
  // Compressed data reach the parser inflated, which the pieces below are
  // not.
  if (table.Format == InputFormat::kLegacy || IsGzipData(bytes)) return 0;
  // The delimiter the stream reader chose from the header line.
  if (columns.Delimiter == 0 && table.Format == InputFormat::kCsv) {
    columns.Delimiter = CsvDelimiterOf(FirstFilledLine(text));
  }

  // The same text in three pieces, cut anywhere (a CR LF or a doubled
  // quote included).
  InputTable pieces;
  DelimitedParser parser(table.Format, name, columns, &pieces);
  const std::size_t a = std::min(cut1, text.size());
  const std::size_t b = std::min(a + cut2, text.size());
  const bool accepted = parser.Parse(text.substr(0, a)) && parser.Parse(text.substr(a, b - a)) &&
                        parser.Parse(text.substr(b)) && parser.Finish();
  Check(accepted == !error, "pieces: accepted as the whole text was");
  if (error) {
    Check(parser.error().Status == error->Status && parser.error().Message == error->Message,
          "pieces: refused as the whole text was");
  } else {
    Check(SameTables(pieces, table), "pieces: the same table as the whole text");
  }
  return 0;
}
