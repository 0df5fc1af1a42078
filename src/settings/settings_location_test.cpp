#include "settings/settings_location.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "support/test_util.h"

namespace pixolune {
namespace {

namespace fs = std::filesystem;

// XDG_CONFIG_HOME and HOME inside a temporary folder, restored afterwards.
class SettingsLocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    save("XDG_CONFIG_HOME", &config_);
    save("HOME", &home_);
    setenv("XDG_CONFIG_HOME", config().c_str(), 1);
  }
  void TearDown() override {
    restore("XDG_CONFIG_HOME", config_);
    restore("HOME", home_);
  }
  std::string config() const { return dir_.file("config"); }
  std::string newFile() const { return config() + "/pixolune/config.ini"; }
  std::string oldFile() const { return config() + "/Quorvant/vemarkt/config.ini"; }
  void writeOld(const std::string& text) {
    fs::create_directories(config() + "/Quorvant/vemarkt");
    testing::writeText(oldFile(), text);
  }

  testing::TempDir dir_;

 private:
  static void save(const char* name, std::pair<bool, std::string>* value) {
    const char* text = std::getenv(name);
    *value = {text != nullptr, text ? text : ""};
  }
  static void restore(const char* name, const std::pair<bool, std::string>& value) {
    if (value.first) setenv(name, value.second.c_str(), 1);
    else unsetenv(name);
  }
  std::pair<bool, std::string> config_, home_;
};

TEST_F(SettingsLocationTest, AFirstStartGetsItsOwnFolderAndLeavesTheOldPlaceAlone) {
  EXPECT_EQ(newFile(), settingsFileLocation());
  EXPECT_TRUE(fs::is_directory(config() + "/pixolune"));
  struct stat info;
  ASSERT_EQ(0, stat((config() + "/pixolune").c_str(), &info));
  EXPECT_EQ(0700u, info.st_mode & 0777);
  EXPECT_FALSE(fs::exists(newFile()));  // Written only when the window saves.
  EXPECT_FALSE(fs::exists(config() + "/Quorvant"));
}

TEST_F(SettingsLocationTest, TheOldFileIsCopiedOnceAndThenNoLongerRead) {
  const std::string bytes = "\xEF\xBB\xBF[Window]\r\nWidth = 777\r\n";
  writeOld(bytes);
  EXPECT_EQ(newFile(), settingsFileLocation());
  EXPECT_EQ(bytes, testing::readText(newFile()));
  EXPECT_EQ(bytes, testing::readText(oldFile()));  // The old file stays.
  // The new file is the one kept from now on: a changed old file is not
  // copied over it again.
  testing::writeText(newFile(), "[Window]\r\nWidth = 900\r\n");
  writeOld("[Window]\r\nWidth = 111\r\n");
  EXPECT_EQ(newFile(), settingsFileLocation());
  EXPECT_EQ("[Window]\r\nWidth = 900\r\n", testing::readText(newFile()));
}

TEST_F(SettingsLocationTest, WhenTheCopyFailsTheOldFileIsUsed) {
  writeOld("[Window]\r\n");
  testing::writeText(config() + "/pixolune", "a file where the folder belongs");
  EXPECT_EQ(oldFile(), settingsFileLocation());
}

TEST_F(SettingsLocationTest, WithoutXdgConfigHomeTheFolderIsBelowTheHomeFolder) {
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", dir_.path().c_str(), 1);
  fs::create_directories(dir_.file(".config/Quorvant/vemarkt"));
  testing::writeText(dir_.file(".config/Quorvant/vemarkt/config.ini"), "[Window]\r\n");
  EXPECT_EQ(dir_.file(".config/pixolune/config.ini"), settingsFileLocation());
  EXPECT_EQ("[Window]\r\n", testing::readText(dir_.file(".config/pixolune/config.ini")));
}

}  // namespace
}  // namespace pixolune
