#include "dsp/FFT.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace {

using WorkArray = std::array<float, SpectrumLength>;
using Block = std::array<std::int16_t, ChannelBlockLength>;

// Four decimals, not pi, and in extended precision like the angles formed from it: the spectra
// are defined by this value. Its phase error shows only as a leakage of about 0.1 from a
// full-scale tone into the other bins. Written as 3.1416 rounded to a 64-bit significand, so
// that where long double is wider (arm64) the angles, and with them the twiddles, stay the same.
constexpr long double HalfTurn = 0xc.90ff972474538efp-2L;
static_assert(std::numeric_limits<long double>::digits != 64 || HalfTurn == 3.1416L);

// Positions per group of the first pass, which runs the first two stages (groups of 2 and 4).
constexpr std::int32_t FirstPassWidth = 4;
constexpr std::int32_t FirstPassStages = 2;

// Butterflies per pass of a later stage: a whole number of vectors, so that the pass vectorises
// with no scalar remainder and no overlap test, even under the compiler's cheapest cost model.
constexpr std::int32_t ChunkPairs = 4;

std::uint32_t ReverseBits(std::uint32_t value, std::int32_t bits) {
  std::uint32_t reversed = 0;
  for (std::int32_t b = 0; b < bits; ++b) {
    reversed = (reversed << 1) | (value & 1U);
    value >>= 1;
  }
  return reversed;
}

FftTables MakeTables(std::int32_t size) {
  FftTables tables;
  tables.stages = Round(std::log(static_cast<long double>(size)) / std::log(2.0L) + 0.1L);
  tables.source.resize(static_cast<std::size_t>(size));
  for (std::int32_t p = 0; p < size; ++p) {
    tables.source[p] =
        1 + static_cast<std::int32_t>(ReverseBits(static_cast<std::uint32_t>(p), tables.stages));
  }
  tables.wr.resize(static_cast<std::size_t>(size) - 1);
  tables.wi.resize(static_cast<std::size_t>(size) - 1);
  for (std::int32_t stage = 0, half = 1; stage < tables.stages; ++stage, half *= 2) {
    const long double theta = HalfTurn / half;
    // Sine and cosine in extended precision, rounded to 64 bits only then.
    const auto c = static_cast<double>(std::cos(theta));
    const auto s = -static_cast<double>(std::sin(theta));
    double wr = 1.0;
    double wi = 0.0;
    for (std::int32_t m = 1; m <= half; ++m) {
      tables.wr[half + m - 2] = wr;
      tables.wi[half + m - 2] = wi;
      const double nextWr = wr * c - wi * s;
      wi = wi * c + wr * s;
      wr = nextWr;
    }
  }
  return tables;
}

// The butterfly of one pair with twiddle (wr, wi). The products are formed in double, the
// results stored back in single precision.
inline void Butterfly(float& pRe, float& pIm, float& qRe, float& qIm, double wr, double wi) {
  const double re = qRe;
  const double im = qIm;
  const double tr = re * wr - im * wi;
  const double ti = im * wr + re * wi;
  const double pr = pRe;
  const double pi = pIm;
  qRe = static_cast<float>(pr - tr);
  qIm = static_cast<float>(pi - ti);
  pRe = static_cast<float>(pr + tr);
  pIm = static_cast<float>(pi + ti);
}

// Position p (1-based) receives block element 1 + rev(p - 1), imaginary part zero. The groups
// of the first two stages lie within four positions, so each four go through both stages in
// registers on their way in, with the same roundings as in the arrays.
void LoadThroughFirstStages(const Block& block, WorkArray& re, WorkArray& im,
                            const FftTables& tables) {
  const double* const wr = tables.wr.data();
  const double* const wi = tables.wi.data();
  for (std::int32_t p = 1; p <= FftSize; p += FirstPassWidth) {
    std::array<float, FirstPassWidth> r{};
    std::array<float, FirstPassWidth> i{};
    for (std::int32_t k = 0; k < FirstPassWidth; ++k) {
      r[k] = static_cast<float>(block[tables.source[p - 1 + k]]);
    }
    // The first stage's one twiddle is at index 0, the second stage's two at 1 and 2.
    Butterfly(r[0], i[0], r[1], i[1], wr[0], wi[0]);
    Butterfly(r[2], i[2], r[3], i[3], wr[0], wi[0]);
    Butterfly(r[0], i[0], r[2], i[2], wr[1], wi[1]);
    Butterfly(r[1], i[1], r[3], i[3], wr[2], wi[2]);
    for (std::int32_t k = 0; k < FirstPassWidth; ++k) {
      re[p + k] = r[k];
      im[p + k] = i[k];
    }
  }
}

// The `count` pairs (a multiple of the chunk) of the runs from p and from q = p + half, twiddle j
// for pair j. Kept out of line: the restrict-qualified parameters, which inlining loses, let even
// the cheapest cost model vectorise it with no overlap test.
[[gnu::noinline]] void RunPairs(float* __restrict pRe, float* __restrict pIm, float* __restrict qRe,
                                float* __restrict qIm, const double* __restrict wr,
                                const double* __restrict wi, std::int32_t count) {
  for (std::int32_t chunk = 0; chunk < count; chunk += ChunkPairs) {
    for (std::int32_t j = chunk; j < chunk + ChunkPairs; ++j) {
      Butterfly(pRe[j], pIm[j], qRe[j], qIm[j], wr[j], wi[j]);
    }
  }
}

// The butterflies of one stage touch separate pairs, so taking them group by group rather than
// twiddle by twiddle, and one channel after the other, changes no value.
void RunLaterStages(WorkArray& re, WorkArray& im, const FftTables& tables) {
  float* const reAt1 = re.data() + 1;
  float* const imAt1 = im.data() + 1;
  std::int32_t half = FirstPassWidth;
  for (std::int32_t stage = FirstPassStages; stage < tables.stages; ++stage, half *= 2) {
    const double* const wr = tables.wr.data() + half - 1;
    const double* const wi = tables.wi.data() + half - 1;
    for (std::int32_t group = 0; group < FftSize; group += 2 * half) {
      RunPairs(reAt1 + group, imAt1 + group, reAt1 + group + half, imAt1 + group + half, wr, wi,
               half);
    }
  }
}

// Shifts position k + 1 down to index k, so that index k holds bin k, scaled by 2 / FftSize.
void ScaleToBins(WorkArray& values, std::int32_t lastBin) {
  // A power of two: this one product rounds exactly as doubling and dividing by the size did.
  const float scale = 2.0F / static_cast<float>(FftSize);
  for (std::int32_t k = 0; k <= lastBin; ++k) values[k] = values[k + 1] * scale;
}

void StoreMagnitudes(const WorkArray& re, const WorkArray& im,
                     std::array<float, SpectrumLength>& spectrum, std::int32_t lastBin) {
  for (std::int32_t k = 0; k <= lastBin; ++k) {
    const double real = re[k];
    const double imaginary = im[k];
    spectrum[k] = static_cast<float>(std::sqrt(imaginary * imaginary + real * real));
  }
}

}  // namespace

const FftTables& FftTablesFor(std::int32_t size) {
  if (size == 2048) {
    static const FftTables small = MakeTables(2048);
    return small;
  }
  static const FftTables large = MakeTables(4096);
  return large;
}

void ComputeSpectrum() {
  if (SampleRate == 22050) {
    FftSize = 2048;
    FftTopBin = 928;
  } else if (SampleRate == 44100) {
    FftSize = 4096;
    FftTopBin = 1857;
  } else {
    return;
  }
  const FftTables& tables = FftTablesFor(FftSize);

  LoadThroughFirstStages(Channel1Block, FftRe1, FftIm1, tables);
  LoadThroughFirstStages(Channel2Block, FftRe2, FftIm2, tables);
  RunLaterStages(FftRe1, FftIm1, tables);
  RunLaterStages(FftRe2, FftIm2, tables);

  // Every entry up to the Nyquist bin, not just up to FftTopBin: the traces read past
  // FftTopBin, and at 22050 Hz would otherwise show what a 44100 Hz run left there.
  const std::int32_t lastBin = FftSize / 2;
  for (WorkArray* values : {&FftRe1, &FftIm1, &FftRe2, &FftIm2}) ScaleToBins(*values, lastBin);
  StoreMagnitudes(FftRe1, FftIm1, Spectrum1, lastBin);
  StoreMagnitudes(FftRe2, FftIm2, Spectrum2, lastBin);
}

void ResetFftState() {
  FftSize = 0;
  FftTopBin = 0;
  FftRe1 = {};
  FftIm1 = {};
  FftRe2 = {};
  FftIm2 = {};
}
