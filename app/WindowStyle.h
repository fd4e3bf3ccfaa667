#pragma once
// The look the program's windows share: the window font in its two sizes, colours for Qt, and
// labels and check boxes that grow to fit their text.

#include <QColor>
#include <QPalette>
#include <optional>
#include <string>

#include "platform/color.h"
#include "platform/window_font.h"

class QCheckBox;
class QLabel;
class QWidget;

QColor ToQColor(Color color);

// The main window's own colours, whatever the desktop's theme: light faces, black text on them,
// white fields. Its panels and shapes have fixed light colours, so its texts must not take a
// dark theme's light text colour.
QPalette WindowPalette();

// Sets a label's text and widens it when the text needs more room than its design width.
void SetCaption(QLabel* label, const std::string& text);

// A plain-text label at its design position; without a colour it keeps the window-text one.
QLabel* MakeLabel(QWidget* parent, const char* text, int left, int top, int width, int height,
                  int fontPixels = SmallFontPixels, std::optional<Color> color = std::nullopt);

// Fills the widget with color behind its content (a panel, a shape, a check box's box).
void SetBackground(QWidget* widget, Color color);

// A check box in the window font at its design position, widened when its text needs more
// room; without a background colour it keeps the window's.
QCheckBox* MakeCheckBox(QWidget* parent, const char* text, bool checked, int left, int top,
                        int width, int height, std::optional<Color> background = std::nullopt);
