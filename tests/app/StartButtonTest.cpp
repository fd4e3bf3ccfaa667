// The blinking START/STOP caption: drawn in its colours, while the pictures that the style
// keeps in the application's pixmap cache stay the same few however long it blinks.
#include "app/StartButton.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QPixmapCache>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/Global.h"
#include "app/MainWindowView.h"
#include "app/Settings.h"
#include "app/main.h"
#include "tests/support/ScriptedDevicesTest.h"

namespace {

constexpr int kSmallCacheKb = 256;  // what 30 new button pictures of 75 x 27 would overflow

bool IsReddish(QRgb pixel) { return qRed(pixel) > 200 && qGreen(pixel) < 80 && qBlue(pixel) < 80; }

int ReddishPixels(QWidget& widget) {
  const QImage image = widget.grab().toImage();
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) count += IsReddish(image.pixel(x, y)) ? 1 : 0;
  }
  return count;
}

class StartButtonTest : public ScriptedDevicesTest {
 protected:
  void SetUp() override {
    ScriptedDevicesTest::SetUp();
    cacheLimit_ = QPixmapCache::cacheLimit();
    QPixmapCache::clear();
    QPixmapCache::setCacheLimit(kSmallCacheKb);
    QPixmap sentinel(64, 64);
    sentinel.fill(Qt::blue);
    sentinel_ = QPixmapCache::insert(sentinel);
  }
  void TearDown() override {
    QPixmapCache::setCacheLimit(cacheLimit_);
    ScriptedDevicesTest::TearDown();
  }
  // The least recently used picture goes first once the cache is full.
  bool SentinelCached() {
    QPixmap found;
    return QPixmapCache::find(sentinel_, &found);
  }

  int cacheLimit_ = 0;
  QPixmapCache::Key sentinel_;
};

TEST_F(StartButtonTest, BlinkingWhileCapturingShowsRedAndBlackAndFillsNoCache) {
  AddDevice("Line In", 0x880);
  auto form = std::make_unique<TFormMain>();
  auto settings = std::make_unique<TFormSettings>();
  StartButton& button = *form->BitBtnStart;
  const qint64 paletteKey = button.palette().cacheKey();
  int redTicks = 0;
  int blackTicksShowingRed = 0;
  QTimer::singleShot(0, [&] {
    for (int tick = 0; tick < 400; ++tick) {
      form->Timer1Timer();
      const bool red = form->StartButtonFontColor() == Red;
      const int reddish = ReddishPixels(button);
      if (red && reddish > 10) ++redTicks;
      if (!red && reddish > 0) ++blackTicksShowingRed;
    }
    form->BitBtnStartClick();
  });
  form->BitBtnStartClick();
  EXPECT_EQ(redTicks, 200);
  EXPECT_EQ(blackTicksShowingRed, 0);
  EXPECT_EQ(ReddishPixels(button), 0) << "STOP leaves the caption black";
  EXPECT_EQ(button.palette().cacheKey(), paletteKey);
  EXPECT_TRUE(SentinelCached()) << "the blink filled the pixmap cache";
}

TEST_F(StartButtonTest, ANewPaletteKeepsTheCaptionColourAndShowsItsOwnButtonColour) {
  QWidget parent;
  StartButton button(QStringLiteral("STOP"), &parent);
  button.resize(75, 27);
  button.SetTextColor(QColor(255, 0, 0));
  ASSERT_GT(ReddishPixels(button), 10);
  QPalette blue = button.palette();
  blue.setColor(QPalette::Button, QColor(0, 0, 255));
  button.setPalette(blue);
  const QRgb inside = button.grab().toImage().pixel(5, button.height() / 2);
  EXPECT_GT(qBlue(inside) - qRed(inside), 60)
      << "the old palette is still painted: " << QColor(inside).name().toStdString();
  EXPECT_GT(ReddishPixels(button), 10);
  button.SetTextColor(QColor());
  EXPECT_EQ(ReddishPixels(button), 0) << "an invalid colour is the palette's own";
}

}  // namespace
