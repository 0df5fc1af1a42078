#include "run/export_manifest.h"

#include <atomic>
#include <cstdio>

#include "platform/files.h"
#include "platform/folder_files.h"
#include "platform/processes.h"
#include "psd/layers/blend_modes.h"
#include "run/output_names.h"
#include "run/pipeline.h"

namespace pixolune {

namespace {

// The length of the UTF-8 character at s[at], or 0 when the bytes there are
// not one.
size_t utf8Length(const std::string& s, size_t at) {
  const unsigned char c = static_cast<unsigned char>(s[at]);
  const size_t n = c < 0x80 ? 1 : (c & 0xe0) == 0xc0 ? 2 : (c & 0xf0) == 0xe0 ? 3 : (c & 0xf8) == 0xf0 ? 4 : 0;
  if (n == 0 || at + n > s.size()) return 0;
  for (size_t i = 1; i < n; ++i)
    if ((static_cast<unsigned char>(s[at + i]) & 0xc0) != 0x80) return 0;
  if (n == 2 && c < 0xc2) return 0;  // Overlong.
  return n;
}

std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (size_t at = 0; at < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[at]);
    const size_t n = utf8Length(s, at);
    if (n == 0) {
      out += "\xef\xbf\xbd";  // U+FFFD
      ++at;
    } else if (c == '"' || c == '\\') {
      out += '\\', out += static_cast<char>(c), ++at;
    } else if (c < 0x20) {
      char buf[8];
      snprintf(buf, sizeof(buf), "\\u%04x", c);
      out += buf, ++at;
    } else {
      out.append(s, at, n);
      at += n;
    }
  }
  return out + "\"";
}

std::string number(double v) {
  char buf[32];
  snprintf(buf, sizeof(buf), "%.4g", v);
  return buf;
}

}  // namespace

std::string manifestText(const std::string& document, int canvas_width, int canvas_height, uint8_t kind,
                         const std::vector<ManifestEntry>& entries) {
  std::string j = "{\n";
  j += "  \"document\": " + quoted(document) + ",\n";
  j += "  \"width\": " + std::to_string(canvas_width) + ",\n";
  j += "  \"height\": " + std::to_string(canvas_height) + ",\n";
  j += "  \"export\": " + quoted(exportKindName(kind)) + ",\n";
  j += "  \"pieces\": [";
  for (size_t i = 0; i < entries.size(); ++i) {
    const ManifestEntry& e = entries[i];
    j += i ? ",\n" : "\n";
    j += "    {\"file\": " + quoted(e.file) + ", \"name\": " + quoted(e.piece.name) + ", \"groups\": [";
    for (size_t g = 0; g < e.piece.groups.size(); ++g) j += (g ? ", " : "") + quoted(e.piece.groups[g]);
    j += "], \"index\": " + std::to_string(e.piece.index);
    j += ", \"left\": " + std::to_string(e.left) + ", \"top\": " + std::to_string(e.top);
    j += ", \"width\": " + std::to_string(e.width) + ", \"height\": " + std::to_string(e.height);
    j += ", \"opacity\": " + number(e.piece.opacity / 255.0);
    j += ", \"blend\": " + quoted(blendModeName(blendModeFromKey(e.piece.blend_key))) + "}";
  }
  j += entries.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return j;
}

std::string relativeTo(const std::string& path, const std::string& folder) {
  if (!folder.empty() && path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0)
    return path.substr(folder.size());
  return path;
}

Status writeManifestTemporary(const std::string& text, const std::string& path, const std::string& output_folder,
                              std::string* temporary) {
  static std::atomic<unsigned> counter{0};
  temporary->clear();
  FolderHandle folder;
  std::string root;
  Status opened = openFolderOfOutput(path, output_folder, "the manifest", &folder, &root);
  if (!opened.ok()) return opened;
  const std::string tmp = path + temporarySuffix(currentProcessId(), 1000000u + counter++);
  int error = 0;
  OpenFile file = createNewFileIn(folder, fileNameOf(tmp), &error);
  if (!file) return Status::ioError(pathFailureReason({error, tmp}, root));
  error = file.writeAll(text);
  if (error == 0) error = file.syncToDevice();
  file.close();
  if (error != 0) {
    removeFileIn(folder, fileNameOf(tmp));
    return Status::ioError(pathFailureReason({error, tmp}, root));
  }
  *temporary = tmp;
  return Status();
}

}  // namespace pixolune
