#include <wx/textctrl.h>

#include "resources/product.h"
#include "support/scripted_message_boxes.h"
#include "ui/converter_search.h"
#include "window_support.h"

namespace pixolune::testing {
namespace {

TEST(KeepAlphanumeric, KeepsAsciiLettersAndDigitsInOrder) {
  EXPECT_EQ("", keepAlphanumeric(""));
  EXPECT_EQ("abc9XZ", keepAlphanumeric("a.b-c_9 X!Z"));
  EXPECT_EQ("ab", keepAlphanumeric("\xC3\xA4" "a\xC3\x9F" "b"));  // Letters beyond ASCII go.
  EXPECT_EQ("", keepAlphanumeric("..."));
}

TEST(ReadConverterFields, LowerCasedCutAndFiltered) {
  EXPECT_TRUE(readConverterFields(".PSD", "Png"));
  EXPECT_EQ("psd", converterSearch().from_ext);
  EXPECT_EQ("png", converterSearch().to_ext);
  EXPECT_EQ(std::string(kWebSiteAddress) + "find/psd-png/", converterSearchAddress());

  EXPECT_TRUE(readConverterFields("jpeg 2000!", "tif"));
  EXPECT_EQ("jpeg2000", converterSearch().from_ext);

  // Cut to twelve characters first, then filtered: shorter than twelve.
  EXPECT_TRUE(readConverterFields("abcdefghij.klmnop", "x"));
  EXPECT_EQ("abcdefghijk", converterSearch().from_ext);
  EXPECT_TRUE(readConverterFields("ABCDEFGHIJKLMNOP", "x"));
  EXPECT_EQ("abcdefghijkl", converterSearch().from_ext);
  // The cut counts characters, not bytes.
  EXPECT_TRUE(readConverterFields("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
                                  "ab",
                                  "x"));
  EXPECT_EQ("ab", converterSearch().from_ext);
}

TEST(ReadConverterFields, EmptyOrSymbolsOnlyFail) {
  EXPECT_FALSE(readConverterFields("...", "png"));
  EXPECT_FALSE(readConverterFields("psd", ""));
  EXPECT_FALSE(readConverterFields("", ""));
  EXPECT_FALSE(readConverterFields("            psd", "png"));  // The cut leaves only spaces.
}

class ConverterSearchWindowTest : public SmallWindowTest {
 protected:
  ConverterSearchWindow* openWith(const char* from, const char* to) {
    ConverterSearchWindow* window = openConverterSearch(main_window);
    window->fromField()->ChangeValue(wxString::FromUTF8(from));
    window->toField()->ChangeValue(wxString::FromUTF8(to));
    return window;
  }
  ScriptedMessageBoxes boxes;
};

TEST_F(ConverterSearchWindowTest, Layout) {
  ConverterSearchWindow* window = openConverterSearch(main_window);
  EXPECT_EQ("Find a File Converter", window->GetTitle());
  EXPECT_EQ(wxSize(370, 60), window->GetClientSize());
  EXPECT_EQ("From:", window->FindWindow(kSearchFromLabel)->GetLabel());
  EXPECT_EQ("To:", window->FindWindow(kSearchToLabel)->GetLabel());
  EXPECT_EQ("Search", window->FindWindow(kSearchButton)->GetLabel());
  EXPECT_EQ(wxPoint(50, 20), window->fromField()->GetPosition());
  EXPECT_TRUE(window->fromField()->IsEmpty());
  EXPECT_FALSE(main_window->IsEnabled());
  window->closeWindow();
  EXPECT_TRUE(main_window->IsEnabled());
}

TEST_F(ConverterSearchWindowTest, ReturnOpensTheSearchPageAndCloses) {
  wxWeakRef<ConverterSearchWindow> window(openWith(".PSD", "Png"));
  pressKey(window, WXK_RETURN);
  EXPECT_EQ(std::vector<std::string>{std::string(kWebSiteAddress) + "find/psd-png/"}, shell.targets);
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_TRUE(main_window->IsEnabled());
  flushDeletions();
  EXPECT_FALSE(window);
}

TEST_F(ConverterSearchWindowTest, UnusableTextsWarnAndKeepTheWindow) {
  wxWeakRef<ConverterSearchWindow> window(openWith("...", "png"));
  window->runCommand(kSearchButton);
  ASSERT_EQ(1u, boxes.shown().size());
  EXPECT_EQ("Warning", boxes.shown()[0].title);
  EXPECT_EQ("Please, fill all required fields and try again!", boxes.shown()[0].text);
  EXPECT_EQ(MessageIcon::kWarning, boxes.shown()[0].icon);
  EXPECT_TRUE(shell.targets.empty());
  flushDeletions();
  ASSERT_TRUE(window);
  EXPECT_TRUE(window->IsShown());
  EXPECT_EQ("...", window->fromField()->GetValue());
  EXPECT_EQ("png", window->toField()->GetValue());
  EXPECT_FALSE(main_window->IsEnabled());
  window->closeWindow();
}

TEST_F(ConverterSearchWindowTest, EscapeAndCloseRequestOpenNothing) {
  for (int way = 0; way < 2; ++way) {
    wxWeakRef<ConverterSearchWindow> window(openWith("psd", "png"));
    if (way == 0) pressKey(window, WXK_ESCAPE);
    if (way == 1) window->Close();
    EXPECT_TRUE(main_window->IsEnabled()) << way;
    flushDeletions();
    EXPECT_FALSE(window) << way;
  }
  EXPECT_TRUE(shell.targets.empty());
  EXPECT_TRUE(boxes.shown().empty());
}

}  // namespace
}  // namespace pixolune::testing
