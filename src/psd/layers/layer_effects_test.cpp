#include "psd/layers/layer_effects.h"

#include "psd/layers/layer_test_support.h"

namespace pixolune {
namespace {

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

}  // namespace
}  // namespace pixolune
