#include "platform/wavein/device_name.h"

#include <algorithm>
#include <array>
#include <set>

#include "platform/ascii_text.h"

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0U) == 0x80U; }

// Bytes of the well-formed UTF-8 character at the start of text, or 1 when there is none.
std::size_t CharacterLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text.front());
  std::size_t length = 1;
  if (lead >= 0xC2U && lead <= 0xDFU) {
    length = 2;
  } else if (lead >= 0xE0U && lead <= 0xEFU) {
    length = 3;
  } else if (lead >= 0xF0U && lead <= 0xF4U) {
    length = 4;
  }
  if (length == 1 || text.size() < length) return 1;
  for (std::size_t i = 1; i < length; ++i) {
    if (!IsContinuation(static_cast<unsigned char>(text[i]))) return 1;
  }
  // Overlong forms, surrogates and code points above U+10FFFF are not characters either.
  const auto second = static_cast<unsigned char>(text[1]);
  if ((lead == 0xE0U && second < 0xA0U) || (lead == 0xEDU && second > 0x9FU) ||
      (lead == 0xF0U && second < 0x90U) || (lead == 0xF4U && second > 0x8FU)) {
    return 1;
  }
  return length;
}

// What may stand between words but says nothing at the end of a shortened name.
constexpr std::string_view TrailingSeparators = " \t-:,;/|(";

// Dashes as typography writes them (U+2013, U+2014), which descriptions use between words.
constexpr std::array<std::string_view, 2> TrailingDashes{"\xE2\x80\x93", "\xE2\x80\x94"};

std::string_view TrimTrailingSeparators(std::string_view text) {
  while (true) {
    const auto last = text.find_last_not_of(TrailingSeparators);
    text = last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
    const auto dash = std::find_if(TrailingDashes.begin(), TrailingDashes.end(),
                                   [text](std::string_view d) { return text.ends_with(d); });
    if (dash == TrailingDashes.end()) return text;
    text.remove_suffix(dash->size());
  }
}

// Drops an opening bracket whose partner was cut off, with what follows it.
std::string_view DropUnclosedBracket(std::string_view text) {
  int depth = 0;
  std::size_t open = std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '(' || text[i] == '[') {
      if (depth++ == 0) open = i;
    } else if ((text[i] == ')' || text[i] == ']') && depth > 0) {
      --depth;
    }
  }
  return depth == 0 ? text : TrimTrailingSeparators(text.substr(0, open));
}

// text shortened to limit bytes by whole words, as FitDeviceName describes.
std::string_view FitWords(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  const auto lastBlank = text.substr(0, limit + 1).find_last_of(AsciiBlanks);
  if (lastBlank != std::string_view::npos && lastBlank > 0) {
    const std::string_view words =
        DropUnclosedBracket(TrimTrailingSeparators(text.substr(0, lastBlank)));
    if (!words.empty()) return words;
  }
  return CutAtCharacter(text, limit);
}

}  // namespace

std::string_view CutAtCharacter(std::string_view text, std::size_t limit) {
  std::size_t cut = 0;
  while (cut < text.size()) {
    const std::size_t next = cut + CharacterLength(text.substr(cut));
    if (next > limit) break;
    cut = next;
  }
  return text.substr(0, cut);
}

std::string FitDeviceName(std::string_view description, std::string_view prefix) {
  const std::string_view line =
      TrimBlanks(description.substr(0, description.find_first_of("\r\n")));
  if (line.empty()) return {};
  const std::string_view shownPrefix = CutAtCharacter(prefix);
  return std::string(shownPrefix) +
         std::string(FitWords(line, DeviceNameBytes - shownPrefix.size()));
}

void MakeNamesDistinct(std::vector<std::string>& names) {
  std::set<std::string> taken;
  for (std::string& name : names) {
    if (taken.insert(name).second) continue;
    for (int number = 2;; ++number) {
      // Built by append: g++ 12 warns falsely (-Wrestrict) on " " + std::to_string(...).
      std::string suffix(1, ' ');
      suffix.append(std::to_string(number));
      std::string candidate = std::string(FitWords(name, DeviceNameBytes - suffix.size())) + suffix;
      if (taken.insert(candidate).second) {
        name = std::move(candidate);
        break;
      }
    }
  }
}
