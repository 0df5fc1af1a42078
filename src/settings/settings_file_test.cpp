#include "settings/settings_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <filesystem>

#include "settings/format_lists.h"
#include "settings/settings.h"
#include "support/failing_file_system.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::readText;
using testing::TempDir;
using testing::writeText;

constexpr int32_t kUpdateDate = 1700000000;
constexpr int32_t kCustomDate = 1700000001;

// The whole file a save of the defaults writes with the start-up format lists.
const std::string kDefaultFile =
    "\xEF\xBB\xBF\r\n"
    "[General]\r\nCFG = 18\r\nLanguage = en\r\nUpdate Range = 2\r\nUpdate Date = 1700000000\r\n"
    "Save Window Position = 1\r\n; \r\n"
    "[Window]\r\nIsMaximized = 0\r\nWidth = 510\r\nHeight = 330\r\nX = 100\r\nY = 100\r\n"
    "Preferences Width = 680\r\nPreferences Height = 520\r\n; \r\n"
    "[Interface]\r\nUI Theme = handdrawn\r\nUI Size = 2\r\n; \r\n"
    "[Input]\r\nFormat = psd\r\nPSD Color Model = 0\r\n; \r\n"
    "[Output]\r\nFormat = png\r\nPNG BPP = 0\r\nPNG Compression = 2\r\nPNG Interlaced = 0\r\n; \r\n"
    "[Transform]\r\nDo Image Rotation = 0\r\nImage Rotation Type = 0\r\nImage Rotation = 0\r\n"
    "Image Rotation Back Color = 000000\r\nDo Image Resize = 0\r\nImage Width = 0\r\nImage Width Unit = 0\r\n"
    "Image Height = 0\r\nImage Height Unit = 0\r\nKeep Aspect Ratio = 1\r\nImage Resize Type = 0\r\n"
    "Image Resize Algorithm = 3\r\nDo Image Flip Horizontal = 0\r\nDo Image Flip Vertical = 0\r\n; \r\n"
    "[Adjustment]\r\nDo Image Color Correction = 0\r\nImage Brightness = 0\r\nImage Contrast = 0\r\n"
    "Image Gamma = 1.000000\r\nImage Invert = 0\r\nDo Image Greyscale = 0\r\nDo Image Threshold = 0\r\n"
    "Image Threshold = 0\r\n; \r\n"
    "[Frame]\r\nDo Frame = 0\r\nSolid Left = 0\r\nSolid Right = 0\r\nSolid Top = 0\r\nSolid Bottom = 0\r\n"
    "Solid Left Color = 000000\r\nSolid Right Color = 000000\r\nSolid Top Color = 000000\r\n"
    "Solid Bottom Color = 000000\r\nSolid Opacity = 255\r\n; \r\n"
    "[Watermark]\r\nDo Watermark = 0\r\nText = Converted with Pixolune by Quorvant\r\n"
    "Fonts = Arial,Tahoma,Verdana\r\nFont = Arial\r\nFont Size = 14\r\nFont Leading = 0\r\n"
    "Font Colors = 000000,FFFFFF,FF0000,FF8000,FFFF00,008000,00FFFF,0000FF,8000FF\r\nFont Color = FFFFFF\r\n"
    "Font Style = 0\r\nFont Effect = 0\r\nText Antialiasing = 1\r\nText Alignment = 0\r\nText Padding = 0\r\n"
    "Text Opacity = 255\r\nBack Colors = 000000,FFFFFF,FF0000,FF8000,FFFF00,008000,00FFFF,0000FF,8000FF\r\n"
    "Back Color = 000000\r\nBack Opacity = 1\r\nText Boundary = 0\r\nText Position = 8\r\nText X Offset = 10\r\n"
    "Text Y Offset = 10\r\nText Rotation = 0\r\nText Size = 0\r\nText Scale = 10\r\nImage = \r\n"
    "Image Greyscale = 0\r\nImage Opacity = 255\r\nImage Boundary = 0\r\nImage Position = 8\r\n"
    "Image X Offset = 10\r\nImage Y Offset = 10\r\nImage Rotation = 0\r\nImage Size = 0\r\nImage Scale = 10\r\n"
    "; \r\n"
    "[Advanced]\r\nFilename Mask = %filename%.%ext%\r\nFile Timestamp = 0\r\nCustom Timestamp = 1700000001\r\n"
    "Out Folders History = 1\r\nOut Folders Number = 5\r\nKeep Subfolders = 1\r\n; \r\n"
    "[Export]\r\nExport = 0\r\nBounds = 0\r\nHidden = 0\r\nDepth = 1\r\nManifest = 0\r\n; \r\n"
    "[File]\r\nRecent Out Folders = \r\nRecent Files = \r\n; \r\n"
    "[Privacy]\r\nClean Recent Files = 0\r\n; \r\n";

DesktopSize wideDesktop() { return {1920, 1080}; }

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    createFormatLists();
    path = dir.file("config.ini");
    settings().settings_file_path = path;
    applyDefaultSettings(false);
    settings().update_date = kUpdateDate;
    settings().custom_timestamp = kCustomDate;
  }
  void TearDown() override {
    createFormatLists();
    setDesktopQuery(nullptr);
    settings().settings_file_path.clear();
    applyDefaultSettings(false);
  }
  /// Loads a file holding exactly `bytes`.
  void loadFrom(const std::string& bytes) {
    writeText(path, bytes);
    loadSettings();
  }
  size_t filesInFolder() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir.path()),
                                             std::filesystem::directory_iterator()));
  }

  TempDir dir;
  std::string path;
};

/// A record in which every field differs from its default.
Settings everyFieldChanged(const std::string& path) {
  Settings s;
  s.settings_file_path = path;
  s.cfg_version = 18;  // Always saved as 18.
  s.language = "de"; s.update_range = 4; s.update_date = 123456; s.save_window_position = true;
  s.window_maximized = true; s.window_x = -20; s.window_y = 33; s.window_width = 800; s.window_height = 600;
  s.preferences_width = 900; s.preferences_height = 700;
  s.ui_theme = "Plain Theme"; s.ui_size = 4;
  s.input_format = "raw"; s.dds_load_as = 2; s.gif_frame_loading = 1; s.ico_frame_loading = 3;
  s.tiff_frame_loading = 4; s.psd_color_model = 2; s.raw_load_as = 5; s.raw_header_size = 128;
  s.raw_image_width = 640; s.raw_image_height = 480; s.raw_tone_mapping = 4;
  s.output_format = "tiff"; s.bmp_bpp = 24; s.bmp_compression = 1; s.bmp_color_table = 1; s.dds_bpp = 32;
  s.exr_bpp = 96; s.exr_compression = 3; s.gif_bpp = 8; s.hdr_bpp = 96; s.ico_bpp = 4; s.j2k_bpp = 48;
  s.jng_bpp = 24; s.jp2_bpp = 16; s.jpg_bpp = 8; s.jpg_quality = 75; s.jpg_chroma = 2; s.jpg_save_as = 3;
  s.jxr_bpp = 32; s.pbm_bpp = 1; s.pcx_bpp = 24; s.pfm_bpp = 96; s.pgm_bpp = 16; s.png_bpp = 64;
  s.png_compression = 3; s.png_interlaced = true; s.ppm_bpp = 48; s.psd_bpp = 32; s.tga_bpp = 16;
  s.tga_compression = 1; s.tiff_bpp = 128; s.tiff_compression = 8; s.tiff_color_model = 1; s.wbmp_bpp = 1;
  s.webp_bpp = 24; s.webp_quality = 50; s.xpm_bpp = 8;
  s.do_image_rotation = true; s.image_rotation_type = 1; s.image_rotation = 270;
  s.image_rotation_back_color = "FF00AA"; s.do_image_resize = true; s.image_width = 1024;
  s.image_width_unit = 1; s.image_height = 50; s.image_height_unit = 1; s.keep_aspect_ratio = false;
  s.image_resize_type = 1; s.image_resize_algorithm = 5; s.do_image_flip_horizontal = true;
  s.do_image_flip_vertical = true;
  s.do_image_color_correction = true; s.image_brightness = -40; s.image_contrast = 60; s.image_gamma = 2.25f;
  s.image_invert = true; s.do_image_greyscale = true; s.do_image_threshold = true; s.image_threshold = 200;
  s.do_frame = true; s.solid_left = 1; s.solid_right = 2; s.solid_top = 3; s.solid_bottom = 4;
  s.solid_left_color = "111111"; s.solid_right_color = "222222"; s.solid_top_color = "333333";
  s.solid_bottom_color = "444444"; s.solid_opacity = 128;
  s.do_watermark = 2; s.watermark_text = "\xC2\xA9 %yyyy% by me"; s.watermark_fonts = "Verdana";
  s.watermark_font = "Times New Roman"; s.font_size = 30; s.font_leading = -2; s.font_colors = "ABCDEF";
  s.font_color = "00FF00"; s.font_style = 3; s.font_effect = 2; s.text_antialiasing = false;
  s.text_alignment = 2; s.text_padding = 6; s.text_opacity = 100; s.back_colors = "123456";
  s.back_color = "654321"; s.back_opacity = 77; s.text_boundary = true; s.text_position = 4;
  s.text_x_offset = -5; s.text_y_offset = 25; s.text_rotation = 45; s.text_size = 1; s.text_scale = 150;
  s.watermark_image = "/home/u/logo.png"; s.wm_image_greyscale = true; s.wm_image_opacity = 90;
  s.wm_image_boundary = true; s.wm_image_position = 0; s.wm_image_x_offset = 7; s.wm_image_y_offset = 8;
  s.wm_image_rotation = 90; s.wm_image_size = 2; s.wm_image_scale = 200;
  s.filename_mask = "%n%_%filename%.%ext%"; s.file_timestamp = 2; s.custom_timestamp = 99;
  s.out_folders_history = false; s.out_folders_number = 200; s.keep_subfolders = false;
  s.recent_out_folders = "/a\t/b c"; s.recent_files = "x;y"; s.clean_recent_files = true;
  return s;
}

TEST_F(SettingsFileTest, SaveOfDefaultsWritesExactlyTheseBytes) {
  ASSERT_TRUE(saveSettings());
  EXPECT_EQ(kDefaultFile, readText(path));
}

TEST_F(SettingsFileTest, LoadAfterSaveRestoresEveryField) {
  inputFormatList() = {"dds", "gif", "ico", "psd", "raw", "tiff"};
  outputFormatList() = {"bmp", "dds", "exr", "gif", "hdr", "ico", "j2k", "jng", "jp2", "jpg", "jxr", "pbm", "pcx",
                        "pfm", "pgm", "png", "ppm", "psd", "tga", "tiff", "wbmp", "webp", "xpm"};
  const Settings changed = everyFieldChanged(path);
  settings() = changed;
  ASSERT_TRUE(saveSettings());
  applyDefaultSettings(false);
  loadSettings();
  EXPECT_TRUE(changed == settings());
  EXPECT_NE(std::string::npos, readText(path).find("Out Folders Number = -56\r\n"));  // Signed byte.
  EXPECT_EQ(2.25f, settings().image_gamma);
  EXPECT_EQ(200, settings().out_folders_number);
}

TEST_F(SettingsFileTest, PerFormatKeysFollowTheOrderOfTheLists) {
  inputFormatList() = {"tiff", "raw", "xyz", "PSD", "dds"};
  outputFormatList() = {"webp", "bmp"};
  ASSERT_TRUE(saveSettings());
  std::string text = readText(path);
  EXPECT_NE(std::string::npos,
            text.find("[Input]\r\nFormat = psd\r\nTIFF Frame Loading = 0\r\nRAW Load As = 0\r\nRAW Header Size = 0\r\n"
                      "RAW Image Width = 0\r\nRAW Image Height = 0\r\nRAW Tone Mapping = 2\r\nDDS Load As = 0\r\n; \r\n"));
  EXPECT_NE(std::string::npos,
            text.find("[Output]\r\nFormat = png\r\nWEBP BPP = 0\r\nWEBP Quality = 100\r\nBMP BPP = 0\r\n"
                      "BMP Compression = 0\r\nBMP Color Table = 0\r\n; \r\n"));
}

TEST_F(SettingsFileTest, WindowGroupWithoutPositionIsJustItsHeaderAndComment) {
  settings().save_window_position = false;
  settings().window_x = 300;
  settings().window_width = 900;
  settings().preferences_width = 1000;
  ASSERT_TRUE(saveSettings());
  EXPECT_NE(std::string::npos, readText(path).find("Save Window Position = 0\r\n; \r\n[Window]\r\n; \r\n[Interface]"));
  setDesktopQuery(&wideDesktop);
  loadSettings();
  EXPECT_EQ(100, settings().window_x);
  EXPECT_EQ(100, settings().window_y);
  EXPECT_EQ(510, settings().window_width);
  EXPECT_EQ(kPreferencesDefaultWidth, settings().preferences_width);
  EXPECT_FALSE(settings().save_window_position);
}

TEST_F(SettingsFileTest, SaveAlwaysWritesLayoutVersion18) {
  settings().cfg_version = 5;
  ASSERT_TRUE(saveSettings());
  EXPECT_EQ(5, settings().cfg_version);
  EXPECT_NE(std::string::npos, readText(path).find("[General]\r\nCFG = 18\r\n"));
}

TEST_F(SettingsFileTest, MissingFileGivesWindowModeDefaults) {
  settings().image_width = 77;
  settings().keep_aspect_ratio = false;
  setDesktopQuery(&wideDesktop);
  loadSettings();
  EXPECT_EQ(path, settings().settings_file_path);
  EXPECT_EQ(0, settings().image_width);
  EXPECT_TRUE(settings().keep_aspect_ratio);
  EXPECT_EQ(18, settings().cfg_version);
  EXPECT_EQ((1920 - 510) / 2, settings().window_x);  // Centred, unlike a missing key.
}

TEST_F(SettingsFileTest, MissingKeysTakeLoaderDefaults) {
  inputFormatList() = {"gif", "psd"};
  setDesktopQuery(&wideDesktop);
  settings().filename_mask = "custom";
  int32_t before = currentDate();
  loadFrom("\xEF\xBB\xBF\r\n[General]\r\nCFG = 18\r\n");
  EXPECT_EQ(100, settings().window_x);
  EXPECT_EQ(100, settings().window_y);
  EXPECT_EQ("gif", settings().input_format);
  EXPECT_EQ("png", settings().output_format);
  EXPECT_EQ("%filename%.%ext%", settings().filename_mask);
  EXPECT_TRUE(settings().keep_aspect_ratio);
  EXPECT_EQ(2, settings().raw_tone_mapping);
  EXPECT_EQ(2, settings().png_compression);
  EXPECT_FLOAT_EQ(1.0f, settings().image_gamma);
  EXPECT_GE(settings().update_date, before);
  EXPECT_GE(settings().custom_timestamp, before);
}

TEST_F(SettingsFileTest, FileWithoutMarkIsLatin1AndMatchingIgnoresCase) {
  loadFrom("[WATERMARK]\r\ntext = caf\xE9\r\n[window]\nwidth=640\r\nHEIGHT\t=\t480\n[General]\r\nCFG = 18\r\n");
  EXPECT_EQ("caf\xC3\xA9", settings().watermark_text);
  EXPECT_EQ(640, settings().window_width);
  EXPECT_EQ(480, settings().window_height);
}

TEST_F(SettingsFileTest, ValuesAreTakenAsTheyReadWithoutRangeChecks) {
  loadFrom("[General]\r\nCFG = 18\r\nSave Window Position = 256\r\n[Transform]\r\nImage Width = abc\r\n"
           "Image Resize Algorithm = 259\r\n[Adjustment]\r\nImage Gamma = +Infinity\r\n"
           "[Advanced]\r\nOut Folders Number = 300\r\n[Frame]\r\nSolid Left Color =  zz  \r\n");
  EXPECT_FALSE(settings().save_window_position);  // Low 8 bits of 256.
  EXPECT_EQ(0, settings().image_width);
  EXPECT_EQ(3, settings().image_resize_algorithm);
  EXPECT_TRUE(std::isinf(settings().image_gamma));
  EXPECT_EQ(44, settings().out_folders_number);
  EXPECT_EQ("zz", settings().solid_left_color);
}

TEST_F(SettingsFileTest, OlderLayoutsAreMigrated) {
  loadFrom("[General]\r\nCFG = 10\r\n[Advanced]\r\nFilename Mask = %filename%\r\n[Input]\r\nRAW Load As = 1\r\n");
  EXPECT_EQ("%filename%.%ext%", settings().filename_mask);
  EXPECT_EQ(3, settings().raw_load_as);
  EXPECT_EQ(10, settings().cfg_version);

  loadFrom("[General]\r\nCFG = 13\r\n[Advanced]\r\nFilename Mask = %filename%\r\n[Input]\r\nRAW Load As = 1\r\n");
  EXPECT_EQ("%filename%", settings().filename_mask);
  EXPECT_EQ(3, settings().raw_load_as);

  loadFrom("[General]\r\nCFG = 18\r\n[Advanced]\r\nFilename Mask = %filename%\r\n[Input]\r\nRAW Load As = 1\r\n");
  EXPECT_EQ("%filename%", settings().filename_mask);
  EXPECT_EQ(1, settings().raw_load_as);

  loadFrom("[Advanced]\r\nFilename Mask = img\r\n[Input]\r\nRAW Load As = 2\r\n");  // No "CFG": version 0.
  EXPECT_EQ(0, settings().cfg_version);
  EXPECT_EQ("img.%ext%", settings().filename_mask);
  EXPECT_EQ(4, settings().raw_load_as);

  loadFrom("[General]\r\nCFG = 12\r\n[Input]\r\nRAW Load As = 0\r\n");
  EXPECT_EQ(0, settings().raw_load_as);
}

TEST_F(SettingsFileTest, MaskWithCapitalExtensionTokenIsNotExtendedTwice) {
  // The mask is expanded without regard to case, so "%EXT%" already names
  // the extension.
  loadFrom("[General]\r\nCFG = 10\r\n[Advanced]\r\nFilename Mask = %filename%.%EXT%\r\n");
  EXPECT_EQ("%filename%.%EXT%", settings().filename_mask);
}

TEST_F(SettingsFileTest, MissingFolderMakesSaveFailWithoutWriting) {
  settings().settings_file_path = dir.file("gone/config.ini");
  EXPECT_FALSE(saveSettings());
  EXPECT_EQ(0u, filesInFolder());
}

TEST_F(SettingsFileTest, WriteErrorLeavesOldFileAndMemoryUntouched) {
  writeText(path, kDefaultFile);
  settings().watermark_text = std::string(4000, 'x');
  const Settings before = settings();
  // Any write past 100 bytes fails, as on a full disk.
  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous);
  struct rlimit limit {};
  getrlimit(RLIMIT_FSIZE, &limit);
  struct rlimit small = limit;
  small.rlim_cur = 100;
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
  bool saved = saveSettings();
  setrlimit(RLIMIT_FSIZE, &limit);
  sigaction(SIGXFSZ, &previous, nullptr);

  EXPECT_FALSE(saved);
  EXPECT_EQ(kDefaultFile, readText(path));
  EXPECT_EQ(1u, filesInFolder());  // No temporary file left behind.
  EXPECT_TRUE(before == settings());
}

TEST_F(SettingsFileTest, ReadOnlyFolderLeavesOldFileUntouched) {
  writeText(path, "old");
  // A folder that refuses new files, as a read-only one does, for every user.
  testing::FailingFileSystem read_only(testing::FailingFileSystem::Step::kCreate);
  EXPECT_FALSE(saveSettings(read_only));
  EXPECT_EQ("old", readText(path));
}

TEST_F(SettingsFileTest, AFailedRenameLeavesOldFileAndNoTemporary) {
  writeText(path, "old");
  testing::FailingFileSystem failing(testing::FailingFileSystem::Step::kRename);
  EXPECT_FALSE(saveSettings(failing));
  EXPECT_EQ("old", readText(path));
  EXPECT_EQ(1u, failing.created().size());
  EXPECT_EQ(1u, filesInFolder());
}

TEST_F(SettingsFileTest, SuccessfulSaveReplacesTheOldFile) {
  writeText(path, "[General]\r\nUnknown = 1\r\n; hand-written\r\n");
  ASSERT_TRUE(saveSettings());
  EXPECT_EQ(kDefaultFile, readText(path));
  EXPECT_EQ(1u, filesInFolder());
}

}  // namespace
}  // namespace pixolune
