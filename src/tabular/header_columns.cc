#include "tabular/header_columns.h"

#include <algorithm>

#include "tabular/cell_text.h"
#include "tabular/csv_columns.h"

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

// Adds column `index` to the kept ones; false after refusing it.
bool KeepColumn(const std::vector<std::string>& header, std::size_t index, bool rates,
                std::string_view where, HeaderColumns* found, InputError* error) {
  const std::string& name = header[index];
  if (rates ? IsRateCsvTableColumn(name) : IsCsvTableColumn(name)) {
    *error = Refusal(ExitStatus::kBadInput, where,
                     "column " + QuoteForMessage(name) +
                         " cannot be kept: the CSV table has a column of that name; rename it "
                         "in the data, or keep the columns you need with --keep");
    return false;
  }
  if ((found->Roles[index] & kKeepRole) != 0) {
    *error = Refusal(ExitStatus::kBadInput, where,
                     "column " + QuoteForMessage(name) + " is named twice in --keep");
    return false;
  }
  found->Roles[index] |= kKeepRole;
  found->Kept.push_back(index);
  return true;
}

}  // namespace

void NameUnnamedColumns(std::vector<std::string>* header) {
  for (std::size_t i = 0; i < header->size(); ++i) {
    if ((*header)[i].empty()) (*header)[i] = "field " + std::to_string(i + 1);
  }
}

std::optional<HeaderColumns> FindHeaderColumns(const std::vector<std::string>& header,
                                               const ColumnChoice& columns,
                                               std::string_view where, InputError* error) {
  const bool rates = !columns.Expected.empty();
  const char* expected_option = columns.Exposure ? "--exposure" : "--expected";
  if (rates && columns.Count.empty()) {
    *error = Refusal(ExitStatus::kBadInput, where,
                     std::string("name the count column with --count and the expected column "
                                 "with ") +
                         expected_option + "; " + HeaderList(header));
    return std::nullopt;
  }
  if (!rates && (columns.Count.empty() || columns.Size.empty())) {
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
      !FindColumn(header, columns.Expected, expected_option, kExpectedRole, where, &found,
                  &found.Expected, error) ||
      !FindColumn(header, columns.Group, "--group", kGroupRole, where, &found, &found.Group,
                  error) ||
      !FindColumn(header, columns.Id, "--id", kIdRole, where, &found, nullptr, error)) {
    return std::nullopt;
  }
  for (const std::string& name : columns.Keep) {
    if (name.empty()) continue;
    std::size_t at = 0;
    if (!FindColumn(header, name, "--keep", 0, where, &found, &at, error) ||
        !KeepColumn(header, at, rates, where, &found, error)) {
      return std::nullopt;
    }
  }
  if (columns.KeepAll) {
    for (std::size_t i = 0; i < header.size(); ++i) {
      if (found.Roles[i] == 0 && !KeepColumn(header, i, rates, where, &found, error)) {
        return std::nullopt;
      }
    }
  }
  return found;
}

}  // namespace propsmooth
