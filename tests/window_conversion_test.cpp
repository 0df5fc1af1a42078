// The Convert command: its checks in order with their warnings and status
// texts (an output folder that takes no files among them), a whole run under
// the conversion window (result texts, counter, bar, written pixels, the
// files not converted with their reasons), a stop asked for during the third
// file by the close box and by the Stop button, the time left and the
// shortening of long paths.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wx/dialog.h>
#include <wx/textctrl.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <thread>

#include "run/conversion_job.h"
#include "run/saving_observer.h"
#include "run/worker.h"
#include "platform/files.h"
#include "platform/text.h"
#include "ui/conversion_dialog.h"
#include "ui/output_folders.h"
#include "ui/start_conversion.h"
#include "ui/window_ids.h"
#include "window_fixture.h"
// After the wx headers (see window_fixture.h).
#include "support/convert_fixture.h"
#undef _WINDOWS_

namespace pixolune::testing {
namespace {

class ConversionTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    WindowCommands commands;
    commands.convert = [] { startConversion(); };
    setWindowCommands(commands);
    out_ = makeFolder("out");
    // Read the result and close the window, as the user would.
    setConversionFinishedHook([this](wxDialog* dialog, const ConversionDialogRecord& shown) {
      finished_ = shown;
      main_enabled_during_run_ = mainWindow()->IsEnabled();
      dialog->Close();
    });
  }
  void TearDown() override {
    setConversionFinishedHook(nullptr);
    setSavingObserver(nullptr);
    WindowTest::TearDown();
  }

  /// Documents of one colour each, added to the list; `broken` is a
  /// ".psd" file that is not a document.
  void addDocuments(int count, int broken = -1) {
    for (int i = 0; i < count; ++i) {
      const std::string path = dir_.file("in/doc" + std::to_string(i) + ".psd");
      makeFolders(folderOf(path));
      if (i == broken) {
        writeText(path, "not a document at all");
      } else {
        ASSERT_TRUE(writePsdFile(path, solidDocument(6, 4, Rgb{10 * i, 200, 30})));
      }
      ASSERT_TRUE(addInputFile(path));
    }
  }

  /// Shows `folder` as the output folder box's only entry.
  void chooseFolder(const std::string& folder) {
    settings().recent_out_folders = folder;
    refreshOutputFolderBox();
  }

  std::string lastWarning() const { return boxes_.shown().empty() ? "" : boxes_.shown().back().text; }

  std::string out_;
  ConversionDialogRecord finished_;
  bool main_enabled_during_run_ = true;
};

TEST_F(ConversionTest, EmptyListIsRefused) {
  EXPECT_TRUE(window().runCommand(kCommandConvert));
  ASSERT_EQ(1u, boxes_.shown().size());
  EXPECT_EQ("Warning", boxes_.shown()[0].title);
  EXPECT_EQ(MessageIcon::kWarning, boxes_.shown()[0].icon);
  EXPECT_EQ("No input file(s) found. Please, add valid file(s) and try again!", lastWarning());
  EXPECT_EQ("Conversion stopped", statusText());
}

TEST_F(ConversionTest, OutputFolderChecksComeInOrder) {
  addDocuments(1);
  window().clearFolderBoxText();
  startConversion();
  EXPECT_EQ("The output folder's field is empty. Please, select existed output folder and try again!", lastWarning());
  EXPECT_EQ("Conversion stopped", statusText());

  chooseFolder(out_ + "/missing");
  startConversion();
  EXPECT_EQ("The following output folder is invalid or doesn't exist:\r\n" + out_ + "/missing/" +
                "\r\n\r\nPlease, correct the output path and try again!",
            lastWarning());
  EXPECT_EQ(2u, boxes_.shown().size());
}

TEST_F(ConversionTest, ResizeSizesOfZeroAreRefused) {
  addDocuments(1);
  chooseFolder(out_);
  settings().do_image_resize = true;
  settings().image_width = 800;
  settings().image_height = 0;
  startConversion();
  EXPECT_EQ("Invalid resize height value!", lastWarning());
  EXPECT_EQ("Conversion stopped", statusText());
  settings().image_width = 0;
  settings().image_height = 600;
  startConversion();
  EXPECT_EQ("Invalid resize width value!", lastWarning());
  EXPECT_FALSE(isRegularFile(out_ + "/doc0.png"));
}

TEST_F(ConversionTest, WatermarkChecksEndWithConversionStopped) {
  addDocuments(1);
  chooseFolder(out_);
  settings().do_watermark = 2;
  startConversion();
  EXPECT_EQ("Selected watermark image is invalid/empty!", lastWarning());
  EXPECT_EQ("Conversion stopped", statusText());
  settings().watermark_image = makeFolder("folder.png");
  startConversion();
  EXPECT_EQ("Unable to load selected file as a watermark image: " + settings().watermark_image, lastWarning());
  settings().do_watermark = 1;
  settings().watermark_font = "No Such Family Qzx";
  startConversion();
  EXPECT_EQ("Unable to load selected font for a watermark: No Such Family Qzx", lastWarning());
  EXPECT_EQ("Conversion stopped", statusText());
}

TEST_F(ConversionTest, FolderWithoutTrailingSeparatorIsAcceptedAndRememberedWithIt) {
  addDocuments(1);
  chooseFolder(out_);
  EXPECT_TRUE(window().runCommand(kCommandConvert));
  EXPECT_TRUE(boxes_.shown().empty());
  EXPECT_EQ(out_ + "/", conversionJob().output_folder);
  EXPECT_EQ(out_ + "/", split(settings().recent_out_folders, '\t')[0]);
  EXPECT_EQ(out_ + "/", window().folderBoxText());
  EXPECT_TRUE(isRegularFile(out_ + "/doc0.png"));
}

TEST_F(ConversionTest, TenEntriesWithOneUnreadableFile) {
  addDocuments(10, 4);
  chooseFolder(out_ + "/");
  EXPECT_TRUE(window().runCommand(kCommandConvert));
  EXPECT_EQ("Files converted: 9 of 10", finished_.line);
  EXPECT_EQ("Conversion finished, 1 of 10 failed", finished_.title);
  EXPECT_EQ("Not converted:", finished_.detail);
  ASSERT_EQ(1u, finished_.failures.size());
  EXPECT_EQ(0u, finished_.failures[0].find(dir_.file("in/doc4.psd") + ": ")) << finished_.failures[0];
  EXPECT_FALSE(finished_.stop_enabled);
  EXPECT_EQ(11, finished_.bar_range);
  EXPECT_EQ(11, finished_.bar_value);
  EXPECT_TRUE(finished_.ok_enabled);
  EXPECT_FALSE(main_enabled_during_run_);
  EXPECT_TRUE(window().IsEnabled());
  EXPECT_EQ(nullptr, conversionWindow());
  EXPECT_EQ("Conversion finished, 1 of 10 failed", statusText());
  EXPECT_EQ(10u, inputList().count());  // A run leaves the list as it was.
  EXPECT_FALSE(isRegularFile(out_ + "/doc4.png"));
  for (int i : {0, 3, 9}) {
    Pixels px = readImage(out_ + "/doc" + std::to_string(i) + ".png");
    ASSERT_TRUE(px.ok()) << i;
    EXPECT_EQ(6, px.width);
    EXPECT_EQ(4, px.height);
    EXPECT_EQ((Rgb{10 * i, 200, 30}), rgbAt(px, 5, 3)) << i;
  }
}

// Exporting layers: the run counts documents, each converted when all its
// layers were written; a document without layers is named with its reason.
TEST_F(ConversionTest, ExportedLayersAreCountedByTheirDocument) {
  PsdDocument layered = solidDocument(6, 4, Rgb{0, 0, 0});
  for (const char* name : {"Sky", "Tree"}) {
    PsdLayer layer;
    layer.name = name;
    layer.bottom = 2, layer.right = name[0] == 'S' ? 6 : 3;
    const size_t n = static_cast<size_t>(layer.bottom) * layer.right;
    layer.channels.push_back({-1, std::vector<double>(n, 255), 1});
    for (int c = 0; c < 3; ++c) layer.channels.push_back({c, std::vector<double>(n, name[0] == 'S' ? 90 : 20), 1});
    layered.layers.push_back(layer);
  }
  const std::string in = dir_.file("in/scene.psd"), flat = dir_.file("in/flat.psd");
  makeFolders(dir_.file("in"));
  ASSERT_TRUE(writePsdFile(in, layered));
  ASSERT_TRUE(writePsdFile(flat, solidDocument(6, 4, Rgb{1, 2, 3})));
  ASSERT_TRUE(addInputFile(flat));
  ASSERT_TRUE(addInputFile(in));
  settings().export_kind = 1;
  chooseFolder(out_ + "/");
  EXPECT_TRUE(window().runCommand(kCommandConvert));
  settings().export_kind = 0;
  EXPECT_EQ("Files converted: 1 of 2", finished_.line);
  ASSERT_EQ(1u, finished_.failures.size());
  EXPECT_EQ(flat + ": it has no visible layers to export", finished_.failures[0]);
  const Pixels tree = readImage(out_ + "/scene/Tree.png");
  ASSERT_TRUE(tree.ok());
  EXPECT_EQ(3, tree.width);
  EXPECT_EQ((Rgb{20, 20, 20}), rgbAt(tree, 2, 1));
  EXPECT_EQ(6, readImage(out_ + "/scene/Sky.png").width);
}

// Answers Yes to the stop question and tells the waiting worker.
class StopAnswer : public ScriptedMessageBoxes {
 public:
  MessageAnswer show(const std::string& title, const std::string& text, MessageButtons buttons,
                     MessageIcon icon) override {
    answer(MessageAnswer::kYes);
    MessageAnswer result = ScriptedMessageBoxes::show(title, text, buttons, icon);
    answered = true;
    return result;
  }
  static inline std::atomic<bool> answered{false};
};

std::atomic<int> files_saved{0};

// On the third file: asks to close the window, then waits for the answer,
// so the question comes while that file is being converted.
void closeDuringThirdFile(const std::string&) {
  if (++files_saved != 3) return;
  wxQueueEvent(conversionWindow(), new wxCloseEvent(wxEVT_CLOSE_WINDOW, conversionWindow()->GetId()));
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!StopAnswer::answered && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

TEST_F(ConversionTest, StopConfirmedDuringTheThirdFileEndsAfterIt) {
  StopAnswer stop;
  StopAnswer::answered = false;
  files_saved = 0;
  addDocuments(10);
  chooseFolder(out_);
  setSavingObserver(&closeDuringThirdFile);
  startConversion();
  ASSERT_EQ(1u, stop.shown().size());
  EXPECT_EQ("Do you want to break the conversion?", stop.shown()[0].text);
  EXPECT_EQ(MessageButtons::kYesNo, stop.shown()[0].buttons);
  EXPECT_EQ("Conversion stopped (3/10)", finished_.title);
  EXPECT_EQ("Conversion stopped", finished_.line);
  EXPECT_EQ("Files converted: 3 of 10", finished_.detail);  // The count stays in the window's text.
  EXPECT_EQ(3, finished_.bar_value);
  EXPECT_TRUE(finished_.ok_enabled);
  EXPECT_EQ(3, finished_.result_count);
  EXPECT_EQ("Conversion stopped", statusText());
  EXPECT_TRUE(isRegularFile(out_ + "/doc2.png"));
  EXPECT_FALSE(isRegularFile(out_ + "/doc3.png"));
}

TEST_F(ConversionTest, WindowShowsItsControlsAndMeasuresTheCharacterWidth) {
  addDocuments(1);
  chooseFolder(out_);
  wxRect path_rect, ok_rect, stop_rect;
  wxString ok_label, stop_label;
  wxSize inner;
  bool has_failure_box = true;
  setConversionFinishedHook([&](wxDialog* dialog, const ConversionDialogRecord&) {
    inner = dialog->GetClientSize();
    path_rect = dialog->FindWindow(controlId(344))->GetRect();
    ok_rect = dialog->FindWindow(controlId(346))->GetRect();
    stop_rect = dialog->FindWindow(controlId(348))->GetRect();
    ok_label = dialog->FindWindow(controlId(346))->GetLabel();
    stop_label = dialog->FindWindow(controlId(348))->GetLabel();
    has_failure_box = dialog->FindWindow(controlId(349)) != nullptr;
    dialog->Close();
  });
  startConversion();
  EXPECT_EQ(wxSize(300, 140), inner);
  EXPECT_EQ(wxRect(10, 13, 280, 20), path_rect);
  EXPECT_EQ(wxRect(160, 105, 80, 25), ok_rect);
  EXPECT_EQ(wxRect(60, 105, 80, 25), stop_rect);
  EXPECT_EQ("OK", ok_label);
  EXPECT_EQ("Stop", stop_label);
  EXPECT_FALSE(has_failure_box);  // Every file was converted.
  EXPECT_EQ("Conversion complete (1/1)", lastConversionRecord().title);
  EXPECT_GT(lastConversionRecord().char_width, 0);
}

TEST_F(ConversionTest, TruncatedAndFakeDocumentsAreNamedWithTheirReasons) {
  addDocuments(3, 2);  // doc2.psd is not a document.
  const std::string truncated = dir_.file("in/doc1.psd");
  std::filesystem::resize_file(truncated, std::filesystem::file_size(truncated) / 2);
  chooseFolder(out_);
  std::string box_text;
  setConversionFinishedHook([&](wxDialog* dialog, const ConversionDialogRecord& shown) {
    finished_ = shown;
    auto* box = dynamic_cast<wxTextCtrl*>(dialog->FindWindow(controlId(349)));
    if (box) box_text = fromWx(box->GetValue());
    dialog->Close();
  });
  startConversion();
  EXPECT_EQ("Conversion finished, 2 of 3 failed", finished_.title);
  EXPECT_EQ("Files converted: 1 of 3", finished_.line);
  EXPECT_EQ("Conversion finished, 2 of 3 failed", statusText());
  ASSERT_EQ(2u, finished_.failures.size());
  const std::string truncated_line = finished_.failures[0], fake_line = finished_.failures[1];
  const std::string fake = dir_.file("in/doc2.psd");
  EXPECT_EQ(0u, truncated_line.find(truncated + ": ")) << truncated_line;
  EXPECT_EQ(0u, fake_line.find(fake + ": ")) << fake_line;
  EXPECT_GT(truncated_line.size(), truncated.size() + 2);  // A reason follows the path.
  EXPECT_GT(fake_line.size(), fake.size() + 2);
  EXPECT_EQ(truncated_line + "\n\n" + fake_line, box_text);  // Both shown in the window.
  std::cout << "[ shown    ] " << truncated_line << "\n[ shown    ] " << fake_line << "\n";
  Pixels px = readImage(out_ + "/doc0.png");
  ASSERT_TRUE(px.ok());
  EXPECT_EQ((Rgb{0, 200, 30}), rgbAt(px, 5, 3));
  EXPECT_FALSE(isRegularFile(out_ + "/doc1.png"));
  EXPECT_FALSE(isRegularFile(out_ + "/doc2.png"));
}

// Makes a folder take no files for its lifetime: no write permission, and
// for root (who ignores that) the immutable flag. works() is false when
// neither holds.
class UnwritableFolder {
 public:
  explicit UnwritableFolder(const std::string& path) : path_(path) {
    chmod(path_.c_str(), 0555);
    if (!takesFiles()) return;
    fd_ = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int flags = 0;
    if (fd_ >= 0 && ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
      flags |= FS_IMMUTABLE_FL;
      immutable_ = ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
    }
  }
  ~UnwritableFolder() {
    if (immutable_) {
      int flags = 0;
      if (ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
        flags &= ~FS_IMMUTABLE_FL;
        ioctl(fd_, FS_IOC_SETFLAGS, &flags);
      }
    }
    if (fd_ >= 0) close(fd_);
    chmod(path_.c_str(), 0755);
  }
  bool works() const { return !takesFiles(); }

 private:
  bool takesFiles() const {
    const std::string probe = path_ + "/probe";
    const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    close(fd);
    unlink(probe.c_str());
    return true;
  }
  std::string path_;
  int fd_ = -1;
  bool immutable_ = false;
};

TEST_F(ConversionTest, OutputFolderThatTakesNoFilesIsRefusedBeforeTheRun) {
  addDocuments(2);
  chooseFolder(out_);
  bool ran = false;
  setConversionFinishedHook([&](wxDialog* dialog, const ConversionDialogRecord&) {
    ran = true;
    dialog->Close();
  });
  {
    UnwritableFolder locked(out_);
    if (!locked.works()) GTEST_SKIP() << "could not make " << out_ << " unwritable (no permission bits, no immutable flag)";
    EXPECT_FALSE(startConversion());
  }
  EXPECT_FALSE(ran);
  ASSERT_EQ(1u, boxes_.shown().size());
  EXPECT_EQ(MessageIcon::kWarning, boxes_.shown()[0].icon);
  const std::string text = lastWarning();
  EXPECT_NE(std::string::npos, text.find("cannot be written to:\r\n" + out_ + "/\r\n")) << text;
  EXPECT_TRUE(text.find("Permission denied") != std::string::npos ||
              text.find("Operation not permitted") != std::string::npos)
      << text;
  std::cout << "[ shown    ] " << text << "\n";
  EXPECT_EQ("Conversion stopped", statusText());
  EXPECT_TRUE(std::filesystem::is_empty(out_));  // Neither a picture nor the probe file.
  // The same folder, writable again, is taken.
  EXPECT_TRUE(startConversion());
  EXPECT_TRUE(ran);
  EXPECT_TRUE(isRegularFile(out_ + "/doc1.png"));
}

// On the third file: presses Stop, then waits for the answer.
void pressStopDuringThirdFile(const std::string&) {
  if (++files_saved != 3) return;
  wxQueueEvent(conversionWindow(), new wxCommandEvent(wxEVT_BUTTON, controlId(348)));
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!StopAnswer::answered && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

TEST_F(ConversionTest, StopButtonEndsALongRunAfterTheFileInHand) {
  StopAnswer stop;
  StopAnswer::answered = false;
  files_saved = 0;
  addDocuments(40);
  chooseFolder(out_);
  setSavingObserver(&pressStopDuringThirdFile);
  startConversion();
  ASSERT_EQ(1u, stop.shown().size());
  EXPECT_EQ("Do you want to break the conversion?", stop.shown()[0].text);
  EXPECT_EQ("Conversion stopped (3/40)", finished_.title);
  EXPECT_EQ("Conversion stopped", finished_.line);
  EXPECT_EQ("Files converted: 3 of 40", finished_.detail);
  EXPECT_FALSE(finished_.stop_enabled);
  EXPECT_TRUE(finished_.ok_enabled);
  EXPECT_TRUE(finished_.failures.empty());
  EXPECT_TRUE(isRegularFile(out_ + "/doc2.png"));
  EXPECT_FALSE(isRegularFile(out_ + "/doc3.png"));
  EXPECT_FALSE(isRegularFile(out_ + "/doc39.png"));
}

TEST(TimeLeft, FollowsThePaceOfTheFilesFinished) {
  loadStringTable();  // The texts come from the table.
  EXPECT_EQ("Estimating the time left...", timeLeftText(5000, 0, 10));
  EXPECT_EQ("About 8 seconds left", timeLeftText(2000, 2, 10));   // 1 s a file, 8 to go.
  EXPECT_EQ("About 1 second left", timeLeftText(100, 9, 10));
  EXPECT_EQ("About 1 second left", timeLeftText(100, 10, 10));    // Never "0 seconds".
  EXPECT_EQ("About 2 minutes left", timeLeftText(100000, 10, 20));  // 100 s, rounded up.
  EXPECT_EQ("About 1 minute left", timeLeftText(60000, 1, 2));
}

TEST(ShortenMiddle, KeepsBothEndsOfLongTexts) {
  const std::string path = "/" + std::string(49, 'a') + std::string(50, 'b');
  ASSERT_EQ(100u, path.size());
  EXPECT_EQ("/" + std::string(17, 'a') + "..." + std::string(18, 'b'), progressLineText(path, 7));
  EXPECT_EQ(path.substr(0, 40), progressLineText(path.substr(0, 40), 7));  // 280 pixels fit.
  EXPECT_EQ("", shortenMiddle("", 10));
  EXPECT_EQ("abcdefghij", shortenMiddle("abcdefghij", 10));
  EXPECT_EQ("abc...ijk", shortenMiddle("abcdefghijk", 10));
  // Characters, not bytes: twelve letters of two bytes each.
  EXPECT_EQ("äöü...äöü", shortenMiddle("äöüäöüäöüäöü", 9));
}

}  // namespace
}  // namespace pixolune::testing
