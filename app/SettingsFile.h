#pragma once
// The settings file: its path, the object that reads and writes its integers, and their rules.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

// The settings file: SettingsFileFor(ExecutablePath()), unless tests have set another path with
// SetSettingsFilePath (an empty path restores the default).
std::string SettingsFilePath();
void SetSettingsFilePath(std::string path);

// Reads a settings value: text longer than two characters that begins with "0x" or "0X" is
// hexadecimal after the prefix; any other text is leading blanks, an optional sign, then
// decimal digits, or hexadecimal digits after "$", "x" or "X". Text that is not such an
// integer, or lies outside the 32-bit range, gives defaultValue.
std::int32_t ParseIniInteger(std::string_view text, std::int32_t defaultValue);

// The settings-file object: lives for one load or one save and holds only the path.
class SettingsFile {
 public:
  explicit SettingsFile(std::string path) : path_(std::move(path)) {}

  // The key's value by ParseIniInteger, or defaultValue.
  [[nodiscard]] std::int32_t ReadInteger(const char* section, const char* key,
                                         std::int32_t defaultValue) const;
  // False when the file could not be written.
  [[nodiscard]] bool WriteInteger(const char* section, const char* key, std::int32_t value) const;
  [[nodiscard]] const std::string& Path() const { return path_; }

 private:
  std::string path_;
};
