// GoogleTest entry for every unit and window test. The window tests need a QApplication; it
// is created on the offscreen platform so that the tests run without a display, and only
// after test discovery has been answered (discovery runs at build time).
#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/SettingsFile.h"

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) {
    listing = listing || std::string_view(argv[i]).starts_with("--gtest_list_tests");
  }
  testing::InitGoogleTest(&argc, argv);
  if (listing) return RUN_ALL_TESTS();
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("CORVANE_NO_ALSA", "1", 0);
  setenv("CORVANE_NO_PULSE", "1", 0);
  QApplication application(argc, argv);
  // Windows closed by a test save their settings; they go to a file of this process, never
  // beside the test binary where the next test run would read them.
  const auto settings = std::filesystem::temp_directory_path() /
                        ("corvane_tests_" + std::to_string(getpid()) + ".INI");
  SetSettingsFilePath(settings.string());
  const int result = RUN_ALL_TESTS();
  std::filesystem::remove(settings);
  return result;
}
