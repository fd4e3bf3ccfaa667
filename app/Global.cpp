#include "app/Global.h"

void ResetGlobals() { Global = GlobalState{}; }
