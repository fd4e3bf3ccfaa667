#pragma once
// The buffer queue that every kind of device fills, so that queue order, full and partial
// counts and the reset rules are the same for every kind.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

#include "platform/wavein.h"

// The buffers queued on one open device. Add, SetRecording, ReturnAll and the queries run on
// the user-interface thread; Write runs on the device's own thread (or the test's).
class WaveBufferQueue {
 public:
  void Add(WAVEHDR* header);
  void SetRecording(bool recording);
  [[nodiscard]] bool Recording() const;
  // Copies interleaved stereo frames into the queued buffers in queue order. A buffer that
  // becomes full gets its count published (release) and leaves the queue. Frames that arrive
  // while recording with no buffer queued are dropped and counted; while not recording,
  // frames are discarded uncounted.
  void Write(const std::int16_t* interleaved, std::size_t frames);
  // Stops recording and hands every queued buffer back: the one being filled with its partial
  // count, the others with 0. After it returns, Write touches no buffer.
  void ReturnAll();
  [[nodiscard]] std::size_t Queued() const;
  [[nodiscard]] std::uint64_t DroppedFrames() const;

 private:
  mutable std::mutex mutex_;
  std::deque<WAVEHDR*> queue_;
  std::size_t headFill_ = 0;  // bytes already written into queue_.front()
  bool recording_ = false;
  std::uint64_t dropped_ = 0;
};
