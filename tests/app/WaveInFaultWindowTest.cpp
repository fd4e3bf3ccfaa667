// The main window over devices that misbehave while it captures: a device thread that keeps
// writing through STOP, one that stalls or fails in the middle of a run, and more devices than
// the table holds. Whatever happens, STOP ends the run and closes the device.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QSlider>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/Global.h"
#include "app/Settings.h"
#include "app/main.h"
#include "capture/RecordWave.h"
#include "platform/wavein/scripted_device.h"
#include "tests/support/ScriptedDevicesTest.h"
#include "tests/support/WaveInFixtures.h"

namespace {

using namespace std::chrono_literals;

constexpr DWORD Both = WAVE_FORMAT_2S16 | WAVE_FORMAT_4S16;

class WaveInFaultWindowTest : public ProgramWindowsTest {
 protected:
  void TearDown() override {
    delivery_ = {};
    ProgramWindowsTest::TearDown();
    waveInGetNumDevs();
  }

  // A device thread of the test's own: once the device records, delivers numbered frames in
  // pieces of frames each, pieces times (0: until the test ends).
  void Deliver(const std::shared_ptr<ScriptedWaveIn>& device, std::size_t frames,
               std::size_t pieces = 0) {
    delivery_ = std::jthread([device, frames, pieces](const std::stop_token& stop) {
      while (!stop.stop_requested() && !device->Recording()) std::this_thread::sleep_for(1ms);
      std::vector<std::int16_t> samples(2 * frames);
      for (std::size_t piece = 0; !stop.stop_requested() && (pieces == 0 || piece < pieces);
           ++piece) {
        for (std::size_t j = 0; j < samples.size(); ++j) {
          samples[j] = static_cast<std::int16_t>(piece * frames + j / 2);
        }
        device->Deliver(samples);
      }
    });
  }
  [[nodiscard]] std::string StartCaption() const {
    return form_->BitBtnStart->text().toStdString();
  }
  // Buffers the run gave back to the device after processing them.
  static std::size_t Requeued(const ScriptedWaveIn& device) {
    return device.QueueLog().size() - static_cast<std::size_t>(CaptureBufferCount);
  }

  std::jthread delivery_;
};

TEST_F(WaveInFaultWindowTest, StopWhileTheDeviceThreadWritesEndsEveryRunAndClosesTheDevice) {
  const auto device = AddDevice("Line In", Both);
  CreateWindows();
  // A block of the 5 ms time base is its own full buffer only. At 10 ms it takes the buffer
  // before too, which a device far faster than real time may already be filling again.
  form_->TBarAX->setValue(2);
  // Pieces of 7 frames: the thread is nearly always inside a write.
  Deliver(device, 7);
  for (int run = 0; run < 5; ++run) {
    SCOPED_TRACE(run);
    const std::size_t before = device->QueueLog().size();
    WhenInsideTheRun(
        *form_, [&] { return device->QueueLog().size() >= before + 13; },
        [this] { form_->BitBtnStart->click(); });
    form_->BitBtnStart->click();
    EXPECT_FALSE(device->IsOpen());
    EXPECT_FALSE(CaptureRunActive());
    EXPECT_EQ(StartCaption(), "START");
  }
  EXPECT_EQ(device->OpenCount(), 5);
  EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(WaveInFaultWindowTest, ADeviceThatStallsAndThenIsGoneLetsStopWorkAndStartFailsAfter) {
  const auto device = AddDevice("USB Microphone", Both);
  CreateWindows();
  // Three buffers and a half, then nothing more: the thread hangs or the device was pulled out.
  Deliver(device, 441, 35);
  WhenInsideTheRun(
      *form_, [&] { return Requeued(*device) == 3 && device->Deliveries() == 35; },
      [&] {
        device->SetOpenResult(MMSYSERR_BADDEVICEID);
        form_->BitBtnStart->click();
      });
  form_->BitBtnStart->click();
  EXPECT_FALSE(device->IsOpen());
  EXPECT_EQ(Requeued(*device), 3U);
  EXPECT_EQ(BytesRecorded(WaveHeaders[3]), 8820U);  // the half buffer, 2205 frames

  form_->BitBtnStart->click();
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Failed to execute"}));
  EXPECT_EQ(StartCaption(), "START");
  EXPECT_EQ(Capturing, 0);
  EXPECT_EQ(device->OpenCount(), 2);
  EXPECT_FALSE(device->IsOpen());
}

TEST_F(WaveInFaultWindowTest, DevicesFromIndexElevenOnAreNeverOpened) {
  std::vector<std::shared_ptr<ScriptedWaveIn>> devices;
  devices.reserve(13);
  for (int i = 0; i < 13; ++i) devices.push_back(AddDevice("Device " + std::to_string(i), Both));
  CreateWindows();
  dialog_->show();
  dialog_->CmbBoxInDev->setCurrentIndex(10);
  dialog_->CmbBoxInDevChange();
  ASSERT_EQ(DeviceIndex, 10);
  WhenInsideTheRun(
      *form_, [] { return true; }, [this] { form_->BitBtnStart->click(); });
  form_->BitBtnStart->click();
  EXPECT_EQ(devices[10]->OpenCount(), 1);

  // A device plugged in before it pushes the chosen one to index 11, beyond the table.
  ClearScriptedWaveIns();
  RegisterScriptedWaveIn(std::make_shared<ScriptedWaveIn>("Headset", Both));
  for (const auto& device : devices) RegisterScriptedWaveIn(device);
  dialog_->hide();
  dialog_->show();
  EXPECT_EQ(dialog_->CmbBoxInDev->count(), DeviceCapsEntries);
  form_->BitBtnStart->click();
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Failed to execute"}));
  EXPECT_EQ(devices[10]->OpenCount(), 1);
  EXPECT_EQ(devices[11]->OpenCount() + devices[12]->OpenCount(), 0);
  EXPECT_EQ(StartCaption(), "START");
}

}  // namespace
