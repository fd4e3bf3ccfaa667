// The main window's redraw paths on the offscreen platform: paint at first show, resize, the
// sliders and the check boxes, each redrawing its display at once.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <QSlider>
#include <QWheelEvent>
#include <QtTest/QTest>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/Global.h"
#include "app/MainWindowView.h"
#include "app/SettingsFile.h"
#include "app/main.h"
#include "platform/wavein/scripted_device.h"
#include "tests/support/DecimalCommaLocale.h"
#include "tests/support/ScriptedDevicesTest.h"

namespace {

class MainDisplaysTest : public ScriptedDevicesTest {
 protected:
  void SetUp() override {
    ScriptedDevicesTest::SetUp();
    AddDevice("Line In", 0x880);
    SetSettingsFilePath(testing::TempDir() + "MainDisplaysTest-absent.INI");
    form_ = std::make_unique<TFormMain>();
    form_->show();
    QApplication::processEvents();
  }
  void TearDown() override {
    form_.reset();
    ScriptedDevicesTest::TearDown();
  }

  [[nodiscard]] Color WindowPixel(int x, int y) const {
    return form_->WindowCanvas().Target().Pixel(x, y);
  }
  static std::string Text(const QLabel* label) { return label->text().toStdString(); }

  // Everything one paint shows: the texts drawn on the window, its pixels and the captions.
  struct Painted {
    std::vector<std::string> texts;
    std::vector<std::uint32_t> pixels;
    std::string captions;
  };
  Painted Paint() {
    std::vector<Canvas::TextRecord> log;
    form_->WindowCanvas().RecordTexts(&log);
    form_->FormPaint();
    form_->WindowCanvas().RecordTexts(nullptr);
    Painted painted;
    for (const Canvas::TextRecord& record : log) painted.texts.push_back(record.text);
    const Bitmap& surface = form_->WindowCanvas().Target();
    painted.pixels.assign(
        surface.Bits(),
        surface.Bits() + static_cast<std::ptrdiff_t>(surface.Width()) * surface.Height());
    painted.captions = Text(form_->LabTimePoints) + "|" + Text(form_->LabFreqPoints) + "|" +
                       form_->windowTitle().toStdString();
    return painted;
  }

  std::unique_ptr<TFormMain> form_;
};

TEST_F(MainDisplaysTest, FirstShowLaysOutAndPaintsBothDisplays) {
  EXPECT_EQ(WinClientWidth, form_->ClientWidth());
  EXPECT_EQ(WinClientHeight, form_->ClientHeight());
  EXPECT_EQ(TimeBitmap->Width(), form_->ClientWidth() - 15 - 203 + 1);
  EXPECT_EQ(form_->PanelControl->geometry().top(), TimeBottom + 5);
  EXPECT_EQ(WindowPixel(5, TimeBottom + 5), Grey(160));
  EXPECT_EQ(WindowPixel(TimeLeft - 1, TimeTop + 20), Grey(154));
  EXPECT_EQ(WindowPixel(FreqLeft + 100, FreqTop - 1), Grey(154));
  // Empty blocks: flat traces on the zero lines of both channels and spectra on the bottom.
  EXPECT_EQ(WindowPixel(TimeLeft + 10, TimeTop + TimeQuarter), Yellow);
  EXPECT_EQ(WindowPixel(TimeLeft + 10, TimeTop + TimeThreeQuarters), Lime);
  EXPECT_EQ(WindowPixel(FreqLeft + 10, FreqBottom), Lime);
  EXPECT_EQ(Text(form_->LabTimePoints), "Displayed Samples - 1102");
  EXPECT_EQ(Text(form_->LabFreqPoints), "Displayed Harmonics - 1858");
  // One paint only, so the background's outline took the window's first pen: black.
  EXPECT_EQ(WindowPixel(0, 100), Black);
  EXPECT_EQ(WindowPixel(100, form_->ClientHeight() - 1), Black);
}

// Each step first repaints the old size (the resize query), then paints the new size once.
TEST_F(MainDisplaysTest, ResizingPaintsTheOldSizeOnceThenLaysTheWindowOutForTheNewSize) {
  using Position = std::pair<int, int>;
  const auto captionPosition = [] {
    return Position((TimeRight - TimeLeft) / 2 + TimeLeft - 12, TimeBottom + 12);
  };
  const Position before = captionPosition();
  std::vector<Canvas::TextRecord> log;
  form_->WindowCanvas().RecordTexts(&log);
  form_->resize(form_->width() + 101, form_->height() + 80);
  QApplication::processEvents();
  form_->WindowCanvas().RecordTexts(nullptr);
  std::vector<Position> captions;
  for (const Canvas::TextRecord& record : log) {
    if (record.text == "Time [ms]") captions.emplace_back(record.x, record.y);
  }
  EXPECT_EQ(captions, (std::vector<Position>{before, captionPosition()}));
  EXPECT_NE(before, captionPosition());
  EXPECT_EQ(WindowPixel(0, 100), Grey(250));

  EXPECT_EQ(WinClientWidth, form_->ClientWidth());
  EXPECT_EQ(WinClientHeight, form_->ClientHeight());
  EXPECT_EQ(FreqBottom, form_->ClientHeight() - 30);
  EXPECT_EQ(FreqBitmap->Width(), form_->ClientWidth() - 15 - 203 + 1);
  EXPECT_EQ(WindowPixel(FreqRight + 1, FreqTop + 20), Grey(154));
}

TEST_F(MainDisplaysTest, TimeSlidersSetTheScalesAndRedrawAtOnce) {
  form_->TBarAX->setValue(4);
  EXPECT_EQ(TimeBaseMs, 1.0F);
  EXPECT_EQ(Text(form_->LabTimePoints), "Displayed Samples - 441");
  form_->TBarAX->setValue(2);
  EXPECT_EQ(Text(form_->LabTimePoints), "Displayed Samples - 1102");
  Channel1Block.fill(16384);
  form_->TBarAY->setValue(2);  // 50: a half-scale sample reaches the band's edge
  EXPECT_EQ(TimeVoltsScale, 50);
  EXPECT_EQ(WindowPixel(TimeLeft + 100, TimeTop + 1), Yellow);
}

TEST_F(MainDisplaysTest, FrequencySlidersSetTheScalesAndRedrawAtOnce) {
  form_->TBarFX->setValue(3);
  EXPECT_EQ(FreqSpanKHz, 5);
  EXPECT_EQ(Text(form_->LabFreqPoints), "Displayed Harmonics - 464");
  form_->TBarFY->setValue(7);
  EXPECT_EQ(FreqLevelScale, 1);
  Spectrum1.fill(328.0F);  // the top level at scale 1
  form_->TBarFY->setValue(6);
  form_->TBarFY->setValue(7);
  EXPECT_EQ(WindowPixel(FreqLeft + 100, FreqTop + 1), Yellow);
}

TEST_F(MainDisplaysTest, EveryCheckBoxRedrawsItsDisplayAtOnce) {
  Spectrum1.fill(1000.0F);
  Spectrum2.fill(2000.0F);
  form_->TBarFY->setValue(2);  // redraw with the new spectra
  const int row1 = FreqBottom - Round(1000 * static_cast<long double>(FreqYScale));
  const int row2 = FreqBottom - Round(2000 * static_cast<long double>(FreqYScale));
  ASSERT_EQ(WindowPixel(FreqLeft + 100, row2), Lime);
  form_->CheckBoxF2->setChecked(false);
  EXPECT_NE(WindowPixel(FreqLeft + 100, row2), Lime);
  EXPECT_EQ(WindowPixel(FreqLeft + 100, row1), Yellow);
  form_->CheckBoxF1->setChecked(false);
  EXPECT_NE(WindowPixel(FreqLeft + 100, row1), Yellow);

  form_->CheckBoxA2->setChecked(false);
  EXPECT_EQ(WindowPixel(TimeLeft + 10, TimeTop + TimeHalf), Yellow);
  form_->CheckBoxA1->setChecked(false);
  EXPECT_NE(WindowPixel(TimeLeft + 10, TimeTop + TimeHalf), Yellow);
  form_->CheckBoxA2->setChecked(true);
  EXPECT_EQ(WindowPixel(TimeLeft + 10, TimeTop + TimeHalf), Lime);
}

// Position 1 stands at the top of TBarAY and TBarFY: a click above the thumb, Up, Page Up and
// the wheel moved up all take the thumb up, to lower positions.
TEST_F(MainDisplaysTest, VerticalSlidersMoveTheWayTheKeyOrTheWheelPoints) {
  const auto wheel = [](QSlider* slider, int notches) {
    QWheelEvent event(QPointF(slider->rect().center()), QPointF(slider->mapToGlobal(QPoint())),
                      QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(slider, &event);
  };
  for (QSlider* slider : {form_->TBarAY, form_->TBarFY}) {
    const std::string name = slider == form_->TBarAY ? "TBarAY" : "TBarFY";
    slider->setValue(4);
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, 2));
    EXPECT_LT(slider->value(), 4) << name << ": a click near the top";
    slider->setValue(4);
    QTest::mouseClick(slider, Qt::LeftButton, {},
                      QPoint(slider->width() / 2, slider->height() - 3));
    EXPECT_GT(slider->value(), 4) << name << ": a click near the bottom";

    slider->setValue(4);
    QTest::keyClick(slider, Qt::Key_Up);
    EXPECT_EQ(slider->value(), 3) << name;
    QTest::keyClick(slider, Qt::Key_PageUp);
    EXPECT_EQ(slider->value(), 2) << name;
    QTest::keyClick(slider, Qt::Key_Down);
    EXPECT_EQ(slider->value(), 3) << name;
    QTest::keyClick(slider, Qt::Key_PageDown);
    EXPECT_EQ(slider->value(), 4) << name;
    wheel(slider, 1);
    const int afterWheelUp = slider->value();
    EXPECT_LT(afterWheelUp, 4) << name;
    wheel(slider, -1);
    EXPECT_GT(slider->value(), afterWheelUp) << name;
  }
}

TEST_F(MainDisplaysTest, EveryTextReadsTheSameUnderADecimalCommaLocale) {
  form_->TBarAX->setValue(5);  // 0.5 ms: tick labels with a decimal
  form_->TBarFX->setValue(3);  // 5 kHz
  const Painted plain = Paint();
  ASSERT_NE(std::find(plain.texts.begin(), plain.texts.end(), "0.5"), plain.texts.end());
  ASSERT_NE(std::find(plain.texts.begin(), plain.texts.end(), "2.5"), plain.texts.end());

  const DecimalCommaLocale locale;
  if (!locale.Available()) GTEST_SKIP() << DecimalCommaLocale::MissingReason();
  const QLocale saved;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  const Painted comma = Paint();
  QLocale::setDefault(saved);
  EXPECT_EQ(comma.texts, plain.texts);
  EXPECT_EQ(comma.captions, plain.captions);
  EXPECT_TRUE(comma.pixels == plain.pixels);
}

}  // namespace
