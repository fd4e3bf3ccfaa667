#pragma once
// The font of the program's windows and of the text drawn on its surfaces: "MS Sans Serif" does
// not exist here, so a sans-serif font that the set-up installs, at the character height asked.

#include <QFont>

constexpr int SmallFontPixels = 11;  // "8 point"
constexpr int LargeFontPixels = 13;  // "10 point"

QFont WindowFont(int pixels = SmallFontPixels, bool bold = false);
