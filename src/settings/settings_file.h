// Loading and saving the settings record as "config.ini".
#ifndef PIXOLUNE_SETTINGS_SETTINGS_FILE_H_
#define PIXOLUNE_SETTINGS_SETTINGS_FILE_H_

#include <cstdint>
#include <string>

#include "platform/file_system.h"
#include "settings/settings.h"

namespace pixolune {

/// The layout version every save writes as "CFG".
inline constexpr int32_t kSettingsLayoutVersion = 18;

/// Fills settings() from its settings_file_path. A file that cannot be opened
/// gives the window-mode defaults (no message); a key that is missing gives
/// its loader default; values are not range-checked. Files of older layouts
/// are migrated: before version 11 ".%ext%" is appended to a file-name mask
/// without "%ext%", before version 14 a non-zero raw_load_as moves up by 2.
/// settings_file_path itself is kept. Main thread only.
void loadSettings();

/// Writes settings() to its settings_file_path, every group and key in file
/// order; the per-format keys only for the formats of the input- and
/// output-format lists. The new text replaces the file only once it is
/// completely written, so on any failure the old file stays as it was.
/// Returns false on failure (callers may ignore it: a failed save is not
/// reported to the user). The record itself is never changed. Tests pass a
/// file system that fails.
bool saveSettings(FileSystem& fs = realFileSystem());

/// Receives every stored field of a Settings record, one call per field.
class SettingsFieldVisitor {
 public:
  virtual ~SettingsFieldVisitor() = default;
  virtual void field(int32_t& value) = 0;
  virtual void field(uint8_t& value) = 0;
  virtual void field(bool& value) = 0;
  virtual void field(float& value) = 0;
  virtual void field(std::string& value) = 0;
};

/// Hands every field the settings file stores to `visitor`, in file order
/// (settings_file_path is not among them). Lets a record be copied field by
/// field without a text round trip, exactly (floats keep every bit); the
/// conversion helpers receive the run's settings this way.
void visitSettingsFields(Settings& record, SettingsFieldVisitor& visitor);

}  // namespace pixolune

#endif  // PIXOLUNE_SETTINGS_SETTINGS_FILE_H_
