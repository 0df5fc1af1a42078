#include "support/convert_fixture.h"

#include <cstdlib>

#include "image/format_table.h"
#include "run/pipeline.h"
#include "stages/watermark.h"
#include "settings/settings.h"

namespace pixolune::testing {

PsdDocument solidDocument(int width, int height, Rgb color) {
  return makeDocument(PsdMode::kRgb, 8, width, height, 0, [color](int c, int, int) {
    return static_cast<double>(c == 0 ? color.r : c == 1 ? color.g : color.b);
  });
}

Rgb rgbAt(const Pixels& px, int x, int y) {
  const uint8_t* p = px.at(x, y);
  return Rgb{p[0], p[1], p[2]};
}

Box changedBox(const Pixels& px, Rgb background, int tolerance) {
  int x0 = px.width, y0 = px.height, x1 = -1, y1 = -1;
  for (int y = 0; y < px.height; ++y) {
    for (int x = 0; x < px.width; ++x) {
      Rgb c = rgbAt(px, x, y);
      if (std::abs(c.r - background.r) <= tolerance && std::abs(c.g - background.g) <= tolerance &&
          std::abs(c.b - background.b) <= tolerance)
        continue;
      x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    }
  }
  if (x1 < 0) return Box{};
  return Box{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

void ConvertFixture::SetUp() {
  initImageLibrary();
  createFormatLists();
  buildFormatTable();
  applyDefaultSettings(true);
  settings().output_format = "png";
}

void ConvertFixture::TearDown() { freeWatermarkFont(); }

Pixels ConvertFixture::convert(const PsdDocument& doc) {
  const std::string input = dir_.file("input.psd");
  if (!writePsdFile(input, doc)) return Pixels{};
  ConversionRequest request;
  request.input_path = input;
  request.output_folder = dir_.path() + "/";
  output_path_.clear();
  target_bpp_ = 0;
  RunOptions run;
  const Status prepared = prepareRun(settings(), &run);
  failure_reason_ = prepared.message();
  if (!prepared.ok()) return Pixels{};
  const ConversionResult result = convertFile(request, run);
  output_path_ = result.output_path;
  failure_reason_ = result.failureReason();
  target_bpp_ = result.target_bpp;
  if (!result.ok()) return Pixels{};
  return readImage(result.output_path);
}

}  // namespace pixolune::testing
