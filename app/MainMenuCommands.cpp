// The Options and Help menu commands.
#include "app/About.h"
#include "app/Global.h"
#include "app/MainWindowView.h"
#include "app/ProgramFiles.h"
#include "app/Settings.h"
#include "app/main.h"
#include "platform/kernel.h"
#include "platform/shell.h"

namespace {

void ShowModeless(QWidget* window) {
  if (window == nullptr) return;
  // A minimised window would otherwise only be raised behind its icon.
  window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
  window->show();
  window->raise();
  window->activateWindow();
}

}  // namespace

void TFormMain::MenuVolumeClick() {
  if (Capturing != 0) return;
  WinExec(IsVistaOrLater == 1 ? "control mmsys.cpl,,1" : "Sndvol32.exe -R", SW_SHOWNORMAL);
}

void TFormMain::MenuSettingsClick() { ShowModeless(FormSettings); }

void TFormMain::menuContentsClick() { OpenHelp(HelpFilesFor(ExecutablePath()), this); }

void TFormMain::menuAboutClick() { ShowModeless(FormAbout); }
