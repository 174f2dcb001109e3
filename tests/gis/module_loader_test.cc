// The GIS module's loader: what it refuses and how it says so, where it
// looks, and that this test program's GIS runs go through the built module.
#include "gis/module_loader.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gis/gis_module.h"
#include "report_tool/folder_test.h"

namespace propsmooth {
namespace {

namespace fs = std::filesystem;

// The tests run from their own folder, not the program's: every GIS run of
// this test program takes the module the build made.
class BuiltModule : public testing::Environment {
 public:
  void SetUp() override { UseGisModuleFile(PROPSMOOTH_GIS_MODULE_FILE); }
};
testing::Environment* const kBuiltModule = testing::AddGlobalTestEnvironment(new BuiltModule);

using LoaderTest = FolderTest;

// Each fault the loader refuses, alone and after another: the error is one
// line that names every path tried and why, and says what to do.
TEST_F(LoaderTest, RefusesWhatIsNotThisBuildsModule) {
  const std::string missing = PathOf("absent.so");
  const std::string text = PathOf("text.so");
  std::ofstream(text) << std::string(200, 'x') << "\n";
  const std::string other_version =
      "version " + std::to_string(kGisModuleVersion + 1) + " of the module, this program needs "
      "version " + std::to_string(kGisModuleVersion);
  struct Case {
    const char* what;
    std::vector<std::string> paths;
    std::vector<std::string> said;  // besides each path and the advice
  };
  const Case cases[] = {
      {"missing", {missing}, {"cannot open shared object file"}},
      {"not a library", {text}, {"invalid ELF header"}},
      {"no entry point", {PROPSMOOTH_FAKE_MODULE_NO_ENTRY}, {"has no propsmooth_gis_module"}},
      {"other version", {PROPSMOOTH_FAKE_MODULE_VERSION}, {other_version}},
      {"other types", {PROPSMOOTH_FAKE_MODULE_LAYER}, {"built with other types"}},
      {"two faults", {missing, PROPSMOOTH_FAKE_MODULE_VERSION},
       {"No such file or directory; " + std::string(PROPSMOOTH_FAKE_MODULE_VERSION) + ": ",
        other_version}},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(LoadGisModule(c.paths, &error), nullptr) << c.what;
    EXPECT_EQ(error.find('\n'), std::string::npos) << c.what << ": " << error;
    EXPECT_NE(error.find("cannot be loaded"), std::string::npos) << c.what << ": " << error;
    EXPECT_NE(error.find("reinstall propsmooth, or build it again with GDAL"), std::string::npos)
        << c.what << ": " << error;
    for (const std::string& path : c.paths) {
      EXPECT_NE(error.find(path), std::string::npos) << c.what << ": " << error;
    }
    for (const std::string& part : c.said) {
      EXPECT_NE(error.find(part), std::string::npos) << c.what << ": " << error;
    }
  }
}

// The real module is taken after a refused one, and its table is whole.
TEST_F(LoaderTest, TakesTheFirstModuleThatFits) {
  std::string error;
  const GisModuleTable* table =
      LoadGisModule({PathOf("absent.so"), PROPSMOOTH_FAKE_MODULE_VERSION,
                     PROPSMOOTH_GIS_MODULE_FILE},
                    &error);
  ASSERT_NE(table, nullptr) << error;
  EXPECT_EQ(table->Version, kGisModuleVersion);
  EXPECT_NE(table->ReadRegionLayer, nullptr);
  EXPECT_NE(table->WriteFeatures, nullptr);
  // A run reads a file through it: a missing one is GDAL's refusal, not the loader's.
  RegionLayer layer;
  EXPECT_FALSE(table->ReadRegionLayer(PathOf("none.shp"), {"", "ID", ""}, false, &layer, &error));
  EXPECT_NE(error.find("cannot read regions from " + PathOf("none.shp")), std::string::npos)
      << error;
}

// Beside the program first (a build tree), then a folder of its own under
// a library folder beside the program's (an installed one).
TEST(GisModulePlaces, BesideTheProgramThenInstalled) {
  const std::vector<std::string> places = GisModulePlaces("/opt/ps/bin");
  ASSERT_EQ(places.size(), 2u);
  EXPECT_EQ(places[0], "/opt/ps/bin/propsmooth-gis.so");
  const fs::path installed(places[1]);
  EXPECT_EQ(installed.filename(), "propsmooth-gis.so");
  EXPECT_EQ(installed.parent_path().filename(), "propsmooth");
  EXPECT_EQ(places[1].rfind("/opt/ps/lib", 0), 0u) << places[1];
}

// The process's module, once loaded, is the one for every later call.
TEST(GisModule, LoadsTheChosenFileOnce) {
  std::string error;
  const GisModuleTable* first = GisModule(&error);
  ASSERT_NE(first, nullptr) << error;
  EXPECT_EQ(GisModule(&error), first);
}

}  // namespace
}  // namespace propsmooth
