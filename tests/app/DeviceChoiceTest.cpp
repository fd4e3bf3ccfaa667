// The chosen device stays chosen when others come and go between two showings of the settings
// dialog; a chosen device that has gone makes START fail instead of opening its neighbour.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "app/Global.h"
#include "app/Settings.h"
#include "app/main.h"
#include "platform/wavein_scripted.h"
#include "tests/support/ScriptedDevicesTest.h"

namespace {

constexpr DWORD Both = WAVE_FORMAT_2S16 | WAVE_FORMAT_4S16;

class DeviceChoiceTest : public ScriptedDevicesTest {
 protected:
  void SetUp() override {
    ScriptedDevicesTest::SetUp();
    lineIn_ = AddDevice("Line In", Both);
    headset_ = AddDevice("Headset", Both);
    webcam_ = AddDevice("Webcam", WAVE_FORMAT_2S16);
    form_ = std::make_unique<TFormMain>();
    dialog_ = std::make_unique<TFormSettings>();
  }
  void TearDown() override {
    dialog_.reset();
    form_.reset();
    ScriptedDevicesTest::TearDown();
  }

  // The devices of the system are now these, in this order.
  static void Plugged(const std::vector<std::shared_ptr<ScriptedWaveIn>>& devices) {
    ClearScriptedWaveIns();
    for (const auto& device : devices) RegisterScriptedWaveIn(device);
  }
  void Choose(int index) const {
    dialog_->CmbBoxInDev->setCurrentIndex(index);
    dialog_->CmbBoxInDevChange();
  }
  void ShowDialogAgain() const {
    dialog_->hide();
    dialog_->show();
  }
  [[nodiscard]] std::vector<std::string> Listed() const {
    std::vector<std::string> names;
    for (int i = 0; i < dialog_->CmbBoxInDev->count(); ++i) {
      names.push_back(dialog_->CmbBoxInDev->itemText(i).toStdString());
    }
    return names;
  }

  std::shared_ptr<ScriptedWaveIn> lineIn_;
  std::shared_ptr<ScriptedWaveIn> headset_;
  std::shared_ptr<ScriptedWaveIn> webcam_;
  std::unique_ptr<TFormMain> form_;
  std::unique_ptr<TFormSettings> dialog_;
};

TEST_F(DeviceChoiceTest, TheChoiceFollowsItsDeviceWhenOthersVanishOrAppear) {
  dialog_->show();
  Choose(2);
  ASSERT_EQ(DeviceIndex, 2);
  ASSERT_EQ(SampleRate, 22050U);

  Plugged({lineIn_, webcam_});
  ShowDialogAgain();
  EXPECT_EQ(Listed(), (std::vector<std::string>{"Line In", "Webcam"}));
  EXPECT_EQ(DeviceIndex, 1);

  const auto microphone = std::make_shared<ScriptedWaveIn>("USB Microphone", Both);
  Plugged({microphone, lineIn_, headset_, webcam_});
  ShowDialogAgain();
  EXPECT_EQ(DeviceIndex, 3);

  // STOP from inside the run's first pass over the messages.
  QTimer::singleShot(0, form_.get(), [this] { form_->BitBtnStart->click(); });
  form_->BitBtnStartClick();
  EXPECT_EQ(webcam_->OpenCount(), 1);
  EXPECT_EQ(webcam_->OpenedRate(), 22050U);
  EXPECT_EQ(lineIn_->OpenCount() + headset_->OpenCount() + microphone->OpenCount(), 0);
  EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(DeviceChoiceTest, StartOnAChosenDeviceThatHasGoneFailsAndGoesBackToIdle) {
  webcam_->SetOpenResult(MMSYSERR_ALLOCATED);  // the START below must not reach it
  dialog_->show();
  Choose(1);
  ASSERT_EQ(DeviceIndex, 1);

  Plugged({lineIn_, webcam_});
  ShowDialogAgain();
  EXPECT_EQ(DeviceIndex, -1);

  form_->BitBtnStartClick();
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Failed to execute"}));
  EXPECT_EQ(Capturing, 0);
  EXPECT_EQ(form_->BitBtnStart->text().toStdString(), "START");
  EXPECT_TRUE(dialog_->CmbBoxInDev->isEnabled());
  EXPECT_EQ(lineIn_->OpenCount() + webcam_->OpenCount() + headset_->OpenCount(), 0);
}

}  // namespace
