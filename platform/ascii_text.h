#pragma once
// Text rules of the settings file, the shell's file types and the generator's descriptions,
// which are ASCII whatever the locale: blanks are spaces and tabs, case is that of A to Z.

#include <algorithm>
#include <string_view>

constexpr std::string_view AsciiBlanks = " \t";

// text without the blanks at its ends.
constexpr std::string_view TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(AsciiBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(AsciiBlanks) - first + 1);
}

constexpr char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// a and b are the same but for the case of the letters A to Z.
constexpr bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}
