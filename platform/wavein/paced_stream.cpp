#include "platform/wavein/paced_stream.h"

#include "platform/wavein/buffer_queue.h"

#include <algorithm>
#include <chrono>

namespace {

// Each delivery wakes the thread: a fifth of a buffer apart is soon enough for a buffer of 100
// ms to be full at most 20 ms after its end, and keeps the wake-ups few.
constexpr auto DeliveryPeriod = std::chrono::milliseconds(20);
// Catching up after a stall is done in pieces of this many hundredths of a second, so that
// closing the device waits for one piece at most.
constexpr DWORD PieceHundredths = 1;

}  // namespace

PacedWaveInStream::PacedWaveInStream(DWORD sampleRate, WaveBufferQueue& queue)
    : sampleRate_(sampleRate), queue_(queue) {}

PacedWaveInStream::~PacedWaveInStream() { StopThread(); }

void PacedWaveInStream::StartThread() {
  thread_ = std::jthread([this](const std::stop_token& stop) { Run(stop); });
}

void PacedWaveInStream::StopThread() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  changed_.notify_all();
  thread_.join();
}

void PacedWaveInStream::RecordingChanged(bool recording) {
  {
    const std::scoped_lock lock(mutex_);
    recording_ = recording;
  }
  changed_.notify_all();
}

bool PacedWaveInStream::Deliver(const std::stop_token& stop, std::size_t frames,
                                std::vector<std::int16_t>& chunk) {
  const std::size_t piece = std::max<std::size_t>(1, sampleRate_ * PieceHundredths / 100);
  while (frames > 0 && !stop.stop_requested()) {
    const std::size_t asked = std::min(frames, piece);
    chunk.resize(2 * asked);
    const std::size_t made = Produce(chunk.data(), asked);
    queue_.Write(chunk.data(), made);
    if (made < asked) return false;
    frames -= asked;
  }
  return true;
}

void PacedWaveInStream::Run(const std::stop_token& stop) {
  std::vector<std::int16_t> chunk;
  bool exhausted = false;
  std::unique_lock lock(mutex_);
  while (!stop.stop_requested()) {
    changed_.wait(lock, stop, [this, &exhausted] { return recording_ && !exhausted; });
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t delivered = 0;
    while (recording_ && !stop.stop_requested()) {
      changed_.wait_for(lock, stop, DeliveryPeriod, [this] { return !recording_; });
      if (!recording_) break;
      const auto due = static_cast<std::uint64_t>(
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() *
          sampleRate_);
      // After a stall of more than a second the sound of the gap is lost, as on a sound card.
      delivered = std::max(delivered, due > sampleRate_ ? due - sampleRate_ : 0);
      const auto frames = static_cast<std::size_t>(due - delivered);
      delivered = due;
      lock.unlock();
      exhausted = !Deliver(stop, frames, chunk);
      lock.lock();
      if (exhausted) break;
    }
  }
}
