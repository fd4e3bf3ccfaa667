// Program entry: refuses to run without an input device, then creates the main window, the
// About box and the settings dialog and runs the message loop.
#include <QApplication>
#include <cstdlib>
#include <iostream>

#include "app/About.h"
#include "app/Settings.h"
#include "app/main.h"
#include "platform/messagebox.h"
#include "platform/wavein.h"

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
  QApplication::setApplicationName(QStringLiteral("Corvane"));
  if (waveInGetNumDevs() == 0) {
    ShowMessage("No Input Audio Devices");
    return 0;
  }
  TFormMain formMain;
  TFormAbout formAbout;
  TFormSettings formSettings;
  formMain.show();
  return QApplication::exec();
}
