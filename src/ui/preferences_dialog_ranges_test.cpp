// The number controls of the preferences pages against the settings field
// table: every bar spans its field's range, and OK refuses a number just
// past either end of it with the message naming the row's label.
#include <wx/slider.h>
#include <wx/textctrl.h>
#include <wx/weakref.h>

#include <cmath>
#include <cstdio>

#include "settings/setting_fields.h"
#include "ui/preferences_dialog.h"
#include "ui/preferences_dialog_controls.h"
#include "window_fixture.h"

namespace pixolune::testing {
namespace {

class PreferenceRangesTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    settings().settings_file_path = dir_.file("config.ini");
    dialog_ = openPreferencesDialog(mainWindow());
  }
  void TearDown() override {
    if (dialog_) dialog_->cancel();
    pumpEvents(10);
    WindowTest::TearDown();
  }

  template <class T>
  T* find(const std::string& name) {
    return dynamic_cast<T*>(wxWindow::FindWindowByName(toWx(name), dialog_.get()));
  }

  // The message OK shows for `text` in `box`, or "" when it is accepted.
  std::string refusal(wxTextCtrl* box, const std::string& text) {
    box->ChangeValue(toWx(text));
    const size_t before = boxes_.shown().size();
    const bool closed = dialog_->confirm();
    pumpEvents(5);
    return closed || boxes_.shown().size() == before ? std::string() : boxes_.shown().back().text;
  }

  wxWeakRef<PreferencesWindow> dialog_;
};

std::string numberText(double value, bool hundredths) {
  char text[32];
  std::snprintf(text, sizeof text, hundredths ? "%.2f" : "%.0f", value);
  return text;
}

TEST_F(PreferenceRangesTest, EveryNumberControlTakesItsFieldRange) {
  int checked = 0;
  for (const SettingField& field : settingFields()) {
    if (!field.range.limited()) continue;
    wxSlider* bar = find<wxSlider>(field.name);
    wxTextCtrl* box = find<wxTextCtrl>(bar ? std::string(field.name) + ".number" : std::string(field.name));
    if (!box) continue;  // A choice (bit depths) or the date boxes.
    SCOPED_TRACE(field.name);
    const bool hundredths = std::holds_alternative<float Settings::*>(field.member);
    const double unit = hundredths ? 0.01 : 1;
    if (bar) {
      EXPECT_EQ(std::lround(field.range.min / unit), bar->GetMin());
      EXPECT_EQ(std::lround(field.range.max / unit), bar->GetMax());
    }
    const bool enabled = box->IsEnabled();
    box->Enable(true);  // Boxes of switched-off stages only need a number.
    const wxString kept = box->GetValue();
    const std::string accepts = std::string(". It accepts ") + (hundredths ? "numbers" : "whole numbers") + " from " +
                                numberText(field.range.min, hundredths) + " to " +
                                numberText(field.range.max, hundredths) + ".";
    for (double outside : {field.range.min - unit, field.range.max + unit}) {
      const std::string text = numberText(outside, hundredths);
      EXPECT_EQ(fieldLabel(box) + ": \"" + text + "\" is out of range" + accepts, refusal(box, text));
      ASSERT_TRUE(dialog_);
    }
    box->ChangeValue(kept);
    box->Enable(enabled);
    ++checked;
  }
  EXPECT_EQ(33, checked);  // 16 bars and 17 number boxes.
  EXPECT_FALSE(isRegularFile(settings().settings_file_path));  // Nothing was stored.
}

}  // namespace
}  // namespace pixolune::testing
