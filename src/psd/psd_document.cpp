#include "psd/psd_document.h"

#include <algorithm>
#include <utility>

namespace pixolune {

Status PsdDocument::open(const std::string& path, MappedFile::Access access) {
  *this = PsdDocument();
  path_ = path;
  Status st = file_.open(path, access);
  return st.ok() ? readHeader() : st;
}

Status PsdDocument::openBytes(std::vector<uint8_t> bytes) {
  *this = PsdDocument();
  bytes_ = std::move(bytes);
  in_memory_ = true;
  return readHeader();
}

Status PsdDocument::readHeader() {
  Status st = readPsdHeader(file(), &header_, &sections_);
  open_ = st.ok();
  if (!open_) file_.close(), bytes_.clear();
  return st;
}

BitmapPtr LibraryStream::load(int flags) {
  FreeImageIO io{};
  io.read_proc = &LibraryStream::read;
  io.write_proc = [](void*, unsigned, unsigned, fi_handle) -> unsigned { return 0; };
  io.seek_proc = &LibraryStream::seek;
  io.tell_proc = &LibraryStream::tell;
  position_ = 0;
  return BitmapPtr(FreeImage_LoadFromHandle(FIF_PSD, &io, this, flags));
}

// Whole items only, as fread counts them.
unsigned DLL_CALLCONV LibraryStream::read(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  auto* s = static_cast<LibraryStream*>(handle);
  if (size == 0) return 0;
  const uint64_t left = s->in_.size() - std::min(s->position_, s->in_.size());
  const uint64_t items = std::min<uint64_t>(count, left / size);
  if (items == 0) return 0;
  if (!s->in_.read(s->position_, static_cast<size_t>(items * size), buffer, "image library").ok()) return 0;
  s->position_ += items * size;
  return static_cast<unsigned>(items);
}

// As fseek: any position at or after the start, also past the end.
int DLL_CALLCONV LibraryStream::seek(fi_handle handle, long offset, int origin) {
  auto* s = static_cast<LibraryStream*>(handle);
  const long base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? static_cast<long>(s->position_)
                                                                : static_cast<long>(s->in_.size());
  if (offset < -base) return -1;
  s->position_ = static_cast<uint64_t>(base + offset);
  return 0;
}

long DLL_CALLCONV LibraryStream::tell(fi_handle handle) {
  return static_cast<long>(static_cast<LibraryStream*>(handle)->position_);
}

Status colourConversionFor(const PsdDocument& document, int bits, int out_samples, SrgbConversion* conversion) {
  const int mode = document.header().mode;
  const StoredColour colour = mode == kModeCmyk ? StoredColour::kCmyk
                              : mode == kModeLab ? StoredColour::kLab
                                                 : StoredColour::kGrey;
  if (mode != kModeCmyk && mode != kModeLab && mode != kModeGrey)
    return Status::unsupported("colour mode " + std::to_string(mode) + " has no colour conversion");
  return SrgbConversion::create(colour, bits, readIccProfile(document.file(), document.header()), out_samples,
                                conversion);
}

}  // namespace pixolune
