#pragma once
// How a device's description becomes the name in its capability record: at most 31 bytes and a
// NUL, cut after a whole word and never inside a UTF-8 character, and no two devices of one list
// with the same name. Plain text functions with no device behind them; any thread.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Bytes of a device name, without the NUL that ends it in the capability record.
constexpr std::size_t DeviceNameBytes = 31;

// The longest start of text that is at most limit bytes long and splits no UTF-8 character. A
// byte that is not part of a well-formed character (a stray continuation byte, a lead byte whose
// sequence is cut short, Latin-1 text) counts as a character of its own.
std::string_view CutAtCharacter(std::string_view text, std::size_t limit = DeviceNameBytes);

// The name shown for a description: prefix and the description's first line, blanks trimmed.
// When that is longer than 31 bytes, the line is cut after its last whole word that fits, an
// opening bracket left without its partner and separators left at the end are dropped, so that
// "Monitor: " and "Built-in Audio Analog Stereo" give "Monitor: Built-in Audio Analog"; only a
// first word longer than the room is cut inside, at a character. Empty for a blank description.
std::string FitDeviceName(std::string_view description, std::string_view prefix = {});

// Gives every name that an earlier one of the list already has a number, " 2", " 3", ...,
// shortening it by whole words to keep within 31 bytes.
void MakeNamesDistinct(std::vector<std::string>& names);
