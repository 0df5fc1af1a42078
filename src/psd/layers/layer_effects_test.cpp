#include "psd/layers/layer_effects.h"

#include <cmath>
#include <functional>

#include "psd/layers/layer_test_support.h"

namespace pixolune {
namespace {

using testing::PsdDocument;
using testing::PsdLayer;

// An effects block ("lfx2"): two version words, then the descriptor.
std::string effects(bool master, bool shadow, bool stroke) {
  Desc d;
  d.object("null", 3).item("masterFXSwitch", "bool").raw(std::string(1, master ? 1 : 0));
  d.item("DrSh", "Objc").object("DrSh", 1).item("enab", "bool").raw(std::string(1, shadow ? 1 : 0));
  d.item("FrFX", "Objc").object("FrFX", 1).item("enab", "bool").raw(std::string(1, stroke ? 1 : 0));
  return std::string("\0\0\0\0\0\0\0\x10", 8) + d.bytes();
}

std::set<std::string> named(const std::string& block) {
  LayerRecord layer;
  layer.blocks.push_back({"lfx2", std::vector<uint8_t>(block.begin(), block.end())});
  std::set<std::string> names;
  noteEffects(layer, &names);
  return names;
}

TEST(LayerEffectsTest, NamesOnlyTheEnabledEffects) {
  EXPECT_EQ((std::set<std::string>{"drop shadow"}), named(effects(true, true, false)));
  EXPECT_EQ((std::set<std::string>{"drop shadow", "stroke"}), named(effects(true, true, true)));
}

TEST(LayerEffectsTest, HiddenEffectsAreNotNamed) { EXPECT_TRUE(named(effects(false, true, true)).empty()); }

TEST(LayerEffectsTest, DamagedBlockNamesNothing) {
  const std::string block = effects(true, true, true);
  for (size_t cut = 0; cut < block.size(); ++cut) EXPECT_TRUE(named(block.substr(0, cut)).empty()) << cut;
}

// Effect descriptors as Photoshop writes them, one item at a time.
using Item = std::function<void(Desc&)>;

Item flag(const char* key, bool on) { return [=](Desc& d) { d.item(key, "bool").raw(std::string(1, on ? 1 : 0)); }; }
Item pixels(const char* key, double v) { return [=](Desc& d) { d.item(key, "UntF").unit("#Pxl", v); }; }
Item percent(const char* key, double v) { return [=](Desc& d) { d.item(key, "UntF").unit("#Prc", v); }; }
Item angle(const char* key, double v) { return [=](Desc& d) { d.item(key, "UntF").unit("#Ang", v); }; }
Item choice(const char* key, const char* type, const char* value) {
  return [=](Desc& d) { d.item(key, "enum").enumeration(type, value); };
}
Item colour(double r, double g, double b) { return [=](Desc& d) { d.item("Clr ", "Objc").rgb(r, g, b); }; }
Item mode(const char* m) { return choice("Md  ", "BlnM", m); }

struct Fx {
  const char* key;
  std::vector<Item> items;
};

// An "lfx2" block holding these effects, each enabled.
std::string effectsBlock(const std::vector<Fx>& fx, bool master = true) {
  Desc d;
  d.object("null", static_cast<int>(fx.size()) + 1).item("masterFXSwitch", "bool").raw(std::string(1, master ? 1 : 0));
  for (const Fx& f : fx) {
    d.item(f.key, "Objc").object(f.key, static_cast<int>(f.items.size()) + 1);
    flag("enab", true)(d);
    for (const Item& i : f.items) i(d);
  }
  return std::string("\0\0\0\0\0\0\0\x10", 8) + d.bytes();
}

Fx stroke(const char* position, double size, double r, double g, double b) {
  return {"FrFX", {choice("Styl", "FStl", position), choice("PntT", "FrFl", "SClr"), mode("Nrml"),
                   percent("Opct", 100), pixels("Sz  ", size), colour(r, g, b)}};
}

class LayerEffectsDrawTest : public LayerMergeTest {
 protected:
  const Kind& k = kKinds[0];  // RGB, 8 bits.
  // A white document (12 x 12) with a red square (4 x 4) at (4, 4) carrying `block`.
  Image draw(const std::string& block, int fill = 255, int size = 12, int side = 4) {
    PsdDocument doc = document(k, size, size);
    doc.layers.push_back(solidLayer(k, 0, 0, size, size, {1, 1, 1}, opaque));
    PsdLayer square = solidLayer(k, 4, 4, 4 + side, 4 + side, {1, 0, 0}, opaque);
    square.fill_opacity = fill;
    square.blocks.push_back({"lfx2", block});
    doc.layers.push_back(square);
    return render(doc);
  }
  void expectColour(const Image& im, int x, int y, double r, double g, double b, double tolerance = 1.0 / 255) {
    EXPECT_NEAR(r, im.at(x, y)[0], tolerance) << x << "," << y;
    EXPECT_NEAR(g, im.at(x, y)[1], tolerance) << x << "," << y;
    EXPECT_NEAR(b, im.at(x, y)[2], tolerance) << x << "," << y;
  }
};

TEST_F(LayerEffectsDrawTest, StrokesOutsideInsideAndCentred) {
  Image out = draw(effectsBlock({stroke("OutF", 2, 0, 255, 0)}));
  ASSERT_EQ(12, out.width);
  expectColour(out, 3, 5, 0, 1, 0);  // Two pixels of green left of the square,
  expectColour(out, 2, 5, 0, 1, 0);
  expectColour(out, 1, 5, 1, 1, 1);  // then white again;
  expectColour(out, 4, 5, 1, 0, 0);  // the square itself untouched.
  // The corner is rounded: (2, 2) lies 2.83 pixels from the corner pixel's centre.
  const double corner = 2 + 1 - std::sqrt(8.0);
  expectColour(out, 2, 2, 1 - corner, 1, 1 - corner, 0.01);

  Image in = draw(effectsBlock({stroke("InsF", 1, 0, 0, 255)}));
  expectColour(in, 4, 5, 0, 0, 1);
  expectColour(in, 5, 5, 1, 0, 0);
  expectColour(in, 3, 5, 1, 1, 1);

  Image centre = draw(effectsBlock({stroke("CtrF", 2, 0, 0, 0)}));
  expectColour(centre, 3, 5, 0, 0, 0);
  expectColour(centre, 4, 5, 0, 0, 0);
  expectColour(centre, 5, 5, 1, 0, 0);
  expectColour(centre, 2, 5, 1, 1, 1);
}

TEST_F(LayerEffectsDrawTest, OverlaysShowWhateverTheFill) {
  // A colour overlay at 50 % over the square, by multiply: red times grey.
  const Fx overlay{"SoFi", {mode("Mltp"), percent("Opct", 50), colour(128, 128, 128)}};
  Image im = draw(effectsBlock({overlay}));
  const double grey = 128 / 255.0;
  expectColour(im, 5, 5, 1 - 0.5 * (1 - grey), 0, 0, 1.5 / 255);
  expectColour(im, 3, 5, 1, 1, 1);
  // At fill 0 the square's own pixels are gone, the overlay stays: blue at 50 % over white.
  const Fx blue{"SoFi", {mode("Nrml"), percent("Opct", 50), colour(0, 0, 255)}};
  Image faded = draw(effectsBlock({blue}), 0);
  expectColour(faded, 5, 5, 0.5, 0.5, 1, 1.5 / 255);
  // Hidden effects draw nothing.
  Image hidden = draw(effectsBlock({blue}, false));
  expectColour(hidden, 5, 5, 1, 0, 0);
}

TEST_F(LayerEffectsDrawTest, ChannelsLeftOutOfBlendingKeepTheBackdrop) {
  // The red square leaves blue alone ("brst" lists channel 2): over white it
  // shows magenta; a green overlay on it leaves blue alone too.
  const auto drawn = [&](const std::string& fx) {
    PsdDocument doc = document(k, 12, 12);
    doc.layers.push_back(solidLayer(k, 0, 0, 12, 12, {1, 1, 1}, opaque));
    PsdLayer square = solidLayer(k, 4, 4, 8, 8, {1, 0, 0}, opaque);
    square.blocks.push_back({"brst", std::string("\0\0\0\x02", 4)});
    if (!fx.empty()) square.blocks.push_back({"lfx2", fx});
    doc.layers.push_back(square);
    return render(doc);
  };
  expectColour(drawn(""), 5, 5, 1, 0, 1);
  expectColour(drawn(""), 3, 5, 1, 1, 1);
  expectColour(drawn(effectsBlock({Fx{"SoFi", {mode("Nrml"), percent("Opct", 100), colour(0, 255, 0)}}})), 5, 5, 0, 1, 1);
}

TEST_F(LayerEffectsDrawTest, LinearBurnAndDodgeEffectsTakeTheirOpacityInside) {
  // A square of (1, 0.2, 0.8) under a grey (0.5) overlay at 50 %: by linear
  // burn each channel loses half of what the grey lacks of white, and by
  // linear dodge gains half the grey, clipped only then (Photoshop's bevels
  // and overlays in these modes). Blending fully and mixing after would
  // leave 0.1 of green under the burn and 0.9 of blue under the dodge.
  const auto drawn = [&](const char* m) {
    PsdDocument doc = document(k, 12, 12);
    doc.layers.push_back(solidLayer(k, 0, 0, 12, 12, {1, 1, 1}, opaque));
    PsdLayer square = solidLayer(k, 4, 4, 8, 8, {1, 0.2, 0.8}, opaque);
    square.blocks.push_back({"lfx2", effectsBlock({Fx{"SoFi", {mode(m), percent("Opct", 50), colour(127.5, 127.5, 127.5)}}})});
    doc.layers.push_back(square);
    return render(doc);
  };
  expectColour(drawn("linearBurn"), 5, 5, 0.75, 0.0, 0.55, 1.5 / 255);
  expectColour(drawn("linearDodge"), 5, 5, 1.0, 0.45, 1.0, 1.5 / 255);
}

TEST_F(LayerEffectsDrawTest, InnerGlowIsFullAtTheEdgeWithinItsRange) {
  // A white inner glow of size 8 on a 20-pixel red square that fills its
  // layer's rectangle: green shows the glow's cover. At the middle of a side
  // about half the softened outside lies beyond the edge pixel; a range of
  // 50 % doubles the cover. Deep inside there is none.
  const auto glow = [&](double range) {
    return draw(effectsBlock({Fx{"IrGl", {mode("Nrml"), percent("Opct", 100), pixels("blur", 8), percent("Ckmt", 0),
                                          percent("Inpr", range), colour(255, 255, 255)}}}),
                255, 40, 20);
  };
  const Image full = glow(100), half = glow(50);
  EXPECT_NEAR(0.45, full.at(4, 14)[1], 0.06);
  EXPECT_NEAR(full.at(4, 14)[1], full.at(14, 4)[1], 1e-6);
  EXPECT_NEAR(full.at(4, 14)[1], full.at(23, 14)[1], 1e-6);
  EXPECT_LT(full.at(14, 14)[1], 0.05);
  for (int x : {4, 6, 8}) EXPECT_NEAR(2 * full.at(x, 14)[1], half.at(x, 14)[1], 2.0 / 255) << x;
}

TEST_F(LayerEffectsDrawTest, GradientOverlaySpansTheLayer) {
  Desc grad;
  grad.object("Grdn", 3).item("GrdF", "enum").enumeration("GrdF", "CstS").item("Clrs", "VlLs").list(2);
  for (int i = 0; i < 2; ++i)
    grad.raw("Objc").object("Clrt", 2).item("Clr ", "Objc").rgb(i * 255, i * 255, i * 255).item("Lctn", "long").integer(i * 4096);
  grad.item("Trns", "VlLs").list(0);
  const std::string stops = grad.bytes();
  const Fx overlay{"GrFl", {mode("Nrml"), percent("Opct", 100), angle("Angl", 0), choice("Type", "GrdT", "Lnr "),
                            [&](Desc& d) { d.item("Grad", "Objc").raw(stops); }}};
  Image im = draw(effectsBlock({overlay}));
  // Black to white from the square's left edge to its right: pixel centres at 1/8, 3/8, ...
  for (int x = 0; x < 4; ++x) {
    const double v = (x + 0.5) / 4;
    expectColour(im, 4 + x, 5, v, v, v, 1.5 / 255);
  }
  expectColour(im, 3, 5, 1, 1, 1);
}

TEST_F(LayerEffectsDrawTest, DropShadowFallsAwayFromTheLightBehindTheLayer) {
  // Light from above (90 degrees), three pixels down, hard (size 0), black at 100 %.
  const Fx shadow{"DrSh", {mode("Nrml"), percent("Opct", 100), flag("uglg", false), angle("lagl", 90),
                           pixels("Dstn", 3), pixels("blur", 0), percent("Ckmt", 0), colour(0, 0, 0)}};
  Image im = draw(effectsBlock({shadow}));
  expectColour(im, 5, 10, 0, 0, 0);   // Under the square, moved down,
  expectColour(im, 5, 6, 1, 0, 0);    // hidden where the square is,
  expectColour(im, 5, 3, 1, 1, 1);    // nothing above it,
  expectColour(im, 3, 10, 1, 1, 1);   // nor beside.
  // At fill 0 the layer still knocks its shadow out.
  Image knocked = draw(effectsBlock({shadow}), 0);
  expectColour(knocked, 5, 6, 1, 1, 1);
  expectColour(knocked, 5, 10, 0, 0, 0);
  // Soft: a size of 4 spreads the edge, darker inside the shadow than at its rim.
  const Fx soft{"DrSh", {mode("Nrml"), percent("Opct", 100), flag("uglg", false), angle("lagl", 90),
                         pixels("Dstn", 3), pixels("blur", 4), percent("Ckmt", 0), colour(0, 0, 0)}};
  Image blurred = draw(effectsBlock({soft}), 255, 20);
  EXPECT_LT(blurred.at(5, 9)[0], blurred.at(5, 11)[0]);
  EXPECT_LT(blurred.at(5, 11)[0], 1.0);
  EXPECT_GT(blurred.at(5, 11)[0], 0.0);
}

TEST_F(LayerEffectsDrawTest, GlowsFollowTheirContourAndGradient) {
  // A glow of size 4 around the square, and the same through a contour that takes every
  // coverage below half to nothing: that one stops sooner.
  const auto glow = [&](std::vector<Item> more) {
    std::vector<Item> items = {mode("Nrml"), percent("Opct", 100), pixels("blur", 4), percent("Ckmt", 0),
                               percent("Inpr", 100)};
    items.insert(items.end(), more.begin(), more.end());
    return draw(effectsBlock({Fx{"OrGl", items}}), 255, 20);
  };
  const Image plain = glow({colour(0, 0, 255)});
  Desc curve;
  curve.item("Crv ", "VlLs").list(3);
  for (const auto& [in, out] : std::vector<std::pair<int, int>>{{0, 0}, {128, 0}, {255, 255}})
    curve.raw("Objc").object("CrPt", 2).item("Hrzn", "doub").number(in).item("Vrtc", "doub").number(out);
  const std::string points = curve.bytes();
  const Item contour = [&](Desc& d) { d.item("TrnS", "Objc").object("ShpC", 1).raw(points); };
  const Image cut = glow({colour(0, 0, 255), contour});
  EXPECT_LT(plain.at(2, 6)[0], 1.0);       // The plain glow reaches two pixels out,
  EXPECT_DOUBLE_EQ(1.0, cut.at(2, 6)[0]);  // the cut one not;
  EXPECT_GE(cut.at(3, 6)[0], plain.at(3, 6)[0]);  // and it is nowhere stronger.
  // A gradient glow is coloured by distance: its start at the edge, its end far out.
  Desc grad;
  grad.object("Grdn", 3).item("GrdF", "enum").enumeration("GrdF", "CstS").item("Clrs", "VlLs").list(2);
  grad.raw("Objc").object("Clrt", 2).item("Clr ", "Objc").rgb(0, 0, 255).item("Lctn", "long").integer(0);
  grad.raw("Objc").object("Clrt", 2).item("Clr ", "Objc").rgb(0, 255, 0).item("Lctn", "long").integer(4096);
  grad.item("Trns", "VlLs").list(0);
  const std::string stops = grad.bytes();
  const Image graded = glow({[&](Desc& d) { d.item("Grad", "Objc").raw(stops); }});
  const double* near = graded.at(3, 6);
  const double* far = graded.at(1, 6);
  // Over white, a glow pixel of cover c at gradient place t is (1 - c, 1 - c (1 - t), 1 - c t):
  // how much green takes against blue, t / (1 - t), grows outwards.
  const auto greenness = [](const double* p) { return (1 - p[2]) / (1 - p[1]); };
  ASSERT_LT(near[1], 1.0);
  ASSERT_LT(far[1], 1.0);
  EXPECT_LT(greenness(near), greenness(far));
  // A gradient glow is as opaque as its gradient wherever the glow reaches:
  // an opaque blue one covers white fully two pixels out, where the plain
  // blue glow, fading with its cover, does not.
  Desc solid;
  solid.object("Grdn", 3).item("GrdF", "enum").enumeration("GrdF", "CstS").item("Clrs", "VlLs").list(2);
  for (int at : {0, 4096}) solid.raw("Objc").object("Clrt", 2).item("Clr ", "Objc").rgb(0, 0, 255).item("Lctn", "long").integer(at);
  solid.item("Trns", "VlLs").list(0);
  const std::string opaque_blue = solid.bytes();
  const Image covered = glow({[&](Desc& d) { d.item("Grad", "Objc").raw(opaque_blue); }});
  EXPECT_NEAR(0.0, covered.at(2, 6)[0], 1.0 / 255);
  EXPECT_GT(plain.at(2, 6)[0], 0.1);
}

TEST_F(LayerEffectsDrawTest, BevelLightsTheSideFacingTheLight) {
  const auto bevel = [&](const char* style, const char* direction) {
    const Fx fx{"ebbl", {choice("hglM", "BlnM", "Scrn"), [](Desc& d) { d.item("hglC", "Objc").rgb(255, 255, 255); },
                         percent("hglO", 100), choice("sdwM", "BlnM", "Mltp"),
                         [](Desc& d) { d.item("sdwC", "Objc").rgb(0, 0, 0); }, percent("sdwO", 100),
                         choice("bvlS", "BESl", style), choice("bvlD", "BESs", direction), flag("uglg", false),
                         angle("lagl", 90), angle("Lald", 30), percent("srgR", 100), pixels("blur", 3)}};
    return draw(effectsBlock({fx}), 255, 24, 12);
  };
  // Light from above: an inner bevel lights the square's top edge, shades its bottom edge,
  // leaves its middle and everything outside as they were.
  const Image up = bevel("InrB", "In  ");
  EXPECT_GT(up.at(10, 4)[1], 0.1);          // Top edge: red screened towards white.
  EXPECT_LT(up.at(10, 15)[0], 0.9);         // Bottom edge: red darkened.
  expectColour(up, 10, 10, 1, 0, 0);        // The flat middle.
  expectColour(up, 10, 2, 1, 1, 1);         // Outside.
  // Pressed down, the sides swap.
  const Image down = bevel("InrB", "Out ");
  EXPECT_LT(down.at(10, 4)[0], 0.9);
  EXPECT_GT(down.at(10, 15)[1], 0.1);
  // An outer bevel works outside the edge only: the square stays red, the white around it changes.
  const Image outer = bevel("OtrB", "In  ");
  expectColour(outer, 10, 4, 1, 0, 0);
  expectColour(outer, 10, 15, 1, 0, 0);
  EXPECT_LT(outer.at(10, 17)[0], 0.9);      // Below the square, the slope turned from the light.
}

TEST_F(LayerEffectsDrawTest, SatinShadesInsideWhereTheShiftedShapesDiffer) {
  const auto satin = [&](bool invert) {
    const Fx fx{"ChFX", {mode("Nrml"), colour(0, 0, 255), percent("Opct", 100), flag("Invr", invert),
                         angle("lagl", 0), pixels("Dstn", 3), pixels("blur", 0)}};
    return draw(effectsBlock({fx}), 255, 24, 12);
  };
  // Moved three pixels left and right, the square's copies differ in its outer three columns.
  const Image plain = satin(false), inverted = satin(true);
  expectColour(plain, 5, 10, 0, 0, 1);     // Near the left edge: satin colour,
  expectColour(plain, 10, 10, 1, 0, 0);    // in the middle: none;
  expectColour(plain, 2, 10, 1, 1, 1);     // never outside the shape.
  expectColour(inverted, 5, 10, 1, 0, 0);  // Inverted, the other way round.
  expectColour(inverted, 10, 10, 0, 0, 1);
  expectColour(inverted, 2, 10, 1, 1, 1);
}

TEST(LayerEffectsReadTest, WhatCannotBeDrawnIsNamed) {
  LayerRecord layer;
  const std::string block = effectsBlock({Fx{"SoFi", {mode("Nrml"), percent("Opct", 100)}},  // No colour.
                                          Fx{"ChFX", {mode("Mltp")}},                         // Satin.
                                          stroke("OutF", 2, 0, 0, 0)});
  layer.blocks.push_back({"lfx2", std::vector<uint8_t>(block.begin(), block.end())});
  const LayerEffects fx = readEffects(layer, 3, false, 120);
  ASSERT_EQ(1u, fx.drawn.size());
  EXPECT_EQ(EffectKind::kStroke, fx.drawn[0].kind);
  EXPECT_EQ((std::set<std::string>{"colour overlay", "satin"}), fx.left_out);
  // Only the older block: named, nothing drawn.
  LayerRecord old;
  old.blocks.push_back({"lrFX", {0, 0, 0, 1, '8', 'B', 'I', 'M', 's', 'o', 'f', 'i', 0, 0, 0, 30}});
  old.blocks.back().data.resize(4 + 12 + 30, 0);
  old.blocks.back().data[12 + 4 + 23] = 1;
  const LayerEffects legacy = readEffects(old, 3, false, 120);
  EXPECT_FALSE(legacy.any());
  EXPECT_EQ((std::set<std::string>{"colour overlay"}), legacy.left_out);
}

TEST(LayerEffectsGeometryTest, DistancesAreEuclidean) {
  std::vector<uint8_t> inside(7 * 5, 0);
  inside[2 * 7 + 3] = 1;  // One pixel at (3, 2).
  const std::vector<float> d = distanceTo(inside, 7, 5);
  EXPECT_FLOAT_EQ(0.0f, d[2 * 7 + 3]);
  EXPECT_FLOAT_EQ(3.0f, d[2 * 7 + 0]);
  EXPECT_FLOAT_EQ(std::sqrt(13.0f), d[0 * 7 + 0]);
  EXPECT_FLOAT_EQ(std::sqrt(5.0f), d[4 * 7 + 4]);
  // Nothing inside: infinitely far.
  EXPECT_TRUE(std::isinf(distanceTo(std::vector<uint8_t>(4, 0), 2, 2)[3]));
}

TEST(LayerEffectsGeometryTest, SofteningSpreadsAnEdgeOverItsSizeAndKeepsTheLight) {
  // A vertical edge through a 40 x 40 plane whose right half is lit; the middle row is read.
  const int w = 40;
  std::vector<float> plane(static_cast<size_t>(w) * w, 0.0f);
  for (int y = 0; y < w; ++y)
    for (int x = 20; x < w; ++x) plane[static_cast<size_t>(y) * w + x] = 1.0f;
  softenPlane(&plane, w, w, 6);
  const float* soft = plane.data() + static_cast<size_t>(20) * w;
  EXPECT_NEAR(0.5f, (soft[19] + soft[20]) / 2, 0.05f);  // The edge stays where it was,
  EXPECT_FLOAT_EQ(0.0f, soft[10]);                        // reaching a little beyond 6 pixels out;
  EXPECT_GT(soft[14], 0.0f);
  EXPECT_NEAR(1.0f, soft[30], 1e-5f);                     // inside, all the light is kept.
  for (int x = 1; x < w - 10; ++x) EXPECT_LE(soft[x - 1], soft[x] + 1e-6f);
}

}  // namespace
}  // namespace pixolune
