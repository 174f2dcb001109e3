// GIS files through GDAL's vector API: a polygon layer read into plain
// shapes (and its attribute table as text), and a table of results written
// back with the regions' geometry. Nothing of GDAL shows in this header, so
// the run that uses it compiles the same with or without GDAL's headers.
// What touches GDAL is in the GIS module (gis_module.h), loaded on the
// first ReadRegionLayer or GisOutput::Write; when it cannot be loaded,
// these fail with the loader's error line.
#ifndef PROPSMOOTH_GIS_REGION_FILE_H_
#define PROPSMOOTH_GIS_REGION_FILE_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geo/region_shapes.h"

namespace propsmooth {

/// Which layer of a file to read, and which of its fields name the regions.
struct RegionFileChoice {
  std::string Layer;    // empty: the file's first layer
  std::string IdField;  // the join key (--regions-id, or --id for data in the file)
  std::string NameField;  // empty: the name is the id
};

/// A polygon layer as read: its regions in the file's order, its spatial
/// reference, and (when asked for) its attribute table as text.
struct RegionLayer {
  RegionShapes Shapes;
  /// The layer's spatial reference as WKT; empty when the file has none.
  std::string SpatialReference;
  /// The attribute fields' names, in the layer's order.
  std::vector<std::string> FieldNames;
  /// FieldNames.size() cells per feature, row after row, each as a CSV
  /// reader would take it: whole numbers without a decimal point (a real
  /// 1091.0 is "1091"), other reals in the fewest digits that read back as
  /// the same double, text as it is; a null or unset field is empty.
  std::vector<std::string> Cells;
};

/// The text of a field that holds a real number, as an id or a count is
/// spelt: "37009" for 37009.0 (a whole number of at most 2^53 in size), else the
/// shortest text that reads back as the same double. Empty for a value that
/// is not finite.
std::string RealFieldText(double value);

/// Reads the polygon layer of `path` that `choice` names into `layer`.
/// Polygons and multipolygons are taken as they are; curved ones
/// (CurvePolygon, MultiSurface) are made of straight segments first; a
/// feature without geometry becomes a region without polygons. Each
/// region's id is the IdField's value as text (an integer as written, a
/// real by RealFieldText: a real with a fraction is refused), its name the
/// NameField's (the id without one). With `attributes`, every field's
/// cells are kept too. False, with `*error` one line (no line end) naming
/// the file, when GDAL cannot open it (with GDAL's reason), the layer or a
/// field is not there (the ones that are named), a feature is not a
/// polygon (its number from 1 and its type), an id is missing or has a
/// fraction, or two features have the same id.
bool ReadRegionLayer(const std::string& path, const RegionFileChoice& choice, bool attributes,
                     RegionLayer* layer, std::string* error);

/// The formats the regions are written in.
enum class GisFormat {
  kGeoPackage,  // --gpkg
  kGeoJson,     // --geojson: RFC 7946, so longitude and latitude on WGS 84
};

/// A table to write as features: a header and rows of cells as the CSV
/// table holds them (empty: null), and each row's region.
struct FeatureTable {
  std::vector<std::string> Names;
  std::vector<std::vector<std::string>> Rows;
  /// Per row: the region whose polygons it takes; null for a row without
  /// geometry.
  std::vector<const RegionShape*> Regions;
  /// Columns written as text whatever they hold (labels such as the id,
  /// which a GIS must not turn into numbers: "01001" would lose its zero).
  std::vector<bool> AlwaysText;
};

/// What a column holds, from its cells: Integer when every cell that is
/// not empty is a whole number in the range of a 64-bit integer without a
/// sign "+" or leading zero, Real when every such cell is a number
/// (integers that would lose digits as a double make it text), else text.
enum class FieldKind { kInteger, kReal, kText };
FieldKind KindOfCells(const std::vector<std::vector<std::string>>& rows, std::size_t column);

/// A GIS file that takes the place of its name only once committed: GDAL
/// writes it in a new folder of its own beside the name, and Commit renames
/// it over the name, so a run that fails leaves an earlier file as it was.
/// Not copyable.
class GisOutput {
 public:
  GisOutput() = default;
  ~GisOutput();
  GisOutput(const GisOutput&) = delete;
  GisOutput& operator=(const GisOutput&) = delete;

  /// Makes the folder for `name`'s temporary file; false, with `*error`,
  /// when that folder cannot be made or `name` is a folder.
  bool Create(const std::string& name, std::string* error);

  /// Writes `table` in `format`, its layer named after the file and its
  /// coordinates in `spatial_reference` (WKT, empty: none); false, with
  /// `*error` (GDAL's reason), when it could not be written whole.
  bool Write(GisFormat format, const FeatureTable& table, const std::string& spatial_reference,
             std::string* error);

  /// Renames the written file over the name; false, with `*error`, when
  /// that fails. The folder is removed either way.
  bool Commit(std::string* error);

  /// Removes the temporary folder and what is in it, unless committed.
  void Discard();

  const std::string& name() const { return name_; }

 private:
  std::string name_;
  std::string target_;  // the name after its links: what Commit replaces
  std::string folder_;  // empty: nothing to remove
  std::string file_;    // the file inside folder_
  bool written_ = false;
};

}  // namespace propsmooth

#endif  // PROPSMOOTH_GIS_REGION_FILE_H_
