// The Input and Output pages of the preferences dialog: a format box and one
// sub-page of options per format, of which only the chosen format's shows.
#include <map>
#include <memory>
#include <utility>

#include "image/format_table.h"
#include "platform/text.h"
#include "resources/string_table.h"
#include "ui/main_window.h"
#include "ui/picture_controls.h"
#include "ui/preferences_dialog_controls.h"
#include "ui/wx_convert.h"

namespace pixolune {

namespace {

using SubPanels = std::map<std::string, wxPanel*>;

// Shows the sub-panel of `key` and hides the others.
void showSubPanel(const SubPanels& panels, const std::string& key) {
  for (const auto& [name, panel] : panels) panel->Show(name == key);
}

void addFrameLoading(PreferencesWindow& dialog, SubPanels* panels, wxWindow* page, const std::string& key,
                     int32_t Settings::*field) {
  wxPanel* panel = newSubPanel(page);
  (*panels)[key] = panel;
  PageBuilder sub(panel);
  wxChoice* frames = sub.choice(key + "_frame_loading",
                                {"All Frames", "First Frame", "Middle Frame", "Last Frame", "Random Frame"});
  sub.row("Frame Loading", frames);
  bindChoice(dialog, frames, field);
}

void addRawPanel(PreferencesWindow& dialog, SubPanels* panels, wxWindow* page) {
  wxPanel* panel = newSubPanel(page);
  (*panels)["raw"] = panel;
  PageBuilder sub(panel);
  wxChoice* load = sub.choice("raw_load_as", {"Auto", "RGB8", "RGB16", "RGB24", "RGB48HS", "RGB48"});
  sub.row("Load As", load);
  bindChoice(dialog, load, &Settings::raw_load_as);
  wxTextCtrl* header = sub.digits("raw_header_size");
  sub.row("Header Size", sub.withUnit(header, "Bytes"));
  bindDigits(dialog, header, &Settings::raw_header_size);
  wxTextCtrl* width = sub.digits("raw_image_width");
  sub.row("Image Width", sub.withUnit(width, "Pixels"));
  bindDigits(dialog, width, &Settings::raw_image_width);
  wxTextCtrl* height = sub.digits("raw_image_height");
  sub.row("Image Height", sub.withUnit(height, "Pixels"));
  bindDigits(dialog, height, &Settings::raw_image_height);
  wxChoice* tone = sub.choice("raw_tone_mapping",
                              {"None", "Linear", "Adaptive Logarithmic", "DR Reduction", "Gradient Domain"});
  sub.row("Tone Mapping", tone);
  bindChoice(dialog, tone, &Settings::raw_tone_mapping);
  // The headerless sizes only mean something for 8- and 16-bit raw data.
  dialog.addRule([load, header, width, height] {
    const bool headerless = load->GetSelection() == 1 || load->GetSelection() == 2;
    header->Enable(headerless);
    width->Enable(headerless);
    height->Enable(headerless);
  });
}

// A format box of a format list (upper-case keys) that stores the key.
wxChoice* formatChoice(PreferencesWindow& dialog, wxWindow* page, std::string Settings::*field) {
  wxArrayString keys;
  for (const std::string& key : inputFormatList()) keys.Add(toWx(toUpper(key)));
  auto* box = new wxChoice(page, wxID_ANY, wxDefaultPosition, wxDefaultSize, keys);
  box->SetName("input_format");
  dialog.addField(
      [box, field](const Settings& s) {
        const auto& list = inputFormatList();
        box->SetSelection(0);
        for (size_t i = 0; i < list.size(); ++i) {
          if (list[i] == s.*field) box->SetSelection(static_cast<int>(i));
        }
      },
      [box, field](Settings& s) {
        const int chosen = box->GetSelection();
        if (chosen >= 0 && static_cast<size_t>(chosen) < inputFormatList().size())
          s.*field = inputFormatList()[static_cast<size_t>(chosen)];
      });
  return box;
}

// "Auto" and the depths the format table allows; stores the depth, 0 for Auto.
void addDepthChoice(PreferencesWindow& dialog, PageBuilder& sub, const std::string& key, int32_t Settings::*field) {
  auto depths = std::make_shared<std::vector<int>>(1, 0);
  wxArrayString texts;
  texts.Add(toWx(getText("Preferences", "Auto")));
  auto row = formatTable().find(key);
  if (row != formatTable().end()) {
    for (const std::string& depth : split(row->second.depths, ',')) {
      depths->push_back(std::atoi(depth.c_str()));
      texts.Add(toWx(depth));
    }
  }
  auto* choice = new wxChoice(sub.page(), wxID_ANY, wxDefaultPosition, wxDefaultSize, texts);
  choice->SetName(toWx(key + "_bpp"));
  sub.row("Bits Per Pixel", choice);
  dialog.addField(
      [choice, depths, field](const Settings& s) {
        choice->SetSelection(0);
        for (size_t i = 0; i < depths->size(); ++i) {
          if ((*depths)[i] == s.*field) choice->SetSelection(static_cast<int>(i));
        }
      },
      [choice, depths, field](Settings& s) {
        const int chosen = choice->GetSelection();
        s.*field = chosen > 0 ? (*depths)[static_cast<size_t>(chosen)] : 0;
      });
}

void addQuality(PreferencesWindow& dialog, PageBuilder& sub, const std::string& name, int32_t Settings::*field) {
  LinkedSlider* quality = dialog.keep(std::make_unique<LinkedSlider>(sub.page(), name, field));
  sub.row("Image Quality", quality->sizer());
  bindSlider(dialog, quality, field);
}

// The options of one output format after its bit-depth box.
void addFormatOptions(PreferencesWindow& dialog, PageBuilder& sub, const std::string& key) {
  auto add = [&](const char* label, const std::string& name, std::initializer_list<const char*> keys,
                 int32_t Settings::*field) {
    wxChoice* choice = sub.choice(name, keys);
    sub.row(label, choice);
    bindChoice(dialog, choice, field);
  };
  if (key == "bmp") {
    add("Compression", "bmp_compression", {"None", "RLE"}, &Settings::bmp_compression);
    add("Color Table", "bmp_color_table", {"Auto", "Exact"}, &Settings::bmp_color_table);
  } else if (key == "exr") {
    add("Compression", "exr_compression", {"None", "ZIP", "PIZ", "PXR24", "B44"}, &Settings::exr_compression);
  } else if (key == "jpg") {
    addQuality(dialog, sub, "jpg_quality", &Settings::jpg_quality);
    add("Chroma Subsampling", "jpg_chroma", {"None", "Low", "Medium", "High"}, &Settings::jpg_chroma);
    add("Save As", "jpg_save_as", {"Baseline Standard", "Baseline Simple", "Baseline Optimized", "Progressive"},
        &Settings::jpg_save_as);
  } else if (key == "pcx") {
    wxChoice* only = sub.choice("pcx_compression", {"RLE"});
    only->SetSelection(0);
    sub.row("Compression", only);
  } else if (key == "png") {
    add("Compression", "png_compression", {"None", "ZLIB1", "ZLIB6", "ZLIB9"}, &Settings::png_compression);
    wxCheckBox* interlaced = sub.check("png_interlaced");
    sub.row("Interlaced", interlaced);
    bindCheck(dialog, interlaced, &Settings::png_interlaced);
  } else if (key == "tga") {
    add("Compression", "tga_compression", {"None", "RLE"}, &Settings::tga_compression);
  } else if (key == "tiff") {
    add("Compression", "tiff_compression",
        {"None", "CCITTFAX3", "CCITTFAX4", "PACKBITS", "DEFLATE", "ADOBEDEFLATE", "LZW", "JPEG", "LOGLUV"},
        &Settings::tiff_compression);
    add("Color Model", "tiff_color_model", {"RGB", "CMYK"}, &Settings::tiff_color_model);
  } else if (key == "webp") {
    addQuality(dialog, sub, "webp_quality", &Settings::webp_quality);
  }
}

PictureComboBox* outputFormatBox(PreferencesWindow& dialog, wxWindow* page) {
  auto* box = new PictureComboBox(page, wxID_ANY, wxDefaultPosition, wxSize(200, 26));
  box->SetName("output_format");
  fillOutputFormatBox(box, false);
  dialog.addField(
      [box](const Settings& s) {
        for (unsigned i = 0; i < box->GetCount(); ++i) {
          const auto index = static_cast<size_t>(reinterpret_cast<intptr_t>(box->GetClientData(i)));
          if (index < outputFormatList().size() && outputFormatList()[index] == s.output_format)
            box->SetSelection(static_cast<int>(i));
        }
      },
      [box](Settings& s) {
        if (box->GetSelection() == wxNOT_FOUND) return;
        const auto index = static_cast<size_t>(
            reinterpret_cast<intptr_t>(box->GetClientData(static_cast<unsigned>(box->GetSelection()))));
        if (index < outputFormatList().size()) s.output_format = outputFormatList()[index];
      });
  return box;
}

// What a run writes of each document: it whole, or each of its layers,
// groups or layer comps, and how.
void addExportChoices(PreferencesWindow& dialog, wxWindow* page) {
  PageBuilder rows(page);
  wxChoice* kind = rows.choice("export_kind", {"Whole Document", "Each Layer", "Each Group", "Each Layer Comp"});
  rows.row("Export Pieces", kind);
  bindChoice(dialog, kind, &Settings::export_kind);
  wxChoice* bounds = rows.choice("export_canvas_bounds", {"Visible Pixels", "Whole Canvas"});
  rows.row("Export Bounds", bounds);
  dialog.addField([bounds](const Settings& s) { bounds->SetSelection(s.export_canvas_bounds ? 1 : 0); },
                  [bounds](Settings& s) { s.export_canvas_bounds = bounds->GetSelection() == 1; });
  wxCheckBox* hidden = rows.check("export_hidden");
  rows.row("Export Hidden", hidden);
  bindCheck(dialog, hidden, &Settings::export_hidden);
  wxTextCtrl* depth = rows.digits("export_depth");
  rows.row("Export Depth", depth);
  bindDigits(dialog, depth, &Settings::export_depth);
  wxCheckBox* manifest = rows.check("export_manifest");
  rows.row("Export Manifest", manifest);
  bindCheck(dialog, manifest, &Settings::export_manifest);
  // The choices of pieces mean nothing while the whole document is written.
  dialog.addRule([kind, bounds, hidden, depth, manifest] {
    const int chosen = kind->GetSelection();
    const bool pieces = chosen > 0;
    for (wxWindow* control : {static_cast<wxWindow*>(bounds), static_cast<wxWindow*>(hidden),
                              static_cast<wxWindow*>(manifest)})
      control->Enable(pieces);
    depth->Enable(chosen == 2);
  });
}

}  // namespace

void buildInputPage(PreferencesWindow& dialog) {
  wxWindow* page = newCategoryPage(dialog, 2);
  PageBuilder top(page);
  wxChoice* format = formatChoice(dialog, page, &Settings::input_format);
  top.row("Input Format", format);
  auto panels = std::make_shared<SubPanels>();
  wxPanel* dds = newSubPanel(page);
  (*panels)["dds"] = dds;
  PageBuilder dds_page(dds);
  wxChoice* dds_load = dds_page.choice("dds_load_as", {"Auto", "BGRA", "RGBA"});
  dds_page.row("Load As", dds_load);
  bindChoice(dialog, dds_load, &Settings::dds_load_as);
  addFrameLoading(dialog, panels.get(), page, "gif", &Settings::gif_frame_loading);
  addFrameLoading(dialog, panels.get(), page, "ico", &Settings::ico_frame_loading);
  addFrameLoading(dialog, panels.get(), page, "tiff", &Settings::tiff_frame_loading);
  wxPanel* psd = newSubPanel(page);
  (*panels)["psd"] = psd;
  PageBuilder psd_page(psd);
  wxChoice* model = psd_page.choice("psd_color_model", {"RGB", "CMYK", "LAB"});
  psd_page.row("Color Model", model);
  bindChoice(dialog, model, &Settings::psd_color_model);
  addRawPanel(dialog, panels.get(), page);
  dialog.addRule([format, panels] {
    const int chosen = format->GetSelection();
    const auto& list = inputFormatList();
    showSubPanel(*panels, chosen >= 0 && static_cast<size_t>(chosen) < list.size() ? list[static_cast<size_t>(chosen)]
                                                                                   : std::string());
  });
}

void buildOutputPage(PreferencesWindow& dialog) {
  wxWindow* page = newCategoryPage(dialog, 3);
  PageBuilder top(page);
  PictureComboBox* format = outputFormatBox(dialog, page);
  top.row("Output Format", format);
  auto panels = std::make_shared<SubPanels>();
  for (const auto& [key, field] : bitDepthFields()) {
    wxPanel* panel = newSubPanel(page);
    (*panels)[key] = panel;
    PageBuilder sub(panel);
    addDepthChoice(dialog, sub, key, field);
    addFormatOptions(dialog, sub, key);
  }
  dialog.addRule([format, panels] {
    const int chosen = format->GetSelection();
    std::string key;
    if (chosen != wxNOT_FOUND) {
      const auto index = static_cast<size_t>(reinterpret_cast<intptr_t>(format->GetClientData(static_cast<unsigned>(chosen))));
      if (index < outputFormatList().size()) key = outputFormatList()[index];
    }
    showSubPanel(*panels, key);
  });
  addExportChoices(dialog, page);
}

}  // namespace pixolune
