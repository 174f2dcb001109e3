#include "gis/region_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "common/output_file.h"
#include "gis/gis_module.h"
#include "gis/module_loader.h"

namespace propsmooth {
namespace {

std::string FileStem(const std::string& path) {
  return std::filesystem::path(path).stem().string();
}

}  // namespace

bool ReadRegionLayer(const std::string& path, const RegionFileChoice& choice, bool attributes,
                     RegionLayer* layer, std::string* error) {
  *layer = RegionLayer();
  std::string why;
  const GisModuleTable* module = GisModule(&why);
  if (module == nullptr) {
    *error = "cannot read regions from " + path + ": " + why;
    return false;
  }
  return module->ReadRegionLayer(path, choice, attributes, layer, error);
}

GisOutput::~GisOutput() { Discard(); }

bool GisOutput::Create(const std::string& name, std::string* error) {
  Discard();
  name_ = name;
  target_ = OutputTarget(name);
  std::error_code ignored;
  if (std::filesystem::is_directory(target_, ignored)) {
    *error = name + " is a folder";
    return false;
  }
  const std::filesystem::path target(target_);
  std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX"))
                            .string();
  if (mkdtemp(pattern.data()) == nullptr) {
    *error = "cannot write in the folder of " + name + ": " + std::strerror(errno);
    return false;
  }
  folder_ = pattern;
  file_ = (std::filesystem::path(folder_) / target.filename()).string();
  written_ = false;
  return true;
}


bool GisOutput::Write(GisFormat format, const FeatureTable& table,
                      const std::string& spatial_reference, std::string* error) {
  const GisModuleTable* module = GisModule(error);
  if (module == nullptr) return false;
  if (!module->WriteFeatures(format, table, spatial_reference, file_, FileStem(name_), error)) {
    return false;
  }
  written_ = true;
  return true;
}

bool GisOutput::Commit(std::string* error) {
  if (!written_) {
    *error = "nothing was written";
    Discard();
    return false;
  }
  const bool renamed = std::rename(file_.c_str(), target_.c_str()) == 0;
  if (!renamed) *error = std::strerror(errno);
  written_ = false;
  Discard();
  return renamed;
}

void GisOutput::Discard() {
  if (folder_.empty()) return;
  std::error_code ignored;
  // The folder is this run's own: whatever GDAL left in it goes with it.
  std::filesystem::remove_all(folder_, ignored);
  folder_.clear();
  file_.clear();
}

}  // namespace propsmooth

