#include "ui/preview_dialog.h"

#include <wx/bitmap.h>
#include <wx/button.h>
#include <wx/dcbuffer.h>
#include <wx/dcmemory.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "inputs/input_list.h"
#include "resources/message_box.h"
#include "resources/string_table.h"
#include "settings/format_lists.h"
#include "settings/settings.h"
#include "ui/event_loop_access.h"
#include "ui/file_list_view.h"
#include "ui/main_window.h"
#include "ui/wx_convert.h"

namespace pixolune {

namespace {

constexpr std::chrono::milliseconds kPollInterval{15};
constexpr int kCheckerSquare = 8;
constexpr int kMinimumWidth = 320;
constexpr int kMinimumHeight = 260;

PreviewShownHook shown_hook;
PreviewDialog* the_dialog = nullptr;

std::string text(const char* key) { return getText("Preview", key); }

// A checkerboard of light and mid grey, for what is transparent.
void drawChecker(wxDC& dc, const wxRect& area) {
  dc.SetPen(*wxTRANSPARENT_PEN);
  for (int y = area.y; y < area.GetBottom() + 1; y += kCheckerSquare) {
    for (int x = area.x; x < area.GetRight() + 1; x += kCheckerSquare) {
      const bool light = (((x - area.x) / kCheckerSquare + (y - area.y) / kCheckerSquare) % 2) == 0;
      dc.SetBrush(wxBrush(light ? wxColour(255, 255, 255) : wxColour(204, 204, 204)));
      dc.DrawRectangle(x, y, std::min(kCheckerSquare, area.GetRight() + 1 - x),
                       std::min(kCheckerSquare, area.GetBottom() + 1 - y));
    }
  }
}

}  // namespace

// The picture, scaled to fit the panel with its aspect kept and centred,
// drawn over the checkerboard.
class PicturePanel : public wxPanel {
 public:
  explicit PicturePanel(wxWindow* parent) : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxSize(300, 200)) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, [this](wxPaintEvent&) { paint(); });
    Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
      scaled_ = wxBitmap();
      Refresh();
      event.Skip();
    });
  }

  void setPicture(const PreviewPicture& picture) {
    picture_ = picture;
    image_ = wxImage();
    if (picture.valid()) {
      image_.Create(picture.width, picture.height, false);
      image_.InitAlpha();
      unsigned char* rgb = image_.GetData();
      unsigned char* alpha = image_.GetAlpha();
      for (size_t i = 0, n = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height); i < n; ++i) {
        rgb[3 * i] = picture.rgba[4 * i];
        rgb[3 * i + 1] = picture.rgba[4 * i + 1];
        rgb[3 * i + 2] = picture.rgba[4 * i + 2];
        alpha[i] = picture.rgba[4 * i + 3];
      }
    }
    scaled_ = wxBitmap();
    Refresh();
  }

  const PreviewPicture& picture() const { return picture_; }

  /// Where the picture lies in the panel: the largest rectangle of its
  /// aspect that fits, centred; pictures smaller than the panel are
  /// enlarged too, so their pixels can be seen.
  wxRect placement() const {
    const wxSize area = GetClientSize();
    if (!image_.IsOk() || area.x <= 0 || area.y <= 0) return wxRect();
    const double scale = std::min(static_cast<double>(area.x) / image_.GetWidth(),
                                  static_cast<double>(area.y) / image_.GetHeight());
    const int w = std::max(1, static_cast<int>(image_.GetWidth() * scale));
    const int h = std::max(1, static_cast<int>(image_.GetHeight() * scale));
    return wxRect((area.x - w) / 2, (area.y - h) / 2, w, h);
  }

  /// The picture as drawn: scaled and laid over the checkerboard.
  wxImage shown() {
    const wxRect where = placement();
    if (where.IsEmpty()) return wxImage();
    wxBitmap canvas(where.width, where.height, 24);
    {
      wxMemoryDC dc(canvas);
      drawInto(dc, wxRect(0, 0, where.width, where.height));
    }
    return canvas.ConvertToImage();
  }

 private:
  void drawInto(wxDC& dc, const wxRect& where) {
    drawChecker(dc, where);
    if (!scaled_.IsOk() || scaled_.GetWidth() != where.width || scaled_.GetHeight() != where.height) {
      // Enlarged pictures keep sharp pixels; reduced ones are smoothed.
      const bool larger = where.width >= image_.GetWidth();
      scaled_ = wxBitmap(image_.Scale(where.width, where.height,
                                      larger ? wxIMAGE_QUALITY_NEAREST : wxIMAGE_QUALITY_HIGH));
    }
    dc.DrawBitmap(scaled_, where.x, where.y, true);
  }

  void paint() {
    wxAutoBufferedPaintDC dc(this);
    dc.SetBackground(wxBrush(GetBackgroundColour()));
    dc.Clear();
    const wxRect where = placement();
    if (!where.IsEmpty()) drawInto(dc, where);
  }

  PreviewPicture picture_;
  wxImage image_;
  wxBitmap scaled_;
};

PreviewDialog::PreviewDialog(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, toWx(text("Title")), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxRESIZE_BORDER) {
  auto* column = new wxBoxSizer(wxVERTICAL);
  name_ = new wxStaticText(this, wxID_ANY, wxString());
  size_ = new wxStaticText(this, wxID_ANY, wxString());
  file_size_ = new wxStaticText(this, wxID_ANY, wxString());
  message_ = new wxStaticText(this, wxID_ANY, wxString());
  picture_ = new PicturePanel(this);
  close_ = new wxButton(this, wxID_CLOSE, toWx(text("Close")));
  column->Add(name_, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 10);
  column->Add(size_, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 10);
  column->Add(file_size_, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 10);
  column->Add(message_, 0, wxEXPAND | wxALL, 10);
  column->Add(picture_, 1, wxEXPAND | wxLEFT | wxRIGHT, 10);
  column->Add(close_, 0, wxALIGN_RIGHT | wxALL, 10);
  SetSizer(column);
  SetMinClientSize(wxSize(kMinimumWidth, kMinimumHeight));
  SetClientSize(480, 420);
  close_->SetDefault();
  SetEscapeId(wxID_CLOSE);
  if (GetParent()) CentreOnParent();
  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
    close_requested = true;
    event.Veto();
  });
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { close_requested = true; }, wxID_CLOSE);
  Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
    if (message_->IsShown() && !message_->GetLabel().empty()) message_->Wrap(std::max(100, GetClientSize().x - 20));
    event.Skip();
  });
}

void PreviewDialog::showMessage(const std::string& message) {
  name_->SetLabel(wxString());
  size_->SetLabel(wxString());
  file_size_->SetLabel(wxString());
  picture_->setPicture(PreviewPicture());
  output_path_.clear();
  message_->SetLabel(toWx(message));
  message_->Wrap(std::max(100, GetClientSize().x - 20));
  message_->Show();
  picture_->Hide();
  Layout();
}

void PreviewDialog::showPreparing() { showMessage(text("Preparing")); }

void PreviewDialog::showOutcome(const PreviewOutcome& outcome) {
  if (!outcome.ok) {
    showMessage(formatMessage(text("Failed"), outcome.reason));
    return;
  }
  message_->SetLabel(wxString());
  message_->Hide();
  name_->SetLabel(toWx(formatMessage(text("Output Name"), outcome.output_name)));
  size_->SetLabel(toWx(formatMessage(text("Picture Size"), std::to_string(outcome.width),
                                     std::to_string(outcome.height), std::to_string(outcome.bits_per_pixel))));
  file_size_->SetLabel(toWx(formatMessage(text("File Size"), pixolune::sizeText(outcome.file_size),
                                          std::to_string(outcome.file_size))));
  output_path_ = outcome.output_path;
  picture_->setPicture(outcome.picture);
  picture_->Show();
  Layout();
}

std::string PreviewDialog::nameText() const { return fromWx(name_->GetLabel()); }
std::string PreviewDialog::pixelSizeText() const { return fromWx(size_->GetLabel()); }
std::string PreviewDialog::fileSizeText() const { return fromWx(file_size_->GetLabel()); }
std::string PreviewDialog::messageText() const {
  // Wrapping puts line breaks into the label; the text is given without them.
  wxString label = message_->GetLabel();
  label.Replace("\n", " ");
  return message_->IsShown() ? fromWx(label) : std::string();
}
wxImage PreviewDialog::shownPicture() const { return picture_->IsShown() ? picture_->shown() : wxImage(); }
const PreviewPicture& PreviewDialog::picture() const { return picture_->picture(); }

namespace {

// The selected file of the list and its place among the listed entries.
bool selectedFile(MainWindow* window, std::string* path, int* position) {
  const std::vector<size_t> selected = window->fileList()->selectedRows();
  if (selected.empty() || selected.front() >= window->fileList()->rows().size()) return false;
  *path = window->fileList()->rows()[selected.front()];
  *position = 0;
  for (const auto& [listed_path, entry] : inputList()) {
    if (listed_path == *path) return entry.listed != 0;
    if (entry.listed != 0) ++*position;
  }
  return false;
}

}  // namespace

void openPreviewDialog() {
  MainWindow* main = mainWindow();
  if (!main || the_dialog) return;
  std::string path;
  int position = 0;
  if (!selectedFile(main, &path, &position)) {
    showWarning(text("No Selection"));
    return;
  }
  // The format box's choice is the run's, as Convert takes it.
  const int format = main->selectedOutputFormat();
  const std::vector<std::string>& formats = outputFormatList();
  if (format >= 0 && static_cast<size_t>(format) < formats.size())
    settings().output_format = formats[static_cast<size_t>(format)];

  LoopAccess loop;
  auto* dialog = new PreviewDialog(main);
  the_dialog = dialog;
  dialog->showPreparing();
  dialog->Show(true);
  main->Disable();
  dialog->SetFocus();

  PreviewOutcome outcome;
  {
    // The private folder lasts as long as the dialog shows its file.
    PreviewConversion conversion(path, position);
    outcome.reason = conversion.prepare();
    if (outcome.reason.empty()) {
      std::atomic<bool> done{false};
      std::thread worker([&] {
        outcome = conversion.convert();
        done = true;
        wxWakeUpIdle();
      });
      // The worker cannot be cut short: a close asked for meanwhile takes
      // effect once it is done.
      while (!done) loop.dispatch(kPollInterval);
      worker.join();
    }
    dialog->showOutcome(outcome);
    if (shown_hook) shown_hook(dialog);
    while (!dialog->close_requested) loop.dispatch(kPollInterval);
    dialog->Hide();
  }
  the_dialog = nullptr;
  main->Enable();
  dialog->Destroy();
  main->SetFocus();
}

void setPreviewShownHook(PreviewShownHook hook) { shown_hook = std::move(hook); }

PreviewDialog* previewDialog() { return the_dialog; }

}  // namespace pixolune
