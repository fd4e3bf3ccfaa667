#pragma once
// What the real capture devices (ALSA and the audio file input) share without needing ALSA.

#include <string>
#include <string_view>

// The name a device shows: the first line of description, blanks trimmed, cut to the 31 bytes
// of the capability record without splitting a UTF-8 character. Bytes that are not UTF-8 are
// kept as they are; the record holds 8-bit text and its readers must cope with any byte.
std::string DeviceDisplayName(std::string_view description);
