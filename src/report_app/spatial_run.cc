#include "report_app/spatial_run.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include "geo/neighbours.h"
#include "stats/record_estimates.h"
#include "tabular/csv_columns.h"

namespace propsmooth {
namespace {

// Ids shown in a console line or a message before "and N more".
constexpr std::size_t kIdsShown = 20;

std::string IdList(const std::vector<std::string>& ids) {
  std::string text;
  for (std::size_t i = 0; i < ids.size() && i < kIdsShown; ++i) {
    if (i > 0) text += ", ";
    text += ids[i];
  }
  if (ids.size() > kIdsShown) text += " and " + std::to_string(ids.size() - kIdsShown) + " more";
  return text;
}

bool ReadWholeFile(const std::string& name, std::string* text, std::string* error) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream contents;
  if (in) contents << in.rdbuf();
  if (!in || in.bad()) {
    *error = "Can't read " + name + ": no such file, or not readable";
    return false;
  }
  *text = contents.str();
  return true;
}

// Carries lists over a source's regions (ids `source`) to the records
// (ids `records`): a record's neighbours are the records of its region's
// neighbours. Every record must have a region; regions without a record are
// noted in `unmatched`, their links dropped.
bool JoinToRecords(const std::vector<std::string>& source, const NeighbourLists& lists,
                   const std::vector<std::string>& records, std::string_view what,
                   NeighbourIndex* joined, std::vector<std::string>* unmatched,
                   std::string* error) {
  std::unordered_map<std::string_view, std::size_t> region_of;
  for (std::size_t g = 0; g < source.size(); ++g) region_of.emplace(source[g], g);
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::vector<std::size_t> record_of(source.size(), kNone);
  std::vector<std::string> missing;
  for (std::size_t r = 0; r < records.size(); ++r) {
    const auto found = region_of.find(records[r]);
    if (found == region_of.end()) {
      missing.push_back(records[r]);
    } else {
      record_of[found->second] = r;
    }
  }
  if (!missing.empty()) {
    *error = std::to_string(missing.size()) + " records have no " + std::string(what) +
             ": ids " + IdList(missing);
    return false;
  }
  for (std::size_t g = 0; g < source.size(); ++g) {
    if (record_of[g] == kNone) unmatched->push_back(source[g]);
  }
  joined->assign(records.size(), {});
  for (std::size_t g = 0; g < source.size(); ++g) {
    if (record_of[g] == kNone) continue;
    std::vector<std::size_t>& list = (*joined)[record_of[g]];
    for (const std::size_t h : lists[g]) {
      if (record_of[h] != kNone) list.push_back(record_of[h]);
    }
    std::sort(list.begin(), list.end());
  }
  return true;
}

bool NeighboursFromFile(const NeighbourChoice& choice, const std::vector<std::string>& ids,
                        NeighbourIndex* lists, SpatialRun* run, std::string* error) {
  std::string text;
  if (!ReadWholeFile(choice.FileName, &text, error)) return false;
  NeighbourFile file;
  const bool gal = choice.Source == NeighbourChoice::Kind::kGal;
  if (!(gal ? ReadGal(text, choice.FileName, ids, &file, error)
            : ReadGwt(text, choice.FileName, ids, &file, error))) {
    return false;
  }
  // A GWT file cannot list a region without neighbours: those are islands.
  if (gal && !file.Absent.empty()) {
    std::vector<std::string> absent;
    for (const std::size_t i : file.Absent) absent.push_back(ids[i]);
    *error = choice.FileName + " has no entry for " + std::to_string(absent.size()) +
             " records: ids " + IdList(absent);
    return false;
  }
  run->UnmatchedIds = file.Unknown;
  *lists = std::move(file.Lists);
  return true;
}

bool NeighboursFromCentroids(const ReportSettings& settings, std::size_t k,
                             const RegionShapes* regions, const std::vector<std::string>& ids,
                             NeighbourIndex* lists, SpatialRun* run, std::string* error) {
  std::vector<std::string> source;
  std::vector<MapPoint> points;
  bool geographic = false;
  if (!settings.CentroidsFileName.empty()) {
    std::string text;
    if (!ReadWholeFile(settings.CentroidsFileName, &text, error) ||
        !ReadCentroids(text, settings.CentroidsFileName, &source, &points, &geographic, error)) {
      return false;
    }
  } else if (regions != nullptr) {
    for (const RegionShape& region : regions->regions) {
      source.push_back(region.id);
      points.push_back(CentroidOf(region));
    }
    geographic = regions->geographic;
  } else {
    *error = "--neighbours knn:K needs the regions' centroids: give --centroids FILE "
             "(\"id,x,y\" or \"id,lon,lat\" lines) or the regions' polygons";
    return false;
  }
  // The nearest are among the records: a centroid without a record is no
  // neighbour, so that each record has k of them.
  NeighbourIndex identity(source.size());
  if (!JoinToRecords(source, identity, ids, "centroid", lists, &run->UnmatchedIds, error)) {
    return false;
  }
  std::unordered_map<std::string_view, std::size_t> position;
  for (std::size_t g = 0; g < source.size(); ++g) position.emplace(source[g], g);
  std::vector<MapPoint> record_points;
  record_points.reserve(ids.size());
  for (const std::string& id : ids) record_points.push_back(points[position.at(id)]);
  return NearestNeighbours(record_points, k, geographic, lists, error);
}

bool NeighboursOfRecords(const ReportSettings& settings, const NeighbourChoice& choice,
                         const RegionShapes* regions, const std::vector<std::string>& ids,
                         NeighbourIndex* lists, SpatialRun* run, std::string* error) {
  using Kind = NeighbourChoice::Kind;
  switch (choice.Source) {
    case Kind::kGal:
    case Kind::kGwt:
      return NeighboursFromFile(choice, ids, lists, run, error);
    case Kind::kKnn:
      return NeighboursFromCentroids(settings, choice.K, regions, ids, lists, run, error);
    case Kind::kQueen:
    case Kind::kRook:
      break;
  }
  if (regions == nullptr) {
    *error = "--neighbours " + settings.Neighbours +
             " needs the regions' polygons (--regions FILE, which needs GDAL); without them "
             "give knn:K with --centroids FILE, or a .gal or .gwt file";
    return false;
  }
  NeighbourLists contiguity;
  if (!ContiguityNeighbours(*regions,
                            choice.Source == Kind::kQueen ? Contiguity::kQueen : Contiguity::kRook,
                            kDefaultSnap, &contiguity, error)) {
    return false;
  }
  std::vector<std::string> source;
  for (const RegionShape& region : regions->regions) source.push_back(region.id);
  return JoinToRecords(source, contiguity, ids, "region", lists, &run->UnmatchedIds, error);
}

}  // namespace

std::optional<std::string> NeighbourOptionError(std::string_view text) {
  NeighbourChoice choice;
  std::string error;
  if (ParseNeighbourChoice(text, &choice, &error)) return std::nullopt;
  return error;
}

bool RunSpatial(const ReportSettings& settings, const EstimatedData& data,
                const RegionShapes* regions, unsigned workers, SpatialRun* run,
                std::string* error) {
  NeighbourChoice choice;
  if (!ParseNeighbourChoice(settings.Neighbours, &choice, error)) return false;
  const InputTable& input = data.Input;
  if (input.Ids.empty()) {
    *error = "--neighbours joins the records to their regions by id: name the id column "
             "with --id";
    return false;
  }
  for (const std::string& name : input.KeptNames) {
    if (kCsvSpatialColumns.find("," + name + ",") != std::string_view::npos ||
        kCsvSpatialColumns.ends_with("," + name)) {
      *error = "--keep " + name + ": the CSV table has a column of that name with --neighbours";
      return false;
    }
  }
  std::vector<std::string> ids;
  ids.reserve(input.Ids.size());
  std::unordered_map<std::string_view, std::size_t> seen;
  for (std::size_t i = 0; i < input.Ids.size(); ++i) {
    ids.emplace_back(input.Ids[i]);
  }
  for (const std::string& id : ids) {
    if (!seen.emplace(id, 0).second) {
      *error = "--neighbours needs one record per region, and id " + id + " repeats";
      return false;
    }
  }
  NeighbourIndex lists;
  if (!NeighboursOfRecords(settings, choice, regions, ids, &lists, run, error)) return false;
  for (const std::size_t i : Islands(lists)) run->IslandIds.push_back(ids[i]);
  if (settings.Model == CountModel::kPoisson) {
    std::vector<std::int32_t> counts;
    counts.reserve(input.Records.size());
    for (const RegionRecord& record : input.Records) counts.push_back(record.Data1);
    run->Estimates = EstimateSpatialRates(counts, input.Expected, lists, settings, workers);
  } else {
    run->Estimates = EstimateSpatialProportions(input.Records, lists, settings, workers);
  }
  return true;
}

std::string SpatialConsoleLines(const ReportSettings& settings, const SpatialRun& run) {
  std::string text = " Neighbours    : " + settings.Neighbours;
  if (!settings.CentroidsFileName.empty()) text += " of " + settings.CentroidsFileName;
  text += ", islands (no neighbour): " + std::to_string(run.IslandIds.size());
  if (!run.IslandIds.empty()) text += " (" + IdList(run.IslandIds) + ")";
  text += "\n";
  if (!run.UnmatchedIds.empty()) {
    text += " Regions without a record, left out: " + std::to_string(run.UnmatchedIds.size()) +
            " (" + IdList(run.UnmatchedIds) + ")\n";
  }
  text += " Local moment variance below 0 and set to 0 in " +
          std::to_string(run.Estimates.Clamped) + " neighbourhoods; " +
          std::to_string(run.Estimates.SmallNeighbourhoods) + " below " +
          std::to_string(kMinLocalFitRegions) + " regions took the moment prior\n";
  return text;
}

}  // namespace propsmooth
