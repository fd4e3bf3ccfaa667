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

#include "app/MainWindowView.h"
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

}  // namespace

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
