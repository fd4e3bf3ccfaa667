#pragma once
// The START/STOP button. Its caption blinks in a colour of its own: the style caches the
// button's pictures under the palette's key, and a palette set anew at every blink would
// leave a new picture in the application's pixmap cache each time, until the cache is full.
// Here the widget's palette never changes; each caption colour gets one palette, made once
// and painted with again at every blink.

#include <QColor>
#include <QPalette>
#include <QPushButton>
#include <vector>

class StartButton final : public QPushButton {
 public:
  StartButton(const QString& text, QWidget* parent);
  // An invalid colour: the palette's own button-text colour.
  void SetTextColor(const QColor& color);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  [[nodiscard]] const QPalette& PaletteFor(const QColor& color);

  struct ColouredPalette {
    QColor color;
    QPalette palette;
  };
  QColor textColor_;
  std::vector<ColouredPalette> palettes_;  // one per caption colour shown
};
