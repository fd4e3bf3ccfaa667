#pragma once
// A laid-out 700 x 520 client on a fake main window, with the scales the program starts with,
// for the display tests.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/Global.h"
#include "app/MainWindowView.h"
#include "display/Graph.h"
#include "tests/support/FakeMainWindow.h"

class DisplayFixture : public testing::Test {
 protected:
  static constexpr int kClientWidth = 700;
  static constexpr int kClientHeight = 520;

  void SetUp() override {
    ResetGlobals();
    window_ = std::make_unique<FakeMainWindow>(kClientWidth, kClientHeight);
    TimeBitmap = std::make_unique<Bitmap>();
    FreqBitmap = std::make_unique<Bitmap>();
    SampleRate = 44100;
    TimeBaseMs = 10.0F;
    TimeVoltsScale = 100;
    FreqSpanKHz = 20;
    FreqLevelScale = 100;
    LayoutDisplays();
    window_->WindowCanvas().RecordTexts(&texts_);
  }

  void TearDown() override {
    window_->WindowCanvas().RecordTexts(nullptr);
    window_.reset();
    ResetGlobals();
  }

  void ShowTimeChannels(bool first, bool second) {
    window_->SetChecked(DisplayCheckBox::A1, first);
    window_->SetChecked(DisplayCheckBox::A2, second);
  }
  void ShowFreqChannels(bool first, bool second) {
    window_->SetChecked(DisplayCheckBox::F1, first);
    window_->SetChecked(DisplayCheckBox::F2, second);
  }

  // Texts drawn on the window since the last call.
  std::vector<Canvas::TextRecord> TakeTexts() { return std::exchange(texts_, {}); }

  [[nodiscard]] Color WindowPixel(int x, int y) const { return window_->Surface().Pixel(x, y); }

  std::unique_ptr<FakeMainWindow> window_;
  std::vector<Canvas::TextRecord> texts_;
};

// "(x, y) text" for readable comparisons of drawn texts.
inline std::string Describe(const Canvas::TextRecord& record) {
  return "(" + std::to_string(record.x) + ", " + std::to_string(record.y) + ") " + record.text;
}

inline std::vector<std::string> Describe(const std::vector<Canvas::TextRecord>& records) {
  std::vector<std::string> lines;
  for (const auto& record : records) lines.push_back(Describe(record));
  return lines;
}
