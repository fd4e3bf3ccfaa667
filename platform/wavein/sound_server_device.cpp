// Sources of a PulseAudio-protocol sound server (PulseAudio itself, or PipeWire through its
// pulse server): the list of sources, kept up to date from the server's change notifications,
// and a capture stream per open source. The only file that talks to libpulse.

#include <pulse/pulseaudio.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/wavein/buffer_queue.h"
#include "platform/wavein/device.h"
#include "platform/wavein/device_name.h"
#include "platform/wavein/sound_server_device.h"

namespace {

// The server converts to whatever is asked for: every standard rate, channel count and width.
constexpr DWORD ServerFormats = 0xFFF;
// Longest wait for the server to answer an open; a server that is not there answers at once.
constexpr auto AnswerTimeout = std::chrono::seconds(3);
// How often a server that is not (or no longer) there is looked for.
constexpr pa_usec_t ReconnectMicroseconds = 2 * PA_USEC_PER_SEC;
// Samples come in pieces of 5 ms, so that a buffer is full at most that much after its end.
constexpr std::uint32_t FragmentMilliseconds = 5;
constexpr std::string_view DefaultKey = "pulse-default";
constexpr std::string_view SourceKeyPrefix = "pulse:";
constexpr const char* ClientName = "Corvane";

// A threaded mainloop: libpulse's own thread, on which every callback of this file runs with
// the loop's lock held. Any other thread takes the lock (Lock below) before it touches a
// context or stream of the loop.
class SoundServerLoop {
 public:
  SoundServerLoop() : loop_(pa_threaded_mainloop_new()) {
    if (loop_ != nullptr && pa_threaded_mainloop_start(loop_) < 0) {
      pa_threaded_mainloop_free(loop_);
      loop_ = nullptr;
    }
  }
  SoundServerLoop(const SoundServerLoop&) = delete;
  SoundServerLoop& operator=(const SoundServerLoop&) = delete;
  // Everything of the loop must be released before, under the lock.
  ~SoundServerLoop() {
    if (loop_ == nullptr) return;
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
  }
  [[nodiscard]] bool Running() const { return loop_ != nullptr; }
  [[nodiscard]] pa_mainloop_api* Api() const { return pa_threaded_mainloop_get_api(loop_); }
  [[nodiscard]] pa_threaded_mainloop* Get() const { return loop_; }

 private:
  pa_threaded_mainloop* loop_;
};

class Lock {
 public:
  explicit Lock(const SoundServerLoop& loop) : loop_(loop.Get()) {
    pa_threaded_mainloop_lock(loop_);
  }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  ~Lock() { pa_threaded_mainloop_unlock(loop_); }

 private:
  pa_threaded_mainloop* loop_;
};

// Disconnecting sends nothing that waits for an answer, so it returns at once also when the
// server has stopped answering. Callers hold the loop's lock.
struct ContextReleaser {
  void operator()(pa_context* context) const {
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_set_subscribe_callback(context, nullptr, nullptr);
    pa_context_disconnect(context);
    pa_context_unref(context);
  }
};
using Context = std::unique_ptr<pa_context, ContextReleaser>;

struct StreamReleaser {
  void operator()(pa_stream* stream) const {
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
  }
};
using Stream = std::unique_ptr<pa_stream, StreamReleaser>;

// Starts an operation whose result nobody waits for.
void Forget(pa_operation* operation) {
  if (operation != nullptr) pa_operation_unref(operation);
}

std::string ErrorText(pa_context* context) { return pa_strerror(pa_context_errno(context)); }

// Reads one source on the stream's own loop thread while recording is on.
class SoundServerStream final : public WaveInStream {
 public:
  SoundServerStream(std::string source, std::string shown, WaveBufferQueue& queue)
      : source_(std::move(source)), shown_(std::move(shown)), queue_(queue) {}
  ~SoundServerStream() override {
    if (!loop_.Running()) return;
    const Lock lock(loop_);
    stream_.reset();
    context_.reset();
  }
  SoundServerStream(const SoundServerStream&) = delete;
  SoundServerStream& operator=(const SoundServerStream&) = delete;

  // Connects to the server and to the source, corked; MMSYSERR_NOERROR once the stream runs.
  MMRESULT Connect(DWORD sampleRate) {
    const pa_sample_spec sampleFormat{PA_SAMPLE_S16LE, sampleRate, 2};
    if (pa_sample_spec_valid(&sampleFormat) == 0) return WAVERR_BADFORMAT;
    if (!loop_.Running()) return MMSYSERR_NOMEM;
    {
      const Lock lock(loop_);
      context_.reset(pa_context_new(loop_.Api(), ClientName));
      if (!context_) return MMSYSERR_NOMEM;
      pa_context_set_state_callback(context_.get(), &SoundServerStream::OnContextState, this);
      if (pa_context_connect(context_.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        return Refused("connecting to the sound server", ErrorText(context_.get()));
      }
    }
    if (const MMRESULT result = WaitFor("connecting to the sound server");
        result != MMSYSERR_NOERROR) {
      return result;
    }
    const Lock lock(loop_);
    stream_.reset(pa_stream_new(context_.get(), "Capture", &sampleFormat, nullptr));
    if (!stream_) return Refused("making the capture stream", ErrorText(context_.get()));
    pa_stream_set_state_callback(stream_.get(), &SoundServerStream::OnStreamState, this);
    pa_stream_set_read_callback(stream_.get(), &SoundServerStream::OnReadable, this);
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.fragsize = sampleRate * WaveFrameBytes * FragmentMilliseconds / 1000;
    // A chosen source stays chosen: when it goes, the capture ends instead of moving elsewhere.
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED |
                                       (source_.empty() ? PA_STREAM_NOFLAGS : PA_STREAM_DONT_MOVE));
    if (pa_stream_connect_record(stream_.get(), source_.empty() ? nullptr : source_.c_str(),
                                 &attributes, flags) < 0) {
      return Refused("connecting to the source", ErrorText(context_.get()));
    }
    return MMSYSERR_NOERROR;
  }

  // After Connect: waits for the stream to run.
  MMRESULT WaitForStream() { return WaitFor("connecting to the source"); }

  void RecordingChanged(bool recording) override {
    const Lock lock(loop_);
    if (!stream_ || pa_stream_get_state(stream_.get()) != PA_STREAM_READY) return;
    // What the server held back while corked belongs to no buffer of this recording, nor does
    // a part of a frame kept from before.
    staged_.clear();
    Forget(pa_stream_flush(stream_.get(), nullptr, nullptr));
    Forget(pa_stream_cork(stream_.get(), recording ? 0 : 1, nullptr, nullptr));
  }

 private:
  enum class Phase { Connecting, Ready, Failed };

  // Waits for the context (or stream) to become ready; the reason on stderr when it does not.
  MMRESULT WaitFor(std::string_view step) {
    std::unique_lock lock(phaseMutex_);
    if (!phaseChanged_.wait_for(lock, AnswerTimeout,
                                [this] { return phase_ != Phase::Connecting; })) {
      lock.unlock();
      return Refused(step, "the sound server does not answer");
    }
    if (phase_ == Phase::Failed) {
      const std::string reason = failure_;
      lock.unlock();
      return Refused(step, reason);
    }
    phase_ = Phase::Connecting;  // for the next step
    return MMSYSERR_NOERROR;
  }

  MMRESULT Refused(std::string_view step, std::string_view reason) const {
    std::cerr << "corvane: sound server source \"" << shown_ << "\": " << step
              << " failed: " << reason << "\n";
    return MMSYSERR_BADDEVICEID;
  }

  void SetPhase(Phase phase, std::string reason = {}) {
    {
      const std::scoped_lock lock(phaseMutex_);
      phase_ = phase;
      failure_ = std::move(reason);
    }
    phaseChanged_.notify_all();
  }

  // Once running, a failure means the source or the server went away (unplugged, unloaded,
  // restarted): said once, and nothing is written after it.
  void Lost(const std::string& reason) {
    if (std::exchange(lost_, true)) return;
    if (running_) {
      std::cerr << "corvane: sound server source \"" << shown_ << "\" stopped: " << reason
                << "; no more samples until it is closed\n";
    }
    SetPhase(Phase::Failed, reason);
  }

  static void OnContextState(pa_context* context, void* self) {
    auto& stream = *static_cast<SoundServerStream*>(self);
    switch (pa_context_get_state(context)) {
      case PA_CONTEXT_READY:
        stream.SetPhase(Phase::Ready);
        break;
      case PA_CONTEXT_FAILED:
      case PA_CONTEXT_TERMINATED:
        stream.Lost(ErrorText(context));
        break;
      default:
        break;
    }
  }

  static void OnStreamState(pa_stream* raw, void* self) {
    auto& stream = *static_cast<SoundServerStream*>(self);
    switch (pa_stream_get_state(raw)) {
      case PA_STREAM_READY:
        stream.running_ = true;
        stream.SetPhase(Phase::Ready);
        break;
      case PA_STREAM_FAILED:
      case PA_STREAM_TERMINATED:
        stream.Lost(ErrorText(pa_stream_get_context(raw)));
        break;
      default:
        break;
    }
  }

  static void OnReadable(pa_stream* raw, std::size_t /*bytes*/, void* self) {
    auto& stream = *static_cast<SoundServerStream*>(self);
    const void* data = nullptr;
    std::size_t bytes = 0;
    while (pa_stream_readable_size(raw) > 0) {
      if (pa_stream_peek(raw, &data, &bytes) < 0) {
        stream.Lost(ErrorText(pa_stream_get_context(raw)));
        return;
      }
      if (bytes == 0) return;
      if (!stream.lost_) stream.Deliver(data, bytes);
      pa_stream_drop(raw);
    }
  }

  // A hole (no data for a stretch the server lost) is silence of that length.
  void Deliver(const void* data, std::size_t bytes) {
    const std::size_t kept = staged_.size();
    staged_.resize(kept + bytes);
    if (data != nullptr) {
      std::memcpy(staged_.data() + kept, data, bytes);
    } else {
      std::memset(staged_.data() + kept, 0, bytes);
    }
    const std::size_t frames = staged_.size() / WaveFrameBytes;
    samples_.resize(frames * 2);
    std::memcpy(samples_.data(), staged_.data(), frames * WaveFrameBytes);
    queue_.Write(samples_.data(), frames);
    staged_.erase(staged_.begin(),
                  staged_.begin() + static_cast<std::ptrdiff_t>(frames * WaveFrameBytes));
  }

  const std::string source_;  // empty: the server's default source at the time of the open
  const std::string shown_;
  WaveBufferQueue& queue_;
  std::mutex phaseMutex_;
  std::condition_variable phaseChanged_;
  Phase phase_ = Phase::Connecting;
  std::string failure_;
  // Loop thread, or any thread holding the loop's lock (callbacks run with it held).
  bool running_ = false;
  bool lost_ = false;
  std::vector<std::uint8_t> staged_;
  std::vector<std::int16_t> samples_;
  // After everything its thread uses, so that it stops first; the destructor has released the
  // context and the stream under its lock before.
  SoundServerLoop loop_;
  Context context_;
  Stream stream_;
};

MMRESULT OpenSource(const std::string& source, const std::string& shown, DWORD sampleRate,
                    WaveBufferQueue& queue, std::unique_ptr<WaveInStream>& stream) {
  auto opened = std::make_unique<SoundServerStream>(source, shown, queue);
  if (const MMRESULT result = opened->Connect(sampleRate); result != MMSYSERR_NOERROR) {
    return result;
  }
  if (const MMRESULT result = opened->WaitForStream(); result != MMSYSERR_NOERROR) return result;
  stream = std::move(opened);
  return MMSYSERR_NOERROR;
}

WAVEINCAPSA ServerCaps(std::string_view name) {
  WAVEINCAPSA caps{};
  SetCapsName(caps, name);
  caps.dwFormats = ServerFormats;
  caps.wChannels = 2;
  return caps;
}

class SoundServerSourceDevice final : public WaveInDevice {
 public:
  SoundServerSourceDevice(std::string source, const std::string& shown)
      : source_(std::move(source)), caps_(ServerCaps(shown)) {}
  [[nodiscard]] WAVEINCAPSA Caps() const override { return caps_; }
  MMRESULT Open(DWORD sampleRate, WaveBufferQueue& queue,
                std::unique_ptr<WaveInStream>& stream) override {
    return OpenSource(source_, caps_.szPname, sampleRate, queue, stream);
  }

 private:
  const std::string source_;
  const WAVEINCAPSA caps_;
};

// Whatever source the desktop has chosen when it is opened; its name says which one that is
// now, so it changes with the desktop's choice.
class SoundServerDefaultDevice final : public WaveInDevice {
 public:
  SoundServerDefaultDevice() : caps_(ServerCaps("Default source")) {}
  [[nodiscard]] WAVEINCAPSA Caps() const override {
    const std::scoped_lock lock(mutex_);
    return caps_;
  }
  void SetName(std::string_view name) {
    const std::scoped_lock lock(mutex_);
    SetCapsName(caps_, name);
  }
  MMRESULT Open(DWORD sampleRate, WaveBufferQueue& queue,
                std::unique_ptr<WaveInStream>& stream) override {
    return OpenSource({}, Caps().szPname, sampleRate, queue, stream);
  }

 private:
  mutable std::mutex mutex_;
  WAVEINCAPSA caps_;
};

struct SourceInfo {
  std::string name;
  std::string description;
  std::uint32_t monitorOfSink = PA_INVALID_INDEX;
};

// The sources of the server as its notifications report them; nothing while no server answers.
class SoundServerDeviceList final : public DeviceListPart {
 public:
  SoundServerDeviceList() {
    if (!loop_.Running()) {
      Publish({}, ListingRequest());
      return;
    }
    const Lock lock(loop_);
    Connect();
  }
  ~SoundServerDeviceList() override {
    if (!loop_.Running()) return;
    const Lock lock(loop_);
    if (retry_ != nullptr) loop_.Api()->time_free(retry_);
    context_.reset();
  }
  SoundServerDeviceList(const SoundServerDeviceList&) = delete;
  SoundServerDeviceList& operator=(const SoundServerDeviceList&) = delete;

 private:
  void ListingRequested() override {
    if (!loop_.Running()) {
      Publish({}, ListingRequest());
      return;
    }
    const Lock lock(loop_);
    if (ready_) {
      Query();
    } else if (retry_ != nullptr) {  // no server last time: look again now
      loop_.Api()->time_free(retry_);
      retry_ = nullptr;
      Connect();
    }
  }

  // Loop thread or under the lock, with no context or a lost one.
  void Connect() {
    context_.reset(pa_context_new(loop_.Api(), ClientName));
    ready_ = false;
    if (!context_) {
      Disconnected();
      return;
    }
    pa_context_set_state_callback(context_.get(), &SoundServerDeviceList::OnContextState, this);
    if (pa_context_connect(context_.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
      Disconnected();
    }
  }

  // No server, or it went away: its sources leave the list, and it is looked for again.
  void Disconnected() {
    ready_ = false;
    querying_ = false;
    Publish({}, ListingRequest());
    if (retry_ != nullptr) return;
    timeval when{};
    pa_timeval_add(pa_gettimeofday(&when), ReconnectMicroseconds);
    retry_ = loop_.Api()->time_new(loop_.Api(), &when, &SoundServerDeviceList::OnRetry, this);
  }

  static void OnRetry(pa_mainloop_api* api, pa_time_event* event, const timeval* /*when*/,
                      void* self) {
    auto& list = *static_cast<SoundServerDeviceList*>(self);
    api->time_free(event);
    list.retry_ = nullptr;
    list.Connect();
  }

  static void OnContextState(pa_context* context, void* self) {
    auto& list = *static_cast<SoundServerDeviceList*>(self);
    switch (pa_context_get_state(context)) {
      case PA_CONTEXT_READY: {
        list.ready_ = true;
        pa_context_set_subscribe_callback(context, &SoundServerDeviceList::OnChange, self);
        const auto mask = static_cast<pa_subscription_mask_t>(
            PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER);
        Forget(pa_context_subscribe(context, mask, nullptr, nullptr));
        list.Query();
        break;
      }
      case PA_CONTEXT_FAILED:
      case PA_CONTEXT_TERMINATED:
        list.Disconnected();
        break;
      default:
        break;
    }
  }

  static void OnChange(pa_context* /*context*/, pa_subscription_event_type_t /*event*/,
                       std::uint32_t /*index*/, void* self) {
    static_cast<SoundServerDeviceList*>(self)->Query();
  }

  // One round of questions: the default source, the sources, the sinks (whose names the
  // monitors take). Changes during a round start another one after it.
  void Query() {
    if (querying_) {
      changedSince_ = true;
      return;
    }
    querying_ = true;
    changedSince_ = false;
    roundRequest_ = ListingRequest();
    partsLeft_ = 3;
    sources_.clear();
    sinks_.clear();
    defaultSource_.clear();
    pa_context* context = context_.get();
    Forget(pa_context_get_server_info(context, &SoundServerDeviceList::OnServerInfo, this));
    Forget(pa_context_get_source_info_list(context, &SoundServerDeviceList::OnSource, this));
    Forget(pa_context_get_sink_info_list(context, &SoundServerDeviceList::OnSink, this));
  }

  static void OnServerInfo(pa_context* /*context*/, const pa_server_info* info, void* self) {
    auto& list = *static_cast<SoundServerDeviceList*>(self);
    if (info != nullptr && info->default_source_name != nullptr) {
      list.defaultSource_ = info->default_source_name;
    }
    list.PartDone();
  }

  static void OnSource(pa_context* /*context*/, const pa_source_info* info, int last, void* self) {
    auto& list = *static_cast<SoundServerDeviceList*>(self);
    if (last != 0) {
      list.PartDone();
      return;
    }
    list.sources_.push_back({info->name != nullptr ? info->name : "",
                             info->description != nullptr ? info->description : "",
                             info->monitor_of_sink});
  }

  static void OnSink(pa_context* /*context*/, const pa_sink_info* info, int last, void* self) {
    auto& list = *static_cast<SoundServerDeviceList*>(self);
    if (last != 0) {
      list.PartDone();
      return;
    }
    list.sinks_[info->index] = info->description != nullptr ? info->description : "";
  }

  void PartDone() {
    if (!querying_ || --partsLeft_ > 0) return;
    querying_ = false;
    Publish(MakeDevices(), roundRequest_);
    if (changedSince_) Query();
  }

  // What a source is called: a monitor after its output, since the server's own "Monitor of
  // ..." may come in the server's language and leaves less room for the output's name.
  struct Label {
    std::string prefix;
    std::string text;
  };
  [[nodiscard]] Label LabelOf(const SourceInfo& source) const {
    if (const auto sink = sinks_.find(source.monitorOfSink);
        sink != sinks_.end() && !FitDeviceName(sink->second).empty()) {
      return {"Monitor: ", sink->second};
    }
    return {{}, FitDeviceName(source.description).empty() ? source.name : source.description};
  }

  WaveInDeviceList MakeDevices() {
    WaveInDeviceList list;
    std::map<std::string, std::shared_ptr<SoundServerSourceDevice>> kept;
    for (const SourceInfo& source : sources_) {
      const Label label = LabelOf(source);
      const std::string shown = FitDeviceName(label.text, label.prefix);
      if (source.name == defaultSource_) {
        defaultDevice_->SetName(FitDeviceName(label.text, "Default: " + label.prefix));
        list.insert(list.begin(), {std::string(DefaultKey), defaultDevice_});
      }
      // A source listed again keeps its device, unless its name changed.
      std::string key = std::string(SourceKeyPrefix) + source.name;
      auto device = devices_[key];
      if (!device || device->Caps().szPname != shown) {
        device = std::make_shared<SoundServerSourceDevice>(source.name, shown);
      }
      kept[key] = device;
      list.push_back({std::move(key), device});
    }
    devices_ = std::move(kept);
    return list;
  }

  // Loop thread only, or under the lock.
  Context context_;
  bool ready_ = false;
  pa_time_event* retry_ = nullptr;
  bool querying_ = false;
  bool changedSince_ = false;
  std::uint64_t roundRequest_ = 0;
  int partsLeft_ = 0;
  std::string defaultSource_;
  std::vector<SourceInfo> sources_;
  std::map<std::uint32_t, std::string> sinks_;
  std::map<std::string, std::shared_ptr<SoundServerSourceDevice>> devices_;
  const std::shared_ptr<SoundServerDefaultDevice> defaultDevice_ =
      std::make_shared<SoundServerDefaultDevice>();
  // Declared last: stopped after the destructor has released everything above under its lock.
  SoundServerLoop loop_;
};

}  // namespace

std::unique_ptr<DeviceListPart> StartSoundServerDeviceList() {
  return std::make_unique<SoundServerDeviceList>();
}
