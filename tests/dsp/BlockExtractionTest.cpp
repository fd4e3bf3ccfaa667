#include "dsp/BlockExtraction.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/Global.h"

namespace {

constexpr std::int16_t kUntouched = 1234;

class BlockExtractionTest : public testing::Test {
 protected:
  void SetUp() override { ResetGlobals(); }

  // A ring as a capture run at `rate` leaves it, every sample telling where it came from: each
  // buffer, and the copy the capture loop keeps of it in the second half of its slot.
  static void StartRun(std::uint32_t rate) {
    SampleRate = rate;
    BufferBytes = Round(static_cast<long double>(rate) * 4 / 10);
    CaptureRing.assign(static_cast<std::size_t>(rate) * 4, 0);
    for (int buffer = 0; buffer < CaptureBufferCount; ++buffer) {
      for (int frame = 0; frame < Frames(); ++frame) {
        const std::size_t at =
            static_cast<std::size_t>(buffer) * BufferBytes + 2 * static_cast<std::size_t>(frame);
        for (const std::size_t copy : {at, at + static_cast<std::size_t>(BufferBytes) / 2}) {
          CaptureRing[copy] = Sample(buffer, frame, 1);
          CaptureRing[copy + 1] = Sample(buffer, frame, 2);
        }
      }
    }
  }

  static int Frames() { return static_cast<int>(SampleRate / 10); }

  static std::int16_t Sample(int buffer, int frame, int channel) {
    return static_cast<std::int16_t>(buffer * 3001 + frame * 2 + channel - 16000);
  }

  static void FillBlocks(std::int16_t value) {
    Channel1Block.fill(value);
    Channel2Block.fill(value);
  }

  // Elements first .. first + Frames() - 1 hold buffer `buffer`, frame by frame, less the offsets.
  static void ExpectBufferAt(int buffer, int first, int offset1 = 0, int offset2 = 0) {
    for (int frame = 0; frame < Frames(); ++frame) {
      ASSERT_EQ(Channel1Block[first + frame], Sample(buffer, frame, 1) - offset1)
          << "frame " << frame;
      ASSERT_EQ(Channel2Block[first + frame], Sample(buffer, frame, 2) - offset2)
          << "frame " << frame;
    }
  }
};

TEST_F(BlockExtractionTest, TenMsBlockHoldsThePreviousBufferThenTheFullOneLessTheOffsets) {
  struct Case {
    std::uint32_t rate;
    int filled;
    int previous;
    std::int32_t offset1;
    std::int32_t offset2;
  };
  for (const Case& c :
       {Case{22050, 0, 9, 0, 0}, Case{22050, 5, 4, 0, 0}, Case{44100, 0, 9, 0, 0},
        Case{44100, 9, 8, 0, 0}, Case{22050, 5, 4, 5, -7}, Case{44100, 0, 9, -3, 11}}) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz, buffer " << c.filled << ", offsets "
                                    << c.offset1 << "/" << c.offset2);
    StartRun(c.rate);
    TimeBaseMs = 10.0F;
    FilledBuffer = c.filled;
    DcOffset1 = c.offset1;
    DcOffset2 = c.offset2;
    ExtractBlock();
    ExpectBufferAt(c.previous, 0, c.offset1, c.offset2);
    ExpectBufferAt(c.filled, Frames(), c.offset1, c.offset2);
  }
}

TEST_F(BlockExtractionTest, ShorterTimeBaseRewritesOnlyTheFirstBufferLength) {
  StartRun(22050);
  FillBlocks(kUntouched);
  TimeBaseMs = 5.0F;
  FilledBuffer = 3;
  ExtractBlock();
  ExpectBufferAt(3, 0);
  for (int i = Frames(); i < ChannelBlockLength; ++i) {
    ASSERT_EQ(Channel1Block[i], kUntouched) << i;
    ASSERT_EQ(Channel2Block[i], kUntouched) << i;
  }
}

TEST_F(BlockExtractionTest, TenMsAt44100WritesExactly8820Elements) {
  StartRun(44100);
  FillBlocks(kUntouched);
  TimeBaseMs = 10.0F;
  FilledBuffer = 1;
  ExtractBlock();
  ExpectBufferAt(0, 0);
  ExpectBufferAt(1, 4410);
  EXPECT_EQ(Channel1Block[8820], kUntouched);
  EXPECT_EQ(Channel2Block[8820], kUntouched);
}

TEST_F(BlockExtractionTest, OffsetSubtractionSaturatesAtBothEnds) {
  struct Case {
    std::int16_t sample;
    std::int32_t offset;
    std::int16_t expected;
  };
  const Case cases[] = {
      {-32768, 1, -32768}, {32767, -1, 32767},   {-32767, 1, -32768},
      {32766, -1, 32767},  {-32768, -1, -32767}, {100, 30, 70},
  };
  StartRun(22050);
  TimeBaseMs = 1.0F;
  FilledBuffer = 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.sample << " - " << c.offset);
    const std::size_t at = 2 * static_cast<std::size_t>(BufferBytes);
    CaptureRing[at] = c.sample;
    CaptureRing[at + 1] = c.sample;
    DcOffset1 = c.offset;
    DcOffset2 = 0;
    ExtractBlock();
    EXPECT_EQ(Channel1Block[0], c.expected);
    EXPECT_EQ(Channel2Block[0], c.sample) << "channel 2 takes its own offset";
    DcOffset1 = 0;
    DcOffset2 = c.offset;
    ExtractBlock();
    EXPECT_EQ(Channel1Block[0], c.sample);
    EXPECT_EQ(Channel2Block[0], c.expected);
  }
}

TEST_F(BlockExtractionTest, MeasuredOffsetIsTheMeanRoundedHalfToEven) {
  struct Case {
    std::int16_t low;  // half the samples hold low, half low + 1
    std::int32_t expected1;
    std::int32_t expected2;  // channel 2 holds the negated samples
  };
  const Case cases[] = {{2, 2, -2}, {3, 4, -4}, {-1, 0, 0}};
  SampleRate = 44100;
  const int frames = 4410;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mean " << c.low + 0.5);
    for (int i = 0; i < ChannelBlockLength; ++i) {
      const auto value = static_cast<std::int16_t>(i % 2 == 0 ? c.low : c.low + 1);
      // Only the first buffer's length counts: what lies behind it must not.
      Channel1Block[i] = i < frames ? value : std::int16_t{30000};
      Channel2Block[i] = i < frames ? static_cast<std::int16_t>(-value) : std::int16_t{-30000};
    }
    MeasureDcOffset();
    EXPECT_EQ(DcOffset1, c.expected1);
    EXPECT_EQ(DcOffset2, c.expected2);
  }
}

TEST_F(BlockExtractionTest, UnusableStateLeavesBlocksAndOffsetsUnchanged) {
  StartRun(44100);
  FillBlocks(kUntouched);
  TimeBaseMs = 10.0F;
  FilledBuffer = 10;
  ExtractBlock();
  FilledBuffer = -1;
  ExtractBlock();
  FilledBuffer = 9;
  CaptureRing.resize(CaptureRing.size() / 2);
  ExtractBlock();
  for (int i = 0; i < ChannelBlockLength; ++i) {
    ASSERT_EQ(Channel1Block[i], kUntouched) << i;
    ASSERT_EQ(Channel2Block[i], kUntouched) << i;
  }
  SampleRate = 0;
  DcOffset1 = 7;
  DcOffset2 = -7;
  MeasureDcOffset();
  EXPECT_EQ(DcOffset1, 7);
  EXPECT_EQ(DcOffset2, -7);
}

}  // namespace
