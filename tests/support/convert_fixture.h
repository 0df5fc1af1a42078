// A fixture that converts generated documents through the whole pipeline,
// as a console run does, and reads the written PNG back.
#ifndef PIXOLUNE_TESTS_SUPPORT_CONVERT_FIXTURE_H_
#define PIXOLUNE_TESTS_SUPPORT_CONVERT_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune::testing {

/// An 8-bit RGB colour.
struct Rgb {
  int r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};
inline void PrintTo(const Rgb& c, std::ostream* out) { *out << "(" << c.r << ", " << c.g << ", " << c.b << ")"; }

/// An opaque RGB document of one colour.
PsdDocument solidDocument(int width, int height, Rgb color);

/// The pixel's colour, ignoring alpha.
Rgb rgbAt(const Pixels& px, int x, int y);

/// Bounding box of the pixels that differ from `background` by more than
/// `tolerance` in any channel; width 0 when none does.
struct Box {
  int x = 0, y = 0, width = 0, height = 0;
};
Box changedBox(const Pixels& px, Rgb background, int tolerance = 0);

class ConvertFixture : public ::testing::Test {
 protected:
  /// Console defaults, PNG output into a fresh folder.
  void SetUp() override;
  /// Frees the run's watermark font.
  void TearDown() override;

  /// Writes the document, prepares the run from the current settings and
  /// converts it into dir_. The returned image is empty (ok() false) when
  /// preparation or conversion failed.
  Pixels convert(const PsdDocument& doc);

  TempDir dir_;
  // What the last convert() gave.
  std::string output_path_;     // The written file, or empty.
  std::string failure_reason_;  // Why it failed, or empty.
  int target_bpp_ = 0;          // The depth the bit-depth stage chose.
};

}  // namespace pixolune::testing

#endif  // PIXOLUNE_TESTS_SUPPORT_CONVERT_FIXTURE_H_
