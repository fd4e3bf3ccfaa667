#include "dsp/FFT.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>
#include <numbers>
#include <vector>

#include "app/Global.h"

namespace {

using Block = std::array<std::int16_t, ChannelBlockLength>;
using Spectrum = std::array<float, SpectrumLength>;

constexpr double kFullScale = 32767.0;
// The transform departs from an exact one by the phase error of its angle constant: about 0.11
// in the worst bin for a full-scale tone, and up to 0.35 in the complex value of the tone's
// own bin. A wrong twiddle or ordering is off by thousands.
constexpr double kMagnitudeTolerance = 0.15;
constexpr double kComplexTolerance = 0.5;

int SizeFor(std::uint32_t rate) { return rate == 44100 ? 4096 : 2048; }

// Fills elements 1 to size of both blocks from f(n), n counted from element 1.
void FillBlock(Block& block, int size, const std::function<double(int)>& f) {
  for (int n = 0; n < size; ++n) block[1 + n] = static_cast<std::int16_t>(std::lround(f(n)));
}

std::function<double(int)> Cosine(double amplitude, double bin, int size) {
  return [=](int n) { return amplitude * std::cos(2 * std::numbers::pi * bin * n / size); };
}

// Bins 0 to size / 2 of the exact transform of elements 1 to size, scaled by 2 / size.
std::vector<std::complex<double>> NaiveDft(const Block& block, int size) {
  std::vector<std::complex<double>> turn(size);
  for (int j = 0; j < size; ++j) turn[j] = std::polar(1.0, -2 * std::numbers::pi * j / size);
  std::vector<std::complex<double>> bins(size / 2 + 1);
  for (int k = 0; k <= size / 2; ++k) {
    std::complex<double> sum;
    for (int n = 0; n < size; ++n) sum += static_cast<double>(block[1 + n]) * turn[(k * n) % size];
    bins[k] = sum * (2.0 / size);
  }
  return bins;
}

void ExpectMatchesDft(const Block& block, int size, const std::array<float, SpectrumLength>& re,
                      const std::array<float, SpectrumLength>& im, const Spectrum& spectrum) {
  const std::vector<std::complex<double>> exact = NaiveDft(block, size);
  for (int k = 0; k <= size / 2; ++k) {
    ASSERT_NEAR(re[k], exact[k].real(), kComplexTolerance) << "bin " << k;
    ASSERT_NEAR(im[k], exact[k].imag(), kComplexTolerance) << "bin " << k;
    ASSERT_NEAR(spectrum[k], std::abs(exact[k]), kMagnitudeTolerance) << "bin " << k;
  }
}

class FFTTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetGlobals();
    ResetFftState();
  }
};

TEST_F(FFTTest, AllZeroBlockGivesZeroSpectra) {
  for (const std::uint32_t rate : {22050U, 44100U}) {
    SCOPED_TRACE(rate);
    Spectrum1.fill(5.0F);
    Spectrum2.fill(5.0F);
    SampleRate = rate;
    ComputeSpectrum();
    for (int k = 0; k <= SizeFor(rate) / 2; ++k) {
      ASSERT_EQ(Spectrum1[k], 0.0F) << k;
      ASSERT_EQ(Spectrum2[k], 0.0F) << k;
    }
  }
}

TEST_F(FFTTest, ConstantBlockGivesTwiceItsLevelInBinZeroOnly) {
  SampleRate = 44100;
  Channel1Block.fill(100);
  Channel2Block.fill(-300);
  ComputeSpectrum();
  EXPECT_FLOAT_EQ(Spectrum1[0], 200.0F);
  EXPECT_FLOAT_EQ(Spectrum2[0], 600.0F);
  for (int k = 1; k <= 2048; ++k) {
    ASSERT_LT(Spectrum1[k], 1e-3F) << k;
    ASSERT_LT(Spectrum2[k], 1e-3F) << k;
  }
}

TEST_F(FFTTest, FullScaleCosineOnABinLandsThereAlone) {
  SampleRate = 44100;
  FillBlock(Channel1Block, 4096, Cosine(kFullScale, 100, 4096));
  FillBlock(Channel2Block, 4096, Cosine(1000, 37, 4096));
  ComputeSpectrum();
  EXPECT_NEAR(Spectrum1[100], kFullScale, 0.5);
  EXPECT_NEAR(Spectrum2[37], 1000.0, 0.05);
  // The angle constant 3.1416 leaves this much in the tone's imaginary part; exact pi leaves 0.
  EXPECT_NEAR(FftIm1[100], -0.355, 0.1);
  for (int k = 0; k <= 2048; ++k) {
    if (k != 100) {
      ASSERT_LT(Spectrum1[k], kMagnitudeTolerance) << k;
    }
    if (k != 37) {
      ASSERT_LT(Spectrum2[k], kMagnitudeTolerance) << k;
    }
  }
}

TEST_F(FFTTest, CosineHalfwayBetweenBinsSplitsUnevenlyIntoItsNeighbours) {
  // Unwindowed, and in phase with element 1 rather than centred: the upper bin gets more.
  SampleRate = 44100;
  FillBlock(Channel1Block, 4096, Cosine(kFullScale, 100.5, 4096));
  ComputeSpectrum();
  EXPECT_NEAR(Spectrum1[100], 20810.0, 5.0);
  EXPECT_NEAR(Spectrum1[101], 20910.0, 5.0);
  ExpectMatchesDft(Channel1Block, 4096, FftRe1, FftIm1, Spectrum1);
}

TEST_F(FFTTest, MatchesAnExactTransformAtBothRates) {
  for (const std::uint32_t rate : {22050U, 44100U}) {
    SCOPED_TRACE(rate);
    const int size = SizeFor(rate);
    std::uint32_t state = 12345;
    const auto noise = [&state](int) {
      state = state * 1664525U + 1013904223U;
      return static_cast<double>(static_cast<std::int32_t>(state) >> 18);
    };
    FillBlock(Channel1Block, size, [size](int n) {
      return 700.0 + 9000.0 * std::sin(2 * std::numbers::pi * 3.3 * n / size) +
             6000.0 * std::cos(2 * std::numbers::pi * 250.75 * n / size + 0.4) +
             3000.0 * std::sin(2 * std::numbers::pi * (0.5 * size - 17) * n / size);
    });
    FillBlock(Channel2Block, size, noise);
    SampleRate = rate;
    ComputeSpectrum();
    ExpectMatchesDft(Channel1Block, size, FftRe1, FftIm1, Spectrum1);
    ExpectMatchesDft(Channel2Block, size, FftRe2, FftIm2, Spectrum2);
  }
}

TEST_F(FFTTest, ElementZeroAndElementsAboveTheSizeHaveNoEffect) {
  for (const std::uint32_t rate : {22050U, 44100U}) {
    SCOPED_TRACE(rate);
    const int size = SizeFor(rate);
    SampleRate = rate;
    FillBlock(Channel1Block, size, Cosine(5000, 12.5, size));
    FillBlock(Channel2Block, size, Cosine(7000, 3, size));
    Channel1Block[0] = Channel2Block[0] = 0;
    for (int i = size + 1; i < ChannelBlockLength; ++i) Channel1Block[i] = Channel2Block[i] = 0;
    ComputeSpectrum();
    const Spectrum before1 = Spectrum1;
    const Spectrum before2 = Spectrum2;
    Channel1Block[0] = Channel2Block[0] = -32768;
    for (int i = size + 1; i < ChannelBlockLength; ++i) {
      Channel1Block[i] = Channel2Block[i] = static_cast<std::int16_t>(i * 37);
    }
    ComputeSpectrum();
    EXPECT_EQ(Spectrum1, before1);
    EXPECT_EQ(Spectrum2, before2);
  }
}

TEST_F(FFTTest, LeavesTheBlocksUnchanged) {
  SampleRate = 44100;
  for (int i = 0; i < ChannelBlockLength; ++i) {
    Channel1Block[i] = static_cast<std::int16_t>(i * 7919);
    Channel2Block[i] = static_cast<std::int16_t>(-i * 104729);
  }
  const Block block1 = Channel1Block;
  const Block block2 = Channel2Block;
  ComputeSpectrum();
  EXPECT_EQ(Channel1Block, block1);
  EXPECT_EQ(Channel2Block, block2);
}

TEST_F(FFTTest, RunAt22050AfterOneAt44100LeavesNoStaleEntryForTheTraces) {
  SampleRate = 44100;
  for (int i = 0; i < ChannelBlockLength; ++i) {
    Channel1Block[i] = static_cast<std::int16_t>(i * 7919);
    Channel2Block[i] = static_cast<std::int16_t>(i * 104729);
  }
  ComputeSpectrum();
  Channel1Block.fill(0);
  Channel2Block.fill(0);
  SampleRate = 22050;
  ComputeSpectrum();
  EXPECT_EQ(FftSize, 2048);
  EXPECT_EQ(FftTopBin, 928);
  // The traces read up to entry 1022 at 22050 Hz; everything to the Nyquist bin is fresh.
  for (int k = 0; k <= 1024; ++k) {
    ASSERT_EQ(Spectrum1[k], 0.0F) << k;
    ASSERT_EQ(Spectrum2[k], 0.0F) << k;
  }
}

TEST_F(FFTTest, UnknownRateChangesNothing) {
  SampleRate = 44100;
  FillBlock(Channel1Block, 4096, Cosine(5000, 40, 4096));
  FillBlock(Channel2Block, 4096, Cosine(5000, 80, 4096));
  ComputeSpectrum();
  const auto re1 = FftRe1;
  const auto im2 = FftIm2;
  const Spectrum spectrum1 = Spectrum1;
  const Spectrum spectrum2 = Spectrum2;
  Channel1Block.fill(1000);
  Channel2Block.fill(-1000);
  for (const std::uint32_t rate : {0U, 48000U, 11025U}) {
    SCOPED_TRACE(rate);
    SampleRate = rate;
    ComputeSpectrum();
    EXPECT_EQ(FftSize, 4096);
    EXPECT_EQ(FftTopBin, 1857);
    EXPECT_EQ(FftRe1, re1);
    EXPECT_EQ(FftIm2, im2);
    EXPECT_EQ(Spectrum1, spectrum1);
    EXPECT_EQ(Spectrum2, spectrum2);
  }
}

}  // namespace
