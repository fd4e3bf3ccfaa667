#pragma once
// A capture device driven by a test: its capabilities and the result of its open are set by
// the test, and its buffers are filled only when the test says so, on the test's own thread.
// Registered devices come last in the device list, after the next waveInGetNumDevs.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/wavein/device.h"

class ScriptedWaveIn final : public WaveInDevice {
 public:
  ScriptedWaveIn(const std::string& name, DWORD formats);

  [[nodiscard]] WAVEINCAPSA Caps() const override { return caps_; }
  MMRESULT Open(DWORD sampleRate, WaveBufferQueue& queue,
                std::unique_ptr<WaveInStream>& stream) override;

  // The answer of the next opens (MMSYSERR_NOERROR by default). Any thread: a device that
  // fails while it records answers its next open so.
  void SetOpenResult(MMRESULT result) { openResult_ = result; }
  // Writes frames as the device thread would; false when the device is not open. Any thread,
  // also while the user-interface thread resets or closes the device: a close waits for a
  // delivery in progress, as it joins a device thread. An odd last sample is half a frame
  // and is not written.
  bool Deliver(std::span<const std::int16_t> interleaved);
  // Fills the buffer at the head of the queue completely, every frame (left, right).
  bool FillNext(std::int16_t left, std::int16_t right);

  [[nodiscard]] bool IsOpen() const;
  [[nodiscard]] int OpenCount() const { return openCount_; }
  [[nodiscard]] DWORD OpenedRate() const;
  [[nodiscard]] bool Recording() const;
  [[nodiscard]] std::size_t Queued() const;
  // True while a delivery is inside the buffer queue's write; the number of deliveries that
  // reached an open device.
  [[nodiscard]] bool Delivering() const { return delivering_; }
  [[nodiscard]] std::uint64_t Deliveries() const { return deliveries_; }
  // Every buffer queued on this device, in queue order, since it was created.
  [[nodiscard]] const std::vector<const WAVEHDR*>& QueueLog() const { return queueLog_; }

 private:
  friend class ScriptedStream;
  WAVEINCAPSA caps_{};
  std::atomic<MMRESULT> openResult_ = MMSYSERR_NOERROR;
  mutable std::mutex mutex_;  // guards queue_ and openedRate_
  WaveBufferQueue* queue_ = nullptr;
  DWORD openedRate_ = 0;
  int openCount_ = 0;
  std::atomic<bool> delivering_ = false;
  std::atomic<std::uint64_t> deliveries_ = 0;
  std::vector<const WAVEHDR*> queueLog_;
};

void RegisterScriptedWaveIn(std::shared_ptr<ScriptedWaveIn> device);
void ClearScriptedWaveIns();

// Appends the registered devices to the device list (its composition).
void AppendScriptedDevices(WaveInDeviceList& list);
