#include "tests/dsp/FFTReference.h"

#include <cmath>

namespace {

using WorkArray = std::array<float, SpectrumLength>;

std::uint32_t ReverseBits(std::uint32_t value, std::int32_t bits) {
  std::uint32_t reversed = 0;
  for (std::int32_t b = 0; b < bits; ++b) {
    reversed = (reversed << 1) | (value & 1U);
    value >>= 1;
  }
  return reversed;
}

void Butterfly(WorkArray& re, WorkArray& im, std::int32_t p, std::int32_t q, double wr, double wi) {
  const double tr = static_cast<double>(re[q]) * wr - static_cast<double>(im[q]) * wi;
  const double ti = static_cast<double>(im[q]) * wr + static_cast<double>(re[q]) * wi;
  re[q] = static_cast<float>(re[p] - tr);
  im[q] = static_cast<float>(im[p] - ti);
  re[p] = static_cast<float>(re[p] + tr);
  im[p] = static_cast<float>(im[p] + ti);
}

}  // namespace

void RunReferenceTransform(const std::array<std::int16_t, ChannelBlockLength>& block1,
                           const std::array<std::int16_t, ChannelBlockLength>& block2,
                           std::int32_t size, FftReferenceState& state) {
  const std::int32_t stages =
      Round(std::log(static_cast<long double>(size)) / std::log(2.0L) + 0.1L);

  for (std::int32_t p = 1; p <= size; ++p) {
    const std::uint32_t source = 1 + ReverseBits(static_cast<std::uint32_t>(p - 1), stages);
    state.re1[p] = static_cast<float>(block1[source]);
    state.re2[p] = static_cast<float>(block2[source]);
    state.im1[p] = 0.0F;
    state.im2[p] = 0.0F;
  }

  std::int32_t step = 1;
  for (std::int32_t stage = 0; stage < stages; ++stage) {
    step *= 2;
    const std::int32_t half = step / 2;
    // 3.1416 rounded to a 64-bit significand, as on x86-64, wherever long double is wider.
    const long double theta = 0xc.90ff972474538efp-2L / half;
    const auto c = static_cast<double>(std::cos(theta));
    const auto s = -static_cast<double>(std::sin(theta));
    double wr = 1.0;
    double wi = 0.0;
    for (std::int32_t m = 1; m <= half; ++m) {
      state.twiddleRe.push_back(wr);
      state.twiddleIm.push_back(wi);
      for (std::int32_t p = m; p <= size; p += step) {
        Butterfly(state.re1, state.im1, p, p + half, wr, wi);
        Butterfly(state.re2, state.im2, p, p + half, wr, wi);
      }
      const double nextWr = wr * c - wi * s;
      wi = wi * c + wr * s;
      wr = nextWr;
    }
  }

  // Up to the Nyquist bin, as ComputeSpectrum does.
  const std::int32_t lastBin = size / 2;
  for (std::int32_t k = 0; k <= lastBin; ++k) {
    for (WorkArray* values : {&state.re1, &state.im1, &state.re2, &state.im2}) {
      (*values)[k] = (2.0F * (*values)[k + 1]) / static_cast<float>(size);
    }
  }
  for (std::int32_t k = 0; k <= lastBin; ++k) {
    const double re1 = state.re1[k];
    const double im1 = state.im1[k];
    const double re2 = state.re2[k];
    const double im2 = state.im2[k];
    state.spectrum1[k] = static_cast<float>(std::sqrt(im1 * im1 + re1 * re1));
    state.spectrum2[k] = static_cast<float>(std::sqrt(im2 * im2 + re2 * re2));
  }
}
