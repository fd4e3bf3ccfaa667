// Program entry. No command-line argument is read.
#include <QApplication>
#include <cstdlib>
#include <iostream>

#include "app/Startup.h"

namespace {

bool DisplayAvailable() {
  return std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr ||
         std::getenv("QT_QPA_PLATFORM") != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (!DisplayAvailable()) {
    std::cerr << "corvane: no display (DISPLAY is not set); to try it without one, run: "
                 "xvfb-run -a "
              << argv[0] << "\n";
    return 1;
  }
  QApplication application(argc, argv);
  return RunCorvane();
}
