// The preferences dialog: linked number boxes and their ranges, what OK
// stores (clean texts, derived colour correction, bit depths, the reload
// decision for the main window), what OK refuses (numbers out of range or
// not numbers, a mask without %ext% unless confirmed), Defaults, Cancel, the
// enabling rules, the page it opens on, the wheel over unfocused controls,
// every control in reach at the default size, and a round trip of every
// field through the settings file.
#include <wx/bmpcbox.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/datectrl.h>
#include <wx/display.h>
#include <wx/slider.h>
#include <wx/textctrl.h>
#include <wx/timectrl.h>
#include <wx/scrolwin.h>
#include <wx/weakref.h>

#include <dlfcn.h>

#include "resources/test_pictures.h"
#include "settings/settings_file.h"
#include "ui/preferences_dialog.h"
#include "ui/window_ids.h"
#include "ui/window_wiring.h"
#include "window_fixture.h"

namespace pixolune::testing {
namespace {

class PreferencesTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    settings().settings_file_path = dir_.file("config.ini");
    preferences_start_page = 0;
    pending_window_refresh = 0;
  }
  void TearDown() override {
    if (dialog_) dialog_->cancel();
    pumpEvents(10);
    setThemeFolder("");
    themeList() = ThemeList();
    loadBuiltinImages();
    WindowTest::TearDown();
  }

  PreferencesWindow& open() {
    dialog_ = openPreferencesDialog(mainWindow());
    return *dialog_;
  }

  template <class T>
  T* find(const std::string& name) {
    auto* control = dynamic_cast<T*>(wxWindow::FindWindowByName(toWx(name), dialog_.get()));
    EXPECT_NE(nullptr, control) << name;
    return control;
  }

  /// Picks a choice item as the user does: the selection, then its event.
  void pick(const std::string& name, int item) {
    wxChoice* choice = find<wxChoice>(name);
    choice->SetSelection(item);
    wxCommandEvent event(wxEVT_CHOICE, choice->GetId());
    event.SetEventObject(choice);
    event.SetInt(item);
    choice->GetEventHandler()->ProcessEvent(event);
  }

  void tick(const std::string& name, bool on) {
    wxCheckBox* check = find<wxCheckBox>(name);
    check->SetValue(on);
    wxCommandEvent event(wxEVT_CHECKBOX, check->GetId());
    event.SetEventObject(check);
    event.SetInt(on);
    check->GetEventHandler()->ProcessEvent(event);
  }

  /// Types `text` into a number box; returns (box text, slider value).
  std::pair<std::string, int> type(const std::string& name, const std::string& text) {
    find<wxTextCtrl>(name + ".number")->SetValue(toWx(text));
    return {fromWx(find<wxTextCtrl>(name + ".number")->GetValue()), find<wxSlider>(name)->GetValue()};
  }

  void addTheme(const std::string& file, const std::string& display, uint8_t red) {
    const std::string cfg = "\r\n[Theme]\r\nName=" + display + "\r\n[Buttons]\r\nConvert=convert.png\r\n";
    ASSERT_TRUE(makeFolders(dir_.file("gfx")));
    ASSERT_TRUE(writeZip(dir_.file("gfx/" + file + ".zip"),
                         {{"theme.cfg", cfg}, {"convert.png", solidPng(16, 16, red, 0, 0)}}));
  }

  wxWeakRef<PreferencesWindow> dialog_;
};

TEST_F(PreferencesTest, NumberBoxesMoveTheirBarsWithinTheirRanges) {
  open();
  // The bar goes as far as its range; the text stays as typed for OK to check.
  EXPECT_EQ(std::make_pair(std::string("0"), 1), type("jpg_quality", "0"));
  EXPECT_EQ(std::make_pair(std::string("150"), 100), type("jpg_quality", "150"));
  EXPECT_EQ(std::make_pair(std::string("57"), 57), type("jpg_quality", "57"));
  EXPECT_EQ(std::make_pair(std::string("-250"), -100), type("image_brightness", "-250"));
  EXPECT_EQ(std::make_pair(std::string("-100"), -100), type("image_brightness", "-100"));
  EXPECT_EQ(std::make_pair(std::string("2.5"), 250), type("image_gamma", "2.5"));
  EXPECT_EQ(std::make_pair(std::string("40"), 999), type("image_gamma", "40"));
  EXPECT_EQ(std::make_pair(std::string("abc"), 999), type("image_gamma", "abc"));

  wxSlider* gamma = find<wxSlider>("image_gamma");
  gamma->SetValue(150);
  wxCommandEvent moved(wxEVT_SLIDER, gamma->GetId());
  moved.SetEventObject(gamma);
  gamma->GetEventHandler()->ProcessEvent(moved);
  EXPECT_EQ("1.50", fromWx(find<wxTextCtrl>("image_gamma.number")->GetValue()));

  type("jpg_quality", "42");
  EXPECT_TRUE(dialog_->confirm());
  EXPECT_EQ(42, settings().jpg_quality);
  EXPECT_FLOAT_EQ(1.5f, settings().image_gamma);
  EXPECT_EQ(-100, settings().image_brightness);
}

TEST_F(PreferencesTest, ColourCorrectionIsDerivedFromTheAdjustments) {
  settings().do_image_color_correction = true;
  open().confirm();
  EXPECT_FALSE(settings().do_image_color_correction);
  open();
  type("image_contrast", "5");
  dialog_->confirm();
  EXPECT_TRUE(settings().do_image_color_correction);
  open();
  type("image_contrast", "0");
  tick("image_invert", true);
  dialog_->confirm();
  EXPECT_TRUE(settings().do_image_color_correction);
}

TEST_F(PreferencesTest, TextsAreStoredWithoutLineBreaksTabsAndOuterSpaces) {
  settings().language = "xx";
  open();
  find<wxTextCtrl>("watermark_text")->SetValue("  First line\r\nsecond\tline  ");
  find<wxTextCtrl>("filename_mask")->SetValue(" %filename%\n.%ext% ");
  find<wxTextCtrl>("watermark_image")->SetValue("\t/pictures/logo.png\r\n");
  dialog_->confirm();
  EXPECT_EQ("First linesecondline", settings().watermark_text);
  EXPECT_EQ("%filename%.%ext%", settings().filename_mask);
  EXPECT_EQ("/pictures/logo.png", settings().watermark_image);
  EXPECT_EQ("en", settings().language);
}

TEST_F(PreferencesTest, BitDepthBoxesStoreTheDepthShownOrZeroForAuto) {
  settings().png_bpp = 24;
  open();
  wxChoice* depth = find<wxChoice>("png_bpp");
  EXPECT_EQ("Auto", depth->GetString(0));
  EXPECT_EQ("24", depth->GetStringSelection());
  EXPECT_EQ((std::vector<std::string>{"Auto", "1", "4", "8", "24", "32", "48"}),
            [&] {
              std::vector<std::string> items;
              for (const wxString& item : depth->GetStrings()) items.push_back(fromWx(item));
              return items;
            }());
  pick("png_bpp", 0);
  pick("jpg_bpp", 1);
  dialog_->confirm();
  EXPECT_EQ(0, settings().png_bpp);
  EXPECT_EQ(8, settings().jpg_bpp);
}

TEST_F(PreferencesTest, ControlsFollowTheirSwitches) {
  open();
  pick("raw_load_as", 0);
  EXPECT_FALSE(find<wxTextCtrl>("raw_header_size")->IsEnabled());
  EXPECT_FALSE(find<wxTextCtrl>("raw_image_height")->IsEnabled());
  pick("raw_load_as", 2);
  EXPECT_TRUE(find<wxTextCtrl>("raw_header_size")->IsEnabled());
  EXPECT_TRUE(find<wxTextCtrl>("raw_image_width")->IsEnabled());
  pick("raw_load_as", 3);
  EXPECT_FALSE(find<wxTextCtrl>("raw_image_width")->IsEnabled());

  EXPECT_FALSE(find<wxChoice>("image_resize_algorithm")->IsEnabled());
  tick("do_image_resize", true);
  EXPECT_TRUE(find<wxChoice>("image_resize_algorithm")->IsEnabled());
  EXPECT_TRUE(find<wxTextCtrl>("image_height")->IsEnabled());
  EXPECT_FALSE(find<wxSlider>("image_threshold")->IsEnabled());
  tick("do_image_threshold", true);
  EXPECT_TRUE(find<wxSlider>("image_threshold")->IsEnabled());
  EXPECT_FALSE(find<wxSlider>("image_rotation")->IsEnabled());
  tick("do_image_rotation", true);
  EXPECT_TRUE(find<wxSlider>("image_rotation")->IsEnabled());

  EXPECT_FALSE(find<wxDatePickerCtrl>("custom_timestamp")->IsEnabled());
  pick("file_timestamp", 2);
  EXPECT_TRUE(find<wxDatePickerCtrl>("custom_timestamp")->IsEnabled());

  dialog_->selectCategory(6);
  EXPECT_FALSE(find<wxTextCtrl>("solid_left")->IsShownOnScreen());
  pick("do_frame", 1);
  EXPECT_TRUE(find<wxTextCtrl>("solid_left")->IsShownOnScreen());

  dialog_->selectCategory(7);
  pick("do_watermark", 1);
  EXPECT_TRUE(find<wxTextCtrl>("watermark_text")->IsShownOnScreen());
  EXPECT_FALSE(find<wxTextCtrl>("watermark_image")->IsShownOnScreen());
  pick("do_watermark", 2);
  EXPECT_FALSE(find<wxTextCtrl>("watermark_text")->IsShownOnScreen());
  EXPECT_TRUE(find<wxTextCtrl>("watermark_image")->IsShownOnScreen());
}

TEST_F(PreferencesTest, ExportChoicesOnTheOutputPageApplyToPiecesOnly) {
  open();
  EXPECT_FALSE(find<wxChoice>("export_canvas_bounds")->IsEnabled());
  EXPECT_FALSE(find<wxCheckBox>("export_manifest")->IsEnabled());
  pick("export_kind", 1);
  EXPECT_TRUE(find<wxChoice>("export_canvas_bounds")->IsEnabled());
  EXPECT_TRUE(find<wxCheckBox>("export_hidden")->IsEnabled());
  EXPECT_FALSE(find<wxTextCtrl>("export_depth")->IsEnabled()) << "depth chooses groups only";
  pick("export_kind", 2);
  EXPECT_TRUE(find<wxTextCtrl>("export_depth")->IsEnabled());
  pick("export_canvas_bounds", 1);
  tick("export_manifest", true);
  dialog_->confirm();
  EXPECT_EQ(2, settings().export_kind);
  EXPECT_TRUE(settings().export_canvas_bounds);
  EXPECT_TRUE(settings().export_manifest);
  EXPECT_FALSE(settings().export_hidden);
}

TEST_F(PreferencesTest, OpensOnTheStartPageWithItsCaption) {
  open();
  EXPECT_EQ("Preferences...", fromWx(dialog_->GetTitle()));
  EXPECT_EQ(wxSize(kPreferencesWidth, kPreferencesHeight), dialog_->GetClientSize());
  EXPECT_EQ(0, dialog_->selectedCategory());
  EXPECT_EQ("General", fromWx(dialog_->caption()->GetLabel()));
  EXPECT_FALSE(window().IsEnabled());
  dialog_->cancel();
  EXPECT_TRUE(window().IsEnabled());
  pumpEvents(10);  // The closed window is deleted at idle time.

  installWindowCommands();  // The options button beside the format box.
  EXPECT_TRUE(window().runCommand(kCommandOutputFormatOptions));
  dialog_ = dynamic_cast<PreferencesWindow*>(wxWindow::FindWindowById(windowId(kWindowPreferences)));
  ASSERT_TRUE(dialog_);
  EXPECT_EQ(3, dialog_->selectedCategory());
  EXPECT_EQ("Output", fromWx(dialog_->caption()->GetLabel()));
  EXPECT_TRUE(dialog_->categoryPage(3)->IsShown());
  EXPECT_FALSE(dialog_->categoryPage(0)->IsShown());
  EXPECT_TRUE(find<wxChoice>("png_compression")->IsShownOnScreen());
  EXPECT_FALSE(find<wxChoice>("tiff_compression")->IsShownOnScreen());
  EXPECT_EQ("ZLib Level 6", fromWx(find<wxChoice>("png_compression")->GetString(2)));
  EXPECT_EQ(2, find<wxChoice>("png_compression")->GetSelection());  // The default: zlib 6.
  dialog_->selectCategory(5);
  EXPECT_EQ("Adjustment", fromWx(dialog_->caption()->GetLabel()));
}

TEST_F(PreferencesTest, ColourListsShowNamesAndKeepAnUnlistedChoice) {
  EXPECT_EQ("Orange", colourName("ff8000"));
  EXPECT_EQ("Violet", colourName("8000FF"));
  EXPECT_EQ("Color #123456", colourName("123456"));
  settings().font_color = "123456";
  open();
  auto* colours = find<wxBitmapComboBox>("font_color");
  EXPECT_EQ(10u, colours->GetCount());
  EXPECT_EQ("Black", fromWx(colours->GetString(0)));
  EXPECT_EQ("Color #123456", fromWx(colours->GetStringSelection()));
  EXPECT_EQ(wxSize(16, 16), colours->GetItemBitmap(0).GetSize());
  colours->SetSelection(2);
  dialog_->confirm();
  EXPECT_EQ("FF0000", settings().font_color);
}

TEST_F(PreferencesTest, IconSizeRebuildsTheToolbarOnlyAndAThemeEverything) {
  addTheme("alpha", "Alpha", 200);
  addTheme("beta", "Beta", 40);
  setThemeFolder(dir_.file("gfx/"));
  scanThemes();
  settings().ui_theme = "alpha";
  wxMenuBar* menus = window().GetMenuBar();
  open();
  auto* themes = find<wxChoice>("ui_theme");
  EXPECT_EQ("Alpha", fromWx(themes->GetString(0)));
  EXPECT_EQ("Alpha", fromWx(themes->GetStringSelection()));
  pick("ui_size", 4);
  dialog_->confirm();
  EXPECT_EQ(4, settings().ui_size);
  EXPECT_EQ(wxSize(64, 64), window().GetToolBar()->GetToolBitmapSize());
  EXPECT_EQ(menus, window().GetMenuBar());
  EXPECT_EQ(0, pending_window_refresh);

  open();
  pick("ui_theme", 1);
  dialog_->confirm();
  EXPECT_EQ("beta", settings().ui_theme);
  EXPECT_NE(menus, window().GetMenuBar());
  wxImage convert = window().convertButton()->GetBitmap().ConvertToImage();
  EXPECT_EQ(40, convert.GetRed(convert.GetWidth() / 2, convert.GetHeight() / 2));
  EXPECT_EQ(0, pending_window_refresh);
}

TEST_F(PreferencesTest, ThemeListHoldsNoBlankAndNoDamagedEntry) {
  addTheme("alpha", "Alpha", 200);
  addTheme("plain", "", 10);  // A theme without a display name.
  writeText(dir_.file("gfx/broken.zip"), "PK\x03\x04 this is no archive");
  writeText(dir_.file("gfx/empty.zip"), "");
  setThemeFolder(dir_.file("gfx/"));
  scanThemes();
  settings().ui_theme = "broken";
  open();
  auto* themes = find<wxChoice>("ui_theme");
  std::vector<std::string> shown;
  for (unsigned i = 0; i < themes->GetCount(); ++i) shown.push_back(fromWx(themes->GetString(i)));
  EXPECT_EQ((std::vector<std::string>{"Alpha", "plain"}), shown);
  pick("ui_theme", 1);
  dialog_->confirm();
  EXPECT_EQ("plain", settings().ui_theme);
}

TEST_F(PreferencesTest, CancelChangesNothing) {
  const Settings before = settings();
  open();
  type("jpg_quality", "3");
  tick("do_image_flip_vertical", true);
  find<wxTextCtrl>("watermark_text")->SetValue("other");
  dialog_->runCommand(kPreferencesCancel);
  pumpEvents(10);
  EXPECT_FALSE(dialog_);
  EXPECT_EQ(before, settings());
  EXPECT_FALSE(isRegularFile(settings().settings_file_path));
  EXPECT_TRUE(window().IsEnabled());
}

TEST_F(PreferencesTest, DefaultsAskFirstAndResetOnYes) {
  settings().jpg_quality = 12;
  settings().do_watermark = 2;
  open();
  dialog_->runCommand(kPreferencesDefaults);  // Answered No.
  pumpEvents(10);
  ASSERT_TRUE(dialog_);
  EXPECT_EQ("Are you sure you want to reset all your settings to the default values?", boxes_.shown().back().text);
  EXPECT_EQ(12, settings().jpg_quality);
  EXPECT_FALSE(isRegularFile(settings().settings_file_path));

  boxes_.answer(MessageAnswer::kYes);
  dialog_->runCommand(kPreferencesDefaults);
  pumpEvents(10);
  EXPECT_FALSE(dialog_);
  EXPECT_EQ(95, settings().jpg_quality);
  EXPECT_EQ(0, settings().do_watermark);
  EXPECT_EQ(dir_.file("config.ini"), settings().settings_file_path);
  settings().jpg_quality = 1;
  loadSettings();
  EXPECT_EQ(95, settings().jpg_quality);
}

// A record with every field the dialog edits moved off its default.
Settings changedRecord() {
  Settings r = settings();
  r.update_range = 4; r.save_window_position = false; r.ui_size = 1;
  r.dds_load_as = 2; r.gif_frame_loading = 1; r.ico_frame_loading = 2; r.tiff_frame_loading = 3;
  r.psd_color_model = 2; r.raw_load_as = 2; r.raw_header_size = 16; r.raw_image_width = 640;
  r.raw_image_height = 480; r.raw_tone_mapping = 4;
  r.bmp_bpp = 8; r.bmp_compression = 1; r.bmp_color_table = 1; r.exr_compression = 3; r.jpg_bpp = 24;
  r.jpg_quality = 61; r.jpg_chroma = 2; r.jpg_save_as = 3; r.png_bpp = 48; r.png_compression = 3;
  r.png_interlaced = true; r.tga_bpp = 16; r.tga_compression = 1; r.tiff_bpp = 96; r.tiff_compression = 6;
  r.tiff_color_model = 1; r.webp_quality = 77; r.webp_bpp = 32; r.ico_bpp = 4; r.xpm_bpp = 24;
  r.do_image_rotation = true; r.image_rotation_type = 1; r.image_rotation = 45; r.image_rotation_back_color = "A0B0C0";
  r.do_image_resize = true; r.image_width = 800; r.image_width_unit = 1; r.image_height = 600;
  r.image_height_unit = 1; r.keep_aspect_ratio = false; r.image_resize_type = 1; r.image_resize_algorithm = 5;
  r.do_image_flip_horizontal = true; r.do_image_flip_vertical = true;
  r.image_brightness = -20; r.image_contrast = 35; r.image_gamma = 2.25f; r.image_invert = true;
  r.do_image_greyscale = true; r.do_image_threshold = true; r.image_threshold = 128;
  r.do_frame = true; r.solid_left = 1; r.solid_right = 2; r.solid_top = 3; r.solid_bottom = 4;
  r.solid_left_color = "111111"; r.solid_right_color = "222222"; r.solid_top_color = "333333";
  r.solid_bottom_color = "444444"; r.solid_opacity = 99;
  r.do_watermark = 1; r.watermark_text = "Stamp %n%"; r.watermark_font = "Liberation Serif"; r.font_size = 22;
  r.font_leading = 3; r.font_color = "123456"; r.back_color = "FF8000"; r.font_style = 3; r.font_effect = 2;
  r.text_antialiasing = false; r.text_alignment = 2; r.text_padding = 5; r.text_opacity = 200; r.back_opacity = 60;
  r.text_boundary = true; r.text_position = 4; r.text_x_offset = 7; r.text_y_offset = 8; r.text_rotation = 90;
  r.text_scale = 150; r.watermark_image = "/pictures/logo.png"; r.wm_image_greyscale = true;
  r.wm_image_opacity = 128; r.wm_image_boundary = true; r.wm_image_position = 2; r.wm_image_x_offset = 11;
  r.wm_image_y_offset = 12; r.wm_image_rotation = 270; r.wm_image_scale = 33;
  r.filename_mask = "%filename%-%n%.%ext%"; r.file_timestamp = 2; r.custom_timestamp = 1600000020;
  r.out_folders_history = false; r.out_folders_number = 17; r.keep_subfolders = false;
  r.export_kind = 2; r.export_canvas_bounds = true; r.export_hidden = true; r.export_depth = 3;
  r.export_manifest = true;
  return r;
}

// Every stored field as text, in file order, for readable differences.
class FieldTexts : public SettingsFieldVisitor {
 public:
  void field(int32_t& v) override { texts.push_back(std::to_string(v)); }
  void field(uint8_t& v) override { texts.push_back(std::to_string(v)); }
  void field(bool& v) override { texts.push_back(v ? "true" : "false"); }
  void field(float& v) override { texts.push_back(std::to_string(v)); }
  void field(std::string& v) override { texts.push_back(v); }
  std::vector<std::string> texts;
};

std::vector<std::string> fieldTexts(Settings record) {
  FieldTexts visitor;
  visitSettingsFields(record, visitor);
  return visitor.texts;
}

TEST_F(PreferencesTest, EveryValueSetInTheDialogSurvivesARestart) {
  const Settings changed = changedRecord();
  open().fillControls(changed);
  dialog_->confirm();
  Settings expected = changed;
  expected.do_image_color_correction = true;
  EXPECT_EQ(fieldTexts(expected), fieldTexts(settings()));

  applyDefaultSettings(false);
  const Settings d = settings();
  // The file keeps neither the options of formats the lists do not offer
  // (only "psd" in and "png" out) nor, with save_window_position off, the
  // window's geometry.
  Settings after = expected;
  after.window_x = d.window_x; after.window_y = d.window_y;
  after.window_width = d.window_width; after.window_height = d.window_height;
  after.dds_load_as = d.dds_load_as; after.gif_frame_loading = d.gif_frame_loading;
  after.ico_frame_loading = d.ico_frame_loading; after.tiff_frame_loading = d.tiff_frame_loading;
  after.raw_load_as = d.raw_load_as; after.raw_header_size = d.raw_header_size;
  after.raw_image_width = d.raw_image_width; after.raw_image_height = d.raw_image_height;
  after.raw_tone_mapping = d.raw_tone_mapping;
  after.bmp_bpp = d.bmp_bpp; after.bmp_compression = d.bmp_compression; after.bmp_color_table = d.bmp_color_table;
  after.exr_compression = d.exr_compression; after.ico_bpp = d.ico_bpp; after.xpm_bpp = d.xpm_bpp;
  after.jpg_bpp = d.jpg_bpp; after.jpg_quality = d.jpg_quality; after.jpg_chroma = d.jpg_chroma;
  after.jpg_save_as = d.jpg_save_as; after.tga_bpp = d.tga_bpp; after.tga_compression = d.tga_compression;
  after.tiff_bpp = d.tiff_bpp; after.tiff_compression = d.tiff_compression;
  after.tiff_color_model = d.tiff_color_model; after.webp_bpp = d.webp_bpp; after.webp_quality = d.webp_quality;
  loadSettings();
  EXPECT_EQ(fieldTexts(after), fieldTexts(settings()));
}

TEST_F(PreferencesTest, CustomTimestampIsReadFromTheDateAndTimeBoxes) {
  open();
  pick("file_timestamp", 2);
  find<wxDatePickerCtrl>("custom_timestamp")->SetValue(wxDateTime(4, wxDateTime::Mar, 2021));
  find<wxTimePickerCtrl>("custom_timestamp.time")->SetTime(5, 6, 0);
  dialog_->confirm();
  EXPECT_EQ(2, settings().file_timestamp);
  EXPECT_EQ(1614834360, settings().custom_timestamp);  // 2021-03-04 05:06:00 in the test's time zone (UTC).
}

// Sends a wheel turn towards the user (down the page) to `control` as the
// toolkit delivers it; true when the dialog took it, so that the control's
// own wheel handling never sees it.
bool turnWheelOver(wxWindow* control) {
  wxMouseEvent wheel(wxEVT_MOUSEWHEEL);
  wheel.SetEventObject(control);
  wheel.m_wheelRotation = -120;
  wheel.m_wheelDelta = 120;
  wheel.m_linesPerAction = 3;
  return control->GetEventHandler()->ProcessEvent(wheel);
}

int pageScrolledTo(wxWindow* page) {
  int x = 0;
  int y = 0;
  static_cast<wxScrolledWindow*>(page)->GetViewStart(&x, &y);
  return y;
}

TEST_F(PreferencesTest, WheelOverAControlWithoutTheFocusScrollsThePage) {
  settings().do_watermark = 1;
  settings().font_color = "FFFFFF";
  open();
  dialog_->selectCategory(7);
  pumpEvents(30);
  wxWindow* page = dialog_->categoryPage(7);
  auto* colour = find<wxBitmapComboBox>("font_color");
  const int chosen = colour->GetSelection();
  EXPECT_TRUE(turnWheelOver(colour));
  EXPECT_TRUE(turnWheelOver(find<wxChoice>("font_style")));
  EXPECT_TRUE(turnWheelOver(find<wxSlider>("text_opacity")));
  EXPECT_EQ(chosen, colour->GetSelection());
  EXPECT_EQ(0, find<wxChoice>("font_style")->GetSelection());
  EXPECT_EQ(255, find<wxSlider>("text_opacity")->GetValue());
  EXPECT_GT(pageScrolledTo(page), 0);

  EXPECT_TRUE(dialog_->confirm());
  EXPECT_EQ("FFFFFF", settings().font_color);
}

TEST_F(PreferencesTest, NumbersThatAreNotNumbersOrOutOfRangeAreRefusedOnOk) {
  settings().image_gamma = 1.25f;
  open();
  const Settings before = settings();
  // Each case: the box, the text, what the message must name.
  const std::tuple<const char*, const char*, const char*, int> cases[] = {
      {"image_gamma.number", "abc", "Gamma", 5},
      {"image_gamma.number", "40", "0.01 to 9.99", 5},
      {"image_brightness.number", "-250", "-100 to 100", 5},
      {"image_threshold.number", "", "0 to 255", 5},
      {"text_opacity.number", "0", "1 to 255", 7},
      {"wm_image_rotation.number", "361", "0 to 360", 7},
      {"font_size", "0", "Font Size", 7},
      {"text_x_offset", "12x", "-100000 to 100000", 7},
      {"solid_left", "-1", "0 to 100000", 6},
      {"image_width", "abc", "Image Width", 4},  // Not a number, though resizing is off.
  };
  for (const auto& [name, text, named, page] : cases) {
    SCOPED_TRACE(name);
    auto* box = find<wxTextCtrl>(name);
    const wxString kept = box->GetValue();
    box->ChangeValue(text);
    dialog_->selectCategory(0);
    const size_t shown = boxes_.shown().size();
    dialog_->confirm();
    pumpEvents(10);
    ASSERT_TRUE(dialog_);
    ASSERT_EQ(shown + 1, boxes_.shown().size());
    EXPECT_NE(std::string::npos, boxes_.shown().back().text.find(named)) << boxes_.shown().back().text;
    EXPECT_EQ(MessageIcon::kError, boxes_.shown().back().icon);
    EXPECT_EQ(page, dialog_->selectedCategory());
    EXPECT_EQ(before, settings());
    EXPECT_FALSE(isRegularFile(settings().settings_file_path));
    box->ChangeValue(kept);
  }
  EXPECT_NE(std::string::npos, boxes_.shown().front().text.find("\"abc\" is not a number")) << boxes_.shown().front().text;

  // A size only needs its range while resizing is on.
  find<wxTextCtrl>("image_width")->ChangeValue("0");
  tick("do_image_resize", true);
  dialog_->confirm();
  pumpEvents(10);
  ASSERT_TRUE(dialog_);
  EXPECT_NE(std::string::npos, boxes_.shown().back().text.find("1 to 100000"));
  find<wxTextCtrl>("image_width")->ChangeValue("640");
  find<wxTextCtrl>("image_height")->ChangeValue(" 480 ");
  find<wxTextCtrl>("text_x_offset")->ChangeValue("-15");
  EXPECT_TRUE(dialog_->confirm());
  EXPECT_EQ(640, settings().image_width);
  EXPECT_EQ(480, settings().image_height);
  EXPECT_EQ(-15, settings().text_x_offset);
  EXPECT_FLOAT_EQ(1.25f, settings().image_gamma);
}

TEST_F(PreferencesTest, MaskWithoutTheExtensionIsKeptOnlyWhenTheUserSaysSo) {
  open();
  find<wxTextCtrl>("filename_mask")->ChangeValue("%filename%-small");
  dialog_->confirm();  // Answered No: back to the mask.
  pumpEvents(10);
  ASSERT_TRUE(dialog_);
  ASSERT_EQ(1u, boxes_.shown().size());
  EXPECT_EQ(MessageButtons::kYesNo, boxes_.shown().back().buttons);
  EXPECT_NE(std::string::npos, boxes_.shown().back().text.find("%ext%"));
  EXPECT_EQ(8, dialog_->selectedCategory());
  EXPECT_EQ("%filename%.%ext%", settings().filename_mask);
  EXPECT_FALSE(isRegularFile(settings().settings_file_path));

  boxes_.answer(MessageAnswer::kYes);
  EXPECT_TRUE(dialog_->confirm());
  EXPECT_EQ("%filename%-small", settings().filename_mask);
  EXPECT_TRUE(isRegularFile(settings().settings_file_path));

  open();
  find<wxTextCtrl>("filename_mask")->ChangeValue("%FILENAME%.%EXT%");  // Masks are read lower-cased.
  EXPECT_TRUE(dialog_->confirm());
  EXPECT_EQ(2u, boxes_.shown().size());
}

// Whether GTK draws the page's scroll bars only while scrolling.
bool overlayScrollBars(wxWindow* page) {
  using GetOverlay = int (*)(void*);
  const auto get_overlay = reinterpret_cast<GetOverlay>(dlsym(RTLD_DEFAULT, "gtk_scrolled_window_get_overlay_scrolling"));
  return get_overlay && get_overlay(page->GetHandle()) != 0;
}

// The controls shown on `page` that lie outside its visible area.
std::vector<std::string> controlsOutOfSight(wxWindow* page) {
  std::vector<std::string> out;
  const wxRect seen(page->GetClientSize());
  std::vector<wxWindow*> todo(page->GetChildren().begin(), page->GetChildren().end());
  while (!todo.empty()) {
    wxWindow* control = todo.back();
    todo.pop_back();
    if (!control->IsShown()) continue;
    if (dynamic_cast<wxPanel*>(control)) {
      todo.insert(todo.end(), control->GetChildren().begin(), control->GetChildren().end());
      continue;
    }
    wxPoint at = control->GetPosition();
    for (wxWindow* parent = control->GetParent(); parent && parent != page; parent = parent->GetParent())
      at += parent->GetPosition();
    if (!seen.Contains(wxRect(at, control->GetSize()))) out.push_back(fromWx(control->GetName()));
  }
  return out;
}

TEST_F(PreferencesTest, EveryControlOfTheTallPagesCanBeSeenAtTheDefaultSize) {
  open();
  EXPECT_EQ(wxSize(kPreferencesWidth, kPreferencesHeight), dialog_->GetClientSize());
  const std::pair<int, int> pages[] = {{4, 0}, {7, 1}, {7, 2}};  // Transform; Watermark with text, with a picture.
  for (const auto& [index, watermark] : pages) {
    SCOPED_TRACE(index * 10 + watermark);
    dialog_->selectCategory(7);
    pick("do_watermark", watermark);
    dialog_->selectCategory(index);
    pumpEvents(30);
    wxWindow* page = dialog_->categoryPage(index);
    const std::vector<std::string> hidden = controlsOutOfSight(page);
    if (hidden.empty()) continue;
    // Out of sight, but a scroll bar that is always drawn leads there.
    const wxSize all = page->GetVirtualSize();
    EXPECT_GT(all.y, page->GetClientSize().y) << hidden.front();
    EXPECT_TRUE(page->HasScrollbar(wxVERTICAL)) << hidden.front();
    EXPECT_FALSE(overlayScrollBars(page)) << hidden.size() << " controls out of sight, first " << hidden.front();
  }
  // The Transform page fits as a whole.
  dialog_->selectCategory(4);
  pumpEvents(10);
  EXPECT_EQ(std::vector<std::string>(), controlsOutOfSight(dialog_->categoryPage(4)));
}

TEST_F(PreferencesTest, DialogIsResizableAndOpensAgainWithItsLastSize) {
  open();
  EXPECT_TRUE(dialog_->HasFlag(wxRESIZE_BORDER));
  EXPECT_TRUE(dialog_->HasFlag(wxMAXIMIZE_BOX));
  dialog_->SetClientSize(800, 600);
  pumpEvents(30);
  EXPECT_EQ(wxSize(800, 600), dialog_->GetClientSize());
  dialog_->selectCategory(7);
  pumpEvents(10);
  // The page grows with the dialog.
  EXPECT_GT(dialog_->categoryPage(7)->GetSize().x, 600);
  dialog_->cancel();
  pumpEvents(10);
  EXPECT_EQ(800, settings().preferences_width);  // Kept by Cancel too.
  EXPECT_EQ(600, settings().preferences_height);
  // The next session reads it from the settings file.
  ASSERT_TRUE(saveSettings());
  applyDefaultSettings(false);
  loadSettings();
  open();
  EXPECT_EQ(wxSize(800, 600), dialog_->GetClientSize());
  dialog_->SetClientSize(700, 560);
  ASSERT_TRUE(dialog_->confirm());
  pumpEvents(10);
  EXPECT_EQ(700, settings().preferences_width);  // And by OK.
  EXPECT_EQ(560, settings().preferences_height);
}

TEST_F(PreferencesTest, RememberedSizeIsClampedToTheScreenAndNeverBelowTheDefault) {
  const wxRect screen = wxDisplay(0u).GetClientArea();
  ASSERT_GT(screen.width, kPreferencesWidth);
  ASSERT_GT(screen.height, kPreferencesHeight);
  settings().preferences_width = screen.width + 500;
  settings().preferences_height = 100;
  EXPECT_EQ(wxSize(screen.width, kPreferencesHeight), preferencesOpeningSize(mainWindow()));
  settings().preferences_width = -3;
  settings().preferences_height = screen.height * 4;
  EXPECT_EQ(wxSize(kPreferencesWidth, screen.height), preferencesOpeningSize(mainWindow()));
  settings().preferences_width = 100;
  settings().preferences_height = 100;
  open();
  EXPECT_EQ(wxSize(kPreferencesWidth, kPreferencesHeight), dialog_->GetClientSize());
}

}  // namespace
}  // namespace pixolune::testing
