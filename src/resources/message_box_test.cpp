#include "resources/message_box.h"

#include <gtest/gtest.h>

#include "resources/string_table.h"
#include "support/scripted_message_boxes.h"

namespace pixolune {
namespace {

using testing::ScriptedMessageBoxes;

class MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override { loadStringTable(); }
  ScriptedMessageBoxes boxes;
};

TEST_F(MessageBoxTest, NoticesUseTheMsgTitlesAndOkButton) {
  showWarning(formatMessage(getText("Msg", "Unable to open file"), "/tmp/a.psd"));
  showError("broken");
  ASSERT_EQ(2u, boxes.shown().size());
  EXPECT_EQ("Warning", boxes.shown()[0].title);
  EXPECT_EQ("Unable to open the file: /tmp/a.psd!", boxes.shown()[0].text);
  EXPECT_EQ(MessageButtons::kOk, boxes.shown()[0].buttons);
  EXPECT_EQ(MessageIcon::kWarning, boxes.shown()[0].icon);
  EXPECT_EQ("Error", boxes.shown()[1].title);
  EXPECT_EQ(MessageIcon::kError, boxes.shown()[1].icon);
}

TEST_F(MessageBoxTest, QuestionsAskTheirTextsAndReturnTheAnswer) {
  struct Case {
    bool (*ask)();
    const char* title;
    const char* text;
    MessageIcon icon;
  };
  const Case cases[] = {
      {askBreakImport, "Warning", "Do you want to break the import?", MessageIcon::kWarning},
      {askBreakExport, "Warning", "Do you want to break the export?", MessageIcon::kWarning},
      {askBreakConversion, "Warning", "Do you want to break the conversion?", MessageIcon::kWarning},
      {askOverwriteFile, "Warning", "The file already exist. Do you want to overwrite it?", MessageIcon::kWarning},
      {askCheckForUpdates, "Check for Updates", "Do you want to check for updates?", MessageIcon::kQuestion},
      {askDownloadUpdate, "New Update",
       "A new version of Pixolune is available! Are you ready to download it right now?", MessageIcon::kQuestion},
      {confirmResetToDefaults, "Reset to Defaults",
       "Are you sure you want to reset all your settings to the default values?", MessageIcon::kQuestion},
  };
  for (const Case& c : cases) {
    boxes.answer(MessageAnswer::kYes);
    boxes.answer(MessageAnswer::kNo);
    EXPECT_TRUE(c.ask()) << c.text;
    EXPECT_FALSE(c.ask()) << c.text;
    const auto& last = boxes.shown().back();
    EXPECT_EQ(c.title, last.title);
    EXPECT_EQ(c.text, last.text);
    EXPECT_EQ(MessageButtons::kYesNo, last.buttons);
    EXPECT_EQ(c.icon, last.icon);
  }
  EXPECT_EQ(0u, boxes.pendingAnswers());
}

TEST(MessageBoxDefault, WithoutAWindowAQuestionIsAnsweredNo) {
  loadStringTable();
  {
    ScriptedMessageBoxes scripted;
    scripted.answer(MessageAnswer::kYes);
    EXPECT_TRUE(confirmResetToDefaults());
  }
  // The scripted boxes are gone: the default answers No and prints instead.
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(askBreakConversion());
  EXPECT_EQ("Warning: Do you want to break the conversion?\n", ::testing::internal::GetCapturedStderr());
}

}  // namespace
}  // namespace pixolune
