#pragma once
// A capture stream for devices that make their own samples (the generator, the audio file):
// a thread hands them to the buffer queue in real time, against the steady clock, while
// recording is on.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/wavein/device.h"

class PacedWaveInStream : public WaveInStream {
 public:
  void RecordingChanged(bool recording) final;

 protected:
  PacedWaveInStream(DWORD sampleRate, WaveBufferQueue& queue);
  ~PacedWaveInStream() override;
  // Derived constructors end with StartThread and derived destructors begin with StopThread,
  // so that the thread only ever sees a whole object.
  void StartThread();
  void StopThread();

  // Device thread: makes up to frames interleaved stereo frames and returns how many it made.
  // Fewer than asked means it can make no more: the stream goes silent until it is closed.
  virtual std::size_t Produce(std::int16_t* interleaved, std::size_t frames) = 0;

 private:
  void Run(const std::stop_token& stop);
  // Produces frames and writes them to the queue, piece by piece until stop is requested;
  // false when Produce could make no more.
  bool Deliver(const std::stop_token& stop, std::size_t frames, std::vector<std::int16_t>& chunk);

  const DWORD sampleRate_;
  WaveBufferQueue& queue_;
  std::mutex mutex_;
  std::condition_variable_any changed_;
  bool recording_ = false;
  std::jthread thread_;
};
