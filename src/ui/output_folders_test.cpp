#include "ui/output_folders.h"

#include <gtest/gtest.h>

#include "image/format_table.h"
#include "inputs/input_extensions.h"
#include "resources/string_table.h"
#include "settings/settings.h"
#include "ui/input_dialogs.h"

namespace pixolune {
namespace {

TEST(OutputFolderHistoryTest, NewestFirstWithinTheLimit) {
  EXPECT_EQ("/f/", historyWithFolder("", "/f/", 5));
  EXPECT_EQ("/6/\t/5/\t/4/\t/3/\t/2/", historyWithFolder("/5/\t/4/\t/3/\t/2/\t/1/", "/6/", 5));
  EXPECT_EQ("/b/", historyWithFolder("/a/", "/b/", 1));
}

TEST(OutputFolderHistoryTest, ACaseVariantReplacesTheOldEntry) {
  EXPECT_EQ("/x/OUT/\t/y/", historyWithFolder("/x/out/\t/y/", "/x/OUT/", 5));
  EXPECT_EQ("/y/\t/x/", historyWithFolder("/x/\t/y/", "/y/", 5));
}

TEST(OutputFolderHistoryTest, EmptyFieldsAndFieldsPastTheNumberAreDropped) {
  EXPECT_EQ("/n/\t/a/\t/b/", historyWithFolder("/a/\t\t/b/\t/c/", "/n/", 3));
}

TEST(OutputFolderHistoryTest, RememberingNothingChangesNothing) {
  applyDefaultSettings(false);
  settings().recent_out_folders = "/a/";
  EXPECT_FALSE(rememberOutputFolder(""));
  EXPECT_EQ("/a/", settings().recent_out_folders);
  EXPECT_TRUE(rememberOutputFolder("/b/"));
  EXPECT_EQ("/b/\t/a/", settings().recent_out_folders);
}

TEST(InputFileFilterTest, AllSupportedThenOneEntryPerDescriptionThenAllFiles) {
  loadStringTable();
  createFormatLists();
  buildFormatTable();
  buildInputExtensionTable();
  rebuildInputExtensions();
  EXPECT_EQ("All Supported Files|*.[pP][sS][dD]|Adobe Photoshop File|*.[pP][sS][dD]|All Files (*.*)|*.*",
            inputFileFilter());
}

TEST(OutputFolderHistoryTest, OneEntryPerFolderWhateverTheSpelling) {
  // With and without the trailing "/", with "." and ".." and doubled "/".
  EXPECT_EQ("/x/out\t/y/", historyWithFolder("/x/out/\t/y/", "/x/out", 5));
  EXPECT_EQ("/x/out/\t/y", historyWithFolder("/x/out\t/y", "/x/out/", 5));
  EXPECT_EQ("/x/out/\t/y", historyWithFolder("/x/./out\t/x//out/\t/y", "/x/a/../out/", 5));
  // Duplicates already stored are dropped too, the newer one kept.
  EXPECT_EQ("/n/\t/a/\t/b", historyWithFolder("/a/\t/a\t/b\t/b/.", "/n/", 5));
  // Different folders stay apart; the root is its own entry.
  EXPECT_EQ("/\t/x/outer\t/x/out", historyWithFolder("/x/outer\t/x/out", "/", 5));
  EXPECT_EQ("/x", folderKey("/X/"));
  EXPECT_EQ("/", folderKey("//"));
}

}  // namespace
}  // namespace pixolune
