// The engine side of the preview: a file converted as a run converts it
// (through a helper process where runs use one) into a private folder that
// goes with the conversion, and read back with its sizes and pixels.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "image/format_table.h"
#include "platform/files.h"
#include "resources/string_table.h"
#include "run/helper_pool.h"
#include "run/pipeline.h"
#include "settings/format_lists.h"
#include "settings/settings.h"
#include "ui/preview_conversion.h"
#include "support/convert_fixture.h"

namespace pixolune::testing {
namespace {

namespace fs = std::filesystem;

Rgb rgbOf(const PreviewPicture& picture, int x, int y) {
  const uint8_t* p = &picture.rgba[(static_cast<size_t>(y) * picture.width + x) * 4];
  return {p[0], p[1], p[2]};
}

class PreviewConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loadStringTable();
    initImageLibrary();
    createFormatLists();
    buildFormatTable();
    applyDefaultSettings(false);
    settings().output_format = "png";
  }

  TempDir dir_;
};

TEST_F(PreviewConversionTest, AHelperProcessWritesTheFileIntoAPrivateFolderThatGoesWithTheConversion) {
  const std::string photo = dir_.file("photo.psd");
  ASSERT_TRUE(writePsdFile(photo, solidDocument(12, 6, Rgb{200, 100, 0})));
  settings().do_frame = true;
  settings().solid_top = 1;
  settings().solid_top_color = "0000FF";
  IsolationConfig& isolation = conversionIsolation();
  const IsolationConfig before = isolation;
  isolation.program = (fs::path(PIXOLUNE_BINARY).parent_path() / "pixolune-helper").string();
  ASSERT_TRUE(fs::exists(isolation.program));
  std::string folder;
  {
    PreviewConversion conversion(photo, 0);
    ASSERT_EQ("", conversion.prepare());
    folder = conversion.folder();
    ASSERT_FALSE(folder.empty());
    struct stat info {};
    ASSERT_EQ(0, stat(folder.c_str(), &info));
    EXPECT_EQ(0700u, info.st_mode & 0777u);
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    const std::string base = runtime && isFolder(runtime) ? withTrailingSlash(runtime)
                                                          : withTrailingSlash(fs::temp_directory_path().string());
    EXPECT_EQ(0u, folder.find(base + "pixolune-preview-")) << folder;

    const PreviewOutcome outcome = conversion.convert();
    isolation = before;
    ASSERT_TRUE(outcome.ok) << outcome.reason;
    EXPECT_EQ("photo.png", outcome.output_name);
    EXPECT_EQ(folder + "photo.png", outcome.output_path);
    EXPECT_EQ(12, outcome.width);
    EXPECT_EQ(6, outcome.height);
    EXPECT_EQ(24, outcome.bits_per_pixel);
    EXPECT_EQ(static_cast<int64_t>(fs::file_size(outcome.output_path)), outcome.file_size);
    // Only the named file is left: no temporary beside it.
    EXPECT_EQ(1, std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    const Pixels written = readImage(outcome.output_path);
    ASSERT_TRUE(written.ok());
    EXPECT_EQ((Rgb{0, 0, 255}), rgbAt(written, 5, 0));
    EXPECT_EQ((Rgb{200, 100, 0}), rgbAt(written, 5, 3));
    ASSERT_EQ(12, outcome.picture.width);
    ASSERT_EQ(6, outcome.picture.height);
    EXPECT_EQ((Rgb{0, 0, 255}), rgbOf(outcome.picture, 5, 0));
    EXPECT_EQ((Rgb{200, 100, 0}), rgbOf(outcome.picture, 5, 3));
    EXPECT_EQ(255, outcome.picture.rgba[3]);
  }
  isolation = before;
  EXPECT_FALSE(fs::exists(folder));
}

TEST_F(PreviewConversionTest, ALargeOutputIsKeptScaledDownWithItsTrueSizeReported) {
  const std::string wide = dir_.file("wide.psd");
  ASSERT_TRUE(writePsdFile(wide, solidDocument(2000, 100, Rgb{30, 60, 90})));
  PreviewConversion conversion(wide, 0);
  ASSERT_EQ("", conversion.prepare());
  const PreviewOutcome outcome = conversion.convert();
  ASSERT_TRUE(outcome.ok) << outcome.reason;
  EXPECT_EQ(2000, outcome.width);
  EXPECT_EQ(100, outcome.height);
  EXPECT_EQ(kPreviewPictureSide, outcome.picture.width);
  EXPECT_EQ(80, outcome.picture.height);
  EXPECT_EQ((Rgb{30, 60, 90}), rgbOf(outcome.picture, 800, 40));
}

TEST_F(PreviewConversionTest, AnUnknownOutputFormatIsRefusedBeforeAnythingIsConverted) {
  settings().output_format = "nosuchformat";
  PreviewConversion conversion(dir_.file("any.psd"), 0);
  EXPECT_EQ(getText("Msg", "Invalid conversion type"), conversion.prepare());
}

}  // namespace
}  // namespace pixolune::testing
