// Build-time artwork tool.
//   pixolune_artwork builtin ICON_MAP RENDERED_DIR OUT.cpp
//     writes the pictures compiled into the program as C++ byte arrays;
//   pixolune_artwork theme ICON_MAP RENDERED_DIR OUT.zip
//     writes the "handdrawn" theme archive.
// RENDERED_DIR holds every icon of the map rendered at kArtSize pixels.
#include <archive.h>
#include <archive_entry.h>

#include <cctype>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "artwork.h"

namespace artwork {
namespace {

using NamedBytes = std::vector<std::pair<std::string, std::string>>;

/// The large buttons and their sizes; the names also appear among the icons.
const std::pair<const char*, int> kButtons[] = {{"Convert", 64}, {"InFiles", 48}, {"InFolder", 48}};
const int kIconSizes[] = {16, 24, 32, 48, 64};

const IconSource* findIcon(const std::vector<IconSource>& icons, const std::string& name) {
  for (const IconSource& icon : icons) {
    if (icon.name == name) return &icon;
  }
  return nullptr;
}

bool composeAll(const std::vector<IconSource>& icons, const std::string& dir, std::vector<Raster>* out) {
  for (const IconSource& icon : icons) {
    Raster art = composeIcon(icon, dir);
    if (art.width != kArtSize || art.height != kArtSize) {
      std::fprintf(stderr, "artwork: missing or wrongly sized rendering of %s\n", icon.base.c_str());
      return false;
    }
    out->push_back(std::move(art));
  }
  return true;
}

std::string cppSource(const NamedBytes& pictures) {
  std::string text =
      "// Generated at build time by the artwork tool (data/artwork); do not edit.\n"
      "#include \"resources/builtin_pictures.h\"\n\nnamespace pixolune {\nnamespace {\n\n";
  const char* digits = "0123456789abcdef";
  for (size_t i = 0; i < pictures.size(); ++i) {
    text += "const unsigned char kPicture" + std::to_string(i) + "[] = {";
    const std::string& bytes = pictures[i].second;
    for (size_t b = 0; b < bytes.size(); ++b) {
      auto byte = static_cast<unsigned char>(bytes[b]);
      text += b % 16 ? "," : (b ? ",\n    " : "\n    ");
      text += {'0', 'x', digits[byte >> 4], digits[byte & 15]};
    }
    text += "};\n";
  }
  text += "\nconst BuiltinPicture kPictures[] = {\n";
  for (size_t i = 0; i < pictures.size(); ++i) {
    std::string array = "kPicture" + std::to_string(i);
    text += "    {\"" + pictures[i].first + "\", " + array + ", sizeof(" + array + ")},\n";
  }
  text += "};\n\n}  // namespace\n\nstd::span<const BuiltinPicture> builtinPictures() { return kPictures; }\n\n"
          "}  // namespace pixolune\n";
  return text;
}

int writeBuiltins(const std::vector<IconSource>& icons, const std::string& dir, const std::string& out) {
  std::vector<Raster> art;
  if (!composeAll(icons, dir, &art)) return 1;
  NamedBytes pictures;
  for (const auto& [name, size] : kButtons) {
    const IconSource* icon = findIcon(icons, name);
    if (!icon) return 1;
    pictures.emplace_back(std::string("button/") + name,
                          encodePng(downsample(art[icon - icons.data()], kArtSize / size), true));
  }
  for (size_t i = 0; i < icons.size(); ++i) {
    pictures.emplace_back("icon/" + icons[i].name, encodePng(downsample(art[i], kArtSize / 16), true));
  }
  pictures.emplace_back("image/0", drawBanner());
  pictures.emplace_back("image/1", drawLogo());
  return writeFileReplacing(out, cppSource(pictures)) ? 0 : 1;
}

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

/// The description file: ANSI text, CR LF line ends.
std::string themeConfig(const std::vector<IconSource>& icons) {
  std::string text = "[Theme]\r\nName=Hand-drawn\r\n\r\n[Buttons]\r\n";
  for (const auto& [name, size] : kButtons) text += std::string(name) + "=button_" + lowerCase(name) + ".png\r\n";
  text += "\r\n[Icons]\r\n";
  for (const IconSource& icon : icons) text += icon.name + "=" + lowerCase(icon.name) + "\r\n";
  return text;
}

struct ArchiveDeleter {
  void operator()(archive* a) const { archive_write_free(a); }
};

bool writeZip(const std::string& path, const NamedBytes& entries) {
  std::unique_ptr<archive, ArchiveDeleter> zip(archive_write_new());
  std::string temp = path + ".tmp";
  if (archive_write_set_format_zip(zip.get()) != ARCHIVE_OK ||
      archive_write_open_filename(zip.get(), temp.c_str()) != ARCHIVE_OK) {
    return false;
  }
  for (const auto& [name, bytes] : entries) {
    std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(), archive_entry_free);
    archive_entry_set_pathname(entry.get(), name.c_str());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    archive_entry_set_size(entry.get(), static_cast<la_int64_t>(bytes.size()));
    archive_entry_set_mtime(entry.get(), 1262304000, 0);  // Fixed, so rebuilds give the same bytes.
    if (archive_write_header(zip.get(), entry.get()) != ARCHIVE_OK ||
        archive_write_data(zip.get(), bytes.data(), bytes.size()) != static_cast<la_ssize_t>(bytes.size())) {
      return false;
    }
  }
  if (archive_write_close(zip.get()) != ARCHIVE_OK) return false;
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

int writeTheme(const std::vector<IconSource>& icons, const std::string& dir, const std::string& out) {
  std::vector<Raster> art;
  if (!composeAll(icons, dir, &art)) return 1;
  NamedBytes entries = {{"theme.cfg", themeConfig(icons)}};
  for (const auto& [name, size] : kButtons) {
    const IconSource* icon = findIcon(icons, name);
    if (!icon) return 1;
    entries.emplace_back("button_" + lowerCase(name) + ".png", encodePng(sketchIcon(art[icon - icons.data()], size), true));
  }
  for (size_t i = 0; i < icons.size(); ++i) {
    for (int size : kIconSizes) {
      entries.emplace_back(lowerCase(icons[i].name) + "_" + std::to_string(size) + ".png",
                           encodePng(sketchIcon(art[i], size), true));
    }
  }
  return writeZip(out, entries) ? 0 : 1;
}

}  // namespace
}  // namespace artwork

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s builtin|theme ICON_MAP RENDERED_DIR OUTPUT\n", argv[0]);
    return 2;
  }
  std::string command = argv[1];
  std::vector<artwork::IconSource> icons = artwork::readIconMap(argv[2]);
  if (icons.empty()) {
    std::fprintf(stderr, "artwork: cannot read %s\n", argv[2]);
    return 1;
  }
  int rc = command == "builtin" ? artwork::writeBuiltins(icons, argv[3], argv[4])
           : command == "theme" ? artwork::writeTheme(icons, argv[3], argv[4])
                                : 2;
  if (rc != 0) std::fprintf(stderr, "artwork: %s failed for %s\n", command.c_str(), argv[4]);
  return rc;
}
