#pragma once
// Magnitude spectra of both channel blocks by a radix-2 decimation-in-time transform.
// User-interface thread only.

#include <array>
#include <cstdint>
#include <vector>

#include "app/Global.h"

// The transform's own state: nothing outside the analysis reads it, so it lives here rather
// than with the program-wide state the other parts share.
// Points per channel: 2048 at 22050 Hz, 4096 at 44100 Hz; 0 before the first analysis.
inline std::int32_t FftSize = 0;
// The last bin below the top of the frequency span: 928 at 22050 Hz, 1857 at 44100 Hz.
inline std::int32_t FftTopBin = 0;
// Work arrays of the transform. While it runs, position p holds bin p - 1 (positions 1 to
// FftSize); afterwards index k holds bin k scaled by 2 / FftSize, for k = 0 to FftSize / 2.
inline std::array<float, SpectrumLength> FftRe1{};
inline std::array<float, SpectrumLength> FftIm1{};
inline std::array<float, SpectrumLength> FftRe2{};
inline std::array<float, SpectrumLength> FftIm2{};

// Reads SampleRate and elements 1 to FftSize of Channel1Block and Channel2Block (element 0 and
// those above FftSize play no part; the blocks are not changed). Writes FftSize, FftTopBin, the
// work arrays and entries 0 to FftSize / 2 of Spectrum1 and Spectrum2: the linear magnitude of
// bin k, in sample units, with no window and every bin (bin 0 too) scaled by 2 / FftSize, so a
// tone of amplitude A on a bin reads A. Entries above FftSize / 2 are left alone. At any rate
// other than 22050 or 44100 Hz nothing at all is changed.
void ComputeSpectrum();

// What a transform size needs besides the data.
struct FftTables {
  std::int32_t stages = 0;
  // The group of eight positions, from 1 + 8 * group[j], that column j of the rows of the first
  // three stages holds: j with its bits reversed.
  std::vector<std::int32_t> group;
  // Twiddle m (1 to half) of the stage with `half` butterflies per group, at index half + m - 2:
  // the values that the stage's rotation recurrence gives, in the order it gives them.
  std::vector<double> wr;
  std::vector<double> wi;
};

// The tables for `size` 2048 or 4096, made on first use and kept for the rest of the run.
const FftTables& FftTablesFor(std::int32_t size);

// The instruction sets the transform has code for, all giving the same bits: Baseline, what
// every processor of the architecture has (SSE2 on x86-64), and Avx2 where the processor has it.
enum class FftInstructionSet { Baseline, Avx2 };

// Those this processor runs, the baseline first; ComputeSpectrum uses the last.
std::vector<FftInstructionSet> SupportedFftInstructionSets();

// Makes ComputeSpectrum use `set`, one of SupportedFftInstructionSets() (tests and benchmarks).
void UseFftInstructionSet(FftInstructionSet set);

// Puts FftSize, FftTopBin and the work arrays back to zero and the instruction set back to the
// best supported (tests only).
void ResetFftState();
