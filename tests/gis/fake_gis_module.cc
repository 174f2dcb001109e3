// Libraries that look like propsmooth-report's GIS module but must be
// refused by its loader: built once per fault the loader checks for
// (FAKE_VERSION_STEP, FAKE_LAYER_STEP, FAKE_NO_ENTRY), with no GDAL in them.
#include "gis/gis_module.h"

#include <string>

#ifndef FAKE_VERSION_STEP
#define FAKE_VERSION_STEP 0
#endif
#ifndef FAKE_LAYER_STEP
#define FAKE_LAYER_STEP 0
#endif

#ifndef FAKE_NO_ENTRY
namespace {

// Never called: a refused table's functions must not be reached.
bool Read(const std::string&, const propsmooth::RegionFileChoice&, bool, propsmooth::RegionLayer*,
          std::string* error) {
  *error = "a refused module was called";
  return false;
}

bool Write(propsmooth::GisFormat, const propsmooth::FeatureTable&, const std::string&,
           const std::string&, const std::string&, std::string* error) {
  *error = "a refused module was called";
  return false;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const propsmooth::GisModuleTable*
propsmooth_gis_module() {
  static const propsmooth::GisModuleTable table = [] {
    propsmooth::GisModuleTable filled = propsmooth::GisModuleLayout();
    filled.Version += FAKE_VERSION_STEP;
    filled.LayerSize += FAKE_LAYER_STEP;
    filled.ReadRegionLayer = Read;
    filled.WriteFeatures = Write;
    return filled;
  }();
  return &table;
}
#else
extern "C" __attribute__((visibility("default"))) int propsmooth_gis_other() { return 0; }
#endif
