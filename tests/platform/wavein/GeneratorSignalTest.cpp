// The generator's description and synthesiser, linked without any device.
#include "platform/wavein/generator_signal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "tests/support/DecimalCommaLocale.h"

namespace {

TEST(GeneratorSignal, ParsesChannelsAndRejectsMalformedText) {
  const auto signal = ParseGeneratorSignal("triangle,250,0.75; noise");
  ASSERT_TRUE(signal.has_value());
  EXPECT_EQ((*signal)[0].waveform, Waveform::Triangle);
  EXPECT_DOUBLE_EQ((*signal)[0].frequencyHz, 250.0);
  EXPECT_DOUBLE_EQ((*signal)[0].amplitude, 0.75);
  EXPECT_EQ((*signal)[1].waveform, Waveform::Noise);

  const auto single = ParseGeneratorSignal("sine");
  ASSERT_TRUE(single.has_value());
  EXPECT_EQ((*single)[1].waveform, Waveform::Silence);

  const auto plusSigned = ParseGeneratorSignal("sine, +440 ,+.5");
  ASSERT_TRUE(plusSigned.has_value());
  EXPECT_DOUBLE_EQ((*plusSigned)[0].frequencyHz, 440.0);
  EXPECT_DOUBLE_EQ((*plusSigned)[0].amplitude, 0.5);

  for (const char* bad :
       {"", "hum", "sine,abc", "sine,100,1.5", "sine,-3", "sine,1,0.5,9", "sine;square,x",
        "sine,inf", "sine,nan", "sine,1e400", "sine,1 000", "sine,100,", "sine,++1"}) {
    EXPECT_FALSE(ParseGeneratorSignal(bad).has_value()) << bad;
  }
}

// Above half of the highest capture rate no sound card carries the tone, and a huge
// frequency made the phase NaN: a silent channel that looked like a working one.
TEST(GeneratorSignal, FrequenciesUpToHalfTheHighestRateOnly) {
  for (const char* good : {"sine,0", "sine,22050", "square,22050,1;sine,0.001"}) {
    EXPECT_TRUE(ParseGeneratorSignal(good).has_value()) << good;
  }
  for (const char* bad : {"sine,1e308", "sine,22050.001", "square,44100", "sine;sine,1e6"}) {
    EXPECT_FALSE(ParseGeneratorSignal(bad).has_value()) << bad;
  }
}

TEST(GeneratorSignal, NumbersReadTheSameUnderADecimalCommaLocale) {
  const DecimalCommaLocale locale;
  if (!locale.Available()) GTEST_SKIP() << DecimalCommaLocale::MissingReason();
  const auto signal = ParseGeneratorSignal("sine,1000,0.25;square,440,0.25");
  ASSERT_TRUE(signal.has_value());
  EXPECT_DOUBLE_EQ((*signal)[0].frequencyHz, 1000.0);
  EXPECT_DOUBLE_EQ((*signal)[0].amplitude, 0.25);
  EXPECT_DOUBLE_EQ((*signal)[1].frequencyHz, 440.0);
  EXPECT_DOUBLE_EQ((*signal)[1].amplitude, 0.25);
  const auto exponent = ParseGeneratorSignal("sawtooth,2.5e3,5e-1");
  ASSERT_TRUE(exponent.has_value());
  EXPECT_DOUBLE_EQ((*exponent)[0].frequencyHz, 2500.0);
  EXPECT_DOUBLE_EQ((*exponent)[0].amplitude, 0.5);
  // The comma separates fields, so it is never a decimal mark.
  EXPECT_FALSE(ParseGeneratorSignal("sine,1000,0,25").has_value());
}

TEST(GeneratorSignal, DefaultIsHalfScaleSineAndQuarterScaleSquare) {
  SignalSynthesiser synthesiser(DefaultGeneratorSignal(), 44100);
  std::vector<std::int16_t> samples(std::size_t{2} * 44100);
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
