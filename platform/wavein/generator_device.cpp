// The signal generator device: plays a described signal in real time.
#include <iostream>
#include <memory>
#include <string>

#include "platform/wavein/device.h"
#include "platform/wavein/generator_device.h"
#include "platform/wavein/generator_signal.h"
#include "platform/wavein/paced_stream.h"

namespace {

class GeneratorStream final : public PacedWaveInStream {
 public:
  GeneratorStream(const GeneratorSignal& signal, DWORD sampleRate, WaveBufferQueue& queue)
      : PacedWaveInStream(sampleRate, queue), synthesiser_(signal, sampleRate) {
    StartThread();
  }
  ~GeneratorStream() override { StopThread(); }

 private:
  std::size_t Produce(std::int16_t* interleaved, std::size_t frames) override {
    synthesiser_.Fill(interleaved, frames);
    return frames;
  }

  SignalSynthesiser synthesiser_;  // device thread only
};

class GeneratorDevice final : public WaveInDevice {
 public:
  explicit GeneratorDevice(const GeneratorSignal& signal) : signal_(signal) {
    SetCapsName(caps_, "Signal Generator");
    caps_.dwFormats = 0xFFF;  // every standard rate, channel count and sample width
    caps_.wChannels = 2;
  }
  [[nodiscard]] WAVEINCAPSA Caps() const override { return caps_; }
  MMRESULT Open(DWORD sampleRate, WaveBufferQueue& queue,
                std::unique_ptr<WaveInStream>& stream) override {
    stream = std::make_unique<GeneratorStream>(signal_, sampleRate, queue);
    return MMSYSERR_NOERROR;
  }

 private:
  GeneratorSignal signal_;
  WAVEINCAPSA caps_{};
};

}  // namespace

std::shared_ptr<WaveInDevice> MakeGeneratorDevice(const std::string& description) {
  auto signal = DefaultGeneratorSignal();
  if (!description.empty()) {
    if (const auto parsed = ParseGeneratorSignal(description)) {
      signal = *parsed;
    } else {
      std::cerr << "corvane: CORVANE_GENERATOR \"" << description
                << "\" is not \"shape[,Hz[,amplitude]];...\"; using the default signal\n";
    }
  }
  return std::make_shared<GeneratorDevice>(signal);
}
