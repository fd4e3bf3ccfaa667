// The chosen device stays chosen when others come and go between two showings of the settings
// dialog; a chosen device that has gone makes START fail instead of opening its neighbour. Before
// the user has chosen, device 0 is the choice, whichever device that is.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Global.h"
#include "app/Settings.h"
#include "app/main.h"
#include "platform/wavein/device_list.h"
#include "platform/wavein/scripted_device.h"
#include "tests/support/FollowedSoundServer.h"
#include "tests/support/ScriptedDevicesTest.h"
#include "tests/support/WaveInFixtures.h"

namespace {

constexpr DWORD Both = WAVE_FORMAT_2S16 | WAVE_FORMAT_4S16;

class DeviceChoiceTest : public ProgramWindowsTest {
 protected:
  void SetUp() override {
    ProgramWindowsTest::SetUp();
    lineIn_ = AddDevice("Line In", Both);
    headset_ = AddDevice("Headset", Both);
    webcam_ = AddDevice("Webcam", WAVE_FORMAT_2S16);
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
};

TEST_F(DeviceChoiceTest, TheChoiceFollowsItsDeviceWhenOthersVanishOrAppear) {
  CreateWindows();
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
  CreateWindows();
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

// A sound server of the session that answers only after the program's first listing.
class LateSoundServerTest : public DeviceChoiceTest {
 protected:
  void SetUp() override {
    DeviceChoiceTest::SetUp();
    if (const std::string missing = PulseServer::MissingReason(); !missing.empty()) {
      GTEST_SKIP() << missing;
    }
    server_.emplace(environment_, temp_.Path(), FollowedSoundServer::Answering::Later);
  }
  void TearDown() override {
    DeviceChoiceTest::TearDown();
    server_.reset();
  }

  // The list follows the server on a thread of its own; this waits for it without taking a
  // list, which would move what the program's last list was.
  static bool ListedSoonerOrLater(std::size_t devices) {
    return WaitUntil([devices] {
      RefreshDeviceLists();
      return ComposeDeviceList().size() >= devices;
    });
  }

  TempDir temp_;
  ScopedEnvironment environment_;
  std::optional<FollowedSoundServer> server_;
};

TEST_F(LateSoundServerTest, DeviceZeroStaysTheChoiceUntilTheUserChoosesAnother) {
  CreateWindows();
  ASSERT_EQ(form_->windowTitle().toStdString(), "Corvane - Line In");
  PulseServer& server = server_->Start();
  ASSERT_TRUE(ListedSoonerOrLater(4));
  dialog_->show();
  ASSERT_NE(Listed().front(), "Line In");
  EXPECT_EQ(DeviceIndex, 0);

  const int webcam = dialog_->CmbBoxInDev->count() - 1;
  Choose(webcam);
  ASSERT_EQ(Listed()[static_cast<std::size_t>(DeviceIndex)], "Webcam");
  server.LoadPipeSource("corvane_line", "Desk Microphone");
  ASSERT_TRUE(ListedSoonerOrLater(Listed().size() + 1));
  ShowDialogAgain();
  EXPECT_EQ(DeviceIndex, webcam + 1);
  EXPECT_EQ(Listed().back(), "Webcam");
  EXPECT_TRUE(MessageTexts().empty());
}

}  // namespace
