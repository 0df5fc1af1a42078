#include "resources/themes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "platform/files.h"
#include "resources/builtin_pictures.h"
#include "resources/test_pictures.h"
#include "resources/zip_archive.h"
#include "resources/zip_archive_test_util.h"
#include "settings/settings.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::solidPng;
using testing::ZipContents;

/// Lines joined with CR LF, as a theme.cfg holds them.
std::string crlf(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\r\n";
  return text;
}

/// "WxH rrggbb" of the picture's first pixel, "none" without a picture.
std::string describe(const Picture* picture) {
  if (!picture || !picture->valid()) return "none";
  char text[48];
  std::snprintf(text, sizeof(text), "%dx%d %02x%02x%02x", picture->width, picture->height, picture->rgba[0],
                picture->rgba[1], picture->rgba[2]);
  return text;
}

std::string menu(const char* name) { return describe(findImage(menuIcons(), name)); }
std::string toolbar(const char* name) { return describe(findImage(toolbarIcons(), name)); }
std::string button(const char* name) { return describe(findImage(buttonImages(), name)); }

TEST(IconSize, FollowsTheSizeCodes) {
  const int expected[] = {16, 24, 32, 48, 64};
  for (int code = 0; code < 5; ++code) EXPECT_EQ(expected[code], iconSize(code));
  for (int code : {-1, 5, 1000}) EXPECT_EQ(16, iconSize(code));
}

TEST(ThemeConfigValue, FindsKeysIgnoringCaseAndTrimsValues) {
  std::string cfg = crlf({"[Theme]", "Name = Chalk  ", "[ICONS]", "new=\tnew.png\t", "Add=add"});
  EXPECT_EQ("Chalk", themeConfigValue(cfg, "theme", "name"));
  EXPECT_EQ("new.png", themeConfigValue(cfg, "Icons", "New"));
  EXPECT_EQ("add", themeConfigValue(cfg, "Icons", "ADD"));
  // Spaces go before tabs, so spaces inside tabs stay.
  EXPECT_EQ(" x", themeConfigValue(crlf({"[G]", "K=\t x\t"}), "G", "K"));
  // The last line needs no line end.
  EXPECT_EQ("end", themeConfigValue("[G]\r\nK=end", "G", "K"));
}

TEST(ThemeConfigValue, PlainTextSearchQuirks) {
  // Keys match as line prefixes: the first line beginning with the key wins.
  EXPECT_EQ("many", themeConfigValue(crlf({"[Theme]", "Names=many", "Name=one"}), "Theme", "Name"));
  // The value ends at the next "=".
  EXPECT_EQ("a", themeConfigValue(crlf({"[G]", "K=a=b"}), "G", "K"));
  // LF-only files yield nothing: every key needs CR LF before it.
  EXPECT_EQ("", themeConfigValue("[Theme]\nName=Chalk\n", "Theme", "Name"));
  // A key of a later group, or after a "[" that ends the group, is not found.
  std::string cfg = crlf({"[Icons]", "New=new", "[Buttons]", "Add=add"});
  EXPECT_EQ("", themeConfigValue(cfg, "Icons", "Add"));
  EXPECT_EQ("", themeConfigValue(crlf({"[G]", "A=[x]", "B=b"}), "G", "B"));
  EXPECT_EQ("[x]", themeConfigValue(crlf({"[G]", "A=[x]", "B=b"}), "G", "A"));
  // Missing group, missing key, a line without "=".
  EXPECT_EQ("", themeConfigValue(cfg, "Theme", "New"));
  EXPECT_EQ("", themeConfigValue(cfg, "Icons", "Copy"));
  EXPECT_EQ("", themeConfigValue(crlf({"[G]", "K"}), "G", "K"));
}

/// A temporary gfx/ folder, the built-in pictures loaded and default settings.
class ThemeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    applyDefaultSettings(false);
    gfx_ = dir_.path() + "/gfx/";
    ASSERT_TRUE(makeFolders(gfx_));
    setThemeFolder(gfx_);
    loadBuiltinImages();
    scanThemes();
  }
  void TearDown() override {
    setThemeFolder("");
    themeList() = ThemeList();
    loadBuiltinImages();
    applyDefaultSettings(false);
  }
  void addTheme(const std::string& name, const std::string& cfg, ZipContents pictures) {
    pictures.insert(pictures.begin(), {"theme.cfg", cfg});
    ASSERT_TRUE(testing::writeZip(gfx_ + name + ".zip", pictures));
  }
  void useTheme(const std::string& name) {
    settings().ui_theme = name;
    applyTheme(true, true, true);
  }

  testing::TempDir dir_;
  std::string gfx_;
};

TEST_F(ThemeTest, ScanListsArchivesWithTheirDisplayNames) {
  addTheme("x", crlf({"[Theme]", "Name=Extra Wide"}), {});
  addTheme("noname", crlf({"[Theme]", "Author=me"}), {});
  ASSERT_TRUE(testing::writeZip(gfx_ + "noconfig.zip", {{"new_16.png", solidPng(16, 16, 1, 1, 1)}}));
  // Only the first 255 bytes of theme.cfg count.
  addTheme("late", std::string(300, ';') + crlf({"", "[Theme]", "Name=Too late"}), {});
  testing::writeText(gfx_ + "broken.zip", "PK\x03\x04 this is no archive");
  testing::writeText(gfx_ + "empty.zip", "");
  testing::writeText(gfx_ + "notes.txt", "not a theme");
  ASSERT_TRUE(makeFolders(gfx_ + "folder.zip"));
  scanThemes();
  // Archives that are no theme are left out; a theme without a usable
  // display name is listed under its file name, never as a blank.
  std::map<std::string, std::string> expected = {{"late", "late"}, {"noname", "noname"}, {"x", "Extra Wide"}};
  EXPECT_EQ(expected, themeList().display_names);
  EXPECT_EQ("x", themeList().current);
  EXPECT_EQ("absent", themeDisplayName("absent"));
  EXPECT_EQ("broken", themeDisplayName("broken"));
  EXPECT_EQ("noconfig", themeDisplayName("noconfig"));
  addTheme("blank", crlf({"[Theme]", "Name=  "}), {});
  addTheme("zz", crlf({"[Theme]", "Name=A"}), {});
  testing::writeText(gfx_ + "zzz.zip", "PK\x05\x06 cut short");
  scanThemes();
  EXPECT_EQ("blank", themeList().display_names["blank"]);
  EXPECT_EQ(0u, themeList().display_names.count("zzz"));
  EXPECT_EQ("zz", themeList().current);  // A damaged last archive is not the fallback.

  setThemeFolder(dir_.file("no-such-folder"));
  scanThemes();
  EXPECT_TRUE(themeList().display_names.empty());
  EXPECT_EQ("", themeList().current);
}

TEST_F(ThemeTest, MissingThemeFallsBackToTheInstalledOne) {
  addTheme("x", crlf({"[Icons]", "New=new"}), {{"new_16.png", solidPng(16, 16, 255, 0, 0)}});
  scanThemes();
  useTheme("gone");
  EXPECT_EQ("x", settings().ui_theme);
  EXPECT_EQ("16x16 ff0000", menu("New"));
}

TEST_F(ThemeTest, NoThemeInstalledKeepsBuiltinsAndTheSetting) {
  ImageSet menu_before = menuIcons();
  ImageSet buttons_before = buttonImages();
  useTheme("gone");
  EXPECT_EQ("gone", settings().ui_theme);
  for (size_t i = 0; i < menu_before.size(); ++i) {
    EXPECT_EQ(menu_before[i].picture.rgba, menuIcons()[i].picture.rgba) << menu_before[i].name;
  }
  for (size_t i = 0; i < buttons_before.size(); ++i) {
    EXPECT_EQ(buttons_before[i].picture.rgba, buttonImages()[i].picture.rgba) << buttons_before[i].name;
  }
}

TEST_F(ThemeTest, EntryNamesBySetAndSize) {
  addTheme("t", crlf({"[Buttons]", "Convert=go", "InFiles=files.PNG", "[Icons]", "New=new.png", "Add=add"}),
           {{"new.png", solidPng(20, 20, 255, 0, 0)},
            {"add_16.png", solidPng(16, 16, 0, 255, 0)},
            {"add_48.png", solidPng(48, 48, 0, 0, 255)},
            {"go_16.png", solidPng(16, 16, 1, 2, 3)},
            {"go_48.png", solidPng(48, 48, 4, 5, 6)},
            {"files.PNG", solidPng(40, 40, 7, 8, 9)}});
  settings().ui_size = 3;
  useTheme("t");
  EXPECT_EQ("20x20 ff0000", menu("New"));     // Used as written at every size.
  EXPECT_EQ("20x20 ff0000", toolbar("New"));
  EXPECT_EQ("16x16 00ff00", menu("Add"));     // add_16.png
  EXPECT_EQ("48x48 0000ff", toolbar("Add"));  // add_48.png at "Extra Large".
  EXPECT_EQ("16x16 010203", button("Convert"));  // Buttons always use 16.
  EXPECT_EQ("40x40 070809", button("InFiles"));  // ".png" found ignoring case.
}

TEST_F(ThemeTest, LfOnlyConfigChangesNothing) {
  std::string before = menu("New");
  addTheme("lf", "[Icons]\nNew=new.png\n", {{"new.png", solidPng(16, 16, 255, 0, 0)}});
  useTheme("lf");
  EXPECT_EQ(before, menu("New"));
  EXPECT_EQ("lf", settings().ui_theme);
}

TEST_F(ThemeTest, SizeChangeReloadsOnlyTheToolbar) {
  addTheme("t", crlf({"[Buttons]", "Convert=c.png", "[Icons]", "Add=add"}),
           {{"c.png", solidPng(64, 64, 10, 10, 10)},
            {"add_16.png", solidPng(16, 16, 0, 255, 0)},
            {"add_32.png", solidPng(32, 32, 0, 255, 0)}});
  useTheme("t");
  EXPECT_EQ("32x32 00ff00", toolbar("Add"));
  // The archive changes under a running program; only the toolbar reloads.
  addTheme("t", crlf({"[Buttons]", "Convert=c.png", "[Icons]", "Add=add"}),
           {{"c.png", solidPng(48, 48, 20, 20, 20)},
            {"add_16.png", solidPng(16, 16, 255, 255, 0)},
            {"add_64.png", solidPng(64, 64, 255, 255, 0)}});
  settings().ui_size = 4;
  applyTheme(false, false, true);
  EXPECT_EQ("64x64 ffff00", toolbar("Add"));
  EXPECT_EQ("16x16 00ff00", menu("Add"));
  EXPECT_EQ("64x64 0a0a0a", button("Convert"));
}

TEST_F(ThemeTest, PictureNotSuppliedKeepsItsEarlierPicture) {
  std::string builtin_copy = menu("Copy");
  addTheme("a", crlf({"[Icons]", "New=new", "Add=add"}),
           {{"new_16.png", solidPng(16, 16, 255, 0, 0)}, {"add_16.png", solidPng(16, 16, 0, 255, 0)}});
  addTheme("b", crlf({"[Icons]", "Add=add", "New=missing", "Copy=zero"}),
           {{"add_16.png", solidPng(16, 16, 0, 0, 255)}, {"zero_16.png", ""}});
  useTheme("a");
  useTheme("b");
  EXPECT_EQ("16x16 ff0000", menu("New"));   // From theme a.
  EXPECT_EQ("16x16 0000ff", menu("Add"));   // From theme b.
  EXPECT_EQ(builtin_copy, menu("Copy"));    // Empty entries do not count.
}

TEST_F(ThemeTest, DamagedArchivesAndPicturesChangeNothing) {
  std::string cfg = crlf({"[Icons]", "New=new.png", "Add=add.png"});
  std::string good_png = solidPng(16, 16, 255, 0, 0);
  addTheme("whole", cfg, {{"new.png", good_png}, {"add.png", good_png.substr(0, 40)}});
  std::string zip;
  ASSERT_TRUE(readWholeFile(gfx_ + "whole.zip", &zip));
  testing::writeText(gfx_ + "cut.zip", zip.substr(0, zip.size() / 2));
  std::string flipped = zip;
  for (size_t i = 60; i < 120 && i < flipped.size(); ++i) flipped[i] = static_cast<char>(~flipped[i]);
  testing::writeText(gfx_ + "flipped.zip", flipped);
  testing::writeText(gfx_ + "noise.zip", std::string(4096, '\x5a'));
  testing::writeText(gfx_ + "empty.zip", "");
  std::string before_new = menu("New");
  std::string before_add = menu("Add");
  for (const char* name : {"cut", "flipped", "noise", "empty"}) {
    scanThemes();
    useTheme(name);
    EXPECT_EQ(name, settings().ui_theme);
    EXPECT_EQ(before_new, menu("New")) << name;
    EXPECT_EQ(before_add, menu("Add")) << name;
  }
  // A truncated picture keeps the earlier one; its sound neighbour loads.
  useTheme("whole");
  EXPECT_EQ("16x16 ff0000", menu("New"));
  EXPECT_EQ(before_add, menu("Add"));
}

TEST(IsThemeName, PlainFileNamesOnly) {
  for (const char* name : {"handdrawn", "my theme", "a.b", "x-1_2", "theme."}) EXPECT_TRUE(isThemeName(name)) << name;
  for (const char* name : {"", "../x", "a/b", "/abs", "..", ".hidden", "a..b", "a\\b", "x/"}) {
    EXPECT_FALSE(isThemeName(name)) << name;
  }
  EXPECT_FALSE(isThemeName(std::string("x\0/../y", 7)));
}

TEST_F(ThemeTest, NamesThatAreNoThemeFallBackToTheInstalledOne) {
  const std::string cfg = crlf({"[Icons]", "New=new.png"});
  addTheme("x", cfg, {{"new.png", solidPng(16, 16, 255, 0, 0)}});
  // Archives a crafted name would reach: beside gfx/, below it, hidden in it.
  ZipContents green = {{"theme.cfg", cfg}, {"new.png", solidPng(16, 16, 0, 255, 0)}};
  ASSERT_TRUE(testing::writeZip(dir_.path() + "/outside.zip", green));
  ASSERT_TRUE(makeFolders(gfx_ + "a"));
  ASSERT_TRUE(testing::writeZip(gfx_ + "a/b.zip", green));
  ASSERT_TRUE(testing::writeZip(gfx_ + ".hidden.zip", green));
  scanThemes();
  EXPECT_EQ((std::map<std::string, std::string>{{"x", "x"}}), themeList().display_names);
  for (const std::string& name : {std::string("../outside"), std::string("a/b"), std::string(".hidden"),
                                  std::string("x\0../outside", 12)}) {
    loadBuiltinImages();
    useTheme(name);
    EXPECT_EQ("x", settings().ui_theme);
    EXPECT_EQ("16x16 ff0000", menu("New")) << name;
  }
}

TEST_F(ThemeTest, NamesThatAreNoThemeWithNoneInstalledChangeNothing) {
  std::string before = menu("New");
  ASSERT_TRUE(testing::writeZip(dir_.path() + "/outside.zip",
                                {{"theme.cfg", crlf({"[Icons]", "New=new.png"})},
                                 {"new.png", solidPng(16, 16, 0, 255, 0)}}));
  useTheme("../outside");
  EXPECT_EQ("../outside", settings().ui_theme);
  EXPECT_EQ(before, menu("New"));
  EXPECT_EQ("../outside", themeDisplayName("../outside"));  // Never opened.
}

TEST_F(ThemeTest, OverlargePicturesKeepTheEarlierOnes) {
  // A few KiB of PNG each, declaring canvases far beyond any icon.
  std::string before_new = menu("New");
  std::string before_add = menu("Add");
  addTheme("big", crlf({"[Icons]", "New=new.png", "Add=add.png", "Copy=copy.png"}),
           {{"new.png", solidPng(513, 16, 255, 0, 0)},
            {"add.png", solidPng(16, 2000, 255, 0, 0)},
            {"copy.png", solidPng(512, 512, 0, 0, 255)}});
  useTheme("big");
  EXPECT_EQ(before_new, menu("New"));
  EXPECT_EQ(before_add, menu("Add"));
  EXPECT_EQ("512x512 0000ff", menu("Copy"));  // The largest side allowed.
}

TEST_F(ThemeTest, ABombThemeIsRefusedAsDamaged) {
  // A sound theme.cfg and sound pictures beside one picture of 64 MiB of
  // zeros (about 64 KiB in the archive).
  const std::vector<std::pair<std::string, std::string>> sound = {
      {"theme.cfg", crlf({"[Theme]", "Name=Bomb", "[Icons]", "New=new.png", "Add=add.png"})},
      {"add.png", solidPng(16, 16, 0, 255, 0)}};
  std::string before_new = menu("New");
  std::string before_add = menu("Add");
  ASSERT_TRUE(testing::writeZeroZip(gfx_ + "bomb.zip", {{"new.png", int64_t{64} << 20}}, sound));
  scanThemes();
  EXPECT_EQ(0u, themeList().display_names.count("bomb"));  // Left out, as damaged archives are.
  useTheme("bomb");
  EXPECT_EQ("bomb", settings().ui_theme);
  EXPECT_EQ(before_new, menu("New"));
  EXPECT_EQ(before_add, menu("Add"));
  // A header that understates the size does not help it through.
  ASSERT_TRUE(testing::understateSizes(gfx_ + "bomb.zip", 2000, "new.png"));
  scanThemes();
  EXPECT_EQ("Bomb", themeList().display_names["bomb"]);
  useTheme("bomb");
  EXPECT_EQ(before_new, menu("New"));
  EXPECT_EQ(before_add, menu("Add"));
}

/// Mean absolute difference of two pictures' samples; 255 when sizes differ.
double meanDifference(const Picture& a, const Picture& b) {
  if (a.width != b.width || a.height != b.height || a.rgba.empty()) return 255.0;
  double sum = 0;
  for (size_t i = 0; i < a.rgba.size(); ++i) sum += std::abs(a.rgba[i] - b.rgba[i]);
  return sum / static_cast<double>(a.rgba.size());
}

class HanddrawnTheme : public ::testing::Test {
 protected:
  void TearDown() override {
    setThemeFolder("");
    themeList() = ThemeList();
    loadBuiltinImages();
    applyDefaultSettings(false);
  }
  const std::string gfx_ = folderOf(PIXOLUNE_BINARY) + "gfx/";
};

TEST_F(HanddrawnTheme, ArchiveBesideTheProgramHoldsEveryPictureAtItsSize) {
  std::string path = gfx_ + "handdrawn.zip";
  std::vector<ZipEntry> entries;
  ASSERT_TRUE(listZipEntries(path, &entries)) << path << " is missing: build the pixolune target";
  EXPECT_EQ(1u + 3 + 22 * 5, entries.size());
  std::vector<std::string> names;
  for (const ZipEntry& entry : entries) names.push_back(entry.name);
  std::map<std::string, std::string> files;
  ASSERT_TRUE(extractZipEntries(path, names, &files));
  const std::string cfg = files["theme.cfg"];
  for (size_t lf = cfg.find('\n'); lf != std::string::npos; lf = cfg.find('\n', lf + 1)) {
    ASSERT_TRUE(lf > 0 && cfg[lf - 1] == '\r') << "line end without CR at byte " << lf;
  }
  EXPECT_EQ("Hand-drawn", themeConfigValue(cfg, "Theme", "Name"));
  const std::pair<const char*, int> buttons[] = {{"Convert", 64}, {"InFiles", 48}, {"InFolder", 48}};
  for (const auto& [name, size] : buttons) {
    Picture picture;
    ASSERT_TRUE(decodePng(files[themeConfigValue(cfg, "Buttons", name)], &picture)) << name;
    EXPECT_EQ(size, picture.width) << name;
    EXPECT_EQ(size, picture.height) << name;
  }
  loadBuiltinImages();
  for (const NamedImage& icon : menuIcons()) {
    std::string stem = themeConfigValue(cfg, "Icons", icon.name);
    ASSERT_FALSE(stem.empty()) << icon.name;
    for (int size : {16, 24, 32, 48, 64}) {
      Picture picture;
      std::string entry = stem + "_" + std::to_string(size) + ".png";
      ASSERT_TRUE(decodePng(files[entry], &picture)) << entry;
      EXPECT_EQ(size, picture.width) << entry;
      EXPECT_EQ(size, picture.height) << entry;
      // A look of its own, not the built-in picture again.
      if (size == 16) {
        EXPECT_GT(meanDifference(picture, icon.picture), 12.0) << entry;
      }
    }
  }
}

TEST_F(HanddrawnTheme, AppliesAtEveryIconSize) {
  setThemeFolder(gfx_);
  scanThemes();
  EXPECT_EQ("Hand-drawn", themeList().display_names["handdrawn"]);
  loadBuiltinImages();
  const Picture builtin_convert = buttonImages()[0].picture;
  for (int ui_size = 0; ui_size <= 4; ++ui_size) {
    settings().ui_size = ui_size;
    settings().ui_theme = "handdrawn";
    loadBuiltinImages();
    applyTheme(true, true, true);
    for (const NamedImage& icon : toolbarIcons()) {
      EXPECT_EQ(iconSize(ui_size), icon.picture.width) << icon.name;
      EXPECT_EQ(iconSize(ui_size), icon.picture.height) << icon.name;
    }
    for (const NamedImage& icon : menuIcons()) EXPECT_EQ(16, icon.picture.width) << icon.name;
  }
  EXPECT_EQ(64, buttonImages()[0].picture.width);
  EXPECT_EQ(48, buttonImages()[2].picture.height);
  EXPECT_GT(meanDifference(buttonImages()[0].picture, builtin_convert), 12.0);
}

TEST(BuiltinPictures, EverySetAndImageHasItsSize) {
  loadBuiltinImages();
  const int button_sizes[] = {64, 48, 48};
  ASSERT_EQ(3u, buttonImages().size());
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(std::to_string(button_sizes[i]) + "x" + std::to_string(button_sizes[i]),
              describe(&buttonImages()[i].picture).substr(0, 5))
        << buttonImages()[i].name;
  }
  ASSERT_EQ(22u, menuIcons().size());
  EXPECT_EQ("New", menuIcons().front().name);
  EXPECT_EQ("About", menuIcons().back().name);
  for (size_t i = 0; i < menuIcons().size(); ++i) {
    const Picture& icon = menuIcons()[i].picture;
    EXPECT_EQ(16, icon.width) << menuIcons()[i].name;
    EXPECT_EQ(16, icon.height) << menuIcons()[i].name;
    EXPECT_EQ(icon.rgba, toolbarIcons()[i].picture.rgba);
    for (size_t j = 0; j < i; ++j) EXPECT_NE(icon.rgba, menuIcons()[j].picture.rgba) << menuIcons()[i].name;
  }
  const Picture& banner = numberedImage(0);
  EXPECT_EQ(360, banner.width);
  EXPECT_EQ(40, banner.height);
  bool opaque = true;
  for (size_t a = 3; a < banner.rgba.size(); a += 4) opaque = opaque && banner.rgba[a] == 255;
  EXPECT_TRUE(opaque);
  const Picture& logo = numberedImage(1);
  EXPECT_EQ(270, logo.width);
  EXPECT_EQ(75, logo.height);
  EXPECT_EQ(0, logo.rgba[3]);  // Transparent corner.
  EXPECT_FALSE(numberedImage(2).valid());
}

}  // namespace
}  // namespace pixolune
