#pragma once
// A capture device driven by a test: its capabilities and the result of its open are set by
// the test, and its buffers are filled only when the test says so, on the test's own thread.
// Registered devices come last in the device list, after the next waveInGetNumDevs.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/wavein_device.h"

class ScriptedWaveIn final : public WaveInDevice {
 public:
  ScriptedWaveIn(const std::string& name, DWORD formats);

  [[nodiscard]] WAVEINCAPSA Caps() const override { return caps_; }
  MMRESULT Open(DWORD sampleRate, WaveBufferQueue& queue,
                std::unique_ptr<WaveInStream>& stream) override;

  // The answer of the next opens (MMSYSERR_NOERROR by default).
  void SetOpenResult(MMRESULT result) { openResult_ = result; }
  // Writes frames as the device thread would; false when the device is not open.
  bool Deliver(std::span<const std::int16_t> interleaved);
  // Fills the buffer at the head of the queue completely, every frame (left, right).
  bool FillNext(std::int16_t left, std::int16_t right);

  [[nodiscard]] bool IsOpen() const { return queue_ != nullptr; }
  [[nodiscard]] int OpenCount() const { return openCount_; }
  [[nodiscard]] DWORD OpenedRate() const { return openedRate_; }
  [[nodiscard]] bool Recording() const { return queue_ != nullptr && queue_->Recording(); }
  [[nodiscard]] std::size_t Queued() const { return queue_ == nullptr ? 0 : queue_->Queued(); }
  // Every buffer queued on this device, in queue order, since it was created.
  [[nodiscard]] const std::vector<const WAVEHDR*>& QueueLog() const { return queueLog_; }

 private:
  friend class ScriptedStream;
  WAVEINCAPSA caps_{};
  MMRESULT openResult_ = MMSYSERR_NOERROR;
  WaveBufferQueue* queue_ = nullptr;
  int openCount_ = 0;
  DWORD openedRate_ = 0;
  std::vector<const WAVEHDR*> queueLog_;
};

void RegisterScriptedWaveIn(std::shared_ptr<ScriptedWaveIn> device);
void ClearScriptedWaveIns();
