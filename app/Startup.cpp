#include "app/Startup.h"

#include <QApplication>

#include "app/About.h"
#include "app/Assets.h"
#include "app/MainWindowView.h"
#include "app/Settings.h"
#include "app/main.h"
#include "platform/messagebox.h"
#include "platform/wavein.h"

int RunCorvane() {
  if (waveInGetNumDevs() == 0) {
    ShowMessage("No Input Audio Devices");
    return 0;
  }
  QApplication::setApplicationName(QStringLiteral("Corvane"));
  // Wayland desktops match the window to its menu entry and icon by this name.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.corvane.Corvane"));
  QApplication::setWindowIcon(ProgramIcon());
  TFormMain formMain;
  TFormAbout formAbout;
  TFormSettings formSettings;
  formMain.show();
  return QApplication::exec();
}
