#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/wavein/buffer_queue.h"
#include "platform/wavein/device.h"

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

}  // namespace
