// Every label and check box of the main window and of every preferences page
// is at least as large as its text needs, so none shows a clipped caption.
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/stattext.h>
#include <wx/weakref.h>

#include <vector>

#include "ui/preferences_dialog.h"
#include "window_fixture.h"

namespace pixolune::testing {
namespace {

/// "text: size < best size" for each shown label or check box under `root`
/// that is smaller than the size its text needs.
std::vector<std::string> clippedCaptions(wxWindow* root) {
  std::vector<std::string> out;
  std::vector<wxWindow*> todo(root->GetChildren().begin(), root->GetChildren().end());
  while (!todo.empty()) {
    wxWindow* control = todo.back();
    todo.pop_back();
    if (!control->IsShown()) continue;
    todo.insert(todo.end(), control->GetChildren().begin(), control->GetChildren().end());
    if (!dynamic_cast<wxStaticText*>(control) && !dynamic_cast<wxCheckBox*>(control)) continue;
    const wxString text = control->GetLabel();
    if (text.empty()) continue;
    control->InvalidateBestSize();
    const wxSize best = control->GetBestSize();
    const wxSize extent = control->GetTextExtent(wxControl::RemoveMnemonics(text));
    const wxSize size = control->GetSize();
    if (size.x < best.x || size.y < best.y || size.x < extent.x || size.y < extent.y) {
      out.push_back(fromWx(text) + ": " + std::to_string(size.x) + "x" + std::to_string(size.y) + " < " +
                    std::to_string(best.x) + "x" + std::to_string(best.y));
    }
  }
  return out;
}

class LabelsTest : public WindowTest {
 protected:
  void TearDown() override {
    if (dialog_) dialog_->cancel();
    pumpEvents(10);
    WindowTest::TearDown();
  }
  wxWeakRef<PreferencesWindow> dialog_;
};

TEST_F(LabelsTest, MainWindowLabelsShowTheirWholeText) {
  for (const wxSize inner : {wxSize(510, 330), wxSize(900, 500)}) {
    window().setInnerSize(inner.x, inner.y);
    pumpEvents(30);
    EXPECT_EQ(std::vector<std::string>(), clippedCaptions(&window())) << inner.x;
  }
}

TEST_F(LabelsTest, EveryPreferencesPageShowsWholeLabelsAndCheckBoxes) {
  dialog_ = openPreferencesDialog(mainWindow());
  ASSERT_TRUE(dialog_);
  const int categories = static_cast<int>(std::size(kPreferenceCategories));
  for (int index = 0; index < categories; ++index) {
    SCOPED_TRACE(kPreferenceCategories[index]);
    dialog_->selectCategory(index);
    pumpEvents(20);
    EXPECT_EQ(std::vector<std::string>(), clippedCaptions(dialog_.get()));
  }
  // The watermark page shows other rows for a text and for a picture.
  auto* watermark = dynamic_cast<wxChoice*>(wxWindow::FindWindowByName("do_watermark", dialog_.get()));
  ASSERT_NE(nullptr, watermark);
  for (int mode = 1; mode < static_cast<int>(watermark->GetCount()); ++mode) {
    SCOPED_TRACE(mode);
    dialog_->selectCategory(7);
    watermark->SetSelection(mode);
    wxCommandEvent event(wxEVT_CHOICE, watermark->GetId());
    event.SetEventObject(watermark);
    event.SetInt(mode);
    watermark->GetEventHandler()->ProcessEvent(event);
    pumpEvents(20);
    EXPECT_EQ(std::vector<std::string>(), clippedCaptions(dialog_.get()));
  }
}

}  // namespace
}  // namespace pixolune::testing
