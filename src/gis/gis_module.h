// The seam between propsmooth-report and its GIS module, the loadable
// library that holds everything of GDAL: GDAL's hundred-odd shared
// libraries are loaded only by a run that reads or writes a GIS file. Both
// sides include this header; the module exports one C function that gives
// the table below.
#ifndef PROPSMOOTH_GIS_GIS_MODULE_H_
#define PROPSMOOTH_GIS_GIS_MODULE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "gis/region_file.h"

namespace propsmooth {

/// Raised whenever a function of the table, or a type it takes, changes:
/// a module from another build of the program is then refused, not called.
inline constexpr std::uint32_t kGisModuleVersion = 1;

/// The module's file name, the same in a build tree and where it is installed.
inline constexpr char kGisModuleFileName[] = "propsmooth-gis.so";

/// The name of the C function the module exports.
inline constexpr char kGisModuleEntryName[] = "propsmooth_gis_module";

/// What the module gives. The types go across as C++ objects, so the
/// module must come from the same build as the program: the version and
/// the sizes of the types are checked before any function is called.
struct GisModuleTable {
  /// First, and never moved: the loader reads it before anything else.
  std::uint32_t Version;
  std::size_t ChoiceSize;  // sizeof(RegionFileChoice)
  std::size_t LayerSize;   // sizeof(RegionLayer)
  std::size_t TableSize;   // sizeof(FeatureTable)
  std::size_t TextSize;    // sizeof(std::string)

  /// ReadRegionLayer, as region_file.h has it.
  bool (*ReadRegionLayer)(const std::string& path, const RegionFileChoice& choice,
                          bool attributes, RegionLayer* layer, std::string* error);

  /// Writes `table` as the file `file` (which must not exist yet) in
  /// `format`, its layer named `layer_name`; GisOutput::Write otherwise.
  bool (*WriteFeatures)(GisFormat format, const FeatureTable& table,
                        const std::string& spatial_reference, const std::string& file,
                        const std::string& layer_name, std::string* error);
};

/// The table of this build's types and version, without its functions: the
/// module fills them in, the loader compares the rest.
constexpr GisModuleTable GisModuleLayout() {
  return {kGisModuleVersion, sizeof(RegionFileChoice), sizeof(RegionLayer), sizeof(FeatureTable),
          sizeof(std::string), nullptr, nullptr};
}

}  // namespace propsmooth

/// The module's entry point; its table lives as long as the module is loaded.
using PropsmoothGisModuleEntry = const propsmooth::GisModuleTable* (*)();

#endif  // PROPSMOOTH_GIS_GIS_MODULE_H_
