#include "platform/install_paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

namespace fs = std::filesystem;

// A prefix with the installed layout: prefix/bin, prefix/lib/pixolune,
// prefix/share/pixolune.
class InstallPathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"bin", "lib/pixolune", "share/pixolune/gfx"}) fs::create_directories(dir_.file(folder));
  }
  std::string bin() const { return dir_.file("bin/"); }
  void put(const std::string& relative) { testing::writeText(dir_.file(relative), "x"); }
  testing::TempDir dir_;
};

TEST_F(InstallPathsTest, ProgramsAndDataAreLookedForBesideTheProgramThenInTheInstalledPlaces) {
  EXPECT_EQ((std::vector<std::string>{bin(), dir_.file("lib/pixolune/")}), partFolders(bin(), PartKind::kProgram));
  EXPECT_EQ((std::vector<std::string>{bin(), dir_.file("share/pixolune/")}), partFolders(bin(), PartKind::kData));
  // Without the trailing "/" of the program's folder the same folders.
  EXPECT_EQ(partFolders(bin(), PartKind::kData), partFolders(dir_.file("bin"), PartKind::kData));
}

TEST_F(InstallPathsTest, AnInstalledTreeFindsItsParts) {
  put("lib/pixolune/pixolune-helper");
  put("share/pixolune/vemarkt.html");
  EXPECT_EQ(dir_.file("lib/pixolune/pixolune-helper"), findPart(bin(), PartKind::kProgram, "pixolune-helper"));
  EXPECT_EQ(dir_.file("share/pixolune/vemarkt.html"), findPart(bin(), PartKind::kData, "vemarkt.html"));
  EXPECT_EQ(dir_.file("share/pixolune/gfx"), findPart(bin(), PartKind::kData, "gfx", true));
  // Programs are not taken from the data folder, nor data from the programs'.
  EXPECT_EQ(bin() + "vemarkt.html", findPart(bin(), PartKind::kProgram, "vemarkt.html"));
  EXPECT_EQ(bin() + "pixolune-helper", findPart(bin(), PartKind::kData, "pixolune-helper"));
}

TEST_F(InstallPathsTest, ABuildTreeBesideTheProgramWinsOverAnInstalledOne) {
  put("lib/pixolune/pixolune-helper");
  put("bin/pixolune-helper");
  fs::create_directories(dir_.file("bin/gfx"));
  EXPECT_EQ(bin() + "pixolune-helper", findPart(bin(), PartKind::kProgram, "pixolune-helper"));
  EXPECT_EQ(bin() + "gfx", findPart(bin(), PartKind::kData, "gfx", true));
}

TEST_F(InstallPathsTest, APartOfTheWrongKindIsPassedOverAndAMissingOneNamedBesideTheProgram) {
  // A folder where a file is wanted and a file where a folder is wanted.
  fs::create_directories(dir_.file("bin/vemarkt.html"));
  put("share/pixolune/vemarkt.html");
  put("bin/gfx");
  EXPECT_EQ(dir_.file("share/pixolune/vemarkt.html"), findPart(bin(), PartKind::kData, "vemarkt.html"));
  EXPECT_EQ(dir_.file("share/pixolune/gfx"), findPart(bin(), PartKind::kData, "gfx", true));
  EXPECT_EQ(bin() + "pixolune-window.so", findPart(bin(), PartKind::kProgram, "pixolune-window.so"));
}

TEST(InstalledParts, TheTestsRunFromTheBuildTreeWhoseManualAndThemesLieBesideThem) {
  EXPECT_EQ(withTrailingSlash(programFolder()) + "vemarkt.html", installedManual());
  EXPECT_EQ(withTrailingSlash(programFolder()) + "gfx/", installedDataFolder(kThemeFolderName));
  EXPECT_FALSE(runsInstalled());
}

}  // namespace
}  // namespace pixolune
