// Finding and loading the GIS module (gis/gis_module.h) on a run's first
// GIS file.
#ifndef PROPSMOOTH_GIS_MODULE_LOADER_H_
#define PROPSMOOTH_GIS_MODULE_LOADER_H_

#include <string>
#include <vector>

namespace propsmooth {

struct GisModuleTable;

/// Where the module is looked for, in order: `program_folder` itself (a
/// build tree puts it beside the program) and the folder it is installed
/// in, which lies at the same place relative to the program's.
std::vector<std::string> GisModulePlaces(const std::string& program_folder);

/// Loads the first of `paths` that opens as this build's module. Null, with
/// `*error` one line (no line end) naming each path and why it was refused
/// (dlerror's reason, no entry point, another version) and what to do, when
/// none does. A module once loaded stays loaded: GDAL keeps state to the end
/// of the process.
const GisModuleTable* LoadGisModule(const std::vector<std::string>& paths, std::string* error);

/// The module of this process, loaded on the first call from the places
/// beside the running program (or the file set by UseGisModuleFile); later
/// calls give the same table, or the same error.
const GisModuleTable* GisModule(std::string* error);

/// Takes the module from `path` alone, for a program that is not where the
/// module's places are reckoned from (the tests); before the first GisModule.
void UseGisModuleFile(std::string path);

}  // namespace propsmooth

#endif  // PROPSMOOTH_GIS_MODULE_LOADER_H_
