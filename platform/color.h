#pragma once
// Colours as the drawing surface and the windows take them: 0x00RRGGBB.

#include <cstdint>

using Color = std::uint32_t;  // 0x00RRGGBB

constexpr Color Rgb(int red, int green, int blue) {
  return (static_cast<Color>(red & 0xFF) << 16) | (static_cast<Color>(green & 0xFF) << 8) |
         static_cast<Color>(blue & 0xFF);
}
constexpr Color Grey(int level) { return Rgb(level, level, level); }

constexpr Color Black = Rgb(0, 0, 0);
constexpr Color Red = Rgb(255, 0, 0);
constexpr Color Yellow = Rgb(255, 255, 0);
constexpr Color Lime = Rgb(0, 255, 0);
constexpr Color Silver = Rgb(192, 192, 192);
constexpr Color Maroon = Rgb(128, 0, 0);
