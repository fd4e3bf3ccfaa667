#include "capture/RecordWave.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "app/Global.h"
#include "app/MainWindowView.h"
#include "capture/CaptureStatistics.h"
#include "dsp/BlockExtraction.h"
#include "platform/kernel.h"
#include "platform/messagebox.h"
#include "platform/wavein.h"

void QueryDeviceCaps(int i) {
  if (i < 0 || i >= DeviceCapsEntries) return;
  waveInGetDevCapsA(static_cast<UINT>(i), &InputDeviceCaps[static_cast<std::size_t>(i)],
                    sizeof(WAVEINCAPSA));
}

int ListInputDevices() {
  // Until the user chooses, device 0 is the choice, also when a sound server that answers late
  // puts its own sources first.
  const std::string chosen = DeviceChosen == 1 && DeviceIndex >= 0
                                 ? WaveInDeviceKey(static_cast<UINT>(DeviceIndex))
                                 : std::string();
  const UINT count = waveInGetNumDevs();
  if (!chosen.empty()) {
    const std::optional<UINT> now = WaveInDeviceIndex(chosen);
    DeviceIndex = now && *now < DeviceCapsEntries ? static_cast<std::int32_t>(*now) : -1;
  }
  return static_cast<int>(count);
}

void ChooseSampleRate() {
  Has44kStereo16 = 0;
  Has22kStereo16 = 0;
  SampleRate = 0;
  if (DeviceIndex < 0 || DeviceIndex >= DeviceCapsEntries) return;
  const DWORD formats = InputDeviceCaps[static_cast<std::size_t>(DeviceIndex)].dwFormats;
  if ((formats & WAVE_FORMAT_2S16) != 0) Has22kStereo16 = 1;
  if ((formats & WAVE_FORMAT_4S16) != 0) Has44kStereo16 = 1;
  if (Has22kStereo16 == 1) SampleRate = 22050;
  if (Has44kStereo16 == 1) SampleRate = 44100;
}

namespace {

bool RunActive = false;

// Marks the run active for as long as RunCapture is on the stack, however it returns.
class ActiveRun {
 public:
  ActiveRun() { RunActive = true; }
  ActiveRun(const ActiveRun&) = delete;
  ActiveRun& operator=(const ActiveRun&) = delete;
  ~ActiveRun() { RunActive = false; }
};

bool IsFull(WAVEHDR& header) { return BytesRecorded(header) == static_cast<DWORD>(BufferBytes); }

// Copies full buffer k into the second half of its slot, which the device never writes: at the
// 10 ms time base a later block takes its first half from there. The buffer itself goes back to
// the device in this poll, and after a poll late by most of a second the device may already be
// writing it again when the block that needs it is made.
void KeepRecording(int k) {
  const auto first = CaptureRing.begin() + static_cast<std::ptrdiff_t>(k) * BufferBytes;
  std::copy(first, first + BufferBytes / 2, first + BufferBytes / 2);
}

}  // namespace

bool CaptureRunActive() { return RunActive; }

void RunCapture() {
  const ActiveRun active;
  BufferBytes = Round(static_cast<long double>(static_cast<std::uint32_t>(SampleRate * 4)) / 10);
  Capturing = 1;
  auto waveFormat = std::make_unique<WAVEFORMATEX>();
  auto handleCell = std::make_unique<HWAVEIN>();
  waveFormat->wFormatTag = WAVE_FORMAT_PCM;
  waveFormat->nChannels = 2;
  waveFormat->nSamplesPerSec = SampleRate;
  waveFormat->nAvgBytesPerSec = SampleRate * 4;
  waveFormat->nBlockAlign = 4;
  waveFormat->wBitsPerSample = 16;
  waveFormat->cbSize = 0;
  WaveHeaderSize = WaveHeaderSize32;

  if (waveInOpen(handleCell.get(), static_cast<UINT>(DeviceIndex), waveFormat.get(), 0, 0,
                 CALLBACK_NULL) != MMSYSERR_NOERROR) {
    // Nothing runs: the window must not go on looking as if it captured, not even behind
    // the message box.
    Capturing = 0;
    ShowMessage("Failed to execute");
    return;
  }
  WaveHandle = *handleCell;

  CaptureRing.resize(static_cast<std::size_t>(SampleRate) * 4);
  for (int k = 0; k < CaptureBufferCount; ++k) {
    WAVEHDR& header = WaveHeaders[static_cast<std::size_t>(k)];
    header = WAVEHDR{};
    header.lpData =
        reinterpret_cast<LPSTR>(CaptureRing.data() + static_cast<std::ptrdiff_t>(k) * BufferBytes);
    header.dwBufferLength = static_cast<DWORD>(BufferBytes);
    waveInPrepareHeader(WaveHandle, &header, WaveHeaderSize);
    waveInAddBuffer(WaveHandle, &header, WaveHeaderSize);
  }
  waveInStart(WaveHandle);

  // Full buffers go back in ring order from the oldest one on, which keeps the device filling
  // them 0, 1, ..., 9, 0, ... After a late poll that found 9 and 0 full, plain index order would
  // queue 0 before 9 for good: the block of buffer 0 would then take its first half from buffer
  // 9 while the device is still writing it.
  int oldest = 0;
  CaptureStatistics statistics([] { return WaveInDroppedFrames(WaveHandle); });
  while (Capturing == 1) {
    statistics.PollStarted(CaptureStatistics::Clock::now());
    FilledBuffer = -1;
    FormMain->ProcessMessages();
    Sleep(1);
    std::array<bool, CaptureBufferCount> kept{};
    for (int k = 0; k < CaptureBufferCount; ++k) {
      if (IsFull(WaveHeaders[static_cast<std::size_t>(k)])) {
        FilledBuffer = k;
        KeepRecording(k);
        kept[static_cast<std::size_t>(k)] = true;
      }
    }
    if (FilledBuffer >= 0) {
      ExtractBlock();
      ComposeFrame();
      statistics.BlockShown();
    }
    if (OffsetMeasured == 0 && FilledBuffer > 0 && OffsetCorrection != 0) {
      ExtractBlock();
      MeasureDcOffset();
      OffsetMeasured = 1;
    }
    const int first = oldest;
    for (int i = 0; i < CaptureBufferCount; ++i) {
      const int k = (first + i) % CaptureBufferCount;
      WAVEHDR& header = WaveHeaders[static_cast<std::size_t>(k)];
      if (IsFull(header)) {
        // Completed since the search, typically while the frame was drawn: the next block
        // takes its first half from this copy.
        if (!kept[static_cast<std::size_t>(k)]) KeepRecording(k);
        SetBytesRecorded(header, 0);
        waveInAddBuffer(WaveHandle, &header, WaveHeaderSize);
        waveInStart(WaveHandle);
        oldest = (k + 1) % CaptureBufferCount;
      }
    }
  }

  statistics.Finish(CaptureStatistics::Clock::now());
  waveInReset(WaveHandle);
  for (auto& header : WaveHeaders) waveInUnprepareHeader(WaveHandle, &header, WaveHeaderSize);
  waveInClose(WaveHandle);
  WaveHandle = nullptr;
}
