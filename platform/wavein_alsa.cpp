#include "platform/wavein_device.h"

// ALSA capture devices are listed by a later change; until then the list has none.
void AppendAlsaDevices(WaveInDeviceList& /*list*/) {}
