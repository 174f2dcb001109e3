// The regions of a report run: read from a GIS file (--regions, or the data
// file itself), matched to the records by id, and written back with the
// CSV table's columns (--gpkg, --geojson). GDAL does the reading and
// writing; a build without it refuses these options.
#ifndef PROPSMOOTH_REPORT_APP_REGION_RUN_H_
#define PROPSMOOTH_REPORT_APP_REGION_RUN_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geo/region_shapes.h"
#include "report_app/report_settings.h"
#include "tabular/table_files.h"

namespace propsmooth {

/// Whether this build reads and writes GIS files (it was built with GDAL).
bool HaveGisFiles();

/// Whether data named `name` are a GIS file, whose attribute table is read
/// as the data: .gpkg, .shp, .geojson, .fgb, .gml, .kml or .sqlite, in
/// either case.
bool IsGisDataName(std::string_view name);

/// Whether `settings` ask for regions: --regions, or data in a GIS file.
bool WantsRegions(const ReportSettings& settings);

/// The regions of a run, as read.
struct RunRegions {
  RegionShapes Shapes;
  std::string SpatialReference;  // WKT; empty when the file has none
  std::string FileName;          // where they were read
};

/// Reads the data from the GIS file settings.DataFileName: its attribute
/// table goes through the CSV reader with settings.Columns (so the same
/// columns are chosen and the same cells refused as in a CSV file), and its
/// regions (keyed by the --id field) into `regions`.
std::optional<InputError> ReadGisData(const ReportSettings& settings, InputTable* input,
                                      RunRegions* regions);

/// Reads settings.RegionsFileName, keyed by --regions-id, into `regions`.
std::optional<InputError> ReadRegionsFile(const ReportSettings& settings, RunRegions* regions);

/// A record without a region.
inline constexpr std::size_t kNoRegion = SIZE_MAX;

/// How the records meet the regions, by id text.
struct RegionMatch {
  std::vector<std::size_t> RecordRegion;    // per record: its region's index, or kNoRegion
  std::vector<std::size_t> RecordsWithout;  // records without a region, in order
  std::vector<std::size_t> RegionsWithout;  // regions no record names, in order
};

/// Matches each record's id (`ids`, by record) to the region of that id
/// (region ids are unique: the reader refuses them twice).
RegionMatch MatchRegions(const RegionShapes& shapes, const std::vector<std::string>& ids);

/// The summary's columns of the match, after its own:
/// records_without_region and their ids (the group's), then
/// regions_without_record and their ids (the regions no record of any
/// group names: the same in every row). Ids are joined by "; ".
SummaryColumns RegionSummaryColumns(const EstimatedData& data, const RegionShapes& shapes,
                                    const std::vector<std::string>& ids,
                                    const RegionMatch& match);

/// The console's lines about the match, each " ... \n": how many records
/// have no region and how many regions no record, with the first ids of
/// each (all of them in --summary).
std::string RegionConsoleLines(const RegionShapes& shapes, const std::vector<std::string>& ids,
                               const RegionMatch& match);

/// Splits CSV text as the CSV table writes it (RFC 4180, LF ended) into its
/// header and rows; false when the text is not such a table.
bool SplitCsvText(std::string_view text, std::vector<std::string>* header,
                  std::vector<std::vector<std::string>>* rows);

/// The GIS files a run writes (--gpkg, --geojson): made beside their names,
/// taking them only at Commit.
class GisOutputs {
 public:
  explicit GisOutputs(const ReportSettings& settings);
  ~GisOutputs();
  GisOutputs(const GisOutputs&) = delete;
  GisOutputs& operator=(const GisOutputs&) = delete;

  bool Asked() const;

  /// Makes the temporary places; false after printing why.
  bool Create(std::FILE* errors);

  /// Writes the CSV table `csv` (its text) as features, one per row with
  /// its record's region (none for a record without one), then one per
  /// region no record names, with its id and every other field null.
  /// False after printing why.
  bool Write(std::string_view csv, const RunRegions& regions, const RegionMatch& match,
             std::FILE* errors);

  /// Gives the files their names; false after printing why.
  bool Commit(std::FILE* errors);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace propsmooth

#endif  // PROPSMOOTH_REPORT_APP_REGION_RUN_H_
