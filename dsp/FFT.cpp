#include "dsp/FFT.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

namespace {

using WorkArray = std::array<float, SpectrumLength>;
using Block = std::array<std::int16_t, ChannelBlockLength>;

// Four decimals, not pi, and in extended precision like the angles formed from it: the spectra
// are defined by this value. Its phase error shows only as a leakage of about 0.1 from a
// full-scale tone into the other bins. Written as 3.1416 rounded to a 64-bit significand, so
// that where long double is wider (arm64) the angles, and with them the twiddles, stay the same.
constexpr long double HalfTurn = 0xc.90ff972474538efp-2L;
static_assert(std::numeric_limits<long double>::digits != 64 || HalfTurn == 3.1416L);

// The first three stages pair positions within groups of eight. Position 8 g + k (0-based) loads
// block element 1 + rev(k) L + rev(g), with L = size / 8 and rev reversing 3 and log2(L) bits.
// So "row" k, the positions 8 g + k taken in the order of rev(g), is the block run from
// 1 + rev(k) L: the three stages run on rows, a vector of groups at a time with one twiddle per
// row, and the results are then spread out to their groups.
constexpr std::int32_t RowStages = 3;
constexpr std::int32_t RowCount = 1 << RowStages;
constexpr std::int32_t MaxFftSize = 4096;
constexpr std::array<std::int32_t, RowCount> ReversedRow{0, 4, 2, 6, 1, 5, 3, 7};

// The vectors of one instruction set: a register of doubles, and the floats that widen into it.
// Arithmetic on them is the scalar arithmetic lane by lane, so every set gives the same bits.
struct BaselineVectors {
  static constexpr std::int32_t Lanes = 2;
  using Doubles = double __attribute__((vector_size(16)));
  using Floats = float __attribute__((vector_size(8)));
};

struct Avx2Vectors {
  static constexpr std::int32_t Lanes = 4;
  using Doubles = double __attribute__((vector_size(32)));
  using Floats = float __attribute__((vector_size(16)));
};

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
  const std::int32_t rowLength = size / RowCount;
  tables.group.resize(static_cast<std::size_t>(rowLength));
  for (std::int32_t j = 0; j < rowLength; ++j) {
    tables.group[j] = static_cast<std::int32_t>(
        ReverseBits(static_cast<std::uint32_t>(j), tables.stages - RowStages));
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

// What follows is compiled into the transform of each instruction set, so it is always inlined,
// and vectors go by reference: a vector passed by value would need the set's calling convention.

template <class Vector, class Element>
[[gnu::always_inline]] inline void Load(Vector& to, const Element* from) {
  std::memcpy(&to, from, sizeof to);
}

template <class Vector, class Element>
[[gnu::always_inline]] inline void Store(Element* to, const Vector& from) {
  std::memcpy(to, &from, sizeof from);
}

// Element by element, which g++ makes one conversion from memory; converting a vector value, it
// takes each half on its own.
template <class V, std::size_t... Lane>
[[gnu::always_inline]] inline void Widen(typename V::Doubles& to, const float* from,
                                         std::index_sequence<Lane...> /*lanes*/) {
  to = typename V::Doubles{static_cast<double>(from[Lane])...};
}

template <class V>
[[gnu::always_inline]] inline void Widen(typename V::Doubles& to, const float* from) {
  Widen<V>(to, from, std::make_index_sequence<V::Lanes>{});
}

template <class V>
[[gnu::always_inline]] inline void Narrow(float* to, const typename V::Doubles& from) {
  Store(to, __builtin_convertvector(from, typename V::Floats));
}

template <class V>
[[gnu::always_inline]] inline void Broadcast(typename V::Doubles& to, double value) {
  for (std::int32_t lane = 0; lane < V::Lanes; ++lane) to[lane] = value;
}

// The butterfly of each lane's pair with that lane's twiddle (wr, wi), in double precision;
// the caller rounds the four results to single precision.
template <class V>
[[gnu::always_inline]] inline void Butterfly(typename V::Doubles& pRe, typename V::Doubles& pIm,
                                             typename V::Doubles& qRe, typename V::Doubles& qIm,
                                             const typename V::Doubles& wr,
                                             const typename V::Doubles& wi) {
  const typename V::Doubles tr = qRe * wr - qIm * wi;
  const typename V::Doubles ti = qIm * wr + qRe * wi;
  qRe = pRe - tr;
  qIm = pIm - ti;
  pRe = pRe + tr;
  pIm = pIm + ti;
}

// The butterflies of lanes' worth of pairs held in single precision, results stored back.
template <class V>
[[gnu::always_inline]] inline void ButterflyStored(float* pRe, float* pIm, float* qRe, float* qIm,
                                                   const typename V::Doubles& wr,
                                                   const typename V::Doubles& wi) {
  typename V::Doubles pr;
  typename V::Doubles pi;
  typename V::Doubles qr;
  typename V::Doubles qi;
  Widen<V>(pr, pRe);
  Widen<V>(pi, pIm);
  Widen<V>(qr, qRe);
  Widen<V>(qi, qIm);
  Butterfly<V>(pr, pi, qr, qi, wr, wi);
  Narrow<V>(qRe, qr);
  Narrow<V>(qIm, qi);
  Narrow<V>(pRe, pr);
  Narrow<V>(pIm, pi);
}

// Samples are loaded eight at a time, which converts well in every instruction set.
constexpr std::int32_t SampleLanes = 8;
using EightSamples = std::int16_t __attribute__((vector_size(16)));
using EightFloats = float __attribute__((vector_size(32)));

// The rows of the first stages: row k from index k L.
std::array<float, MaxFftSize> RowRe{};
std::array<float, MaxFftSize> RowIm{};

// The samples into the rows, then the first stage, on imaginary parts zero.
template <class V>
[[gnu::always_inline]] inline void RunFirstRowStage(const Block& block, const FftTables& tables) {
  using Doubles = typename V::Doubles;
  const std::ptrdiff_t rowLength = FftSize / RowCount;
  for (std::int32_t k = 0; k < RowCount; ++k) {
    const std::int16_t* const samples = block.data() + 1 + ReversedRow[k] * rowLength;
    float* const row = RowRe.data() + k * rowLength;
    for (std::int32_t j = 0; j < rowLength; j += SampleLanes) {
      EightSamples eight;
      Load(eight, samples + j);
      Store(row + j, __builtin_convertvector(eight, EightFloats));
    }
  }
  Doubles wr;
  Doubles wi;
  Broadcast<V>(wr, tables.wr[0]);
  Broadcast<V>(wi, tables.wi[0]);
  for (std::int32_t p = 0; p < FftSize; p += 2 * rowLength) {
    const std::int32_t q = p + rowLength;
    for (std::int32_t j = 0; j < rowLength; j += V::Lanes) {
      Doubles pr;
      Doubles qr;
      Widen<V>(pr, RowRe.data() + p + j);
      Widen<V>(qr, RowRe.data() + q + j);
      Doubles pi{};
      Doubles qi{};
      Butterfly<V>(pr, pi, qr, qi, wr, wi);
      Narrow<V>(RowRe.data() + p + j, pr);
      Narrow<V>(RowIm.data() + p + j, pi);
      Narrow<V>(RowRe.data() + q + j, qr);
      Narrow<V>(RowIm.data() + q + j, qi);
    }
  }
}

// A row stage after the first, `half` rows between the two of a pair: one twiddle a pair of rows.
template <class V>
[[gnu::always_inline]] inline void RunRowStage(std::int32_t half, const FftTables& tables) {
  const std::int32_t rowLength = FftSize / RowCount;
  for (std::int32_t k = 0; k < RowCount; ++k) {
    if ((k & half) != 0) continue;
    typename V::Doubles wr;
    typename V::Doubles wi;
    Broadcast<V>(wr, tables.wr[half - 1 + (k & (half - 1))]);
    Broadcast<V>(wi, tables.wi[half - 1 + (k & (half - 1))]);
    const std::int32_t p = k * rowLength;
    const std::int32_t q = p + half * rowLength;
    for (std::int32_t j = 0; j < rowLength; j += V::Lanes) {
      ButterflyStored<V>(RowRe.data() + p + j, RowIm.data() + p + j, RowRe.data() + q + j,
                         RowIm.data() + q + j, wr, wi);
    }
  }
}

// Four floats, a vector in every instruction set.
using FourFloats = float __attribute__((vector_size(16)));

// Rows r[0] to r[3] of four columns become columns c[0] to c[3] of four rows.
[[gnu::always_inline]] inline void Transpose(const std::array<FourFloats, 4>& r,
                                             std::array<FourFloats, 4>& c) {
  const FourFloats low01 = __builtin_shufflevector(r[0], r[1], 0, 4, 1, 5);
  const FourFloats high01 = __builtin_shufflevector(r[0], r[1], 2, 6, 3, 7);
  const FourFloats low23 = __builtin_shufflevector(r[2], r[3], 0, 4, 1, 5);
  const FourFloats high23 = __builtin_shufflevector(r[2], r[3], 2, 6, 3, 7);
  c[0] = __builtin_shufflevector(low01, low23, 0, 1, 4, 5);
  c[1] = __builtin_shufflevector(low01, low23, 2, 3, 6, 7);
  c[2] = __builtin_shufflevector(high01, high23, 0, 1, 4, 5);
  c[3] = __builtin_shufflevector(high01, high23, 2, 3, 6, 7);
}

// Each group's eight values from the rows to their positions, four groups at a time: lane j of
// rows 0 to 7 goes to positions 1 + 8 group[j] onwards.
[[gnu::always_inline]] inline void SpreadRows(const std::array<float, MaxFftSize>& rows,
                                              WorkArray& values, const FftTables& tables) {
  constexpr std::int32_t Quarter = 4;
  const std::ptrdiff_t rowLength = FftSize / RowCount;
  for (std::int32_t j = 0; j < rowLength; j += Quarter) {
    for (std::int32_t firstRow = 0; firstRow < RowCount; firstRow += Quarter) {
      std::array<FourFloats, Quarter> from{};
      std::array<FourFloats, Quarter> to{};
      for (std::int32_t k = 0; k < Quarter; ++k) {
        Load(from[k], rows.data() + (firstRow + k) * rowLength + j);
      }
      Transpose(from, to);
      for (std::int32_t lane = 0; lane < Quarter; ++lane) {
        const std::ptrdiff_t group = tables.group[j + lane];
        Store(values.data() + 1 + RowCount * group + firstRow, to[lane]);
      }
    }
  }
}

template <class V>
[[gnu::always_inline]] inline void RunRowStages(const Block& block, WorkArray& re, WorkArray& im,
                                                const FftTables& tables) {
  RunFirstRowStage<V>(block, tables);
  for (std::int32_t half = 2; half < RowCount; half *= 2) RunRowStage<V>(half, tables);
  SpreadRows(RowRe, re, tables);
  SpreadRows(RowIm, im, tables);
}

// The butterflies of one stage touch separate pairs, so taking them group by group rather than
// twiddle by twiddle, and one channel after the other, changes no value.
template <class V>
[[gnu::always_inline]] inline void RunLaterStages(WorkArray& re, WorkArray& im,
                                                  const FftTables& tables) {
  static_assert(V::Lanes <= RowCount, "a vector of pairs must lie within one group's half");
  float* const reAt1 = re.data() + 1;
  float* const imAt1 = im.data() + 1;
  for (std::int32_t half = RowCount; half < FftSize; half *= 2) {
    const double* const wr = tables.wr.data() + half - 1;
    const double* const wi = tables.wi.data() + half - 1;
    for (std::int32_t group = 0; group < FftSize; group += 2 * half) {
      for (std::int32_t m = 0; m < half; m += V::Lanes) {
        typename V::Doubles twr;
        typename V::Doubles twi;
        Load(twr, wr + m);
        Load(twi, wi + m);
        const std::int32_t p = group + m;
        ButterflyStored<V>(reAt1 + p, imAt1 + p, reAt1 + p + half, imAt1 + p + half, twr, twi);
      }
    }
  }
}

template <class V, std::size_t... Lane>
[[gnu::always_inline]] inline void SquareRoot(typename V::Doubles& x,
                                              std::index_sequence<Lane...> /*lanes*/) {
  x = typename V::Doubles{std::sqrt(x[Lane])...};
}

// Shifts position k + 1 down to index k, so that index k holds bin k scaled by 2 / FftSize, and
// stores the bin's magnitude.
template <class V>
[[gnu::always_inline]] inline void ScaleToBins(WorkArray& re, WorkArray& im,
                                               std::array<float, SpectrumLength>& spectrum,
                                               std::int32_t lastBin) {
  // A power of two: this one product rounds exactly as doubling and dividing by the size did.
  const float scale = 2.0F / static_cast<float>(FftSize);
  std::int32_t k = 0;
  for (; k + V::Lanes <= lastBin; k += V::Lanes) {
    typename V::Floats values;
    Load(values, re.data() + k + 1);
    Store(re.data() + k, values * scale);
    Load(values, im.data() + k + 1);
    Store(im.data() + k, values * scale);
    typename V::Doubles real;
    typename V::Doubles imaginary;
    Widen<V>(real, re.data() + k);
    Widen<V>(imaginary, im.data() + k);
    typename V::Doubles magnitude = imaginary * imaginary + real * real;
    SquareRoot<V>(magnitude, std::make_index_sequence<V::Lanes>{});
    Narrow<V>(spectrum.data() + k, magnitude);
  }
  // The Nyquist bin, one past a whole number of vectors.
  for (; k <= lastBin; ++k) {
    re[k] = re[k + 1] * scale;
    im[k] = im[k + 1] * scale;
    const double real = re[k];
    const double imaginary = im[k];
    spectrum[k] = static_cast<float>(std::sqrt(imaginary * imaginary + real * real));
  }
}

template <class V>
[[gnu::always_inline]] inline void Transform(const FftTables& tables) {
  RunRowStages<V>(Channel1Block, FftRe1, FftIm1, tables);
  RunRowStages<V>(Channel2Block, FftRe2, FftIm2, tables);
  RunLaterStages<V>(FftRe1, FftIm1, tables);
  RunLaterStages<V>(FftRe2, FftIm2, tables);

  // Every entry up to the Nyquist bin, not just up to FftTopBin: the traces read past
  // FftTopBin, and at 22050 Hz would otherwise show what a 44100 Hz run left there.
  const std::int32_t lastBin = FftSize / 2;
  ScaleToBins<V>(FftRe1, FftIm1, Spectrum1, lastBin);
  ScaleToBins<V>(FftRe2, FftIm2, Spectrum2, lastBin);
}

void TransformBaseline(const FftTables& tables) { Transform<BaselineVectors>(tables); }

#if defined(__x86_64__)
[[gnu::target("avx2")]] void TransformAvx2(const FftTables& tables) {
  Transform<Avx2Vectors>(tables);
}
#endif

FftInstructionSet BestFftInstructionSet() { return SupportedFftInstructionSets().back(); }

FftInstructionSet& ChosenFftInstructionSet() {
  static FftInstructionSet chosen = BestFftInstructionSet();
  return chosen;
}

}  // namespace

std::vector<FftInstructionSet> SupportedFftInstructionSets() {
  std::vector<FftInstructionSet> sets{FftInstructionSet::Baseline};
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) sets.push_back(FftInstructionSet::Avx2);
#endif
  return sets;
}

void UseFftInstructionSet(FftInstructionSet set) { ChosenFftInstructionSet() = set; }

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
#if defined(__x86_64__)
  if (ChosenFftInstructionSet() == FftInstructionSet::Avx2) {
    TransformAvx2(tables);
    return;
  }
#endif
  TransformBaseline(tables);
}

void ResetFftState() {
  FftSize = 0;
  FftTopBin = 0;
  FftRe1 = {};
  FftIm1 = {};
  FftRe2 = {};
  FftIm2 = {};
  ChosenFftInstructionSet() = BestFftInstructionSet();
}
