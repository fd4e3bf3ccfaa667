#include "app/main.h"

// The settings file is read and written by a later change; until then every run starts from
// the design defaults.
void TFormMain::LoadIniSettings() {}

void TFormMain::SaveIniSettings() {}
