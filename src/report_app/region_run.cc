#include "report_app/region_run.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <unordered_map>
#include <utility>

#include "app/job_files.h"
#include "tabular/csv_table.h"
#include "tabular/delimited_parser.h"

#ifdef PROPSMOOTH_HAVE_GDAL
#include "gis/region_file.h"
#endif

namespace propsmooth {
namespace {

// Ids named on the console; --summary lists them all.
constexpr std::size_t kIdsShown = 20;

std::string JoinedIds(const std::vector<std::size_t>& indices,
                      const std::vector<std::string>& texts, std::size_t most) {
  std::string joined;
  for (std::size_t i = 0; i < indices.size() && i < most; ++i) {
    if (i > 0) joined += "; ";
    joined += texts[indices[i]];
  }
  return joined;
}

std::vector<std::string> RegionIds(const RegionShapes& shapes) {
  std::vector<std::string> ids;
  ids.reserve(shapes.regions.size());
  for (const RegionShape& region : shapes.regions) ids.push_back(region.id);
  return ids;
}

std::string ConsoleLine(const char* what, const std::vector<std::size_t>& indices,
                        const std::vector<std::string>& texts) {
  std::string line = std::string(" ") + what + ": " + std::to_string(indices.size());
  if (indices.empty()) return line + "\n";
  line += " (" + JoinedIds(indices, texts, kIdsShown);
  if (indices.size() > kIdsShown) {
    line += "; and " + std::to_string(indices.size() - kIdsShown) + " more, all in --summary";
  }
  return line + ")\n";
}

InputError RegionError(std::string message) {
  return {ExitStatus::kBadInput, std::move(message) + "\n"};
}

#ifdef PROPSMOOTH_HAVE_GDAL
std::optional<InputError> ReadLayer(const std::string& path, const RegionFileChoice& choice,
                                    bool attributes, RegionLayer* layer, RunRegions* regions) {
  std::string error;
  if (!ReadRegionLayer(path, choice, attributes, layer, &error)) return RegionError(error);
  regions->Shapes = std::move(layer->Shapes);
  regions->SpatialReference = std::move(layer->SpatialReference);
  regions->FileName = path;
  return std::nullopt;
}
#endif

[[maybe_unused]] InputError NoGis() {
  return RegionError("this propsmooth-report was built without GDAL (libgdal-dev): it reads "
                     "and writes no GIS files");
}

}  // namespace

bool HaveGisFiles() {
#ifdef PROPSMOOTH_HAVE_GDAL
  return true;
#else
  return false;
#endif
}

bool IsGisDataName(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  std::string extension;
  for (char c : name.substr(dot + 1)) {
    extension += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  for (const char* known : {"gpkg", "shp", "geojson", "fgb", "gml", "kml", "sqlite"}) {
    if (extension == known) return true;
  }
  return false;
}

bool WantsRegions(const ReportSettings& settings) {
  return !settings.RegionsFileName.empty() || IsGisDataName(settings.DataFileName);
}

std::optional<InputError> ReadGisData(const ReportSettings& settings, InputTable* input,
                                      RunRegions* regions) {
  *input = InputTable();
#ifdef PROPSMOOTH_HAVE_GDAL
  RegionLayer layer;
  const RegionFileChoice choice{settings.RegionsLayer, settings.Columns.Id, settings.RegionsName};
  if (auto refused = ReadLayer(settings.DataFileName, choice, true, &layer, regions)) {
    return refused;
  }
  // The attribute table as CSV text, so that every column choice and every
  // refusal is the CSV reader's own.
  std::string text;
  for (std::size_t c = 0; c < layer.FieldNames.size(); ++c) {
    if (c > 0) text += ',';
    AppendCsvField(layer.FieldNames[c], &text);
  }
  text += '\n';
  const std::size_t fields = layer.FieldNames.size();
  for (std::size_t at = 0; at < layer.Cells.size(); at += fields) {
    for (std::size_t c = 0; c < fields; ++c) {
      if (c > 0) text += ',';
      AppendCsvField(layer.Cells[at + c], &text);
    }
    text += '\n';
  }
  ColumnChoice columns = settings.Columns;
  columns.Delimiter = ',';
  DelimitedParser parser(InputFormat::kCsv,
                         settings.DataFileName + " (its attribute table; line 1 the field names)",
                         columns, input);
  if (!parser.Parse(text) || !parser.Finish()) return parser.error();
  return std::nullopt;
#else
  (void)settings;
  (void)regions;
  return NoGis();
#endif
}

std::optional<InputError> ReadRegionsFile(const ReportSettings& settings, RunRegions* regions) {
#ifdef PROPSMOOTH_HAVE_GDAL
  RegionLayer layer;
  const RegionFileChoice choice{settings.RegionsLayer, settings.RegionsId, settings.RegionsName};
  return ReadLayer(settings.RegionsFileName, choice, false, &layer, regions);
#else
  (void)settings;
  (void)regions;
  return NoGis();
#endif
}

RegionMatch MatchRegions(const RegionShapes& shapes, const std::vector<std::string>& ids) {
  std::unordered_map<std::string_view, std::size_t> by_id;
  by_id.reserve(shapes.regions.size());
  for (std::size_t r = 0; r < shapes.regions.size(); ++r) by_id.emplace(shapes.regions[r].id, r);
  RegionMatch match;
  match.RecordRegion.assign(ids.size(), kNoRegion);
  std::vector<bool> named(shapes.regions.size(), false);
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const auto found = by_id.find(ids[i]);
    if (found == by_id.end()) {
      match.RecordsWithout.push_back(i);
      continue;
    }
    match.RecordRegion[i] = found->second;
    named[found->second] = true;
  }
  for (std::size_t r = 0; r < named.size(); ++r) {
    if (!named[r]) match.RegionsWithout.push_back(r);
  }
  return match;
}

SummaryColumns RegionSummaryColumns(const EstimatedData& data, const RegionShapes& shapes,
                                    const std::vector<std::string>& ids,
                                    const RegionMatch& match) {
  SummaryColumns columns;
  columns.Header = ",records_without_region,records_without_region_ids,regions_without_record,"
                   "regions_without_record_ids";
  std::string regions_cells = "," + std::to_string(match.RegionsWithout.size()) + ",";
  AppendCsvField(JoinedIds(match.RegionsWithout, RegionIds(shapes), SIZE_MAX), &regions_cells);
  for (std::size_t g = 0; g < data.Plan.Groups.size(); ++g) {
    const GroupSpan& group = data.Plan.Groups[g];
    std::vector<std::size_t> without;
    for (std::size_t k = group.Begin; k < group.End; ++k) {
      const std::size_t record = data.Plan.RecordIndices[k];
      if (match.RecordRegion[record] == kNoRegion) without.push_back(record);
    }
    // A group's records in the order of the data, as the CSV table has them.
    std::sort(without.begin(), without.end());
    std::string cells = "," + std::to_string(without.size()) + ",";
    AppendCsvField(JoinedIds(without, ids, SIZE_MAX), &cells);
    columns.Cells.push_back(cells + regions_cells);
  }
  return columns;
}

std::string RegionConsoleLines(const RegionShapes& shapes, const std::vector<std::string>& ids,
                               const RegionMatch& match) {
  return ConsoleLine("Records without a region", match.RecordsWithout, ids) +
         ConsoleLine("Regions without a record", match.RegionsWithout, RegionIds(shapes));
}

bool SplitCsvText(std::string_view text, std::vector<std::string>* header,
                  std::vector<std::vector<std::string>>* rows) {
  header->clear();
  rows->clear();
  std::vector<std::string> row;
  std::string cell;
  bool quoted = false;
  bool in_quotes = false;
  const auto end_row = [&] {
    row.push_back(std::move(cell));
    cell.clear();
    if (header->empty() && rows->empty()) {
      *header = std::move(row);
    } else {
      rows->push_back(std::move(row));
    }
    row.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_quotes) {
      if (c != '"') {
        cell += c;
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        cell += '"';
        ++i;
      } else {
        in_quotes = false;
      }
    } else if (c == '"') {
      if (!cell.empty() || quoted) return false;
      in_quotes = quoted = true;
    } else if (c == ',') {
      row.push_back(std::move(cell));
      cell.clear();
      quoted = false;
    } else if (c == '\n') {
      end_row();
      quoted = false;
    } else {
      if (quoted) return false;
      cell += c;
    }
  }
  if (in_quotes || !cell.empty() || !row.empty()) return false;
  for (const std::vector<std::string>& each : *rows) {
    if (each.size() != header->size()) return false;
  }
  return !header->empty();
}

#ifdef PROPSMOOTH_HAVE_GDAL
struct GisOutputs::State {
  struct One {
    const std::string* Name = nullptr;  // null: not asked for
    GisFormat Format = GisFormat::kGeoPackage;
    GisOutput File;
  };
  std::array<One, 2> Files;
};

GisOutputs::GisOutputs(const ReportSettings& settings) : state_(std::make_unique<State>()) {
  state_->Files[0].Format = GisFormat::kGeoPackage;
  state_->Files[1].Format = GisFormat::kGeoJson;
  if (!settings.GpkgFileName.empty()) state_->Files[0].Name = &settings.GpkgFileName;
  if (!settings.GeoJsonFileName.empty()) state_->Files[1].Name = &settings.GeoJsonFileName;
}

bool GisOutputs::Create(std::FILE* errors) {
  for (State::One& one : state_->Files) {
    if (one.Name == nullptr) continue;
    std::string why;
    if (!one.File.Create(*one.Name, &why)) {
      Print(errors, "\n ERROR!! Can't create " + *one.Name + ": " + why + " \n\n");
      return false;
    }
  }
  return true;
}

bool GisOutputs::Write(std::string_view csv, const RunRegions& regions, const RegionMatch& match,
                       std::FILE* errors) {
  if (!Asked()) return true;
  FeatureTable table;
  if (!SplitCsvText(csv, &table.Names, &table.Rows) ||
      table.Rows.size() != match.RecordRegion.size()) {
    Print(errors, "\n ERROR!! The CSV table could not be read back for the GIS files \n\n");
    return false;
  }
  // Labels stay text: a GIS would make "01001" the number 1001.
  for (const std::string& name : table.Names) {
    table.AlwaysText.push_back(name == "group" || name == "id");
  }
  const auto id_column = static_cast<std::size_t>(
      std::find(table.Names.begin(), table.Names.end(), "id") - table.Names.begin());
  for (std::size_t region : match.RecordRegion) {
    table.Regions.push_back(region == kNoRegion ? nullptr : &regions.Shapes.regions[region]);
  }
  for (std::size_t region : match.RegionsWithout) {
    std::vector<std::string> row(table.Names.size());
    if (id_column < row.size()) row[id_column] = regions.Shapes.regions[region].id;
    table.Rows.push_back(std::move(row));
    table.Regions.push_back(&regions.Shapes.regions[region]);
  }
  for (State::One& one : state_->Files) {
    if (one.Name == nullptr) continue;
    std::string why;
    if (!one.File.Write(one.Format, table, regions.SpatialReference, &why)) {
      Print(errors, "\n ERROR!! Can't write " + *one.Name + ": " + why + " \n\n");
      return false;
    }
  }
  return true;
}

bool GisOutputs::Commit(std::FILE* errors) {
  for (State::One& one : state_->Files) {
    if (one.Name == nullptr) continue;
    std::string why;
    if (!one.File.Commit(&why)) {
      Print(errors, "\n ERROR!! Can't create " + *one.Name + ": " + why + " \n\n");
      return false;
    }
  }
  return true;
}

bool GisOutputs::Asked() const {
  return state_->Files[0].Name != nullptr || state_->Files[1].Name != nullptr;
}
#else
struct GisOutputs::State {
  bool Asked = false;
};

GisOutputs::GisOutputs(const ReportSettings& settings) : state_(std::make_unique<State>()) {
  state_->Asked = !settings.GpkgFileName.empty() || !settings.GeoJsonFileName.empty();
}

bool GisOutputs::Create(std::FILE* errors) {
  if (!state_->Asked) return true;
  Print(errors, NoGis().Message);
  return false;
}

bool GisOutputs::Write(std::string_view, const RunRegions&, const RegionMatch&, std::FILE*) {
  return !state_->Asked;
}

bool GisOutputs::Commit(std::FILE*) { return !state_->Asked; }

bool GisOutputs::Asked() const { return state_->Asked; }
#endif

GisOutputs::~GisOutputs() = default;

}  // namespace propsmooth
