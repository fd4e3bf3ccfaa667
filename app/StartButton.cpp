#include "app/StartButton.h"

#include <QEvent>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>

StartButton::StartButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

void StartButton::SetTextColor(const QColor& color) {
  if (color == textColor_) return;
  textColor_ = color;
  update();
}

void StartButton::paintEvent(QPaintEvent* /*event*/) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  if (textColor_.isValid()) option.palette = PaletteFor(textColor_);
  painter.drawControl(QStyle::CE_PushButton, option);
}

void StartButton::changeEvent(QEvent* event) {
  // The coloured palettes derive from the widget's one.
  if (event->type() == QEvent::PaletteChange) palettes_.clear();
  QPushButton::changeEvent(event);
}

const QPalette& StartButton::PaletteFor(const QColor& color) {
  const auto found = std::find_if(palettes_.begin(), palettes_.end(),
                                  [&color](const auto& entry) { return entry.color == color; });
  if (found != palettes_.end()) return found->palette;
  QPalette coloured = palette();
  coloured.setColor(QPalette::ButtonText, color);
  return palettes_.emplace_back(ColouredPalette{color, coloured}).palette;
}
