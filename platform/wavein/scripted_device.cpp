#include "platform/wavein/scripted_device.h"

#include "platform/wavein/buffer_queue.h"

#include <cstdint>
#include <string>
#include <utility>

namespace {

std::vector<std::shared_ptr<ScriptedWaveIn>>& Registered() {
  static std::vector<std::shared_ptr<ScriptedWaveIn>> devices;
  return devices;
}

}  // namespace

class ScriptedStream final : public WaveInStream {
 public:
  explicit ScriptedStream(ScriptedWaveIn& device) : device_(device) {}
  ~ScriptedStream() override {
    const std::scoped_lock lock(device_.mutex_);
    device_.queue_ = nullptr;
  }
  ScriptedStream(const ScriptedStream&) = delete;
  ScriptedStream& operator=(const ScriptedStream&) = delete;
  void RecordingChanged(bool /*recording*/) override {}
  void BufferQueued(const WAVEHDR* header) override { device_.queueLog_.push_back(header); }

 private:
  ScriptedWaveIn& device_;
};

ScriptedWaveIn::ScriptedWaveIn(const std::string& name, DWORD formats) {
  SetCapsName(caps_, name);
  caps_.dwFormats = formats;
  caps_.wChannels = 2;
}

MMRESULT ScriptedWaveIn::Open(DWORD sampleRate, WaveBufferQueue& queue,
                              std::unique_ptr<WaveInStream>& stream) {
  ++openCount_;
  if (const MMRESULT result = openResult_; result != MMSYSERR_NOERROR) return result;
  {
    const std::scoped_lock lock(mutex_);
    queue_ = &queue;
    openedRate_ = sampleRate;
  }
  stream = std::make_unique<ScriptedStream>(*this);
  return MMSYSERR_NOERROR;
}

bool ScriptedWaveIn::Deliver(std::span<const std::int16_t> interleaved) {
  const std::scoped_lock lock(mutex_);
  if (queue_ == nullptr) return false;
  delivering_ = true;
  queue_->Write(interleaved.data(), interleaved.size() / 2);
  delivering_ = false;
  ++deliveries_;
  return true;
}

bool ScriptedWaveIn::FillNext(std::int16_t left, std::int16_t right) {
  if (Queued() == 0) return false;
  const std::size_t frames = OpenedRate() / 10;
  std::vector<std::int16_t> samples(frames * 2);
  for (std::size_t j = 0; j < frames; ++j) {
    samples[2 * j] = left;
    samples[2 * j + 1] = right;
  }
  return Deliver(samples);
}

bool ScriptedWaveIn::IsOpen() const {
  const std::scoped_lock lock(mutex_);
  return queue_ != nullptr;
}

DWORD ScriptedWaveIn::OpenedRate() const {
  const std::scoped_lock lock(mutex_);
  return openedRate_;
}

bool ScriptedWaveIn::Recording() const {
  const std::scoped_lock lock(mutex_);
  return queue_ != nullptr && queue_->Recording();
}

std::size_t ScriptedWaveIn::Queued() const {
  const std::scoped_lock lock(mutex_);
  return queue_ == nullptr ? 0 : queue_->Queued();
}

void RegisterScriptedWaveIn(std::shared_ptr<ScriptedWaveIn> device) {
  Registered().push_back(std::move(device));
}

void ClearScriptedWaveIns() { Registered().clear(); }

void AppendScriptedDevices(WaveInDeviceList& list) {
  for (const auto& device : Registered()) {
    list.push_back(
        {"scripted:" + std::to_string(reinterpret_cast<std::uintptr_t>(device.get())), device});
  }
}
