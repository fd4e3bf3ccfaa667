#include "app/WindowStyle.h"

#include <QCheckBox>
#include <QLabel>
#include <QString>
#include <algorithm>

QColor ToQColor(Color color) {
  return {static_cast<int>((color >> 16) & 0xFF), static_cast<int>((color >> 8) & 0xFF),
          static_cast<int>(color & 0xFF)};
}

QPalette WindowPalette() {
  constexpr Color ButtonFace = Grey(240);
  // Derives every role of every colour group from the face: black text, white fields.
  return {ToQColor(ButtonFace), ToQColor(ButtonFace)};
}

void SetCaption(QLabel* label, const std::string& text) {
  label->setText(QString::fromStdString(text));
  const QSize needed = label->sizeHint();
  label->resize(std::max(label->width(), needed.width()),
                std::max(label->height(), needed.height()));
}

QLabel* MakeLabel(QWidget* parent, const char* text, int left, int top, int width, int height,
                  int fontPixels, std::optional<Color> color) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setFont(WindowFont(fontPixels));
  if (color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, ToQColor(*color));
    label->setPalette(palette);
  }
  label->setGeometry(left, top, width, height);
  SetCaption(label, text);
  return label;
}

void SetBackground(QWidget* widget, Color color) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, ToQColor(color));
  palette.setColor(QPalette::Button, ToQColor(color));
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* text, bool checked, int left, int top,
                        int width, int height, std::optional<Color> background) {
  auto* box = new QCheckBox(QString::fromUtf8(text), parent);
  box->setFont(WindowFont());
  if (background) SetBackground(box, *background);
  box->setChecked(checked);
  box->setGeometry(left, top, std::max(width, box->sizeHint().width()), height);
  return box;
}
