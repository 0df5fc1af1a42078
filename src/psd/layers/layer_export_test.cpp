#include "psd/layers/layer_export.h"

#include <gtest/gtest.h>

namespace pixolune {
namespace {

LayerRecord pixels(const std::string& name, bool visible = true, bool clipped = false) {
  LayerRecord l;
  l.name = name;
  l.rect = LayerRect{0, 0, 4, 4};
  l.visible = visible;
  l.clipped = clipped;
  return l;
}

LayerRecord groupEnd() {
  LayerRecord l;
  l.name = "</Layer group>";
  l.section = SectionKind::kGroupEnd;
  return l;
}

LayerRecord group(const std::string& name, bool visible = true) {
  LayerRecord l;
  l.name = name;
  l.section = SectionKind::kOpenGroup;
  l.section_blend_key = "pass";
  l.visible = visible;
  l.opacity = 128;
  return l;
}

LayerRecord withBlock(LayerRecord l, const char* key) {
  l.blocks.push_back({key, {}});
  l.rect = LayerRect{};
  return l;
}

// Bottom first, as stored:
//   Background
//   Outer/ { Inner/ { Deep }, Masked, Tint (clipped to Masked), Curves (adjustment) }
//   Shape (a colour fill with a vector mask), Wash (a fill of the whole canvas)
//   Hidden (hidden), Quiet/ { Muted } (a hidden group)
LayerSet sample() {
  LayerSet set;
  auto& l = set.layers;
  l.push_back(pixels("Background"));
  l.push_back(groupEnd());
  l.push_back(groupEnd());
  l.push_back(pixels("Deep"));
  l.push_back(group("Inner"));
  l.push_back(pixels("Masked"));
  l.push_back(pixels("Tint", true, true));
  l.push_back(withBlock(pixels("Curves"), "curv"));
  l.push_back(group("Outer"));
  LayerRecord shape = withBlock(pixels("Shape"), "SoCo");
  shape.blocks.push_back({"vmsk", {}});
  l.push_back(shape);
  l.push_back(withBlock(pixels("Wash"), "SoCo"));
  l.push_back(pixels("Hidden", false));
  l.push_back(groupEnd());
  l.push_back(pixels("Muted"));
  l.push_back(group("Quiet", false));
  return set;
}

std::vector<std::string> names(const std::vector<ExportPiece>& pieces) {
  std::vector<std::string> out;
  for (const ExportPiece& p : pieces) {
    std::string path;
    for (const std::string& g : p.groups) path += g + "/";
    out.push_back(path + p.name + "#" + std::to_string(p.index));
  }
  return out;
}

TEST(LayerExportTest, LayersAreThoseWithPicturesOfTheirOwnInVisibleGroups) {
  ExportOptions o;
  o.kind = kExportLayers;
  const LayerSet set = sample();
  const std::vector<ExportPiece> pieces = listExportPieces(set, {}, o);
  EXPECT_EQ((std::vector<std::string>{"Background#1", "Outer/Inner/Deep#2", "Outer/Masked#3", "Shape#4"}),
            names(pieces));
  // The clipped layer is drawn with its base.
  ASSERT_EQ(4u, pieces.size());
  EXPECT_EQ(5u, pieces[2].first);
  EXPECT_EQ(6u, pieces[2].last);
  o.hidden = true;
  EXPECT_EQ((std::vector<std::string>{"Background#1", "Outer/Inner/Deep#2", "Outer/Masked#3", "Shape#4",
                                      "Hidden#5", "Quiet/Muted#6"}),
            names(listExportPieces(set, {}, o)));
}

TEST(LayerExportTest, GroupsAreTakenAtTheirDepthWithTheirOwnOpacityAndMode) {
  ExportOptions o;
  o.kind = kExportGroups;
  const LayerSet set = sample();
  std::vector<ExportPiece> pieces = listExportPieces(set, {}, o);
  ASSERT_EQ((std::vector<std::string>{"Outer#1"}), names(pieces));
  EXPECT_EQ(1u, pieces[0].first);  // From its end marker
  EXPECT_EQ(8u, pieces[0].last);   // to its own record.
  EXPECT_EQ(128, pieces[0].opacity);
  EXPECT_EQ("pass", pieces[0].blend_key);
  o.depth = 2;
  EXPECT_EQ((std::vector<std::string>{"Outer/Inner#1"}), names(listExportPieces(set, {}, o)));
  o.depth = 3;
  EXPECT_TRUE(listExportPieces(set, {}, o).empty());
  o.depth = 1;
  o.hidden = true;
  EXPECT_EQ((std::vector<std::string>{"Outer#1", "Quiet#2"}), names(listExportPieces(set, {}, o)));
}

TEST(LayerExportTest, APieceIsDrawnFromItsOwnRecordsAtTheRoot) {
  ExportOptions o;
  o.kind = kExportLayers;
  o.hidden = true;
  const LayerSet set = sample();
  const std::vector<ExportPiece> pieces = listExportPieces(set, {}, o);
  LayerSet masked = pieceLayers(set, pieces[2], {}, o);
  ASSERT_EQ(2u, masked.layers.size());
  EXPECT_EQ("Masked", masked.layers[0].name);
  EXPECT_TRUE(masked.layers[1].clipped);
  LayerSet hidden = pieceLayers(set, pieces[4], {}, o);
  ASSERT_EQ(1u, hidden.layers.size());
  EXPECT_TRUE(hidden.layers[0].visible);  // Asked for, so shown.

  o.kind = kExportGroups;
  const std::vector<ExportPiece> groups = listExportPieces(set, {}, o);
  LayerSet quiet = pieceLayers(set, groups[1], {}, o);
  ASSERT_EQ(3u, quiet.layers.size());
  EXPECT_EQ(SectionKind::kGroupEnd, quiet.layers[0].section);
  EXPECT_TRUE(quiet.layers[2].visible);
}

TEST(LayerExportTest, UnclosedAndStrayGroupMarkersDoNotConfuseThePaths) {
  LayerSet set;
  set.layers.push_back(pixels("Loose"));
  set.layers.push_back(group("Orphan"));  // A group record without its end marker.
  set.layers.push_back(groupEnd());        // An end marker never closed.
  set.layers.push_back(pixels("Inside"));
  ExportOptions o;
  o.kind = kExportLayers;
  EXPECT_EQ((std::vector<std::string>{"Loose#1", "Inside#2"}), names(listExportPieces(set, {}, o)));
  o.kind = kExportGroups;
  EXPECT_TRUE(listExportPieces(set, {}, o).empty());
}

TEST(LayerExportTest, CompsAreEveryStoredCompOverTheWholeSet) {
  ExportOptions o;
  o.kind = kExportComps;
  const LayerSet set = sample();
  const std::vector<ExportPiece> pieces = listExportPieces(set, {{"Day", 7}, {"Night", 9}}, o);
  EXPECT_EQ((std::vector<std::string>{"Day#1", "Night#2"}), names(pieces));
  // Layers without comp settings keep their own visibility.
  const LayerSet night = pieceLayers(set, pieces[1], {{"Day", 7}, {"Night", 9}}, o);
  ASSERT_EQ(set.layers.size(), night.layers.size());
  EXPECT_FALSE(night.layers[11].visible);
}

TEST(LayerExportTest, NamesAreMadeSafeForFiles) {
  EXPECT_EQ("Eyes_Left", fileNameSafe("Eyes/Left"));
  EXPECT_EQ("a_b_c_d", fileNameSafe("a\\b:c*d"));
  EXPECT_EQ("_", fileNameSafe(".."));
  EXPECT_EQ("_", fileNameSafe("."));
  EXPECT_EQ("_", fileNameSafe(""));
  EXPECT_EQ("tab_", fileNameSafe("tab\t"));
  EXPECT_EQ("Фигура 1", fileNameSafe("Фигура 1"));
  // Long names are cut at a character's start: 150 two-byte letters keep 100 of them.
  std::string longer;
  for (int i = 0; i < 150; ++i) longer += "Ж";
  EXPECT_EQ(200u, fileNameSafe(longer).size());
}

}  // namespace
}  // namespace pixolune
