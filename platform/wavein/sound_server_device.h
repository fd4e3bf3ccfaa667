#pragma once
// The sources of a sound server: PulseAudio, or PipeWire through its PulseAudio protocol.

#include <memory>

#include "platform/wavein/device_list.h"

// The server's default source first, then every source, monitors of outputs included; nothing
// while no server answers. Lists at once on a thread of its own, follows the server's change
// notifications and finds a server that comes (back), until the part is destroyed.
std::unique_ptr<DeviceListPart> StartSoundServerDeviceList();
