#pragma once
// The transform written out one butterfly at a time, in the order its definition gives: the
// yardstick that the optimised ComputeSpectrum must match byte for byte.

#include <array>
#include <cstdint>
#include <vector>

#include "app/Global.h"

struct FftReferenceState {
  std::array<float, SpectrumLength> re1{};
  std::array<float, SpectrumLength> im1{};
  std::array<float, SpectrumLength> re2{};
  std::array<float, SpectrumLength> im2{};
  std::array<float, SpectrumLength> spectrum1{};
  std::array<float, SpectrumLength> spectrum2{};
  // Every twiddle the butterflies used, stage by stage, in the order the recurrence gave them.
  std::vector<double> twiddleRe;
  std::vector<double> twiddleIm;
};

// Does to `state` what ComputeSpectrum does to the work arrays and spectra, for `size` (2048 or
// 4096) points of elements 1 to size of the two blocks. Entries it does not write keep their
// values, so a state copied from the globals before a run compares whole with them after it.
void RunReferenceTransform(const std::array<std::int16_t, ChannelBlockLength>& block1,
                           const std::array<std::int16_t, ChannelBlockLength>& block2,
                           std::int32_t size, FftReferenceState& state);
