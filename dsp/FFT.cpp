#include "dsp/FFT.h"

#include <cmath>
#include <cstdint>

namespace {

using WorkArray = std::array<float, SpectrumLength>;

// Four decimals, not pi, and in extended precision like the angles formed from it: the spectra
// are defined by this value. Its phase error shows only as a leakage of about 0.1 from a
// full-scale tone into the other bins.
constexpr long double HalfTurn = 3.1416L;

std::uint32_t ReverseBits(std::uint32_t value, std::int32_t bits) {
  std::uint32_t reversed = 0;
  for (std::int32_t b = 0; b < bits; ++b) {
    reversed = (reversed << 1) | (value & 1U);
    value >>= 1;
  }
  return reversed;
}

// Position p (1-based) receives block element 1 + rev(p - 1); imaginary parts start at zero.
void LoadBitReversed(std::int32_t stages) {
  for (std::int32_t p = 1; p <= FftSize; ++p) {
    const std::uint32_t source = 1 + ReverseBits(static_cast<std::uint32_t>(p - 1), stages);
    FftRe1[p] = static_cast<float>(Channel1Block[source]);
    FftRe2[p] = static_cast<float>(Channel2Block[source]);
    FftIm1[p] = 0.0F;
    FftIm2[p] = 0.0F;
  }
}

// The products are formed in double, the results stored back in single precision.
void Butterfly(WorkArray& re, WorkArray& im, std::int32_t p, std::int32_t q, double wr, double wi) {
  const double tr = static_cast<double>(re[q]) * wr - static_cast<double>(im[q]) * wi;
  const double ti = static_cast<double>(im[q]) * wr + static_cast<double>(re[q]) * wi;
  re[q] = static_cast<float>(re[p] - tr);
  im[q] = static_cast<float>(im[p] - ti);
  re[p] = static_cast<float>(re[p] + tr);
  im[p] = static_cast<float>(im[p] + ti);
}

// Both channels share each twiddle, which advances by a rotation rather than by evaluating
// sine and cosine per butterfly.
void RunButterflyStages(std::int32_t stages) {
  std::int32_t step = 1;
  for (std::int32_t stage = 0; stage < stages; ++stage) {
    step *= 2;
    const std::int32_t half = step / 2;
    const long double theta = HalfTurn / half;
    // Sine and cosine in extended precision, rounded to 64 bits only then.
    const auto c = static_cast<double>(std::cos(theta));
    const auto s = -static_cast<double>(std::sin(theta));
    double wr = 1.0;
    double wi = 0.0;
    for (std::int32_t m = 1; m <= half; ++m) {
      for (std::int32_t p = m; p <= FftSize; p += step) {
        const std::int32_t q = p + half;
        Butterfly(FftRe1, FftIm1, p, q, wr, wi);
        Butterfly(FftRe2, FftIm2, p, q, wr, wi);
      }
      const double nextWr = wr * c - wi * s;
      wi = wi * c + wr * s;
      wr = nextWr;
    }
  }
}

// Shifts position k + 1 down to index k, so that index k holds bin k, scaled by 2 / FftSize.
void ScaleToBins(WorkArray& values, std::int32_t lastBin) {
  for (std::int32_t k = 0; k <= lastBin; ++k) {
    values[k] = (2.0F * values[k + 1]) / static_cast<float>(FftSize);
  }
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
  const std::int32_t stages =
      Round(std::log(static_cast<long double>(FftSize)) / std::log(2.0L) + 0.1L);

  LoadBitReversed(stages);
  RunButterflyStages(stages);

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
