// The generator's description parser on arbitrary text. A description it accepts stays within
// the documented ranges, and the synthesiser then plays it within full scale at both rates.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/wavein/generator_signal.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

constexpr double FullScale = 32767.0;
constexpr std::array<std::uint32_t, 2> CaptureRates = {22050, 44100};
constexpr std::size_t BufferFrames = 2205;  // a tenth of a second at the lower rate

void CheckRanges(const GeneratorChannel& channel) {
  Require(std::isfinite(channel.frequencyHz) && channel.frequencyHz >= 0.0 &&
              channel.frequencyHz <= HighestGeneratorFrequencyHz,
          "an accepted frequency lies in 0 to 22050 Hz");
  Require(std::isfinite(channel.amplitude) && channel.amplitude >= 0.0 && channel.amplitude <= 1.0,
          "an accepted amplitude lies in 0 to 1");
}

// Within full scale (never -32768, which has no positive partner) and within one step of the
// channel's own amplitude.
void CheckSamples(const std::vector<std::int16_t>& interleaved, const GeneratorSignal& signal) {
  for (std::size_t i = 0; i < interleaved.size(); ++i) {
    const int sample = interleaved[i];
    const double largest = std::round(signal[i % 2].amplitude * FullScale) + 1.0;
    Require(std::abs(sample) <= FullScale, "a sample lies within full scale");
    Require(std::abs(sample) <= largest, "a sample lies within its channel's amplitude");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto signal = ParseGeneratorSignal(text);
  if (!signal) return 0;
  for (const GeneratorChannel& channel : *signal) CheckRanges(channel);
  std::vector<std::int16_t> interleaved(2 * BufferFrames);
  for (const std::uint32_t rate : CaptureRates) {
    SignalSynthesiser synthesiser(*signal, rate);
    for (int buffer = 0; buffer < 3; ++buffer) {
      synthesiser.Fill(interleaved.data(), BufferFrames);
      CheckSamples(interleaved, *signal);
    }
  }
  return 0;
}
