#include "psd/layers/layer_effects.h"

#include <cstring>

#include "psd/layers/descriptor.h"
#include "psd/psd_file.h"

namespace pixolune {

namespace {

struct EffectName {
  const char* key;
  const char* multi_key;
  const char* name;
};

const EffectName kEffects[] = {
    {"DrSh", "dropShadowMulti", "drop shadow"}, {"IrSh", "innerShadowMulti", "inner shadow"},
    {"OrGl", nullptr, "outer glow"},           {"IrGl", nullptr, "inner glow"},
    {"ebbl", nullptr, "bevel and emboss"},     {"ChFX", nullptr, "satin"},
    {"SoFi", "solidFillMulti", "colour overlay"}, {"GrFl", "gradientFillMulti", "gradient overlay"},
    {"patternFill", nullptr, "pattern overlay"}, {"FrFX", "frameFXMulti", "stroke"},
};

bool enabled(const DescValue& effect) { return effect.on("enab", true) && effect.on("present", true); }

void fromDescriptor(const DescValue& fx, std::set<std::string>* names) {
  if (!fx.on("masterFXSwitch", true)) return;
  for (const EffectName& e : kEffects) {
    const DescValue* one = fx.get(e.key);
    if (one && enabled(*one)) names->insert(e.name);
    const DescValue* many = e.multi_key ? fx.get(e.multi_key) : nullptr;
    if (!many) continue;
    for (const DescValue& item : many->list)
      if (enabled(item)) names->insert(e.name);
  }
}

// The older effects block: a count, then one record per effect; the byte
// that switches each on sits at a fixed place in its record.
void fromLegacy(const std::vector<uint8_t>& d, std::set<std::string>* names) {
  struct Legacy {
    const char* key;
    size_t enabled_at;
    const char* name;
  };
  static const Legacy kLegacy[] = {{"dsdw", 38, "drop shadow"}, {"isdw", 38, "inner shadow"},
                                   {"oglw", 30, "outer glow"},  {"iglw", 30, "inner glow"},
                                   {"bevl", 56, "bevel and emboss"}, {"sofi", 23, "colour overlay"}};
  size_t p = 4;
  while (p + 12 <= d.size()) {
    const uint8_t* rec = d.data() + p;
    const uint64_t size = bigEndian(rec + 8, 4);
    if (size > d.size() - p - 12) return;
    for (const Legacy& l : kLegacy)
      if (std::memcmp(rec + 4, l.key, 4) == 0 && l.enabled_at < size && rec[12 + l.enabled_at] != 0)
        names->insert(l.name);
    p += 12 + static_cast<size_t>(size);
  }
}

}  // namespace

void noteEffects(const LayerRecord& layer, std::set<std::string>* names) {
  DescValue fx;
  for (const char* key : {"lfx2", "lmfx"}) {
    const LayerBlock* b = layer.block(key);
    if (b && parseBlockDescriptor(b->data, 8, &fx)) {
      fromDescriptor(fx, names);
      return;
    }
  }
  if (const LayerBlock* b = layer.block("lrFX")) fromLegacy(b->data, names);
}

}  // namespace pixolune
