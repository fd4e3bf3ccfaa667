#pragma once
// The signal generator's description and the synthesiser that plays it: plain C++ with no
// device behind it, so that tests and fuzzers link it alone.
//
// A description (CORVANE_GENERATOR) is "<channel 1>;<channel 2>", each
// "shape[,frequency Hz[,amplitude]]" with shape sine, square, triangle, sawtooth, noise or
// silence, frequency 0 to HighestGeneratorFrequencyHz and amplitude a fraction of full scale
// (0 to 1). Numbers are read the same under every locale, with a full stop as decimal mark.
// Default: "sine,1000,0.5;square,440,0.25".

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// Half of 44100 Hz, the highest rate the program captures at: no sound card carries more.
constexpr double HighestGeneratorFrequencyHz = 22050.0;

enum class Waveform { Sine, Square, Triangle, Sawtooth, Noise, Silence };

struct GeneratorChannel {
  Waveform waveform = Waveform::Silence;
  double frequencyHz = 0.0;
  double amplitude = 0.0;
};

using GeneratorSignal = std::array<GeneratorChannel, 2>;

GeneratorSignal DefaultGeneratorSignal();
// nullopt for text that does not follow the form above, numbers out of range included. A
// channel that gives its shape only plays at 1000 Hz and half scale; a missing second
// channel is silent.
std::optional<GeneratorSignal> ParseGeneratorSignal(std::string_view text);

// Produces the signal frame by frame, as interleaved stereo samples; noise is a fixed
// pseudo-random sequence, so every run of the generator is the same. sampleRate must not be 0.
// One thread at a time.
class SignalSynthesiser {
 public:
  SignalSynthesiser(const GeneratorSignal& signal, std::uint32_t sampleRate);
  void Fill(std::int16_t* interleaved, std::size_t frames);

 private:
  std::int16_t Sample(const GeneratorChannel& channel);
  GeneratorSignal signal_;
  std::uint32_t sampleRate_;
  std::uint64_t frame_ = 0;
  std::uint32_t noiseState_ = 0x2545F491U;
};
