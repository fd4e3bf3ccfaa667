#pragma once
// The files that lie beside the executable (the settings file and the help file), and the
// integer rules of the settings file.

#include <cstdint>
#include <string>
#include <string_view>

// The executable's path with its extension (from the file name's last full stop; a leading
// one does not count) replaced by extension, or extension appended when it has none. An empty
// executable path gives an empty result.
std::string FileBesideExecutable(const std::string& executable, std::string_view extension);

// The settings file: FileBesideExecutable(ExecutablePath(), ".INI"), unless tests have set
// another path with SetSettingsFilePath (an empty path restores the default).
std::string SettingsFilePath();
void SetSettingsFilePath(std::string path);

// Reads a settings value: text longer than two characters that begins with "0x" or "0X" is
// hexadecimal after the prefix; any other text is leading blanks, an optional sign, then
// decimal digits, or hexadecimal digits after "$", "x" or "X". Text that is not such an
// integer, or lies outside the 32-bit range, gives defaultValue.
std::int32_t ParseIniInteger(std::string_view text, std::int32_t defaultValue);
