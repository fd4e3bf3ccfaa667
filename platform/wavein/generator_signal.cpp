#include "platform/wavein/generator_signal.h"

#include <charconv>
#include <cmath>
#include <numbers>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/ascii_text.h"

namespace {

constexpr double FullScale = 32767.0;

std::optional<Waveform> ParseWaveform(std::string_view name) {
  constexpr std::array<std::pair<std::string_view, Waveform>, 6> names{{
      {"sine", Waveform::Sine},
      {"square", Waveform::Square},
      {"triangle", Waveform::Triangle},
      {"sawtooth", Waveform::Sawtooth},
      {"noise", Waveform::Noise},
      {"silence", Waveform::Silence},
  }};
  for (const auto& [text, waveform] : names) {
    if (text == name) return waveform;
  }
  return std::nullopt;
}

// from_chars, unlike strtod, ignores the locale: under a decimal comma "0.25" stays a quarter.
std::optional<double> ParseNumber(std::string_view text) {
  text = TrimBlanks(text);
  if (text.starts_with('+')) text.remove_prefix(1);
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<GeneratorChannel> ParseChannel(std::string_view text) {
  std::vector<std::string_view> fields;
  while (true) {
    const auto comma = text.find(',');
    fields.push_back(TrimBlanks(text.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (fields.size() > 3) return std::nullopt;
  const auto waveform = ParseWaveform(fields[0]);
  if (!waveform) return std::nullopt;
  GeneratorChannel channel{*waveform, 1000.0, 0.5};
  if (fields.size() > 1) {
    const auto frequency = ParseNumber(fields[1]);
    if (!frequency || *frequency < 0.0 || *frequency > HighestGeneratorFrequencyHz) {
      return std::nullopt;
    }
    channel.frequencyHz = *frequency;
  }
  if (fields.size() > 2) {
    const auto amplitude = ParseNumber(fields[2]);
    if (!amplitude || *amplitude < 0.0 || *amplitude > 1.0) return std::nullopt;
    channel.amplitude = *amplitude;
  }
  return channel;
}

}  // namespace

GeneratorSignal DefaultGeneratorSignal() {
  return {GeneratorChannel{Waveform::Sine, 1000.0, 0.5},
          GeneratorChannel{Waveform::Square, 440.0, 0.25}};
}

std::optional<GeneratorSignal> ParseGeneratorSignal(std::string_view text) {
  const auto separator = text.find(';');
  const auto first = ParseChannel(text.substr(0, separator));
  if (!first) return std::nullopt;
  GeneratorSignal signal{*first, GeneratorChannel{}};
  if (separator != std::string_view::npos) {
    const auto second = ParseChannel(text.substr(separator + 1));
    if (!second) return std::nullopt;
    signal[1] = *second;
  }
  return signal;
}

SignalSynthesiser::SignalSynthesiser(const GeneratorSignal& signal, std::uint32_t sampleRate)
    : signal_(signal), sampleRate_(sampleRate) {}

void SignalSynthesiser::Fill(std::int16_t* interleaved, std::size_t frames) {
  for (std::size_t j = 0; j < frames; ++j, ++frame_) {
    interleaved[2 * j] = Sample(signal_[0]);
    interleaved[2 * j + 1] = Sample(signal_[1]);
  }
}

std::int16_t SignalSynthesiser::Sample(const GeneratorChannel& channel) {
  const double cycles = channel.frequencyHz * static_cast<double>(frame_) / sampleRate_;
  const double phase = cycles - std::floor(cycles);  // 0 <= phase < 1
  double value = 0.0;
  switch (channel.waveform) {
    case Waveform::Sine:
      value = std::sin(2.0 * std::numbers::pi * phase);
      break;
    case Waveform::Square:
      value = phase < 0.5 ? 1.0 : -1.0;
      break;
    case Waveform::Triangle:
      value = phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase;
      break;
    case Waveform::Sawtooth:
      value = 2.0 * phase - 1.0;
      break;
    case Waveform::Noise:
      noiseState_ ^= noiseState_ << 13U;
      noiseState_ ^= noiseState_ >> 17U;
      noiseState_ ^= noiseState_ << 5U;
      value = static_cast<double>(noiseState_) / 2147483647.5 - 1.0;
      break;
    case Waveform::Silence:
      break;
  }
  return static_cast<std::int16_t>(std::lround(value * channel.amplitude * FullScale));
}
