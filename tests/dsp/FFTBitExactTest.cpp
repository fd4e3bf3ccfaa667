// ComputeSpectrum against the one-butterfly-at-a-time reference, compared bit for bit.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <span>
#include <type_traits>

#include "app/Global.h"
#include "dsp/FFT.h"
#include "tests/dsp/FFTReference.h"

namespace {

using Block = std::array<std::int16_t, ChannelBlockLength>;
using Values = std::array<float, SpectrumLength>;

constexpr int kRandomBlocksPerRate = 150;
constexpr std::int16_t kMax = 32767;
constexpr std::int16_t kMin = -32768;

int SizeFor(std::uint32_t rate) { return rate == 44100 ? 4096 : 2048; }

// Bit for bit: +0 and -0 differ here, as they would for memcmp.
template <typename T>
testing::AssertionResult SameBytes(const char* name, std::span<const T> actual,
                                   std::span<const T> expected) {
  using Bits = std::conditional_t<sizeof(T) == sizeof(std::uint32_t), std::uint32_t, std::uint64_t>;
  static_assert(sizeof(Bits) == sizeof(T));
  if (actual.size() != expected.size()) {
    return testing::AssertionFailure()
           << name << " holds " << actual.size() << " values, the reference " << expected.size();
  }
  for (std::size_t k = 0; k < actual.size(); ++k) {
    if (std::bit_cast<Bits>(actual[k]) != std::bit_cast<Bits>(expected[k])) {
      return testing::AssertionFailure()
             << name << "[" << k << "] is " << actual[k] << ", the reference gives " << expected[k];
    }
  }
  return testing::AssertionSuccess();
}

testing::AssertionResult SameBytes(const char* name, const Values& actual, const Values& expected) {
  return SameBytes<float>(name, actual, expected);
}

class FFTBitExactTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetGlobals();
    ResetFftState();
  }

  void TearDown() override { ResetFftState(); }

  // With every instruction set the processor runs. Each run starts from whatever the globals
  // hold, so entries that neither writes are compared too.
  static void ExpectSameAsReference(std::uint32_t rate) {
    for (const FftInstructionSet set : SupportedFftInstructionSets()) {
      SCOPED_TRACE(testing::Message() << "instruction set " << static_cast<int>(set));
      FftReferenceState expected;
      expected.re1 = FftRe1;
      expected.im1 = FftIm1;
      expected.re2 = FftRe2;
      expected.im2 = FftIm2;
      expected.spectrum1 = Spectrum1;
      expected.spectrum2 = Spectrum2;
      RunReferenceTransform(Channel1Block, Channel2Block, SizeFor(rate), expected);
      SampleRate = rate;
      UseFftInstructionSet(set);
      ComputeSpectrum();
      EXPECT_TRUE(SameBytes("FftRe1", FftRe1, expected.re1));
      EXPECT_TRUE(SameBytes("FftIm1", FftIm1, expected.im1));
      EXPECT_TRUE(SameBytes("FftRe2", FftRe2, expected.re2));
      EXPECT_TRUE(SameBytes("FftIm2", FftIm2, expected.im2));
      EXPECT_TRUE(SameBytes("Spectrum1", Spectrum1, expected.spectrum1));
      EXPECT_TRUE(SameBytes("Spectrum2", Spectrum2, expected.spectrum2));
    }
  }
};

// Four kinds of block in turn: full-range noise, noise a few units high (many exact zeros and
// cancellations), tones over noise, and a few spikes on silence.
void FillRandomBlock(Block& block, int kind, std::mt19937& random) {
  std::uniform_int_distribution<int> fullRange(kMin, kMax);
  std::uniform_int_distribution<int> small(-4, 4);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  switch (kind % 4) {
    case 0:
      for (auto& sample : block) sample = static_cast<std::int16_t>(fullRange(random));
      break;
    case 1:
      for (auto& sample : block) sample = static_cast<std::int16_t>(small(random));
      break;
    case 2: {
      const double bin = 1.0 + 1000.0 * unit(random);
      const double phase = 2 * std::numbers::pi * unit(random);
      for (int n = 0; n < ChannelBlockLength; ++n) {
        const double tone = 30000.0 * std::cos(2 * std::numbers::pi * bin * n / 4096 + phase);
        block[n] = static_cast<std::int16_t>(std::lround(tone) + 100L * small(random));
      }
      break;
    }
    default:
      block.fill(0);
      for (int spike = 0; spike < 5; ++spike) {
        std::uniform_int_distribution<int> at(1, ChannelBlockLength - 1);
        block[at(random)] = static_cast<std::int16_t>(fullRange(random));
      }
      break;
  }
}

TEST_F(FFTBitExactTest, RandomBlocksAtBothSizes) {
  std::mt19937 random(20240611);
  // The rates alternate, so each run also starts from what a run at the other size left.
  for (int trial = 0; trial < 2 * kRandomBlocksPerRate; ++trial) {
    const std::uint32_t rate = trial % 2 == 0 ? 44100 : 22050;
    SCOPED_TRACE(testing::Message() << "trial " << trial << " at " << rate << " Hz");
    FillRandomBlock(Channel1Block, trial / 2, random);
    FillRandomBlock(Channel2Block, trial / 2 + 1, random);
    ExpectSameAsReference(rate);
    if (HasFailure()) return;
  }
}

// One ulp of a twiddle almost never shows in the single-precision results, so the tables are
// compared themselves: the angle formed in extended precision, and products rounded before they
// are summed (no fused multiply-add), give these bits and no others.
TEST_F(FFTBitExactTest, TwiddlesAreTheRecurrenceOfTheReference) {
  for (const std::uint32_t rate : {44100U, 22050U}) {
    SCOPED_TRACE(rate);
    FftReferenceState reference;
    RunReferenceTransform(Channel1Block, Channel2Block, SizeFor(rate), reference);
    const FftTables& tables = FftTablesFor(SizeFor(rate));
    EXPECT_TRUE(SameBytes<double>("wr", tables.wr, reference.twiddleRe));
    EXPECT_TRUE(SameBytes<double>("wi", tables.wi, reference.twiddleIm));
  }
}

// The comparisons above hold the transform to the reference, so the reference is held to the
// definition: the first step of every stage's recurrence is the cosine and sine of 3.1416 / half
// formed in extended precision. Angles formed in double differ at four of the stages.
TEST_F(FFTBitExactTest, TheReferenceFormsItsAnglesInExtendedPrecision) {
  // 3.1416 with the 64-bit significand of x86-64's long double; a wider one is rounded to it.
  const long double pi = std::ldexp(std::nearbyint(std::ldexp(3.1416L, 62)), -62);
  FftReferenceState reference;
  RunReferenceTransform(Channel1Block, Channel2Block, 4096, reference);
  for (std::size_t half = 2; half <= 2048; half *= 2) {
    SCOPED_TRACE(half);
    const long double theta = pi / static_cast<long double>(half);
    // Stage `half` starts at twiddle half - 1; its second twiddle is the step.
    EXPECT_EQ(std::bit_cast<std::uint64_t>(reference.twiddleRe[half]),
              std::bit_cast<std::uint64_t>(static_cast<double>(std::cos(theta))));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(reference.twiddleIm[half]),
              std::bit_cast<std::uint64_t>(-static_cast<double>(std::sin(theta))));
  }
}

TEST_F(FFTBitExactTest, EdgeBlocksAtBothSizes) {
  struct Case {
    const char* name;
    std::int16_t (*sample)(int n);
  };
  const std::array<Case, 7> cases{{
      {"zero", [](int) -> std::int16_t { return 0; }},
      {"positive full scale", [](int) { return kMax; }},
      {"negative full scale", [](int) { return kMin; }},
      {"alternating full scale", [](int n) { return n % 2 == 0 ? kMax : kMin; }},
      {"alternating one", [](int n) -> std::int16_t { return n % 2 == 0 ? 1 : -1; }},
      {"impulse", [](int n) -> std::int16_t { return n == 2 ? kMin : 0; }},
      {"full-scale square of 8", [](int n) { return (n / 4) % 2 == 0 ? kMax : kMin; }},
  }};
  for (const std::uint32_t rate : {44100U, 22050U}) {
    for (const Case& edge : cases) {
      SCOPED_TRACE(testing::Message() << edge.name << " at " << rate << " Hz");
      for (int n = 0; n < ChannelBlockLength; ++n) {
        Channel1Block[n] = edge.sample(n);
        Channel2Block[n] = edge.sample(n + 1);
      }
      ExpectSameAsReference(rate);
    }
  }
}

}  // namespace
