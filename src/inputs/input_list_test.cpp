#include "inputs/input_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include "run/conversion_job.h"
#include "image/format_table.h"
#include "inputs/input_extensions.h"
#include "platform/files.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::TempDir;
using testing::writeText;

class InputListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    createFormatLists();
    buildInputExtensionTable();
    resetRunState();
  }
  void TearDown() override {
    setAddFileHook(nullptr);
    resetRunState();
  }
  // A non-empty file at dir/name (folders made as needed); returns its path.
  std::string put(const std::string& name, const std::string& text = "data") {
    std::string path = dir.file(name);
    makeFolders(folderOf(path));
    writeText(path, text);
    return path;
  }
  TempDir dir;
};

TEST(InputExtensionTableTest, HoldsEveryRowOnceInTableOrder) {
  buildInputExtensionTable();
  buildInputExtensionTable();  // Refilling does not duplicate.
  const auto& table = inputExtensionTable();
  ASSERT_EQ(79u, table.size());
  std::set<std::string> unique;
  for (const auto& row : table) unique.insert(row.extension);
  EXPECT_EQ(79u, unique.size());
  EXPECT_EQ("bmp", table.front().extension);
  EXPECT_EQ("rwl", table.back().extension);
  EXPECT_EQ(48, std::count_if(table.begin(), table.end(), [](const auto& r) { return r.format_key == "raw"; }));
  ASSERT_NE(nullptr, findInputExtension("apm"));
  EXPECT_EQ("wmf", findInputExtension("apm")->format_key);
  EXPECT_EQ("Aldus Placeable Metafile", findInputExtension("apm")->description);
  EXPECT_EQ("Windows Metafile Format", findInputExtension("wmz")->description);
  EXPECT_EQ("Camera RAW Image", findInputExtension("raw2")->description);
  EXPECT_EQ("Kodak Camera RAW Image", findInputExtension("dcs")->description);
  EXPECT_EQ("Adobe Photoshop File", findInputExtension("psd")->description);
  EXPECT_EQ(nullptr, findInputExtension("PSD"));
}

TEST(InputExtensionTableTest, AcceptedExtensionsFollowTheInputFormatList) {
  createFormatLists();
  buildInputExtensionTable();
  rebuildInputExtensions();
  EXPECT_EQ(std::vector<std::string>{"psd"}, input_extensions);
  EXPECT_TRUE(isInputExtension("psd"));
  EXPECT_FALSE(isInputExtension("PSD"));
  EXPECT_FALSE(isInputExtension("png"));

  inputFormatList() = {"wmf", "psd"};
  rebuildInputExtensions();
  EXPECT_EQ((std::vector<std::string>{"wmf", "wmz", "apm", "psd"}), input_extensions);
  createFormatLists();
  rebuildInputExtensions();
}

TEST(InputListStoreTest, IteratesInInsertionOrderAndRemovalKeepsTheRest) {
  InputList list;
  for (const char* path : {"/z.psd", "/a.psd", "/m.psd", "/b.psd"}) list.lookup(path).listed = 1;
  EXPECT_TRUE(list.remove("/a.psd"));
  EXPECT_FALSE(list.remove("/a.psd"));
  list.lookup("/a.psd").listed = 1;
  EXPECT_EQ((std::vector<std::string>{"/z.psd", "/m.psd", "/b.psd", "/a.psd"}), list.listedPaths());
  list.lookup("/unlisted.psd");
  EXPECT_EQ(4u, list.count());
  EXPECT_FALSE(list.isListed("/unlisted.psd"));
  EXPECT_TRUE(list.isListed("/m.psd"));
  EXPECT_FALSE(list.isListed("/M.psd"));  // Keys compare case-sensitively.
}

TEST(InputExtensionOfTest, ScansBackToTheFirstDot) {
  EXPECT_EQ("psd", inputExtensionOf("/in/x.PSD"));
  EXPECT_EQ("psd", inputExtensionOf("/in/archive.tar.psd"));
  EXPECT_EQ("psd", inputExtensionOf("/in/my file.psd"));
  EXPECT_EQ("psd", inputExtensionOf("/in/x.psd\"tail"));
  EXPECT_EQ("", inputExtensionOf("/in/x.ps d"));
  EXPECT_EQ("", inputExtensionOf("/in/.psd"));
  EXPECT_EQ("", inputExtensionOf("/in.d/file"));
  EXPECT_EQ("", inputExtensionOf("/in/x.psd/"));
  EXPECT_EQ("", inputExtensionOf("noextension"));
}

TEST(SourceSubfolderOfTest, RemovesTheRootOnlyFromTheBeginning) {
  EXPECT_EQ("a/b/", sourceSubfolderOf("/in/a/b/x.psd", "/in/"));
  EXPECT_EQ("", sourceSubfolderOf("/in/x.psd", "/in/"));
  EXPECT_EQ("", sourceSubfolderOf("/elsewhere/x.psd", "/in/"));
  EXPECT_EQ("b/a/c/", sourceSubfolderOf("/a/b/a/c/x.psd", "/a/"));
  EXPECT_EQ("", sourceSubfolderOf("/x/a/c/y.psd", "/a/"));  // Root only inside the path.
  EXPECT_EQ("", sourceSubfolderOf("/inx/a/y.psd", "/in"));  // A root is a whole folder.
  EXPECT_EQ("", sourceSubfolderOf("/in/../etc/y.psd", "/in/"));
  EXPECT_EQ("", sourceSubfolderOf("", "/in/"));
  EXPECT_EQ("", sourceSubfolderOf("/in/a/y.psd", ""));
}

TEST_F(InputListTest, SamePathIsListedOnce) {
  std::string path = put("x.psd");
  EXPECT_TRUE(addInputFile(path));
  EXPECT_FALSE(addInputFile(path));
  EXPECT_EQ(1u, inputList().count());
}

TEST_F(InputListTest, RefusesEmptyFilesDotNamesFoldersAndOtherExtensions) {
  EXPECT_FALSE(addInputFile(put("empty.psd", "")));
  EXPECT_FALSE(addInputFile(put(".psd")));
  EXPECT_FALSE(addInputFile(put("picture.png")));
  EXPECT_FALSE(addInputFile(put("picture.psd.bak")));
  makeFolders(dir.file("folder.psd"));
  EXPECT_FALSE(addInputFile(dir.file("folder.psd")));
  EXPECT_FALSE(addInputFile(dir.file("folder.psd") + "/"));
  EXPECT_EQ(0u, inputList().count());
  EXPECT_TRUE(addInputFile(put("upper.PSD")));
  EXPECT_EQ(std::vector<std::string>{dir.file("upper.PSD")}, inputList().listedPaths());
}

TEST_F(InputListTest, RecordsTheSubfolderBelowTheInputFolder) {
  conversionJob().input_folder = dir.path() + "/";
  std::string deep = put("a/b/x.psd");
  std::string top = put("y.psd");
  ASSERT_TRUE(addInputFile(deep, conversionJob().input_folder));
  ASSERT_TRUE(addInputFile(top, conversionJob().input_folder));
  EXPECT_EQ("a/b/", inputList().find(deep)->source_subfolder);
  EXPECT_EQ("", inputList().find(top)->source_subfolder);
}

TEST_F(InputListTest, WindowHookRunsForAddedFilesUnlessInConsoleMode) {
  std::vector<std::string> seen;
  setAddFileHook([&](const std::string& path) { seen.push_back(path); });
  std::string first = put("1.psd");
  addInputFile(first);
  addInputFile(first);
  addInputFile(put("skip.png"));
  console_mode = true;
  addInputFile(put("2.psd"));
  console_mode = false;
  EXPECT_EQ(std::vector<std::string>{first}, seen);
  EXPECT_EQ(2u, inputList().count());
}

TEST_F(InputListTest, CollectsWholeTreesAndCountsAddedFiles) {
  put("1.psd");
  put("a/2.psd");
  put("a/b/3.Psd");
  put("a/b/c/d/4.psd");
  put("a/b/notes.txt");
  put("a/empty.psd", "");
  makeFolders(dir.file("e/f"));
  EXPECT_EQ(4, collectFolder(dir.path() + "/"));
  EXPECT_EQ(0, collectFolder(dir.path() + "/"));  // Already listed.
  EXPECT_EQ(4u, inputList().count());
  EXPECT_TRUE(inputList().isListed(dir.file("a/b/c/d/4.psd")));
  EXPECT_EQ(0, collectFolder(dir.file("missing/")));
}

TEST_F(InputListTest, WalksFilesAndFoldersInTheByteOrderOfTheirNames) {
  // Made out of order, so the folder's own order is unlikely to be the names'.
  for (const char* name : {"b.psd", "a/2.psd", "\xC3\xA9.psd", "C.psd", "a/10.psd", "a.psd", "_x.psd", "a/B/1.psd"})
    put(name);
  ASSERT_EQ(8, collectFolder(dir.path()));
  // Upper case before "_" before lower case, a folder where its name falls
  // ("a" before "a.psd"), numbers as text, and a UTF-8 byte above every ASCII one.
  const std::vector<std::string> expected = {dir.file("C.psd"),    dir.file("_x.psd"),   dir.file("a/10.psd"),
                                             dir.file("a/2.psd"),  dir.file("a/B/1.psd"), dir.file("a.psd"),
                                             dir.file("b.psd"),    dir.file("\xC3\xA9.psd")};
  EXPECT_EQ(expected, inputList().listedPaths());
}

TEST_F(InputListTest, LinkBackToAnOuterFolderIsNotFollowedForever) {
  put("a/1.psd");
  ASSERT_EQ(0, symlink(dir.path().c_str(), dir.file("a/loop").c_str()));
  EXPECT_EQ(1, collectFolder(dir.path()));
  EXPECT_TRUE(inputList().isListed(dir.file("a/1.psd")));
}

TEST_F(InputListTest, ResetEmptiesTheRunState) {
  ConversionJob& job = conversionJob();
  job.input_folder = dir.path() + "/";
  job.output_folder = "/out/";
  nameCounters().sequence_number = 42;
  console_mode = true;
  addInputFile(put("x.psd"));
  resetRunState();
  EXPECT_EQ(0u, inputList().count());
  EXPECT_FALSE(console_mode);
  EXPECT_EQ("", job.input_folder);
  EXPECT_EQ("", job.output_folder);
  EXPECT_EQ(1, nameCounters().sequence_number);
  EXPECT_GE(nameCounters().random_number, 1);
  EXPECT_LE(nameCounters().random_number, 99999);
  EXPECT_EQ(std::vector<std::string>{"psd"}, input_extensions);
}

TEST_F(InputListTest, NamedInputsAreListedWhateverTheirNameOrState) {
  const std::string noext = put("scan");
  const std::string empty = put("empty.psd", "");
  const std::string missing = dir.file("gone.psd");
  put("tree/sub/a.psd");
  EXPECT_EQ(1, addNamedInput(noext, &conversionJob().input_folder));
  EXPECT_EQ(1, addNamedInput(empty, &conversionJob().input_folder));
  EXPECT_EQ(1, addNamedInput(missing, &conversionJob().input_folder));  // Its conversion fails and names it.
  EXPECT_EQ(0, addNamedInput(noext, &conversionJob().input_folder));    // Listed once.
  EXPECT_EQ(1, addNamedInput(dir.file("tree"), &conversionJob().input_folder));
  EXPECT_EQ((std::vector<std::string>{noext, empty, missing, dir.file("tree/sub/a.psd")}), inputList().listedPaths());
  EXPECT_EQ("sub/", inputList().find(dir.file("tree/sub/a.psd"))->source_subfolder);
  EXPECT_EQ("", inputList().find(noext)->source_subfolder);
}

}  // namespace
}  // namespace pixolune
