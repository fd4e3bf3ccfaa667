// The device-name fitting on arbitrary bytes. An input is NUL-separated, as the C strings that
// descriptions come from: first a prefix, then the descriptions of one device list. Every name
// fits the capability record, splits no character of valid UTF-8, and the list's names end up
// distinct.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wavein/device_name.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

constexpr std::size_t MaxDescriptions = 32;

std::vector<std::string_view> SplitAtNul(std::string_view input) {
  std::vector<std::string_view> pieces;
  while (true) {
    const std::size_t nul = input.find('\0');
    pieces.push_back(input.substr(0, nul));
    if (nul == std::string_view::npos) return pieces;
    input.remove_prefix(nul + 1);
  }
}

// Length of the well-formed UTF-8 character at the start of text (RFC 3629: no overlong forms,
// no surrogates, nothing above U+10FFFF), or nullopt.
std::optional<std::size_t> Utf8Length(std::string_view text) {
  const auto byte = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return std::nullopt;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return std::nullopt;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return std::nullopt;
  }
  return length;
}

bool IsValidUtf8(std::string_view text) {
  while (!text.empty()) {
    const auto length = Utf8Length(text);
    if (!length) return false;
    text.remove_prefix(*length);
  }
  return true;
}

void CheckCut(std::string_view text, std::size_t limit) {
  const std::string_view cut = CutAtCharacter(text, limit);
  Require(cut.size() <= limit && text.starts_with(cut), "a cut is a start of the text in limit");
  if (!IsValidUtf8(text)) return;
  Require(IsValidUtf8(cut), "a cut of valid UTF-8 splits no character");
  if (cut.size() < text.size()) {
    Require(cut.size() + *Utf8Length(text.substr(cut.size())) > limit,
            "a cut keeps every whole character that fits");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> pieces =
      SplitAtNul(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string_view prefix = pieces.front();
  CheckCut(prefix, DeviceNameBytes);
  CheckCut(prefix, size % (DeviceNameBytes + 1));

  std::vector<std::string> names;
  bool allValid = IsValidUtf8(prefix);
  // A list holds at most 11 devices; thousands of equal names would only time the numbering,
  // which tries every number below the one it gives.
  const std::size_t count = std::min<std::size_t>(pieces.size(), MaxDescriptions + 1);
  for (std::size_t i = 1; i < count; ++i) {
    const std::string_view description = pieces[i];
    CheckCut(description, i % (DeviceNameBytes + 1));
    const std::string name = FitDeviceName(description, prefix);
    Require(name.size() <= DeviceNameBytes, "a fitted name has at most 31 bytes");
    const bool valid = IsValidUtf8(prefix) && IsValidUtf8(description);
    if (valid) Require(IsValidUtf8(name), "a fitted name of valid UTF-8 splits no character");
    allValid = allValid && valid;
    names.push_back(name);
  }

  MakeNamesDistinct(names);
  const std::set<std::string> distinct(names.begin(), names.end());
  Require(distinct.size() == names.size(), "the names of a list are distinct");
  for (const std::string& name : names) {
    Require(name.size() <= DeviceNameBytes, "a numbered name has at most 31 bytes");
    if (allValid) Require(IsValidUtf8(name), "a numbered name of valid UTF-8 splits no character");
  }
  return 0;
}
