#include "tabular/header_columns.h"

#include "tabular/cell_text.h"

namespace propsmooth {
namespace {

// Header names shown in a message before "and N more".
constexpr std::size_t kListedNames = 20;

std::string HeaderList(const std::vector<std::string>& header) {
  std::string list = "the header has ";
  for (std::size_t i = 0; i < header.size() && i < kListedNames; ++i) {
    if (i > 0) list += ", ";
    list += QuoteForMessage(header[i]);
  }
  if (header.size() > kListedNames) {
    list += " and " + std::to_string(header.size() - kListedNames) + " more";
  }
  return list;
}

InputError Refusal(ExitStatus status, std::string_view where, const std::string& text) {
  return {status, std::string(where) + text + "\n"};
}

// The one column named `wanted`, into `column`; true too when no column is
// wanted.
bool FindColumn(const std::vector<std::string>& header, const std::string& wanted,
                const char* option, std::uint8_t role, std::string_view where,
                HeaderColumns* found, std::size_t* column, InputError* error) {
  if (wanted.empty()) return true;
  std::size_t at = header.size();
  for (std::size_t i = 0; i < header.size(); ++i) {
    if (header[i] != wanted) continue;
    if (at != header.size()) {
      *error = Refusal(ExitStatus::kMalformedData, where,
                       "fields " + std::to_string(at + 1) + " and " + std::to_string(i + 1) +
                           " are both named " + QuoteForMessage(wanted) + " (" + option +
                           "); rename one of them");
      return false;
    }
    at = i;
  }
  if (at == header.size()) {
    *error = Refusal(ExitStatus::kMalformedData, where,
                     "no column is named " + QuoteForMessage(wanted) + " (" + option + "); " +
                         HeaderList(header));
    return false;
  }
  found->Roles[at] |= role;
  if (column != nullptr) *column = at;
  return true;
}

}  // namespace

std::optional<HeaderColumns> FindHeaderColumns(const std::vector<std::string>& header,
                                               const ColumnChoice& columns,
                                               std::string_view where, InputError* error) {
  if (columns.Count.empty() || columns.Size.empty()) {
    *error = Refusal(ExitStatus::kBadInput, where,
                     "name the count and size columns with --count and --size; " +
                         HeaderList(header));
    return std::nullopt;
  }
  HeaderColumns found;
  found.Roles.assign(header.size(), 0);
  if (!FindColumn(header, columns.Count, "--count", kCountRole, where, &found, &found.Count,
                  error) ||
      !FindColumn(header, columns.Size, "--size", kSizeRole, where, &found, &found.Size, error) ||
      !FindColumn(header, columns.Group, "--group", kGroupRole, where, &found, nullptr, error) ||
      !FindColumn(header, columns.Id, "--id", kIdRole, where, &found, nullptr, error)) {
    return std::nullopt;
  }
  return found;
}

}  // namespace propsmooth
