#pragma once
// The signal generator: a test signal made in real time, for machines without a sound input.

#include <memory>
#include <string>

#include "platform/wavein/device.h"

// The generator; description is CORVANE_GENERATOR's value (empty: the default signal).
std::shared_ptr<WaveInDevice> MakeGeneratorDevice(const std::string& description);
