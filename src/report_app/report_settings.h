// What one run of propsmooth-report is told: its files, the columns to
// read and the estimation's settings.
#ifndef PROPSMOOTH_REPORT_APP_REPORT_SETTINGS_H_
#define PROPSMOOTH_REPORT_APP_REPORT_SETTINGS_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "stats/record_estimates.h"
#include "tabular/input_format.h"
#include "tabular/input_table.h"

namespace propsmooth {

/// The file name that stands for standard input (the data) or standard
/// output (the page or a table).
inline constexpr std::string_view kStandardStream = "-";

/// Everything one report run is told: the estimation's settings (the fit
/// options, the estimator, the level, the threshold and the FDR) and the rest.
struct ReportSettings : EstimateSettings {
  std::string DataFileName;    // kStandardStream: standard input
  // For each output, kStandardStream: standard output (one output at most).
  std::string ReportFileName;  // empty: no page (a table is asked for)
  std::string TsvFileName;     // empty: no interval table
  std::string CsvFileName;     // empty: no CSV table
  std::string SummaryFileName;  // empty: no summary table
  std::optional<InputFormat> Format;  // empty: from the name, else the first line
  ColumnChoice Columns;        // --count, --size, --group, --id
  bool Percent = false;        // the CSV table's proportions in percent
  // kPoisson: counts against expected values or exposures (Columns.Expected),
  // a gamma prior of rates; the interval table is not made.
  CountModel Model = CountModel::kBinomial;
  // Rates are shown times this (--per); Threshold holds the rate itself,
  // --threshold divided by it.
  double Per = 1.0;

  // --neighbours as given (queen, rook, knn:K, a .gal or .gwt file); empty:
  // no spatial estimates.
  std::string Neighbours;
  // --centroids: a centroid per id ("id,x,y" or "id,lon,lat"), for knn:K.
  std::string CentroidsFileName;
  // Regions as GIS files (read and written through GDAL). The data file
  // may be one too: its attribute table is then read as the data.
  std::string RegionsFileName;  // --regions; empty: none
  std::string RegionsId;        // --regions-id: the field joined to the data's --id
  std::string RegionsName;      // --regions-name; empty: the id names each region
  std::string RegionsLayer;     // --regions-layer; empty: the file's first layer
  std::string GpkgFileName;     // --gpkg; empty: none
  std::string GeoJsonFileName;  // --geojson; empty: none

  std::size_t MaxGroups = 100;  // groups drawn with plots and tables
  bool Quiet = false;          // no file names, summary or progress; errors only
};

}  // namespace propsmooth

#endif  // PROPSMOOTH_REPORT_APP_REPORT_SETTINGS_H_
