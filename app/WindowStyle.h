#pragma once
// The look the program's windows share: the window font in its two sizes, colours for Qt, and
// labels that grow to fit their text.

#include <QColor>
#include <QFont>
#include <optional>
#include <string>

#include "platform/canvas.h"

class QLabel;
class QWidget;

constexpr int SmallFontPixels = 11;  // "8 point"
constexpr int LargeFontPixels = 13;  // "10 point"

QColor ToQColor(Color color);
QFont WindowFont(int pixels = SmallFontPixels, bool bold = false);

// Sets a label's text and widens it when the text needs more room than its design width.
void SetCaption(QLabel* label, const std::string& text);

// A plain-text label at its design position; without a colour it keeps the window-text one.
QLabel* MakeLabel(QWidget* parent, const char* text, int left, int top, int width, int height,
                  int fontPixels = SmallFontPixels, std::optional<Color> color = std::nullopt);
