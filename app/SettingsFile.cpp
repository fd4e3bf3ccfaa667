#include "app/SettingsFile.h"

#include <array>
#include <charconv>
#include <optional>
#include <utility>

#include "app/ProgramFiles.h"
#include "platform/kernel.h"
#include "platform/profile.h"

namespace {

constexpr DWORD ValueChars = 2048;  // 2047 characters and the NUL

std::string& SettingsFileOverride() {
  static std::string path;
  return path;
}

std::optional<std::uint64_t> Digits(std::string_view digits, int base) {
  std::uint64_t value = 0;
  const char* end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, value, base);
  if (digits.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::optional<std::int32_t> Signed(std::optional<std::uint64_t> magnitude, bool negative) {
  constexpr std::uint64_t Limit = 0x80000000U;
  if (!magnitude || *magnitude > (negative ? Limit : Limit - 1)) return std::nullopt;
  return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(*magnitude)
                                            : static_cast<std::int64_t>(*magnitude));
}

}  // namespace

std::string SettingsFilePath() {
  const std::string& chosen = SettingsFileOverride();
  return chosen.empty() ? SettingsFileFor(ExecutablePath()) : chosen;
}

void SetSettingsFilePath(std::string path) { SettingsFileOverride() = std::move(path); }

std::int32_t ParseIniInteger(std::string_view text, std::int32_t defaultValue) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    return Signed(Digits(text.substr(2), 16), false).value_or(defaultValue);
  }
  text.remove_prefix(std::min(text.find_first_not_of(" \t"), text.size()));
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (!text.empty() && (text.front() == '$' || text.front() == 'x' || text.front() == 'X')) {
    base = 16;
    text.remove_prefix(1);
  }
  return Signed(Digits(text, base), negative).value_or(defaultValue);
}

std::int32_t SettingsFile::ReadInteger(const char* section, const char* key,
                                       std::int32_t defaultValue) const {
  std::array<char, ValueChars> text{};
  GetPrivateProfileStringA(section, key, "", text.data(), ValueChars, path_.c_str());
  return ParseIniInteger(text.data(), defaultValue);
}

bool SettingsFile::WriteInteger(const char* section, const char* key, std::int32_t value) const {
  return WritePrivateProfileStringA(section, key, std::to_string(value).c_str(), path_.c_str()) !=
         0;
}
