#pragma once
// The signal generator device (made by MakeGeneratorDevice in wavein_device.h) plays the
// signals described here.

#include "platform/generator_signal.h"
