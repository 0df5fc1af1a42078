// The Transform, Adjustment and Frame pages of the preferences dialog.
#include <cmath>
#include <memory>

#include "ui/preferences_dialog_controls.h"

namespace pixolune {

namespace {

// A slider of the field's range, bound to it.
LinkedSlider* slider(PreferencesWindow& dialog, PageBuilder& page, const char* key, const std::string& name,
                     int32_t Settings::*field) {
  LinkedSlider* linked = dialog.keep(std::make_unique<LinkedSlider>(page.page(), name, field));
  page.row(key, linked->sizer());
  bindSlider(dialog, linked, field);
  return linked;
}

wxChoice* choiceRow(PageBuilder& page, const char* key, const std::string& name,
                    std::initializer_list<const char*> keys) {
  wxChoice* choice = page.choice(name, keys);
  page.row(key, choice);
  return choice;
}

wxCheckBox* checkRow(PreferencesWindow& dialog, PageBuilder& page, const char* key, const std::string& name,
                     bool Settings::*field) {
  wxCheckBox* check = page.check(name);
  page.row(key, check);
  bindCheck(dialog, check, field);
  return check;
}

// A digit box with its unit combo ("Pixels", "Percent").
void sizeRow(PreferencesWindow& dialog, PageBuilder& page, const char* key, const std::string& name,
             int32_t Settings::*value, uint8_t Settings::*unit, std::vector<wxWindow*>* parts) {
  wxTextCtrl* box = page.digits(name);
  wxChoice* units = page.choice(name + "_unit", {"Pixels", "Percent"});
  auto* sizer = new wxBoxSizer(wxHORIZONTAL);
  sizer->Add(box, 0, wxALIGN_CENTER_VERTICAL);
  sizer->Add(units, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 6);
  page.row(key, sizer);
  bindDigits(dialog, box, value);
  bindChoice(dialog, units, unit);
  parts->push_back(box);
  parts->push_back(units);
}

void buildTransform(PreferencesWindow& dialog) {
  PageBuilder page(newCategoryPage(dialog, 4));
  wxCheckBox* rotate = checkRow(dialog, page, "Image Rotation", "do_image_rotation", &Settings::do_image_rotation);
  wxChoice* type = choiceRow(page, "Rotation Type", "image_rotation_type", {"Simple Rotation", "Advanced Rotation"});
  bindChoice(dialog, type, &Settings::image_rotation_type);
  LinkedSlider* angle = slider(dialog, page, "Rotation Angle", "image_rotation", &Settings::image_rotation);
  ColourPicker* back = dialog.keep(std::make_unique<ColourPicker>(page.page(), "image_rotation_back_color"));
  page.row("Background Color", back->sizer());
  bindColour(dialog, back, &Settings::image_rotation_back_color);
  dialog.addRule([rotate, type, angle, back] {
    const bool on = rotate->GetValue();
    type->Enable(on);
    angle->Enable(on);
    back->Enable(on);
  });

  wxCheckBox* resize = checkRow(dialog, page, "Image Resize", "do_image_resize", &Settings::do_image_resize);
  auto parts = std::make_shared<std::vector<wxWindow*>>();
  sizeRow(dialog, page, "Image Width", "image_width", &Settings::image_width, &Settings::image_width_unit, parts.get());
  sizeRow(dialog, page, "Image Height", "image_height", &Settings::image_height, &Settings::image_height_unit,
          parts.get());
  parts->push_back(checkRow(dialog, page, "Keep Aspect Ratio", "keep_aspect_ratio", &Settings::keep_aspect_ratio));
  wxChoice* kind = choiceRow(page, "Resize Type", "image_resize_type", {"All Images", "Large Images"});
  bindChoice(dialog, kind, &Settings::image_resize_type);
  wxChoice* filter = choiceRow(page, "Resize Algorithm", "image_resize_algorithm",
                               {"Box", "Bilinear", "Bspline", "Bicubic", "Catmullrom", "Lanczos"});
  bindChoice(dialog, filter, &Settings::image_resize_algorithm);
  parts->push_back(kind);
  parts->push_back(filter);
  dialog.addRule([resize, parts] {
    for (wxWindow* part : *parts) part->Enable(resize->GetValue());
  });

  checkRow(dialog, page, "Image Flip Horizontal", "do_image_flip_horizontal", &Settings::do_image_flip_horizontal);
  checkRow(dialog, page, "Image Flip Vertical", "do_image_flip_vertical", &Settings::do_image_flip_vertical);
}

void buildAdjustment(PreferencesWindow& dialog) {
  PageBuilder page(newCategoryPage(dialog, 5));
  slider(dialog, page, "Image Brightness", "image_brightness", &Settings::image_brightness);
  slider(dialog, page, "Image Contrast", "image_contrast", &Settings::image_contrast);
  LinkedSlider* gamma =
      dialog.keep(std::make_unique<LinkedSlider>(page.page(), "image_gamma", &Settings::image_gamma));
  page.row("Image Gamma", gamma->sizer());
  dialog.addField([gamma](const Settings& s) { gamma->setValue(static_cast<int>(std::lround(s.image_gamma * 100.0))); },
                  [gamma](Settings& s) { s.image_gamma = static_cast<float>(gamma->value()) / 100.0f; });
  dialog.addCheck(gamma->box(), [gamma] { return gamma->problem(); });
  checkRow(dialog, page, "Image Invert", "image_invert", &Settings::image_invert);
  checkRow(dialog, page, "Image Greyscale", "do_image_greyscale", &Settings::do_image_greyscale);
  wxCheckBox* threshold =
      checkRow(dialog, page, "Image Threshold", "do_image_threshold", &Settings::do_image_threshold);
  LinkedSlider* level = slider(dialog, page, "Threshold Level", "image_threshold", &Settings::image_threshold);
  dialog.addRule([threshold, level] { level->Enable(threshold->GetValue()); });
}

void buildFrame(PreferencesWindow& dialog) {
  wxWindow* area = newCategoryPage(dialog, 6);
  PageBuilder top(area);
  wxChoice* type = choiceRow(top, "Frame Type", "do_frame", {"None", "Frame Solid"});
  bindChoice(dialog, type, &Settings::do_frame);
  wxPanel* solid = newSubPanel(area);
  PageBuilder widths(solid);
  const std::pair<const char*, int32_t Settings::*> sides[] = {{"Left", &Settings::solid_left},
                                                              {"Right", &Settings::solid_right},
                                                              {"Top", &Settings::solid_top},
                                                              {"Bottom", &Settings::solid_bottom}};
  for (const auto& [key, field] : sides) {
    wxTextCtrl* box = widths.digits(std::string("solid_") + (key[0] == 'L'   ? "left"
                                                             : key[0] == 'R' ? "right"
                                                             : key[0] == 'T' ? "top"
                                                                             : "bottom"));
    widths.row(key, widths.withUnit(box, "Pixels"));
    bindDigits(dialog, box, field);
  }
  const std::tuple<const char*, const char*, std::string Settings::*> colours[] = {
      {"Left Color", "solid_left_color", &Settings::solid_left_color},
      {"Right Color", "solid_right_color", &Settings::solid_right_color},
      {"Top Color", "solid_top_color", &Settings::solid_top_color},
      {"Bottom Color", "solid_bottom_color", &Settings::solid_bottom_color}};
  for (const auto& [key, name, field] : colours) {
    ColourPicker* picker = dialog.keep(std::make_unique<ColourPicker>(solid, name));
    widths.row(key, picker->sizer());
    bindColour(dialog, picker, field);
  }
  PageBuilder bottom(area);
  slider(dialog, bottom, "Opacity", "solid_opacity", &Settings::solid_opacity);
  // The widths and colours only show for a solid frame.
  dialog.addRule([type, solid] { solid->Show(type->GetSelection() == 1); });
}

}  // namespace

void buildImagePages(PreferencesWindow& dialog) {
  buildTransform(dialog);
  buildAdjustment(dialog);
  buildFrame(dialog);
}

}  // namespace pixolune
