// The Watermark page of the preferences dialog: the type, then the text
// panel or the picture panel.
#include <wx/filedlg.h>
#include <wx/fontdlg.h>

#include <memory>

#include "platform/files.h"
#include "platform/text.h"
#include "resources/string_table.h"
#include "ui/preferences_dialog_controls.h"
#include "ui/wx_convert.h"

namespace pixolune {

namespace {

constexpr const char* kPositionKeys[] = {"Top-Left",    "Top-Center",    "Top-Right",
                                         "Middle-Left", "Middle-Center", "Middle-Right",
                                         "Bottom-Left", "Bottom-Center", "Bottom-Right"};

template <class T>
void choiceRow(PreferencesWindow& dialog, PageBuilder& page, const char* key, const std::string& name,
               std::initializer_list<const char*> keys, T Settings::*field) {
  wxChoice* choice = page.choice(name, keys);
  page.row(key, choice);
  bindChoice(dialog, choice, field);
}

template <class T>
void sliderRow(PreferencesWindow& dialog, PageBuilder& page, const char* key, const std::string& name,
               T Settings::*field) {
  LinkedSlider* linked = dialog.keep(std::make_unique<LinkedSlider>(page.page(), name, field));
  page.row(key, linked->sizer());
  bindSlider(dialog, linked, field);
}

void digitsRow(PreferencesWindow& dialog, PageBuilder& page, const char* key, const std::string& name,
               const char* unit, int32_t Settings::*field) {
  wxTextCtrl* box = page.digits(name);
  page.row(key, page.withUnit(box, unit));
  bindDigits(dialog, box, field);
}

// Boundary, position, offsets, rotation, size and scale: the same rows for
// the text and the picture, over their own fields.
struct PlacementFields {
  const char* prefix;  // "text" or "wm_image".
  bool Settings::*boundary;
  uint8_t Settings::*position;
  int32_t Settings::*x_offset;
  int32_t Settings::*y_offset;
  int32_t Settings::*rotation;
  uint8_t Settings::*size;
  int32_t Settings::*scale;
};

void placementRows(PreferencesWindow& dialog, PageBuilder& page, const PlacementFields& f) {
  const std::string p = f.prefix;
  choiceRow(dialog, page, "Boundary", p + "_boundary", {"Bound Image", "Bound Frame"}, f.boundary);
  wxChoice* position = page.choice(p + "_position", {});
  for (const char* key : kPositionKeys) position->Append(toWx(getText("Preferences", key)));
  page.row("Position", position);
  bindChoice(dialog, position, f.position);
  digitsRow(dialog, page, "X-Offset", p + "_x_offset", "Pixels", f.x_offset);
  digitsRow(dialog, page, "Y-Offset", p + "_y_offset", "Pixels", f.y_offset);
  sliderRow(dialog, page, "Rotation Angle", p + "_rotation", f.rotation);
  choiceRow(dialog, page, "Size", p + "_size", {"Fixed"}, f.size);
  sliderRow(dialog, page, "Scale", p + "_scale", f.scale);
}

// The editable font list with its "..." font dialog.
void fontRow(PreferencesWindow& dialog, PageBuilder& page) {
  auto* font = new wxComboBox(page.page(), wxID_ANY, wxString(), wxDefaultPosition, wxSize(170, -1));
  font->SetName("watermark_font");
  auto* more = new wxButton(page.page(), wxID_ANY, "...", wxDefaultPosition, wxSize(40, -1));
  more->SetName("watermark_font.more");
  auto* sizer = new wxBoxSizer(wxHORIZONTAL);
  sizer->Add(font, 0, wxALIGN_CENTER_VERTICAL);
  sizer->Add(more, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 6);
  page.row("Font", sizer);
  more->Bind(wxEVT_BUTTON, [font, more](wxCommandEvent&) {
    wxFontData data;
    data.SetInitialFont(wxFont(wxFontInfo(12).FaceName(font->GetValue())));
    wxFontDialog chooser(wxGetTopLevelParent(more), data);
    if (chooser.ShowModal() == wxID_OK) font->SetValue(chooser.GetFontData().GetChosenFont().GetFaceName());
  });
  dialog.addField(
      [font](const Settings& s) {
        font->Clear();
        const std::string names = s.watermark_fonts.empty() ? s.watermark_font : s.watermark_fonts;
        for (const std::string& name : split(names, ',')) {
          const std::string trimmed = trim(name);
          if (!trimmed.empty()) font->Append(toWx(trimmed));
        }
        font->ChangeValue(toWx(s.watermark_font));
      },
      [font](Settings& s) { s.watermark_font = fromWx(font->GetValue()); });
}

void colourRow(PreferencesWindow& dialog, PageBuilder& page, const char* key, const std::string& name,
               std::string Settings::*list, std::string Settings::*current) {
  ColourChoice* colours = dialog.keep(std::make_unique<ColourChoice>(page.page(), name));
  page.row(key, colours->sizer());
  dialog.addField([colours, list, current](const Settings& s) { colours->fill(s.*list, s.*current); },
                  [colours, current](Settings& s) { s.*current = colours->value(); });
}

void buildTextPanel(PreferencesWindow& dialog, wxPanel* panel) {
  PageBuilder page(panel);
  wxTextCtrl* text = page.text("watermark_text");
  page.row("Text", text);
  bindText(dialog, text, &Settings::watermark_text, true);
  fontRow(dialog, page);
  digitsRow(dialog, page, "Font Size", "font_size", "Points", &Settings::font_size);
  digitsRow(dialog, page, "Font Leading", "font_leading", "Pixels", &Settings::font_leading);
  colourRow(dialog, page, "Font Color", "font_color", &Settings::font_colors, &Settings::font_color);
  colourRow(dialog, page, "Background Color", "back_color", &Settings::back_colors, &Settings::back_color);
  choiceRow(dialog, page, "Font Style", "font_style", {"Regular", "Bold", "Italic", "Bold Italic"},
            &Settings::font_style);
  choiceRow(dialog, page, "Font Effect", "font_effect", {"None", "Underline", "Strikeout"}, &Settings::font_effect);
  wxCheckBox* smooth = page.check("text_antialiasing");
  page.row("Antialiasing", smooth);
  bindCheck(dialog, smooth, &Settings::text_antialiasing);
  choiceRow(dialog, page, "Text Alignment", "text_alignment", {"Align Left", "Align Center", "Align Right"},
            &Settings::text_alignment);
  digitsRow(dialog, page, "Text Padding", "text_padding", "Pixels", &Settings::text_padding);
  sliderRow(dialog, page, "Text Opacity", "text_opacity", &Settings::text_opacity);
  sliderRow(dialog, page, "Background Opacity", "back_opacity", &Settings::back_opacity);
  placementRows(dialog, page,
                {"text", &Settings::text_boundary, &Settings::text_position, &Settings::text_x_offset,
                 &Settings::text_y_offset, &Settings::text_rotation, &Settings::text_size, &Settings::text_scale});
}

// The file requester of the picture watermark.
void chooseImage(wxTextCtrl* path) {
  const std::string current = fromWx(path->GetValue());
  const std::string all = getText("Dialog", "All Supported Files") + "|*.png;*.bmp;*.rle;*.dib;*.jpg;*.jpeg;*.jpe;*.jif";
  const std::string filters = all + "|Portable Network Graphics|*.png|Windows or OS/2 Bitmap|*.bmp;*.rle;*.dib" +
                              "|JPEG File|*.jpg;*.jpeg;*.jpe;*.jif|" + getText("Dialog", "All Files") + "|*";
  wxFileDialog dialog(wxGetTopLevelParent(path), toWx(getText("Dialog", "Select Watermark Image")),
                      toWx(current.empty() ? std::string() : folderOf(current)),
                      toWx(current.empty() ? std::string() : fileNameOf(current)), toWx(filters),
                      wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  if (dialog.ShowModal() == wxID_OK) path->SetValue(dialog.GetPath());
}

void buildImagePanel(PreferencesWindow& dialog, wxPanel* panel) {
  PageBuilder page(panel);
  wxTextCtrl* path = page.text("watermark_image", 170);
  auto* more = new wxButton(panel, wxID_ANY, "...", wxDefaultPosition, wxSize(40, -1));
  more->SetName("watermark_image.more");
  more->Bind(wxEVT_BUTTON, [path](wxCommandEvent&) { chooseImage(path); });
  auto* sizer = new wxBoxSizer(wxHORIZONTAL);
  sizer->Add(path, 0, wxALIGN_CENTER_VERTICAL);
  sizer->Add(more, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 6);
  page.row("Image", sizer);
  bindText(dialog, path, &Settings::watermark_image, true);
  wxCheckBox* grey = page.check("wm_image_greyscale");
  page.row("Image Greyscale", grey);
  bindCheck(dialog, grey, &Settings::wm_image_greyscale);
  sliderRow(dialog, page, "Opacity", "wm_image_opacity", &Settings::wm_image_opacity);
  placementRows(dialog, page,
                {"wm_image", &Settings::wm_image_boundary, &Settings::wm_image_position, &Settings::wm_image_x_offset,
                 &Settings::wm_image_y_offset, &Settings::wm_image_rotation, &Settings::wm_image_size,
                 &Settings::wm_image_scale});
}

}  // namespace

void buildWatermarkPage(PreferencesWindow& dialog) {
  wxWindow* area = newCategoryPage(dialog, 7);
  PageBuilder top(area);
  wxChoice* type = top.choice("do_watermark", {"None", "Watermark Text", "Watermark Image"});
  top.row("Watermark Type", type);
  bindChoice(dialog, type, &Settings::do_watermark);
  wxPanel* text = newSubPanel(area);
  text->SetName("watermark.text");
  buildTextPanel(dialog, text);
  wxPanel* image = newSubPanel(area);
  image->SetName("watermark.image");
  buildImagePanel(dialog, image);
  dialog.addRule([type, text, image] {
    text->Show(type->GetSelection() == 1);
    image->Show(type->GetSelection() == 2);
  });
}

}  // namespace pixolune
