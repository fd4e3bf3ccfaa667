#pragma once
// The settings file's path and its integer rules.

#include <cstdint>
#include <string>
#include <string_view>

// The settings file: SettingsFileFor(ExecutablePath()), unless tests have set another path with
// SetSettingsFilePath (an empty path restores the default).
std::string SettingsFilePath();
void SetSettingsFilePath(std::string path);

// Reads a settings value: text longer than two characters that begins with "0x" or "0X" is
// hexadecimal after the prefix; any other text is leading blanks, an optional sign, then
// decimal digits, or hexadecimal digits after "$", "x" or "X". Text that is not such an
// integer, or lies outside the 32-bit range, gives defaultValue.
std::int32_t ParseIniInteger(std::string_view text, std::int32_t defaultValue);
