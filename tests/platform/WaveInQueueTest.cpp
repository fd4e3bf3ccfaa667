#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/wavein_device.h"
#include "platform/wavein_paced.h"
#include "tests/support/WaveInFixtures.h"

namespace {

// Three buffers of four frames each.
class WaveInQueueTest : public testing::Test {
 protected:
  static constexpr DWORD kBufferBytes = 4 * WaveFrameBytes;

  void SetUp() override {
    for (std::size_t k = 0; k < headers_.size(); ++k) {
      headers_[k].lpData = reinterpret_cast<LPSTR>(data_[k].data());
      headers_[k].dwBufferLength = kBufferBytes;
      queue_.Add(&headers_[k]);
    }
    queue_.SetRecording(true);
  }

  // Frames whose left sample counts up from first.
  static std::vector<std::int16_t> Frames(int first, int count) {
    std::vector<std::int16_t> samples;
    for (int j = 0; j < count; ++j) {
      samples.push_back(static_cast<std::int16_t>(first + j));
      samples.push_back(static_cast<std::int16_t>(-(first + j)));
    }
    return samples;
  }
  void Write(int first, int count) {
    const auto samples = Frames(first, count);
    queue_.Write(samples.data(), static_cast<std::size_t>(count));
  }

  std::array<std::array<std::int16_t, 8>, 3> data_{};
  std::array<WAVEHDR, 3> headers_{};
  WaveBufferQueue queue_;
};

TEST_F(WaveInQueueTest, FillsInQueueOrderAndPublishesOnlyFullBuffers) {
  Write(0, 3);
  EXPECT_EQ(BytesRecorded(headers_[0]), 0U);
  Write(3, 3);  // completes buffer 0, starts buffer 1
  EXPECT_EQ(BytesRecorded(headers_[0]), kBufferBytes);
  EXPECT_EQ(BytesRecorded(headers_[1]), 0U);
  EXPECT_EQ((std::array<std::int16_t, 8>{0, 0, 1, -1, 2, -2, 3, -3}), data_[0]);
  EXPECT_EQ(data_[1][0], 4);
  EXPECT_EQ(data_[1][2], 5);
  EXPECT_EQ(queue_.Queued(), 2U);
  EXPECT_NE(headers_[0].dwFlags & WHDR_DONE, 0U);
}

TEST_F(WaveInQueueTest, FramesWithNoBufferQueuedAreDroppedAndCounted) {
  Write(0, 12);
  EXPECT_EQ(queue_.DroppedFrames(), 0U);
  Write(12, 5);
  EXPECT_EQ(queue_.DroppedFrames(), 5U);
  // A buffer queued again is filled from the next frames on.
  queue_.Add(&headers_[0]);
  EXPECT_EQ(BytesRecorded(headers_[0]), 0U);
  Write(100, 4);
  EXPECT_EQ(BytesRecorded(headers_[0]), kBufferBytes);
  EXPECT_EQ(data_[0][0], 100);
}

TEST_F(WaveInQueueTest, ReturnAllGivesThePartialBufferItsShortCount) {
  Write(0, 6);
  queue_.ReturnAll();
  EXPECT_EQ(BytesRecorded(headers_[0]), kBufferBytes);
  EXPECT_EQ(BytesRecorded(headers_[1]), 2 * WaveFrameBytes);
  EXPECT_EQ(BytesRecorded(headers_[2]), 0U);
  EXPECT_EQ(queue_.Queued(), 0U);
  EXPECT_FALSE(queue_.Recording());
  // Nothing is written once the buffers are back, and nothing counts as dropped.
  const auto before = data_;
  Write(50, 8);
  EXPECT_EQ(before, data_);
  EXPECT_EQ(queue_.DroppedFrames(), 0U);
}

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
TEST_F(WaveInQueueTest, APacedDeviceCatchesUpInPiecesOfAHundredthOfASecond) {
  constexpr DWORD kRate = 44100;
  StallingStream stream(kRate, queue_);
  stream.RecordingChanged(true);
  // Three hundred milliseconds behind after the stall: thirty pieces and more.
  ASSERT_TRUE(WaitUntil([&] { return stream.calls > 30; }));
  EXPECT_LE(stream.largestAsked, kRate / 100);
}

}  // namespace
