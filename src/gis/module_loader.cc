#include "gis/module_loader.h"

#include <dlfcn.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "gis/gis_module.h"

namespace propsmooth {
namespace {

std::string DlReason() {
  const char* reason = dlerror();
  return reason != nullptr ? std::string(reason) : std::string("no reason given");
}

// Why the table of `path` cannot be used; empty when it can.
std::string TableRefusal(const GisModuleTable* table) {
  if (table == nullptr) return "its entry point gave no table";
  const GisModuleTable wanted = GisModuleLayout();
  if (table->Version != wanted.Version) {
    return "it is version " + std::to_string(table->Version) + " of the module, this program "
           "needs version " + std::to_string(wanted.Version);
  }
  if (table->ChoiceSize != wanted.ChoiceSize || table->LayerSize != wanted.LayerSize ||
      table->TableSize != wanted.TableSize || table->TextSize != wanted.TextSize ||
      table->ReadRegionLayer == nullptr || table->WriteFeatures == nullptr) {
    return "it was built with other types than this program";
  }
  return std::string();
}

// The table of the module at `path`; null, with the reason (which names
// the path), when it cannot be used.
const GisModuleTable* TryModule(const std::string& path, std::string* reason) {
  dlerror();
  // Every symbol now: a GDAL library that is missing shows here, not in
  // the middle of a run.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    *reason = DlReason();
    // dlerror names the file for most faults, but not for all.
    if (reason->find(path) == std::string::npos) *reason = path + ": " + *reason;
    return nullptr;
  }
  void* symbol = dlsym(handle, kGisModuleEntryName);
  if (symbol == nullptr) {
    *reason = path + ": it has no " + kGisModuleEntryName + ", so it is no GIS module of "
              "propsmooth-report";
    dlclose(handle);
    return nullptr;
  }
  const auto entry = reinterpret_cast<PropsmoothGisModuleEntry>(symbol);
  const GisModuleTable* table = entry();
  const std::string refusal = TableRefusal(table);
  if (!refusal.empty()) {
    *reason = path + ": " + refusal;
    dlclose(handle);
    return nullptr;
  }
  return table;
}

std::string ProgramFolder() {
  std::error_code failed;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failed);
  return failed ? std::string() : program.parent_path().string();
}

struct ProcessModule {
  std::once_flag once;
  std::string file;  // set by UseGisModuleFile
  const GisModuleTable* table = nullptr;
  std::string error;
};

ProcessModule& TheModule() {
  static ProcessModule module;
  return module;
}

}  // namespace

std::vector<std::string> GisModulePlaces(const std::string& program_folder) {
  const std::filesystem::path folder(program_folder);
  return {(folder / kGisModuleFileName).string(),
          (folder / PROPSMOOTH_GIS_MODULE_INSTALLED / kGisModuleFileName)
              .lexically_normal()
              .string()};
}

const GisModuleTable* LoadGisModule(const std::vector<std::string>& paths, std::string* error) {
  std::string reasons;
  for (const std::string& path : paths) {
    std::string reason;
    if (const GisModuleTable* table = TryModule(path, &reason)) return table;
    if (!reasons.empty()) reasons += "; ";
    reasons += reason;
  }
  if (paths.empty()) reasons = "the program's own folder is unknown (no /proc/self/exe)";
  *error = "propsmooth-report's GIS module, which reads and writes GIS files through GDAL, "
           "cannot be loaded (" + reasons + "): reinstall propsmooth, or build it again with "
           "GDAL (libgdal-dev)";
  return nullptr;
}

const GisModuleTable* GisModule(std::string* error) {
  ProcessModule& module = TheModule();
  std::call_once(module.once, [&module] {
    std::vector<std::string> paths;
    if (!module.file.empty()) {
      paths.push_back(module.file);
    } else if (const std::string folder = ProgramFolder(); !folder.empty()) {
      paths = GisModulePlaces(folder);
    }
    module.table = LoadGisModule(paths, &module.error);
  });
  if (module.table == nullptr) *error = module.error;
  return module.table;
}

void UseGisModuleFile(std::string path) { TheModule().file = std::move(path); }

}  // namespace propsmooth
