// The settings file: slider positions and window size, read when the main window is first
// shown and written when it closes.
#include <QScreen>
#include <QSlider>
#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <optional>
#include <utility>

#include "app/ProgramFiles.h"
#include "app/SettingsFile.h"
#include "app/main.h"
#include "platform/kernel.h"
#include "platform/messagebox.h"
#include "platform/profile.h"

namespace {

constexpr std::int32_t DefaultPosition = 1;
constexpr std::int32_t DefaultWidth = 800;
constexpr std::int32_t DefaultHeight = 600;
constexpr DWORD ValueChars = 2048;  // 2047 characters and the NUL

std::string& SettingsFileOverride() {
  static std::string path;
  return path;
}

// The settings-file object: lives for one load or one save and holds only the path.
class SettingsFile {
 public:
  explicit SettingsFile(std::string path) : path_(std::move(path)) {}

  [[nodiscard]] std::int32_t ReadInteger(const char* section, const char* key,
                                         std::int32_t defaultValue) const {
    std::array<char, ValueChars> text{};
    GetPrivateProfileStringA(section, key, "", text.data(), ValueChars, path_.c_str());
    return ParseIniInteger(text.data(), defaultValue);
  }
  [[nodiscard]] bool WriteInteger(const char* section, const char* key, std::int32_t value) const {
    return WritePrivateProfileStringA(section, key, std::to_string(value).c_str(), path_.c_str()) !=
           0;
  }
  [[nodiscard]] const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

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

void TFormMain::LoadIniSettings() {
  const SettingsFile file(SettingsFilePath());
  // Each slider clamps to its range and runs its handler only when its position changes.
  TBarAX->setValue(file.ReadInteger("Scales", "AX", DefaultPosition));
  TBarAY->setValue(file.ReadInteger("Scales", "AY", DefaultPosition));
  TBarFX->setValue(file.ReadInteger("Scales", "FX", DefaultPosition));
  TBarFY->setValue(file.ReadInteger("Scales", "FY", DefaultPosition));
  // No window beyond the desktop: a damaged file asking for a window 100000 pixels wide would
  // make bitmaps of gigabytes.
  const QSize desktop =
      screen() != nullptr ? screen()->virtualSize() : QSize(DefaultWidth, DefaultHeight);
  const int storedWidth = file.ReadInteger("Form", "Width", DefaultWidth);
  resize(std::clamp(storedWidth, minimumWidth(), std::max(minimumWidth(), desktop.width())),
         height());
  const int storedHeight = file.ReadInteger("Form", "Height", DefaultHeight);
  resize(width(),
         std::clamp(storedHeight, minimumHeight(), std::max(minimumHeight(), desktop.height())));
}

void TFormMain::SaveIniSettings() {
  struct Entry {
    const char* section;
    const char* key;
    int value;
  };
  const SettingsFile file(SettingsFilePath());
  // The user's configuration folder may not have a folder for this program yet; should it
  // fail, the first write reports the path.
  MakePrivateFolders(std::filesystem::path(file.Path()).parent_path().string());
  // Without a window manager another program can make the window smaller than its minimum;
  // the file keeps only sizes that the window may have.
  const std::array<Entry, 6> entries{{{"Scales", "AX", TBarAX->value()},
                                      {"Scales", "AY", TBarAY->value()},
                                      {"Scales", "FX", TBarFX->value()},
                                      {"Scales", "FY", TBarFY->value()},
                                      {"Form", "Width", std::max(width(), minimumWidth())},
                                      {"Form", "Height", std::max(height(), minimumHeight())}}};
  for (const Entry& entry : entries) {
    if (!file.WriteInteger(entry.section, entry.key, entry.value)) {
      // The remaining values are not tried; those written stay in the file.
      const std::string text = "Unable to write to " + file.Path() + ".";
      MessageBoxA(static_cast<QWidget*>(this), text.c_str(), "Corvane", MB_OK | MB_ICONERROR);
      return;
    }
  }
}
