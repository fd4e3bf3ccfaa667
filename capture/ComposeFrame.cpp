#include "capture/RecordWave.h"

// The frame is composed once the drawing lands; until then a block is captured but not shown.
void ComposeFrame() {}
