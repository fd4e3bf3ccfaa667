// The stream of the devices that make their own samples (the generator, the audio file).
#include "platform/wavein/paced_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/wavein/buffer_queue.h"
#include "tests/support/WaveInFixtures.h"

namespace {

// A device that makes its own samples and stalls once, for a while, in its first making.
class StallingStream final : public PacedWaveInStream {
 public:
  StallingStream(DWORD rate, WaveBufferQueue& queue) : PacedWaveInStream(rate, queue) {
    StartThread();
  }
  ~StallingStream() override { StopThread(); }

  std::atomic<std::size_t> largestAsked = 0;
  std::atomic<int> calls = 0;

 private:
  std::size_t Produce(std::int16_t* interleaved, std::size_t frames) override {
    largestAsked = std::max<std::size_t>(largestAsked, frames);
    if (calls++ == 0) {
      const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
      while (std::chrono::steady_clock::now() < until) std::this_thread::yield();
    }
    std::fill(interleaved, interleaved + 2 * frames, std::int16_t{0});
    return frames;
  }
};

// Closing a device waits for what its thread is making: after a stall the thread catches up in
// pieces of a hundredth of a second, never in one piece of the whole gap.
TEST(PacedStreamTest, CatchesUpInPiecesOfAHundredthOfASecond) {
  WaveBufferQueue queue;
  constexpr DWORD kRate = 44100;
  StallingStream stream(kRate, queue);
  stream.RecordingChanged(true);
  // Three hundred milliseconds behind after the stall: thirty pieces and more.
  ASSERT_TRUE(WaitUntil([&] { return stream.calls > 30; }));
  EXPECT_LE(stream.largestAsked, kRate / 100);
}

}  // namespace
