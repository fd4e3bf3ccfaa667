#include "app/main.h"

// The Options and Help commands arrive with the settings dialog and the About box.
void TFormMain::MenuVolumeClick() {}

void TFormMain::MenuSettingsClick() {}

void TFormMain::menuContentsClick() {}

void TFormMain::menuAboutClick() {}
