// The main window on the offscreen platform, over scripted devices. Actions meant to happen
// while a capture runs are queued as zero timers before START: the capture loop's message
// processing runs them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <QtTest/QTest>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Global.h"
#include "app/MainWindowView.h"
#include "app/Settings.h"
#include "app/Startup.h"
#include "app/main.h"
#include "platform/messagebox.h"
#include "platform/wavein/scripted_device.h"
#include "tests/support/ScriptedDevicesTest.h"

namespace {

// The application's palette while it lives, as a desktop theme sets it.
class ApplicationPalette {
 public:
  explicit ApplicationPalette(const QPalette& palette) { QApplication::setPalette(palette); }
  ApplicationPalette(const ApplicationPalette&) = delete;
  ApplicationPalette& operator=(const ApplicationPalette&) = delete;
  ~ApplicationPalette() { QApplication::setPalette(saved_); }

 private:
  QPalette saved_ = QApplication::palette();
};

class MainWindowTest : public ScriptedDevicesTest {
 protected:
  void TearDown() override {
    form_.reset();
    settings_.reset();
    ScriptedDevicesTest::TearDown();
  }

  void CreateWindows() {
    form_ = std::make_unique<TFormMain>();
    settings_ = std::make_unique<TFormSettings>();
  }
  static std::string Text(const QLabel* label) { return label->text().toStdString(); }
  [[nodiscard]] std::string Caption() const { return form_->windowTitle().toStdString(); }
  [[nodiscard]] std::string StartCaption() const {
    return form_->BitBtnStart->text().toStdString();
  }

  // Runs action from inside the next message processing.
  static void Later(const std::function<void()>& action) { QTimer::singleShot(0, action); }

  std::unique_ptr<TFormMain> form_;
  std::unique_ptr<TFormSettings> settings_;
};

TEST_F(MainWindowTest, StartUpCaptionsFollowTheRateOfDeviceZero) {
  struct Case {
    DWORD formats;
    const char* samples;
  };
  for (const Case& expected :
       {Case{0x880, "Displayed Samples - 1102"}, Case{0x80, "Displayed Samples - 551"},
        Case{0x40, "Displayed Samples - 0"}}) {
    ClearScriptedWaveIns();
    AddDevice("Line In", expected.formats);
    AddDevice("Other", 0x880);
    CreateWindows();
    EXPECT_EQ(Text(form_->LabTimePoints), expected.samples);
    EXPECT_EQ(Text(form_->LabFreqPoints), "Displayed Harmonics - 1858");
    EXPECT_EQ(Caption(), "Corvane - Line In");
    EXPECT_EQ(SyncChannel1, 1);
    EXPECT_EQ(SyncChannel2, 0);
    EXPECT_EQ(IsVistaOrLater, 1);
    EXPECT_EQ(StartCaption(), "START");
  }
  EXPECT_TRUE(messages_.empty());
}

TEST_F(MainWindowTest, TimerRewritesTheCaptionWithDeviceZeroEvery500Ms) {
  AddDevice("Thirty-one characters long name", 0x880);
  CreateWindows();
  EXPECT_EQ(Caption(), "Corvane - Thirty-one characters long name");
  EXPECT_TRUE(form_->Timer1->isActive());
  EXPECT_EQ(form_->Timer1->interval(), 500);
  form_->setWindowTitle(QStringLiteral("Lumidor - Other"));
  DeviceIndex = 1;
  // The next tick, however late a loaded machine lets it come.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return Caption() == "Corvane - Thirty-one characters long name"; }, 30000));
}

TEST_F(MainWindowTest, AFullThirtyTwoByteNameIsShownWhole) {
  WAVEINCAPSA caps{};
  std::memset(caps.szPname, 'A', sizeof(caps.szPname));
  EXPECT_EQ(DeviceName(caps), std::string(32, 'A'));
  caps.szPname[5] = '\0';
  EXPECT_EQ(DeviceName(caps), "AAAAA");
}

TEST_F(MainWindowTest, StartBlinksBlackAndRedAndStopTurnsItBlack) {
  const auto device = AddDevice("Line In", 0x880);
  CreateWindows();
  std::vector<Color> colours;
  bool listEnabledWhileCapturing = true;
  Later([&] {
    EXPECT_EQ(StartCaption(), "STOP");
    EXPECT_EQ(Capturing, 1);
    EXPECT_TRUE(device->Recording());
    listEnabledWhileCapturing = settings_->CmbBoxInDev->isEnabled();
    colours.push_back(form_->StartButtonFontColor());
    for (int tick = 0; tick < 3; ++tick) {
      form_->Timer1Timer();
      colours.push_back(form_->StartButtonFontColor());
    }
    form_->BitBtnStart->click();
    colours.push_back(form_->StartButtonFontColor());
    EXPECT_EQ(StartCaption(), "START");
  });
  form_->BitBtnStart->click();
  EXPECT_EQ(colours, (std::vector<Color>{SystemWindowTextColor, Black, Red, Black, Black}));
  EXPECT_FALSE(listEnabledWhileCapturing);
  EXPECT_TRUE(settings_->CmbBoxInDev->isEnabled());
  EXPECT_FALSE(device->IsOpen());
  EXPECT_EQ(Capturing, 0);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(MainWindowTest, StopPressedWhileRedTurnsBlackAtOnce) {
  AddDevice("Line In", 0x880);
  CreateWindows();
  Color afterStop = SystemWindowTextColor;
  Later([&] {
    form_->Timer1Timer();
    form_->Timer1Timer();
    ASSERT_EQ(form_->StartButtonFontColor(), Red);
    form_->BitBtnStartClick();
    afterStop = form_->StartButtonFontColor();
  });
  form_->BitBtnStartClick();
  EXPECT_EQ(afterStop, Black);
}

TEST_F(MainWindowTest, ARefusedOpenReturnsTheWindowToIdle) {
  const auto device = AddDevice("Busy", 0x880);
  device->SetOpenResult(MMSYSERR_ALLOCATED);
  CreateWindows();
  form_->BitBtnStartClick();
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Failed to execute"}));
  EXPECT_EQ(StartCaption(), "START");
  EXPECT_EQ(Capturing, 0);
  EXPECT_TRUE(settings_->CmbBoxInDev->isEnabled());
  EXPECT_FALSE(device->IsOpen());
}

TEST_F(MainWindowTest, StartWithoutAUsableRateIsRefusedBeforeTheOpen) {
  const auto device = AddDevice("Mono only", WAVE_FORMAT_2M16);
  CreateWindows();
  ASSERT_EQ(SampleRate, 0U);
  form_->BitBtnStartClick();
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Failed to execute"}));
  EXPECT_EQ(device->OpenCount(), 0);
  EXPECT_EQ(StartCaption(), "START");
  EXPECT_EQ(Capturing, 0);
}

TEST_F(MainWindowTest, StopAndStartInOnePassKeepTheRunWithoutASecondOpen) {
  const auto device = AddDevice("Line In", 0x880);
  CreateWindows();
  bool stillCapturing = false;
  Later([&] {
    form_->BitBtnStartClick();  // STOP
    form_->BitBtnStartClick();  // START, handled before the loop polls again
    Later([&] {
      stillCapturing = Capturing == 1 && device->IsOpen() && StartCaption() == "STOP";
      form_->BitBtnStartClick();
    });
  });
  form_->BitBtnStartClick();
  EXPECT_TRUE(stillCapturing);
  EXPECT_EQ(device->OpenCount(), 1);
  EXPECT_FALSE(device->IsOpen());
  EXPECT_EQ(StartCaption(), "START");
}

TEST_F(MainWindowTest, TheDeviceListStaysClosedUntilTheStoppedRunHasLetTheDeviceGo) {
  AddDevice("Line In", 0x880);
  CreateWindows();
  bool enabledAfterStop = true;
  Later([&] {
    form_->BitBtnStartClick();  // STOP, handled inside the running loop
    settings_->show();
    enabledAfterStop = settings_->CmbBoxInDev->isEnabled();
  });
  form_->BitBtnStartClick();
  EXPECT_FALSE(enabledAfterStop);
  EXPECT_TRUE(settings_->CmbBoxInDev->isEnabled());
}

TEST_F(MainWindowTest, AStartStillQueuedWhenTheWindowClosesOpensNothing) {
  const auto device = AddDevice("Line In", 0x880);
  CreateWindows();
  Later([&] { form_->BitBtnStartClick(); });
  form_->close();  // its message processing meets the queued START
  EXPECT_EQ(device->OpenCount(), 0);
  EXPECT_EQ(StartCaption(), "START");
}

TEST_F(MainWindowTest, ClosingWhileCapturingReleasesTheDeviceAndEndsTheProgram) {
  const auto device = AddDevice("Line In", 0x880);
  CreateWindows();
  bool wasCapturing = false;
  Later([&] {
    Later([&] {
      wasCapturing = device->Recording();
      form_->close();
    });
    form_->BitBtnStartClick();
  });
  // Fails the test instead of hanging when the program does not end.
  QTimer::singleShot(10000, [] { QCoreApplication::exit(1); });
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_TRUE(wasCapturing);
  EXPECT_FALSE(device->IsOpen());
  EXPECT_EQ(Capturing, 0);
}

// A dark desktop theme gives the application light text on dark faces. The window keeps its
// own light faces and fixed colours (the silver panels, the yellow and lime check boxes), so its
// texts must keep their own dark colour to be read.
TEST_F(MainWindowTest, TextsStayDarkOnTheWindowsOwnColoursUnderADarkTheme) {
  QPalette dark(QColor(0x35, 0x35, 0x35), QColor(0x35, 0x35, 0x35));
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    dark.setColor(role, QColor(0xEB, 0xEB, 0xEB));
  }
  const ApplicationPalette theme(dark);
  AddDevice("Line In", 0x880);
  CreateWindows();
  form_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  // Any pixel near black: the text's own, since no face around it is dark.
  const auto darkTextIn = [](QWidget* widget, const QRect& area) {
    const QImage picture = widget->grab(area).toImage();
    for (int y = 0; y < picture.height(); ++y) {
      for (int x = 0; x < picture.width(); ++x) {
        if (qGray(picture.pixel(x, y)) < 64) return true;
      }
    }
    return false;
  };
  for (QLabel* label : {form_->LabAY, form_->LabAX, form_->LabTimePoints, form_->LabFY,
                        form_->LabFrequency, form_->LabFreqPoints}) {
    EXPECT_TRUE(darkTextIn(label, label->rect())) << Text(label);
  }
  for (QCheckBox* box :
       {form_->CheckBoxA1, form_->CheckBoxA2, form_->CheckBoxF1, form_->CheckBoxF2}) {
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect text = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
    EXPECT_TRUE(darkTextIn(box, text)) << box->text().toStdString();
  }
}

TEST_F(MainWindowTest, NoInputDeviceShowsOnlyTheMessage) {
  EXPECT_EQ(RunCorvane(), 0);
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"No Input Audio Devices"}));
  EXPECT_EQ(FormMain, nullptr);
  // A window built after the devices vanished says so and carries on with no rate.
  CreateWindows();
  EXPECT_EQ(messages_.size(), 2U);
  EXPECT_EQ(Caption(), "Corvane - ");
  EXPECT_EQ(SampleRate, 0U);
}

}  // namespace
