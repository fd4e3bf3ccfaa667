#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/wavein_generator.h"

namespace {

TEST(WaveInGeneratorSignal, ParsesChannelsAndRejectsMalformedText) {
  const auto signal = ParseGeneratorSignal("triangle,250,0.75; noise");
  ASSERT_TRUE(signal.has_value());
  EXPECT_EQ((*signal)[0].waveform, Waveform::Triangle);
  EXPECT_DOUBLE_EQ((*signal)[0].frequencyHz, 250.0);
  EXPECT_DOUBLE_EQ((*signal)[0].amplitude, 0.75);
  EXPECT_EQ((*signal)[1].waveform, Waveform::Noise);

  const auto single = ParseGeneratorSignal("sine");
  ASSERT_TRUE(single.has_value());
  EXPECT_EQ((*single)[1].waveform, Waveform::Silence);

  for (const char* bad :
       {"", "hum", "sine,abc", "sine,100,1.5", "sine,-3", "sine,1,0.5,9", "sine;square,x"}) {
    EXPECT_FALSE(ParseGeneratorSignal(bad).has_value()) << bad;
  }
}

TEST(WaveInGeneratorSignal, DefaultIsHalfScaleSineAndQuarterScaleSquare) {
  SignalSynthesiser synthesiser(DefaultGeneratorSignal(), 44100);
  std::vector<std::int16_t> samples(2 * 44100);
  synthesiser.Fill(samples.data(), 44100);
  std::int16_t leftMax = 0;
  int leftRisingCrossings = 0;
  int rightEdges = 0;
  for (std::size_t j = 1; j < 44100; ++j) {
    leftMax = std::max(leftMax, samples[2 * j]);
    if (samples[2 * (j - 1)] < 0 && samples[2 * j] >= 0) ++leftRisingCrossings;
    if (samples[2 * (j - 1) + 1] != samples[2 * j + 1]) ++rightEdges;
    EXPECT_EQ(std::abs(samples[2 * j + 1]), 8192);
  }
  EXPECT_NEAR(leftMax, 16384, 2);
  EXPECT_EQ(leftRisingCrossings, 999);  // 1 kHz; the thousandth crossing ends the second
  EXPECT_EQ(rightEdges, 2 * 440 - 1);   // 440 periods, the last edge at the end of the second
}

}  // namespace
