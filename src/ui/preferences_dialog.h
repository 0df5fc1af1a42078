// The preferences dialog: the window-mode editor of the settings record.
// Nine categories on the left, the chosen category's page on the right,
// Defaults, OK and Cancel at the bottom. The window is resizable; the page
// takes the room the list and the buttons leave, and scrolls (with its
// scroll bars drawn) when it is taller. The controls are the only working
// copy: the record is written only by OK (or reset by Defaults).
//
// Every control that edits a field carries the field's name as its window
// name ("jpg_quality"; a slider's number box adds ".number", a colour's or
// font's "..." button ".more"), so that tests and screenshots can find it.
#ifndef PIXOLUNE_UI_PREFERENCES_DIALOG_H_
#define PIXOLUNE_UI_PREFERENCES_DIALOG_H_

#include <wx/listbox.h>
#include <wx/stattext.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings.h"
#include "ui/small_window.h"

namespace pixolune {

/// The category the dialog opens on (0 General ... 8 Advanced), set by the
/// caller: the output-format options button sets kPreferencesOutputPage.
extern uint8_t preferences_start_page;
inline constexpr uint8_t kPreferencesOutputPage = 3;

/// The category keys (group "Preferences"), in list order.
inline constexpr const char* kPreferenceCategories[] = {"General",    "Interface", "Input",     "Output",  "Transform",
                                                        "Adjustment", "Frame",     "Watermark", "Advanced"};
inline constexpr int kPreferenceCategoryCount = 9;

/// The inner size the dialog first opens with. It is resizable; its size
/// when it closes is kept in settings() (preferences_width and _height,
/// saved with the window's position) and it opens again with that size.
inline constexpr int kPreferencesWidth = kPreferencesDefaultWidth;
inline constexpr int kPreferencesHeight = kPreferencesDefaultHeight;

/// The inner size the dialog opens with: the size it had when it last
/// closed, no larger than the free area of the screen `parent` is on (the
/// first screen without a parent) and never smaller than the default size.
wxSize preferencesOpeningSize(wxWindow* parent);

/// Button ids of the dialog.
enum PreferencesButton : int { kPreferencesDefaults = 100, kPreferencesOk = 101, kPreferencesCancel = 102 };

/// The dialog window. Not modal in the toolkit's sense: it disables the main
/// window while it is open, so tests can drive it like the user does.
class PreferencesWindow : public SmallWindow {
 public:
  explicit PreferencesWindow(wxWindow* parent);
  ~PreferencesWindow() override;

  /// OK, Defaults and Cancel by button id.
  void runCommand(int id) override;

  /// Copies `record` into every control and applies the enabling and
  /// showing rules.
  void fillControls(const Settings& record);
  /// Writes every control into `record`: language "en", texts trimmed and
  /// stripped of tabs and line breaks, do_image_color_correction derived from
  /// brightness, contrast, gamma and invert. Fields without a control keep
  /// their values.
  void readControls(Settings& record) const;

  /// OK: checks every number box (a text that is not a number or is out of
  /// range shows an error naming the field, and the dialog stays open on
  /// it), asks before keeping a filename mask without %ext%, then reads the
  /// controls into settings(), decides what the main window reloads, saves,
  /// refreshes the main window and closes the dialog. False when it stayed
  /// open and nothing was stored.
  bool confirm();
  /// Defaults: asks, and on Yes resets settings() to the window-mode
  /// defaults, saves, refreshes the main window and closes. On No the dialog
  /// stays open and nothing changes. True when the reset was made.
  bool resetToDefaults();
  /// Cancel: closes without touching the settings the dialog edits (the
  /// dialog's own size is kept, as after OK).
  void cancel() { closeWindow(); }

  /// Shows the page of category `index` and its caption.
  void selectCategory(int index);
  int selectedCategory() const;
  /// The page of a category, and the caption above the pages.
  wxWindow* categoryPage(int index) const { return pages_[static_cast<size_t>(index)]; }
  wxStaticText* caption() const { return caption_; }
  wxListBox* categoryList() const { return categories_; }

  /// The list index of the format selected in the dialog's output-format
  /// box, or -1.
  int selectedOutputFormat() const;

  /// Runs the enabling and showing rules (after a choice or a check box
  /// changed).
  void applyRules();

  // Used by the page builders.
  wxWindow* pageParent() const { return page_area_; }
  void setPage(int index, wxWindow* page) { pages_[static_cast<size_t>(index)] = page; }
  void addField(std::function<void(const Settings&)> fill, std::function<void(Settings&)> read);
  void addRule(std::function<void()> rule) { rules_.push_back(std::move(rule)); }
  /// A check OK runs before storing anything: `problem` returns the message
  /// to show, or an empty text when `control` holds an acceptable value.
  void addCheck(wxWindow* control, std::function<std::string()> problem) {
    checks_.emplace_back(control, std::move(problem));
  }
  /// Keeps a helper object (a linked slider, a colour control) as long as
  /// the window lives; returns it.
  template <class T>
  T* keep(std::unique_ptr<T> part) {
    T* raw = part.get();
    owned_.push_back(std::shared_ptr<void>(std::move(part)));
    return raw;
  }

 private:
  PreferencesWindow(wxWindow* parent, wxSize size);
  /// Keeps the dialog's inner size in settings() (not while maximised).
  void rememberSize() const;
  void buildFrame();
  void buildPages();
  /// Runs the checks; on the first problem shows its field and the message.
  bool checkControls();
  /// A mask without %ext% writes files without an extension: asks whether
  /// to keep it. False to go back to it.
  bool confirmMask();
  /// Shows the page of `control`, scrolled to it, and gives it the focus.
  void showField(wxWindow* control);

  wxListBox* categories_ = nullptr;
  wxStaticText* caption_ = nullptr;
  wxWindow* page_area_ = nullptr;
  std::vector<wxWindow*> pages_;
  std::vector<std::function<void(const Settings&)>> fills_;
  std::vector<std::function<void(Settings&)>> reads_;
  std::vector<std::function<void()>> rules_;
  std::vector<std::pair<wxWindow*, std::function<std::string()>>> checks_;
  std::vector<std::shared_ptr<void>> owned_;
};

/// Builds the dialog over `parent` (it is disabled while the dialog is
/// open), fills it from settings(), selects preferences_start_page and shows
/// it. Returns the window (it destroys itself when closed).
PreferencesWindow* openPreferencesDialog(wxWindow* parent);

/// What the main window must reload after the settings changed from
/// `before` to `after`: 1 for a new theme, else 2 for a new icon size, else
/// the current pending_window_refresh.
int reloadDecision(const Settings& before, const Settings& after, int pending);

/// A text as OK stores it: trimmed of spaces, without tabs, CR and LF.
std::string cleanPreferenceText(const std::string& text);

/// The name a colour combo shows: the "Preferences" text of a named colour
/// ("Black", "Red", ...), else "Color #" and the six upper-case digits.
std::string colourName(const std::string& hex);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_PREFERENCES_DIALOG_H_
