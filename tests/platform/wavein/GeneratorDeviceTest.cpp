// The generator device under CORVANE_GENERATOR: what it plays and what it says about a
// description it cannot use. The description itself is in GeneratorSignalTest.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/wavein/generator_signal.h"
#include "platform/wavein/scripted_device.h"
#include "tests/support/DecimalCommaLocale.h"
#include "tests/support/WaveInFixtures.h"

namespace {

class WaveInGeneratorTest : public testing::Test {
 protected:
  static constexpr DWORD kRate = 44100;
  static constexpr DWORD kMilliseconds = 20;

  void SetUp() override {
    ClearScriptedWaveIns();
    environment_.Set("CORVANE_NO_ALSA", "1");
    environment_.Unset("CORVANE_NO_GENERATOR");
    environment_.Unset("CORVANE_INPUT_FILE");
  }

  // Lists the generator under description; what it wrote on standard error while listed.
  std::string UseDescription(const std::string& description) {
    environment_.Set("CORVANE_GENERATOR", description);
    testing::internal::CaptureStderr();
    const UINT count = waveInGetNumDevs();
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(count, 1U);
    return said;
  }

  // The first frames the generator gives, compared with what signal should give.
  static void ExpectPlays(const GeneratorSignal& signal) {
    TestCapture capture({BufferBytesFor(kRate, kMilliseconds)});
    ASSERT_EQ(capture.Open(0, kRate), MMSYSERR_NOERROR);
    ASSERT_EQ(capture.Queue(0), MMSYSERR_NOERROR);
    ASSERT_EQ(capture.Start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(capture.WaitFull(0));
    const std::size_t frames = kRate * kMilliseconds / 1000;
    std::vector<std::int16_t> expected(2 * frames);
    SignalSynthesiser(signal, kRate).Fill(expected.data(), frames);
    EXPECT_EQ(FirstDifference(capture.Recorded({0}), expected), -1);
  }

  ScopedEnvironment environment_;
};

TEST_F(WaveInGeneratorTest, AnUnusableDescriptionSaysSoInOneLineAndPlaysTheDefault) {
  for (const char* description : {"hum", "sine,1e308", "sine,30000;square"}) {
    SCOPED_TRACE(description);
    const std::string said = UseDescription(description);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find(std::string("\"") + description + "\""), std::string::npos) << said;
    EXPECT_NE(said.find("using the default signal"), std::string::npos) << said;
    ExpectPlays(DefaultGeneratorSignal());
  }
}

TEST_F(WaveInGeneratorTest, ADescriptionWithDecimalsWorksUnderADecimalCommaLocale) {
  const DecimalCommaLocale locale;
  if (!locale.Available()) GTEST_SKIP() << DecimalCommaLocale::MissingReason();
  EXPECT_EQ(UseDescription("sine,1000,0.25;square,440,0.25"), "");
  ExpectPlays({GeneratorChannel{Waveform::Sine, 1000.0, 0.25},
               GeneratorChannel{Waveform::Square, 440.0, 0.25}});
}

}  // namespace
