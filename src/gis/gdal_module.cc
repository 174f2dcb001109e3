// The GIS module: reading polygon layers and writing features through
// GDAL's vector API. Loaded by propsmooth-report on its first GIS file
// (gis/module_loader.cc), so that runs without one never load GDAL.
#include "gis/gis_module.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

namespace propsmooth {
namespace {

void RegisterDrivers() {
  static std::once_flag once;
  std::call_once(once, [] { GDALAllRegister(); });
}

// GDAL prints its errors on standard error unless told otherwise; ours say
// what went wrong in the run's own words, with GDAL's reason inside.
class QuietGdal {
 public:
  QuietGdal() {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
  }
  ~QuietGdal() { CPLPopErrorHandler(); }
  QuietGdal(const QuietGdal&) = delete;
  QuietGdal& operator=(const QuietGdal&) = delete;
};

std::string GdalReason(const char* otherwise) {
  const char* message = CPLGetLastErrorMsg();
  return message != nullptr && *message != '\0' ? std::string(message) : std::string(otherwise);
}

struct DatasetCloser {
  void operator()(void* dataset) const { GDALClose(dataset); }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

struct FeatureDestroyer {
  void operator()(OGRFeatureH feature) const { OGR_F_Destroy(feature); }
};
using Feature = std::unique_ptr<std::remove_pointer_t<OGRFeatureH>, FeatureDestroyer>;

struct GeometryDestroyer {
  void operator()(OGRGeometryH geometry) const { OGR_G_DestroyGeometry(geometry); }
};
using Geometry = std::unique_ptr<std::remove_pointer_t<OGRGeometryH>, GeometryDestroyer>;

std::string LayerNames(GDALDatasetH dataset) {
  std::string names;
  const int count = GDALDatasetGetLayerCount(dataset);
  for (int i = 0; i < count; ++i) {
    if (i > 0) names += ", ";
    names += OGR_L_GetName(GDALDatasetGetLayer(dataset, i));
  }
  return names;
}

std::string FieldNames(OGRFeatureDefnH definition) {
  std::string names;
  for (int i = 0; i < OGR_FD_GetFieldCount(definition); ++i) {
    if (i > 0) names += ", ";
    names += OGR_Fld_GetNameRef(OGR_FD_GetFieldDefn(definition, i));
  }
  return names;
}

// The field's index; -1, with the error, when the layer has none of that name.
int FieldIndex(OGRFeatureDefnH definition, const std::string& field, const std::string& where,
               const char* option, std::string* error) {
  for (int i = 0; i < OGR_FD_GetFieldCount(definition); ++i) {
    if (field == OGR_Fld_GetNameRef(OGR_FD_GetFieldDefn(definition, i))) return i;
  }
  *error = where + " has no field " + field + " (" + option + "); its fields are " +
           FieldNames(definition);
  return -1;
}

std::string FieldText(OGRFeatureH feature, OGRFeatureDefnH definition, int field) {
  if (!OGR_F_IsFieldSetAndNotNull(feature, field)) return std::string();
  switch (OGR_Fld_GetType(OGR_FD_GetFieldDefn(definition, field))) {
    case OFTInteger:
      return std::to_string(OGR_F_GetFieldAsInteger(feature, field));
    case OFTInteger64:
      return std::to_string(OGR_F_GetFieldAsInteger64(feature, field));
    case OFTReal:
      return RealFieldText(OGR_F_GetFieldAsDouble(feature, field));
    default:
      return OGR_F_GetFieldAsString(feature, field);
  }
}

MapRing RingOf(OGRGeometryH ring) {
  MapRing points;
  const int count = OGR_G_GetPointCount(ring);
  points.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    points.push_back({OGR_G_GetX(ring, i), OGR_G_GetY(ring, i)});
  }
  return points;
}

void AddPolygonOf(OGRGeometryH polygon, RegionShape* region) {
  std::vector<MapRing> rings;
  for (int i = 0; i < OGR_G_GetGeometryCount(polygon); ++i) {
    rings.push_back(RingOf(OGR_G_GetGeometryRef(polygon, i)));
  }
  AddPolygon(std::move(rings), region);
}

// The polygons of `geometry` into `region`; false, with the error, for a
// geometry that is no (multi)polygon.
bool AddPolygons(OGRGeometryH geometry, const std::string& where, RegionShape* region,
                 std::string* error) {
  if (geometry == nullptr || OGR_G_IsEmpty(geometry)) return true;
  Geometry linear;
  OGRwkbGeometryType type = wkbFlatten(OGR_G_GetGeometryType(geometry));
  if (OGR_GT_IsNonLinear(type)) {
    // Arcs become chords at GDAL's default step (4 degrees of arc).
    linear.reset(OGR_G_GetLinearGeometry(geometry, 0.0, nullptr));
    if (linear == nullptr) {
      *error = where + ": its " + OGRGeometryTypeToName(type) +
               " could not be made of straight segments: " + GdalReason("GDAL gave no reason");
      return false;
    }
    geometry = linear.get();
    type = wkbFlatten(OGR_G_GetGeometryType(geometry));
  }
  if (type == wkbPolygon) {
    AddPolygonOf(geometry, region);
    return true;
  }
  if (type == wkbMultiPolygon) {
    for (int i = 0; i < OGR_G_GetGeometryCount(geometry); ++i) {
      AddPolygonOf(OGR_G_GetGeometryRef(geometry, i), region);
    }
    return true;
  }
  *error = where + " is a " + OGRGeometryTypeToName(type) +
           ", not a polygon: the regions must be a layer of polygons or multipolygons";
  return false;
}

// A closed ring of `ring`'s points, the first repeated at the end.
OGRGeometryH RingGeometry(const MapRing& ring) {
  OGRGeometryH geometry = OGR_G_CreateGeometry(wkbLinearRing);
  for (MapPoint point : ring) OGR_G_AddPoint_2D(geometry, point.x, point.y);
  OGR_G_AddPoint_2D(geometry, ring.front().x, ring.front().y);
  return geometry;
}

OGRGeometryH RegionGeometry(const RegionShape& region) {
  OGRGeometryH multi = OGR_G_CreateGeometry(wkbMultiPolygon);
  for (const MapPolygon& polygon : region.polygons) {
    OGRGeometryH part = OGR_G_CreateGeometry(wkbPolygon);
    for (const MapRing& ring : polygon.rings) {
      if (!ring.empty()) OGR_G_AddGeometryDirectly(part, RingGeometry(ring));
    }
    OGR_G_AddGeometryDirectly(multi, part);
  }
  return multi;
}

bool ReadLayer(const std::string& path, const RegionFileChoice& choice, bool attributes,
               RegionLayer* layer, std::string* error) {
  *layer = RegionLayer();
  RegisterDrivers();
  QuietGdal quiet;
  const char* const vector_only[] = {nullptr};
  const Dataset dataset(GDALOpenEx(path.c_str(),
                                   GDAL_OF_VECTOR | GDAL_OF_READONLY | GDAL_OF_VERBOSE_ERROR,
                                   nullptr, nullptr, vector_only));
  if (dataset == nullptr) {
    *error = "cannot read regions from " + path + ": " +
             GdalReason("GDAL knows no vector format it is in");
    return false;
  }
  if (GDALDatasetGetLayerCount(dataset.get()) == 0) {
    *error = path + " holds no layer of regions";
    return false;
  }
  OGRLayerH source = choice.Layer.empty()
                         ? GDALDatasetGetLayer(dataset.get(), 0)
                         : GDALDatasetGetLayerByName(dataset.get(), choice.Layer.c_str());
  if (source == nullptr) {
    *error = path + " has no layer " + choice.Layer + " (--regions-layer); its layers are " +
             LayerNames(dataset.get());
    return false;
  }
  const std::string where = path + " layer " + OGR_L_GetName(source);
  OGRFeatureDefnH definition = OGR_L_GetLayerDefn(source);
  // A table without shapes (GDAL reads CSV too) has nothing to draw.
  if (OGR_FD_GetGeomFieldCount(definition) == 0) {
    *error = where + " has no geometry: the regions must be a layer of polygons or "
                     "multipolygons";
    return false;
  }
  const int id_field = FieldIndex(definition, choice.IdField, where, "the regions' id", error);
  if (id_field < 0) return false;
  int name_field = id_field;
  if (!choice.NameField.empty()) {
    name_field = FieldIndex(definition, choice.NameField, where, "--regions-name", error);
    if (name_field < 0) return false;
  }
  const int fields = OGR_FD_GetFieldCount(definition);
  if (attributes) {
    for (int i = 0; i < fields; ++i) {
      layer->FieldNames.emplace_back(OGR_Fld_GetNameRef(OGR_FD_GetFieldDefn(definition, i)));
    }
  }
  if (OGRSpatialReferenceH srs = OGR_L_GetSpatialRef(source)) {
    layer->Shapes.geographic = OSRIsGeographic(srs) != 0;
    char* wkt = nullptr;
    if (OSRExportToWkt(srs, &wkt) == OGRERR_NONE && wkt != nullptr) {
      layer->SpatialReference = wkt;
    }
    CPLFree(wkt);
  }

  const bool real_id =
      OGR_Fld_GetType(OGR_FD_GetFieldDefn(definition, id_field)) == OFTReal;
  std::unordered_map<std::string, std::size_t> seen;
  OGR_L_ResetReading(source);
  std::size_t number = 0;
  for (;;) {
    const Feature feature(OGR_L_GetNextFeature(source));
    if (feature == nullptr) break;
    ++number;
    const std::string feature_where = where + " feature " + std::to_string(number);
    RegionShape region;
    region.id = FieldText(feature.get(), definition, id_field);
    if (region.id.empty()) {
      *error = feature_where + " has no " + choice.IdField + ": every region needs its id";
      return false;
    }
    if (real_id && std::floor(OGR_F_GetFieldAsDouble(feature.get(), id_field)) !=
                       OGR_F_GetFieldAsDouble(feature.get(), id_field)) {
      *error = feature_where + ": its " + choice.IdField + " " + region.id +
               " is a real number with a fraction; an id stored as a real must be whole "
               "(37009.0 joins 37009)";
      return false;
    }
    const auto [earlier, fresh] = seen.emplace(region.id, number);
    if (!fresh) {
      *error = where + ": features " + std::to_string(earlier->second) + " and " +
               std::to_string(number) + " both have " + choice.IdField + " " + region.id +
               "; the id must name each region once";
      return false;
    }
    region.name = name_field == id_field ? region.id
                                         : FieldText(feature.get(), definition, name_field);
    if (!AddPolygons(OGR_F_GetGeometryRef(feature.get()), feature_where, &region, error)) {
      return false;
    }
    layer->Shapes.regions.push_back(std::move(region));
    if (attributes) {
      for (int i = 0; i < fields; ++i) {
        layer->Cells.push_back(FieldText(feature.get(), definition, i));
      }
    }
  }
  if (CPLGetLastErrorType() == CE_Failure) {
    *error = "cannot read regions from " + path + ": " + GdalReason("a feature is damaged");
    return false;
  }
  return true;
}

bool WriteFeatures(GisFormat format, const FeatureTable& table,
                   const std::string& spatial_reference, const std::string& file,
                   const std::string& layer_name, std::string* error) {
  RegisterDrivers();
  QuietGdal quiet;
  const bool geopackage = format == GisFormat::kGeoPackage;
  GDALDriverH driver = GDALGetDriverByName(geopackage ? "GPKG" : "GeoJSON");
  if (driver == nullptr) {
    *error = std::string("this GDAL has no ") + (geopackage ? "GeoPackage" : "GeoJSON") + " driver";
    return false;
  }
  Dataset dataset(GDALCreate(driver, file.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  if (dataset == nullptr) {
    *error = GdalReason("GDAL could not create it");
    return false;
  }
  OGRSpatialReferenceH srs = nullptr;
  if (!spatial_reference.empty()) {
    srs = OSRNewSpatialReference(spatial_reference.c_str());
    if (srs != nullptr) OSRSetAxisMappingStrategy(srs, OAMS_TRADITIONAL_GIS_ORDER);
  }
  // RFC 7946 has GDAL carry the coordinates over to longitude and latitude.
  const char* const geojson_options[] = {"RFC7946=YES", nullptr};
  OGRLayerH layer = GDALDatasetCreateLayer(dataset.get(), layer_name.c_str(), srs,
                                           wkbMultiPolygon,
                                           geopackage ? nullptr
                                                      : const_cast<char**>(geojson_options));
  if (srs != nullptr) OSRRelease(srs);
  if (layer == nullptr) {
    *error = GdalReason("GDAL could not make its layer");
    return false;
  }
  std::vector<FieldKind> kinds;
  for (std::size_t c = 0; c < table.Names.size(); ++c) {
    const FieldKind kind = table.AlwaysText[c] ? FieldKind::kText : KindOfCells(table.Rows, c);
    kinds.push_back(kind);
    const OGRFieldType type = kind == FieldKind::kInteger ? OFTInteger64
                              : kind == FieldKind::kReal  ? OFTReal
                                                          : OFTString;
    OGRFieldDefnH field = OGR_Fld_Create(table.Names[c].c_str(), type);
    // Not approximately: a field renamed or retyped would not be the CSV's.
    const OGRErr made = OGR_L_CreateField(layer, field, FALSE);
    OGR_Fld_Destroy(field);
    if (made != OGRERR_NONE) {
      *error = "its field " + table.Names[c] + ": " + GdalReason("GDAL refused it");
      return false;
    }
  }
  if (geopackage) GDALDatasetStartTransaction(dataset.get(), FALSE);
  OGRFeatureDefnH definition = OGR_L_GetLayerDefn(layer);
  for (std::size_t r = 0; r < table.Rows.size(); ++r) {
    const Feature feature(OGR_F_Create(definition));
    const std::vector<std::string>& row = table.Rows[r];
    for (std::size_t c = 0; c < row.size(); ++c) {
      const int field = static_cast<int>(c);
      const std::string& cell = row[c];
      if (cell.empty()) {
        OGR_F_SetFieldNull(feature.get(), field);
      } else if (kinds[c] == FieldKind::kInteger) {
        std::int64_t value = 0;
        std::from_chars(cell.data(), cell.data() + cell.size(), value);
        OGR_F_SetFieldInteger64(feature.get(), field, value);
      } else if (kinds[c] == FieldKind::kReal) {
        double value = 0.0;
        std::from_chars(cell.data(), cell.data() + cell.size(), value);
        OGR_F_SetFieldDouble(feature.get(), field, value);
      } else {
        OGR_F_SetFieldString(feature.get(), field, cell.c_str());
      }
    }
    const RegionShape* region = table.Regions[r];
    if (region != nullptr && !region->polygons.empty()) {
      OGR_F_SetGeometryDirectly(feature.get(), RegionGeometry(*region));
    }
    if (OGR_L_CreateFeature(layer, feature.get()) != OGRERR_NONE) {
      *error = "feature " + std::to_string(r + 1) + ": " + GdalReason("GDAL refused it");
      return false;
    }
  }
  if (geopackage && GDALDatasetCommitTransaction(dataset.get()) != OGRERR_NONE) {
    *error = GdalReason("GDAL could not finish it");
    return false;
  }
  CPLErrorReset();
  dataset.reset();
  if (CPLGetLastErrorType() == CE_Failure) {
    *error = GdalReason("GDAL could not finish it");
    return false;
  }
  return true;
}


}  // namespace
}  // namespace propsmooth

// The one symbol the module exports; everything else in it is hidden.
extern "C" __attribute__((visibility("default"))) const propsmooth::GisModuleTable*
propsmooth_gis_module() {
  static const propsmooth::GisModuleTable table = [] {
    propsmooth::GisModuleTable filled = propsmooth::GisModuleLayout();
    filled.ReadRegionLayer = propsmooth::ReadLayer;
    filled.WriteFeatures = propsmooth::WriteFeatures;
    return filled;
  }();
  return &table;
}
