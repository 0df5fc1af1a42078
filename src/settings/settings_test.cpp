#include "settings/settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "settings/format_lists.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

TEST(Settings, ConsoleAndWindowDefaultsDifferOnlyInAspectRatio) {
  createFormatLists();
  settings().settings_file_path = "/keep/me";
  applyDefaultSettings(true);
  Settings console = settings();
  applyDefaultSettings(false);
  Settings window = settings();
  EXPECT_FALSE(console.keep_aspect_ratio);
  EXPECT_TRUE(window.keep_aspect_ratio);
  console.keep_aspect_ratio = true;
  console.update_date = window.update_date;
  console.custom_timestamp = window.custom_timestamp;
  EXPECT_TRUE(console == window);
  EXPECT_EQ("/keep/me", window.settings_file_path);
  EXPECT_EQ(1, window.back_opacity);
  EXPECT_EQ(255, window.text_opacity);
  EXPECT_EQ("psd", window.input_format);
  EXPECT_EQ("png", window.output_format);
  EXPECT_EQ(2, window.png_compression);  // zlib 6: compact files unless chosen otherwise.
  EXPECT_FALSE(window.strip_metadata);
  EXPECT_FALSE(window.fit_inside);
  EXPECT_TRUE(window.text_antialiasing);  // Smooth text unless plain is chosen.
}

TEST(Settings, CentredPositionIsStrict) {
  EXPECT_EQ(100, centredPosition(510, 400));
  EXPECT_EQ(100, centredPosition(510, 510));
  EXPECT_EQ(0, centredPosition(510, 511));
  EXPECT_EQ(705, centredPosition(510, 1920));
}

TEST(Settings, WindowIsCentredOnTheFirstDesktop) {
  setDesktopQuery([] { return DesktopSize{1920, 1080}; });
  applyDefaultSettings(false);
  EXPECT_EQ(705, settings().window_x);
  EXPECT_EQ(375, settings().window_y);
  setDesktopQuery(nullptr);
  applyDefaultSettings(false);
  EXPECT_EQ(100, settings().window_x);
}

TEST(Settings, UserDataFolderIsCreatedBelowXdgConfigHome) {
  testing::TempDir dir;
  std::string base = dir.file("cfg");
  setenv("XDG_CONFIG_HOME", base.c_str(), 1);
  std::string folder = userDataFolder("Quorvant", "vemarkt");
  EXPECT_EQ(base + "/Quorvant/vemarkt/", folder);
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  setenv("XDG_CONFIG_HOME", (base + "/").c_str(), 1);
  EXPECT_EQ(base + "/Quorvant/vemarkt/", userDataFolder("Quorvant", "vemarkt"));
  unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace pixolune
