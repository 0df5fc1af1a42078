#include "psd/layers/descriptor.h"

#include <cmath>
#include <cstring>

#include "psd/psd_file.h"

namespace pixolune {

std::string utf8FromUtf16(const uint8_t* p, size_t units) {
  std::string s;
  for (size_t i = 0; i < units; ++i) {
    uint32_t c = static_cast<uint32_t>(bigEndian(p + 2 * i, 2));
    if (c == 0) break;
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
      const uint32_t low = static_cast<uint32_t>(bigEndian(p + 2 * i + 2, 2));
      if (low >= 0xDC00 && low < 0xE000) c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00), ++i;
      else c = 0xFFFD;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      s += static_cast<char>(c);
    } else if (c < 0x800) {
      s += static_cast<char>(0xC0 | (c >> 6)), s += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      s += static_cast<char>(0xE0 | (c >> 12)), s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      s += static_cast<char>(0xF0 | (c >> 18)), s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      s += static_cast<char>(0x80 | ((c >> 6) & 0x3F)), s += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return s;
}

namespace {

constexpr int kMaxNesting = 32;

class Parser {
 public:
  Parser(const uint8_t* d, size_t n) : d_(d), n_(n) {}
  bool descriptor(DescValue* out, int depth);

 private:
  bool has(size_t k) const { return k <= n_ - p_; }
  bool u32(uint64_t* v) {
    if (!has(4)) return false;
    *v = bigEndian(d_ + p_, 4), p_ += 4;
    return true;
  }
  bool skip(uint64_t k) {
    if (k > n_ - p_) return false;
    p_ += static_cast<size_t>(k);
    return true;
  }
  // A key: a length, then that many bytes, or four bytes when the length is 0.
  bool key(std::string* out) {
    uint64_t len = 0;
    if (!u32(&len)) return false;
    if (len == 0) len = 4;
    if (!has(len)) return false;
    out->assign(reinterpret_cast<const char*>(d_ + p_), static_cast<size_t>(len));
    p_ += static_cast<size_t>(len);
    return true;
  }
  bool unicode(std::string* out) {
    uint64_t count = 0;
    if (!u32(&count) || count > (n_ - p_) / 2) return false;
    *out = utf8FromUtf16(d_ + p_, static_cast<size_t>(count));
    p_ += 2 * static_cast<size_t>(count);
    return true;
  }
  bool type(std::string* out) {
    if (!has(4)) return false;
    out->assign(reinterpret_cast<const char*>(d_ + p_), 4);
    p_ += 4;
    return true;
  }
  bool doubleValue(double* v) {
    if (!has(8)) return false;
    const uint64_t bits = bigEndian(d_ + p_, 8);
    std::memcpy(v, &bits, 8);
    if (!std::isfinite(*v)) *v = 0;  // Nothing downstream has to guard against NaN or infinity.
    p_ += 8;
    return true;
  }
  bool reference();
  bool value(const std::string& t, DescValue* out, int depth);

  const uint8_t* d_;
  size_t n_;
  size_t p_ = 0;
};

bool Parser::reference() {
  uint64_t count = 0;
  if (!u32(&count) || count > 64) return false;
  std::string t, s;
  uint64_t v = 0;
  for (uint64_t i = 0; i < count; ++i) {
    if (!type(&t)) return false;
    if (t == "prop") { if (!unicode(&s) || !key(&s) || !key(&s)) return false; }
    else if (t == "Clss") { if (!unicode(&s) || !key(&s)) return false; }
    else if (t == "Enmr") { if (!unicode(&s) || !key(&s) || !key(&s) || !key(&s)) return false; }
    else if (t == "rele") { if (!unicode(&s) || !key(&s) || !u32(&v)) return false; }
    else if (t == "Idnt" || t == "indx") { if (!u32(&v)) return false; }
    else if (t == "name") { if (!unicode(&s) || !key(&s) || !unicode(&s)) return false; }
    else return false;
  }
  return true;
}

bool Parser::value(const std::string& t, DescValue* out, int depth) {
  out->type = t;
  uint64_t v = 0;
  std::string s;
  if (t == "Objc" || t == "GlbO") return descriptor(out, depth + 1);
  if (t == "VlLs") {
    if (!u32(&v) || v > n_ - p_) return false;
    out->list.resize(static_cast<size_t>(v));
    for (DescValue& item : out->list)
      if (!type(&s) || !value(s, &item, depth + 1)) return false;
    return true;
  }
  if (t == "doub") return doubleValue(&out->number);
  if (t == "UntF") return type(&out->class_id) && doubleValue(&out->number);
  if (t == "long") {
    if (!u32(&v)) return false;
    out->number = static_cast<int32_t>(static_cast<uint32_t>(v));
    return true;
  }
  if (t == "comp") return skip(8);
  if (t == "bool") {
    if (!has(1)) return false;
    out->flag = d_[p_++] != 0;
    return true;
  }
  if (t == "enum") return key(&s) && key(&out->class_id);
  if (t == "TEXT") return unicode(&out->text);
  if (t == "type" || t == "GlbC") return unicode(&s) && key(&out->class_id);
  if (t == "alis" || t == "tdta" || t == "Pth ") return u32(&v) && skip(v);
  if (t == "obj ") return reference();
  if (t == "UnFl") {
    if (!type(&s) || !u32(&v) || v > (n_ - p_) / 8) return false;
    return skip(v * 8);
  }
  return false;
}

bool Parser::descriptor(DescValue* out, int depth) {
  if (depth > kMaxNesting) return false;
  out->type = "Objc";
  std::string name;
  uint64_t count = 0;
  if (!unicode(&name) || !key(&out->class_id) || !u32(&count) || count > n_ - p_) return false;
  for (uint64_t i = 0; i < count; ++i) {
    std::string k, t;
    DescValue item;
    if (!key(&k) || !type(&t) || !value(t, &item, depth)) return false;
    out->items.push_back({std::move(k), std::move(item)});
  }
  return true;
}

}  // namespace

const DescValue* DescValue::get(const char* key) const {
  for (const auto& [k, v] : items)
    if (k == key) return &v;
  return nullptr;
}

double DescValue::num(const char* key, double fallback) const {
  const DescValue* v = get(key);
  return v ? v->number : fallback;
}

bool DescValue::on(const char* key, bool fallback) const {
  const DescValue* v = get(key);
  return v ? v->flag : fallback;
}

bool parseDescriptor(const uint8_t* data, size_t size, DescValue* out) {
  *out = DescValue();
  Parser p(data, size);
  return p.descriptor(out, 0);
}

bool parseBlockDescriptor(const std::vector<uint8_t>& block, size_t skip, DescValue* out) {
  if (block.size() < skip) return false;
  return parseDescriptor(block.data() + skip, block.size() - skip, out);
}

}  // namespace pixolune
