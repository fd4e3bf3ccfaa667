#pragma once
// ALSA capture devices.

#include <memory>

#include "platform/wavein/device_list.h"

// ALSA capture devices that open for capture, listed at once on a thread of their own and kept
// up to date until the part is destroyed; cards plugged in or out are noticed by a look at the
// card list every few seconds.
std::unique_ptr<DeviceListPart> StartAlsaDeviceList();
