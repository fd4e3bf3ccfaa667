#pragma once
// The audio file input: a file played in a loop, in real time, as if it came from a sound card.

#include <memory>
#include <string>

#include "platform/wavein/device.h"

// The audio file input for path, or nullptr (with one line on standard error) when the file
// cannot be played in a loop.
std::shared_ptr<WaveInDevice> MakeFileInputDevice(const std::string& path);
