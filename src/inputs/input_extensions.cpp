#include "inputs/input_extensions.h"

#include <algorithm>

#include "settings/format_lists.h"

namespace pixolune {

std::vector<std::string> input_extensions;

namespace {

std::vector<InputExtensionRow>& table() {
  static std::vector<InputExtensionRow> rows;
  return rows;
}

void addRows(const std::string& key, std::initializer_list<const char*> extensions, const char* description) {
  for (const char* extension : extensions) table().push_back({extension, key, description});
}

void addFormatRows() {
  addRows("bmp", {"bmp", "rle", "dib"}, "Windows or OS/2 Bitmap");
  addRows("dds", {"dds"}, "DirectDraw Surface File");
  addRows("emf", {"emf", "emz"}, "Enhanced Metafile Format");
  addRows("gif", {"gif"}, "GIF File");
  addRows("hdr", {"hdr", "hdri"}, "High Dynamic Range File");
  addRows("ico", {"ico"}, "Windows Icon");
  addRows("jpg", {"jpg", "jpeg", "jpe", "jif"}, "JPEG File");
  addRows("pcd", {"pcd", "pcd1", "pcds", "ppcd"}, "Kodak PhotoCD File");
  addRows("pcx", {"pcx"}, "ZSoft Paintbrush File");
  addRows("pic", {"pic", "pict", "pct"}, "Macintosh PICT");
  addRows("png", {"png"}, "Portable Network Graphics");
  addRows("psd", {"psd"}, "Adobe Photoshop File");
  addRows("tga", {"tga", "targa"}, "Truevision Targa");
  addRows("tiff", {"tiff", "tif"}, "Tagged Image File Format");
  addRows("wmf", {"wmf", "wmz"}, "Windows Metafile Format");
  addRows("wmf", {"apm"}, "Aldus Placeable Metafile");
}

void addCameraRows() {
  addRows("raw", {"raw", "raw1", "raw2"}, "Camera RAW Image");
  addRows("raw", {"3fr"}, "Hasselblad Camera RAW Image");
  addRows("raw", {"arw", "sr2", "srf"}, "Sony Camera RAW Image");
  addRows("raw", {"bay"}, "Casio Camera RAW Image");
  addRows("raw", {"bmq"}, "NuCore RAW Image");
  addRows("raw", {"cap", "iiq", "eip"}, "Phase One Camera RAW Image");
  addRows("raw", {"cine"}, "Phantom RAW Image");
  addRows("raw", {"cr2", "crw"}, "Canon Camera RAW Image");
  addRows("raw", {"cs1"}, "Capture Shop RAW Image");
  addRows("raw", {"dc2", "dcr", "drf", "dsc", "k25", "kc2", "kdc", "dcs"}, "Kodak Camera RAW Image");
  addRows("raw", {"dng"}, "Adobe Digital Negative Image");
  addRows("raw", {"erf"}, "Epson Camera RAW Image");
  addRows("raw", {"fff"}, "Imacon Camera RAW Image");
  addRows("raw", {"ia", "sti"}, "Sinar RAW Image");
  addRows("raw", {"mdc", "mrw"}, "Minolta Camera RAW Image");
  addRows("raw", {"mef", "mos"}, "Mamiya Camera RAW Image");
  addRows("raw", {"nef", "nrw"}, "Nikon Camera RAW Image");
  addRows("raw", {"orf"}, "Olympus Camera RAW Image");
  addRows("raw", {"pef", "ptx"}, "Pentax Camera RAW Image");
  addRows("raw", {"pxn"}, "Logitech Camera RAW Image");
  addRows("raw", {"qtk"}, "Apple Quicktake Camera RAW Image");
  addRows("raw", {"raf"}, "Fuji Camera RAW Image");
  addRows("raw", {"rdc"}, "Digital Foto Maker RAW Image");
  addRows("raw", {"rw2"}, "Panasonic Camera RAW Image");
  addRows("raw", {"rwz"}, "Rawzor Camera RAW Image");
  addRows("raw", {"x3f"}, "Sigma Camera RAW Image");
  addRows("raw", {"ari"}, "ARRI RAW Image");
  addRows("raw", {"r3d"}, "RED RAW Image");
  addRows("raw", {"rwl"}, "Leica Camera RAW Image");
}

}  // namespace

const std::vector<InputExtensionRow>& inputExtensionTable() { return table(); }

void buildInputExtensionTable() {
  table().clear();
  addFormatRows();
  addCameraRows();
}

const InputExtensionRow* findInputExtension(const std::string& extension) {
  for (const InputExtensionRow& row : table())
    if (row.extension == extension) return &row;
  return nullptr;
}

void rebuildInputExtensions() {
  std::vector<std::string> extensions;
  for (const std::string& key : inputFormatList())
    for (const InputExtensionRow& row : table())
      if (row.format_key == key) extensions.push_back(row.extension);
  input_extensions = std::move(extensions);
}

bool isInputExtension(const std::string& extension) {
  return std::find(input_extensions.begin(), input_extensions.end(), extension) != input_extensions.end();
}

}  // namespace pixolune
