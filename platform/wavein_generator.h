#pragma once
// The built-in signal generator: a capture device that needs no hardware. Its signal is set by
// CORVANE_GENERATOR as "<channel 1>;<channel 2>", each "shape[,frequency Hz[,amplitude]]" with
// shape sine, square, triangle, sawtooth, noise or silence and amplitude a fraction of full
// scale (0 to 1). Default: "sine,1000,0.5;square,440,0.25".

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

enum class Waveform { Sine, Square, Triangle, Sawtooth, Noise, Silence };

struct GeneratorChannel {
  Waveform waveform = Waveform::Silence;
  double frequencyHz = 0.0;
  double amplitude = 0.0;
};

using GeneratorSignal = std::array<GeneratorChannel, 2>;

GeneratorSignal DefaultGeneratorSignal();
// nullopt for text that does not follow the form above.
std::optional<GeneratorSignal> ParseGeneratorSignal(std::string_view text);

// Produces the signal frame by frame, as interleaved stereo samples; noise is a fixed
// pseudo-random sequence, so every run of the generator is the same.
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
