// ALSA capture devices: the list of devices that open for capture, kept on a thread of its own,
// and a device thread per open device that reads the PCM and fills the queued buffers. The only
// file that talks to ALSA.

#include <alsa/asoundlib.h>
#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/wavein/alsa_device.h"
#include "platform/wavein/buffer_queue.h"
#include "platform/wavein/device.h"
#include "platform/wavein/device_name.h"

namespace {

constexpr std::array<unsigned, 3> CapsRates{11025, 22050, 44100};
constexpr unsigned BufferMicroseconds = 200000;  // room for a device thread that runs late
constexpr unsigned PeriodMicroseconds = 10000;
constexpr DWORD ReadsPerSecond = 100;  // at most 10 ms per read, so that a stop is seen soon
constexpr int WaitMilliseconds = 20;   // longest wait for samples before looking for a stop
constexpr auto ResumeRetry = std::chrono::milliseconds(100);
// Longest wait for a device thread to open or close its PCM; one behind a sound server that
// stopped answering would otherwise hold the user-interface thread for as long.
constexpr auto AnswerWait = std::chrono::seconds(3);
// How often the card list is looked at for a card plugged in or out.
constexpr auto CardLookPeriod = std::chrono::seconds(2);
constexpr DWORD StereoFormats = WAVE_FORMAT_1S08 | WAVE_FORMAT_1S16 | WAVE_FORMAT_2S08 |
                                WAVE_FORMAT_2S16 | WAVE_FORMAT_4S08 | WAVE_FORMAT_4S16;

struct PcmCloser {
  void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using Pcm = std::unique_ptr<snd_pcm_t, PcmCloser>;

struct HwParamsFreer {
  void operator()(snd_pcm_hw_params_t* params) const { snd_pcm_hw_params_free(params); }
};
using HwParams = std::unique_ptr<snd_pcm_hw_params_t, HwParamsFreer>;

struct CtlCloser {
  void operator()(snd_ctl_t* ctl) const { snd_ctl_close(ctl); }
};
using Ctl = std::unique_ptr<snd_ctl_t, CtlCloser>;

struct CardInfoFreer {
  void operator()(snd_ctl_card_info_t* info) const { snd_ctl_card_info_free(info); }
};
struct PcmInfoFreer {
  void operator()(snd_pcm_info_t* info) const { snd_pcm_info_free(info); }
};
struct HintsFreer {
  void operator()(void** hints) const { snd_device_name_free_hint(hints); }
};
struct StringFreer {
  void operator()(char* text) const { std::free(text); }
};
using AlsaString = std::unique_ptr<char, StringFreer>;

void Report(const std::string& device, std::string_view step, int error) {
  std::cerr << "corvane: ALSA device \"" << device << "\": " << step
            << " failed: " << snd_strerror(error) << "\n";
}

// Trial opens of absent devices are the normal way of finding out what exists, and a device
// thread names every failure itself: alsa-lib's own complaints there would only be noise (a
// line per read on some plugins).
thread_local bool QuietAlsaErrors = false;

class QuietAlsaErrorsScope {
 public:
  QuietAlsaErrorsScope() { QuietAlsaErrors = true; }
  QuietAlsaErrorsScope(const QuietAlsaErrorsScope&) = delete;
  QuietAlsaErrorsScope& operator=(const QuietAlsaErrorsScope&) = delete;
  ~QuietAlsaErrorsScope() { QuietAlsaErrors = false; }
};

// alsa-lib's own error output, except while listing and on device threads.
void PrintAlsaError(const char* file, int line, const char* function, int error, const char* format,
                    ...) {
  if (QuietAlsaErrors) return;
  std::array<char, 512> text{};
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text.data(), text.size(), format, arguments);
  va_end(arguments);
  std::cerr << "ALSA lib " << file << ":" << line << ":(" << function << ") " << text.data();
  if (error != 0) std::cerr << ": " << snd_strerror(error);
  std::cerr << "\n";
}

HwParams AllocateHwParams() {
  snd_pcm_hw_params_t* params = nullptr;
  return snd_pcm_hw_params_malloc(&params) < 0 ? nullptr : HwParams(params);
}

// Nonblocking, so that a busy device answers at once instead of waiting until it is free.
int OpenCapture(const std::string& name, Pcm& pcm) {
  snd_pcm_t* raw = nullptr;
  const int error = snd_pcm_open(&raw, name.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
  if (error == 0) pcm.reset(raw);
  return error;
}

// The standard format bits, in their order: per rate mono 8, stereo 8, mono 16, stereo 16 bit.
DWORD AcceptedFormats(snd_pcm_t* pcm) {
  const HwParams any = AllocateHwParams();
  const HwParams trial = AllocateHwParams();
  if (!any || !trial || snd_pcm_hw_params_any(pcm, any.get()) < 0) return 0;
  DWORD formats = 0;
  DWORD bit = WAVE_FORMAT_1M08;
  for (const unsigned rate : CapsRates) {
    for (const snd_pcm_format_t format : {SND_PCM_FORMAT_U8, SND_PCM_FORMAT_S16_LE}) {
      for (const unsigned channels : {1U, 2U}) {
        snd_pcm_hw_params_copy(trial.get(), any.get());
        if (snd_pcm_hw_params_set_access(pcm, trial.get(), SND_PCM_ACCESS_RW_INTERLEAVED) == 0 &&
            snd_pcm_hw_params_set_format(pcm, trial.get(), format) == 0 &&
            snd_pcm_hw_params_set_channels(pcm, trial.get(), channels) == 0 &&
            snd_pcm_hw_params_set_rate(pcm, trial.get(), rate, 0) == 0) {
          formats |= bit;
        }
        bit <<= 1U;
      }
    }
  }
  return formats;
}

// Stereo 16-bit at exactly sampleRate, or WAVERR_BADFORMAT with the failing step on stderr.
MMRESULT Configure(snd_pcm_t* pcm, const std::string& name, DWORD sampleRate) {
  const HwParams params = AllocateHwParams();
  if (!params) return MMSYSERR_NOMEM;
  const auto fail = [&name](std::string_view step, int error) {
    Report(name, step, error);
    return WAVERR_BADFORMAT;
  };
  if (const int error = snd_pcm_hw_params_any(pcm, params.get()); error < 0) {
    return fail("reading the hardware parameters", error);
  }
  if (const int error =
          snd_pcm_hw_params_set_access(pcm, params.get(), SND_PCM_ACCESS_RW_INTERLEAVED);
      error < 0) {
    return fail("setting interleaved access", error);
  }
  if (const int error = snd_pcm_hw_params_set_format(pcm, params.get(), SND_PCM_FORMAT_S16_LE);
      error < 0) {
    return fail("setting 16-bit samples", error);
  }
  if (const int error = snd_pcm_hw_params_set_channels(pcm, params.get(), 2); error < 0) {
    return fail("setting two channels", error);
  }
  unsigned rate = sampleRate;
  if (const int error = snd_pcm_hw_params_set_rate_near(pcm, params.get(), &rate, nullptr);
      error < 0) {
    return fail("setting the rate", error);
  }
  if (rate != sampleRate) {
    std::cerr << "corvane: ALSA device \"" << name << "\": asked for " << sampleRate
              << " Hz, the device gives " << rate << " Hz\n";
    return WAVERR_BADFORMAT;
  }
  // Sizes are wishes: a device that cannot meet them keeps its own, and reads stay short.
  unsigned bufferTime = BufferMicroseconds;
  unsigned periodTime = PeriodMicroseconds;
  snd_pcm_hw_params_set_buffer_time_near(pcm, params.get(), &bufferTime, nullptr);
  snd_pcm_hw_params_set_period_time_near(pcm, params.get(), &periodTime, nullptr);
  if (const int error = snd_pcm_hw_params(pcm, params.get()); error < 0) {
    return fail("applying the hardware parameters", error);
  }
  return MMSYSERR_NOERROR;
}

// The PCMs this process has open, with the record they were listed with: listing again while
// one is capturing keeps it in the list without a trial open, and a second open of it is
// refused. The listing thread reads it; device threads write it, from before a PCM's open to
// after its close.
class OpenPcmTable {
 public:
  bool Add(const std::string& name, const WAVEINCAPSA& caps) {
    const std::scoped_lock lock(mutex_);
    return open_.emplace(name, caps).second;
  }
  void Remove(const std::string& name) {
    const std::scoped_lock lock(mutex_);
    open_.erase(name);
  }
  [[nodiscard]] std::optional<WAVEINCAPSA> Find(const std::string& name) const {
    const std::scoped_lock lock(mutex_);
    const auto found = open_.find(name);
    return found == open_.end() ? std::nullopt : std::optional(found->second);
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, WAVEINCAPSA> open_;
};

// Shared with the entries, so that a device thread left to close a hung device can still
// remove its entry while the program ends.
const std::shared_ptr<OpenPcmTable>& OpenPcms() {
  static const auto open = std::make_shared<OpenPcmTable>();
  return open;
}

class OpenPcmEntry {
 public:
  OpenPcmEntry(std::string name, const WAVEINCAPSA& caps)
      : table_(OpenPcms()), name_(std::move(name)) {
    table_->Add(name_, caps);
  }
  OpenPcmEntry(const OpenPcmEntry&) = delete;
  OpenPcmEntry& operator=(const OpenPcmEntry&) = delete;
  ~OpenPcmEntry() { table_->Remove(name_); }

 private:
  std::shared_ptr<OpenPcmTable> table_;
  std::string name_;
};

// What an open device's thread shares with the stream that started it.
struct AlsaCapture {
  explicit AlsaCapture(WaveBufferQueue& bufferQueue) : queue(&bufferQueue) {}

  std::mutex mutex;
  std::condition_variable changed;
  std::optional<MMRESULT> openResult;
  bool recording = false;
  bool stopping = false;
  bool closed = false;     // the PCM is closed and the thread touches nothing more
  WaveBufferQueue* queue;  // null once the stream has gone
};

// The device thread. It owns the PCM from its open to its close, so that no ALSA call that can
// wait for a sound server that stopped answering (JACK's open and close, for one) runs on the
// user-interface thread.
class AlsaReader {
 public:
  AlsaReader(std::shared_ptr<AlsaCapture> capture, std::string name, const WAVEINCAPSA& caps,
             DWORD sampleRate)
      : capture_(std::move(capture)),
        name_(std::move(name)),
        entry_(name_, caps),
        sampleRate_(sampleRate),
        chunkFrames_(std::max<DWORD>(1, sampleRate / ReadsPerSecond)) {}

  // Opens, reads while recording is on until the stream goes, and closes.
  void Run() {
    const MMRESULT result = Open();
    {
      const std::scoped_lock lock(capture_->mutex);
      capture_->openResult = result;
    }
    capture_->changed.notify_all();
    if (result == MMSYSERR_NOERROR) Read();
    pcm_.reset();
  }

 private:
  MMRESULT Open() {
    if (const int error = OpenCapture(name_, pcm_); error < 0) {
      Report(name_, "opening for capture", error);
      return error == -EBUSY ? MMSYSERR_ALLOCATED : MMSYSERR_BADDEVICEID;
    }
    return Configure(pcm_.get(), name_, sampleRate_);
  }

  void Read() {
    const QuietAlsaErrorsScope quiet;
    std::vector<std::int16_t> chunk(chunkFrames_ * 2);
    bool running = false;  // the PCM is started
    bool failed = false;   // gone or beyond recovery: fill nothing until closed
    for (;;) {
      std::unique_lock lock(capture_->mutex);
      if (failed || !running) {
        capture_->changed.wait(lock, [this, failed] {
          return capture_->stopping || (!failed && capture_->recording);
        });
      }
      if (capture_->stopping) break;
      const bool wanted = capture_->recording;
      lock.unlock();
      if (wanted && !running) {
        running = Start();
        failed = !running;
      } else if (!wanted && running) {
        snd_pcm_drop(pcm_.get());
        running = false;
      } else {
        failed = !ReadOnce(chunk);
      }
    }
    if (running) snd_pcm_drop(pcm_.get());
  }

  bool Start() {
    snd_pcm_t* pcm = pcm_.get();
    if (snd_pcm_state(pcm) != SND_PCM_STATE_PREPARED) {
      if (const int error = snd_pcm_prepare(pcm); error < 0) {
        return Stopped("preparing the capture", error);
      }
    }
    if (const int error = snd_pcm_start(pcm); error < 0) {
      return Stopped("starting the capture", error);
    }
    return true;
  }

  // One wait of at most WaitMilliseconds and one read of at most chunkFrames_; false once the
  // device cannot go on.
  bool ReadOnce(std::vector<std::int16_t>& chunk) {
    snd_pcm_t* pcm = pcm_.get();
    const int ready = snd_pcm_wait(pcm, WaitMilliseconds);
    if (ready == 0) return true;
    if (ready < 0) return Recover(ready, "waiting for samples");
    const snd_pcm_sframes_t frames = snd_pcm_readi(pcm, chunk.data(), chunkFrames_);
    if (frames == -EAGAIN) return true;
    if (frames < 0) return Recover(static_cast<int>(frames), "reading samples");
    suspended_ = false;
    const std::scoped_lock lock(capture_->mutex);
    if (capture_->queue != nullptr) {
      capture_->queue->Write(chunk.data(), static_cast<std::size_t>(frames));
    }
    return true;
  }

  bool Recover(int error, std::string_view step) {
    switch (error) {
      case -EINTR:
        return true;
      case -EPIPE:  // this thread was late and the device's buffer ran full
        std::cerr << "corvane: ALSA device \"" << name_ << "\": overrun while " << step << " ("
                  << snd_strerror(error) << "); recovering\n";
        if (const int failure = snd_pcm_recover(pcm_.get(), error, 1); failure < 0) {
          return Stopped("recovering from the overrun", failure);
        }
        return Start();
      case -ESTRPIPE:
        return Resume();
      default:  // -ENODEV: the device is gone
        return Stopped(step, error);
    }
  }

  // snd_pcm_recover would sleep until the system wakes up, however long that takes; retrying
  // here keeps a stop answered while the device sleeps.
  bool Resume() {
    if (!suspended_) {
      std::cerr << "corvane: ALSA device \"" << name_ << "\" was suspended; resuming\n";
      suspended_ = true;
    }
    const int error = snd_pcm_resume(pcm_.get());
    if (error == -EAGAIN) {
      std::unique_lock lock(capture_->mutex);
      capture_->changed.wait_for(lock, ResumeRetry, [this] { return capture_->stopping; });
      return true;
    }
    return error == 0 || Start();  // a device that cannot resume in place starts afresh
  }

  bool Stopped(std::string_view step, int error) {
    Report(name_, step, error);
    std::cerr << "corvane: ALSA device \"" << name_ << "\": no more samples until it is closed\n";
    return false;
  }

  const std::shared_ptr<AlsaCapture> capture_;
  const std::string name_;
  const OpenPcmEntry entry_;  // before the PCM: the PCM is closed before the entry goes
  const DWORD sampleRate_;
  const std::size_t chunkFrames_;
  Pcm pcm_;
  bool suspended_ = false;
};

// One open capture: its device thread, which the stream waits for a moment when it goes. A
// thread that does not end in that time is inside a call to a device that stopped answering;
// it is left to close the PCM when the call returns, and touches no buffer any more.
class AlsaStream final : public WaveInStream {
 public:
  AlsaStream(const std::string& name, const WAVEINCAPSA& caps, DWORD sampleRate,
             WaveBufferQueue& queue)
      : capture_(std::make_shared<AlsaCapture>(queue)),
        thread_([capture = capture_, name, caps, sampleRate] {
          AlsaReader(capture, name, caps, sampleRate).Run();
          {
            const std::scoped_lock lock(capture->mutex);
            capture->closed = true;
          }
          capture->changed.notify_all();
        }) {}
  AlsaStream(const AlsaStream&) = delete;
  AlsaStream& operator=(const AlsaStream&) = delete;
  ~AlsaStream() override {
    std::unique_lock lock(capture_->mutex);
    capture_->queue = nullptr;
    capture_->stopping = true;
    capture_->changed.notify_all();
    // A thread still inside the open would only keep the caller waiting once more.
    const bool closed =
        capture_->openResult.has_value() &&
        capture_->changed.wait_for(lock, AnswerWait, [this] { return capture_->closed; });
    lock.unlock();
    if (closed) {
      thread_.join();
    } else {
      thread_.detach();
    }
  }

  // The open's result, or MMSYSERR_BADDEVICEID when the device does not answer in time.
  MMRESULT WaitForOpen(const std::string& name) {
    std::unique_lock lock(capture_->mutex);
    if (capture_->changed.wait_for(lock, AnswerWait,
                                   [this] { return capture_->openResult.has_value(); })) {
      return *capture_->openResult;
    }
    lock.unlock();
    std::cerr << "corvane: ALSA device \"" << name
              << "\": opening for capture failed: the device does not answer\n";
    return MMSYSERR_BADDEVICEID;
  }

  void RecordingChanged(bool recording) override {
    {
      const std::scoped_lock lock(capture_->mutex);
      capture_->recording = recording;
    }
    capture_->changed.notify_all();
  }

 private:
  const std::shared_ptr<AlsaCapture> capture_;
  std::thread thread_;
};

class AlsaDevice final : public WaveInDevice {
 public:
  AlsaDevice(std::string pcmName, const WAVEINCAPSA& caps)
      : pcmName_(std::move(pcmName)), caps_(caps) {}

  [[nodiscard]] WAVEINCAPSA Caps() const override { return caps_; }

  MMRESULT Open(DWORD sampleRate, WaveBufferQueue& queue,
                std::unique_ptr<WaveInStream>& stream) override {
    if (OpenPcms()->Find(pcmName_)) return MMSYSERR_ALLOCATED;
    auto opened = std::make_unique<AlsaStream>(pcmName_, caps_, sampleRate, queue);
    const MMRESULT result = opened->WaitForOpen(pcmName_);
    if (result == MMSYSERR_NOERROR) stream = std::move(opened);
    return result;
  }

 private:
  const std::string pcmName_;
  const WAVEINCAPSA caps_;
};

struct Candidate {
  std::string pcmName;
  std::string description;
  bool named;  // a device of the configuration: left out when it only wraps another one
};

// null captures silence, and rate converters and up- or down-mixers wrap a device that is
// listed in its own right.
bool WrapsAnotherDevice(snd_pcm_type_t type) {
  return type == SND_PCM_TYPE_NULL || type == SND_PCM_TYPE_RATE || type == SND_PCM_TYPE_EXTPLUG;
}

std::optional<WAVEINCAPSA> Probe(const Candidate& candidate) {
  if (auto open = OpenPcms()->Find(candidate.pcmName)) return open;
  Pcm pcm;
  if (OpenCapture(candidate.pcmName, pcm) < 0) return std::nullopt;
  if (candidate.named && WrapsAnotherDevice(snd_pcm_type(pcm.get()))) return std::nullopt;
  WAVEINCAPSA caps{};
  const std::string shown = FitDeviceName(candidate.description);
  SetCapsName(caps, shown.empty() ? candidate.pcmName : shown);
  caps.dwFormats = AcceptedFormats(pcm.get());
  caps.wChannels = (caps.dwFormats & StereoFormats) != 0 ? 2 : (caps.dwFormats != 0 ? 1 : 0);
  return caps;
}

struct Hint {
  std::string name;
  std::string description;
};

// The pcm name hints, each name once: a device appears both by its definition and by a
// namehint entry, and only one of them may carry the description.
std::vector<Hint> PcmHints() {
  void** raw = nullptr;
  if (snd_device_name_hint(-1, "pcm", &raw) < 0) return {};
  const std::unique_ptr<void*, HintsFreer> hints(raw);
  std::vector<Hint> result;
  for (void** hint = raw; *hint != nullptr; ++hint) {
    const AlsaString name(snd_device_name_get_hint(*hint, "NAME"));
    if (!name) continue;
    const AlsaString description(snd_device_name_get_hint(*hint, "DESC"));
    const std::string text = description ? description.get() : "";
    const auto known = std::find_if(result.begin(), result.end(),
                                    [&name](const Hint& seen) { return seen.name == name.get(); });
    if (known == result.end()) {
      result.push_back({name.get(), text});
    } else if (known->description.empty()) {
      known->description = text;
    }
  }
  return result;
}

// One plughw device per capture device of every card, named as arecord -l names them.
std::vector<Candidate> CardCaptureDevices() {
  snd_ctl_card_info_t* rawCardInfo = nullptr;
  snd_pcm_info_t* rawPcmInfo = nullptr;
  if (snd_ctl_card_info_malloc(&rawCardInfo) < 0) return {};
  const std::unique_ptr<snd_ctl_card_info_t, CardInfoFreer> cardInfo(rawCardInfo);
  if (snd_pcm_info_malloc(&rawPcmInfo) < 0) return {};
  const std::unique_ptr<snd_pcm_info_t, PcmInfoFreer> pcmInfo(rawPcmInfo);
  std::vector<Candidate> result;
  int card = -1;
  while (snd_card_next(&card) == 0 && card >= 0) {
    snd_ctl_t* rawCtl = nullptr;
    if (snd_ctl_open(&rawCtl, ("hw:" + std::to_string(card)).c_str(), 0) < 0) continue;
    const Ctl ctl(rawCtl);
    if (snd_ctl_card_info(ctl.get(), cardInfo.get()) < 0) continue;
    const std::string cardId = snd_ctl_card_info_get_id(cardInfo.get());
    const std::string cardName = snd_ctl_card_info_get_name(cardInfo.get());
    int device = -1;
    while (snd_ctl_pcm_next_device(ctl.get(), &device) == 0 && device >= 0) {
      snd_pcm_info_set_device(pcmInfo.get(), static_cast<unsigned>(device));
      snd_pcm_info_set_subdevice(pcmInfo.get(), 0);
      snd_pcm_info_set_stream(pcmInfo.get(), SND_PCM_STREAM_CAPTURE);
      if (snd_ctl_pcm_info(ctl.get(), pcmInfo.get()) < 0) continue;  // playback only
      result.push_back({"plughw:CARD=" + cardId + ",DEV=" + std::to_string(device),
                        cardName + ": " + snd_pcm_info_get_name(pcmInfo.get()), false});
    }
  }
  return result;
}

// libjack, which alsa-lib's jack plugin loads, prints several lines on standard error for every
// trial open while no JACK server runs, and more when the process ends. Loading it first and
// giving it functions that print nothing keeps listing quiet; a device that fails still says
// so in its own words. Where libjack is missing there is nothing to silence.
void SilenceJack() {
  void* jack = dlopen("libjack.so.0", RTLD_LAZY | RTLD_LOCAL);
  if (jack == nullptr) return;
  using MessageFunction = void (*)(const char*);
  using SetMessageFunction = void (*)(MessageFunction);
  const MessageFunction silent = [](const char* /*message*/) {};
  for (const char* setter : {"jack_set_error_function", "jack_set_info_function"}) {
    if (void* symbol = dlsym(jack, setter)) {
      reinterpret_cast<SetMessageFunction>(symbol)(silent);
    }
  }
  // Kept loaded for the life of the process, so that the plugin finds it with the functions set.
}

// Once, before any thread of this file exists: alsa-lib's error output goes through
// PrintAlsaError, a trial open of the jack device must not start a server, and JACK is quiet.
void SetUpAlsa() {
  static std::once_flag setUp;
  std::call_once(setUp, [] {
    snd_lib_error_set_handler(PrintAlsaError);
    setenv("JACK_NO_START_SERVER", "1", 0);
    SilenceJack();
  });
}

// Every capture device that opens, in list order: default, the configuration's own devices,
// then the cards' devices. On the listing thread, whose alsa-lib errors are quiet.
WaveInDeviceList ListCaptureDevices() {
  const std::vector<Hint> hints = PcmHints();
  std::vector<Candidate> candidates;
  const auto defaultHint = std::find_if(hints.begin(), hints.end(),
                                        [](const Hint& hint) { return hint.name == "default"; });
  candidates.push_back({"default",
                        defaultHint == hints.end() || defaultHint->description.empty()
                            ? "default"
                            : defaultHint->description,
                        false});
  for (const Hint& hint : hints) {
    if (hint.name.find("CARD=") != std::string::npos) continue;  // a card's device
    candidates.push_back(
        {hint.name, hint.description.empty() ? hint.name : hint.description, true});
  }
  for (Candidate& card : CardCaptureDevices()) candidates.push_back(std::move(card));

  WaveInDeviceList list;
  std::set<std::string> listed;
  for (const Candidate& candidate : candidates) {
    if (!listed.insert(candidate.pcmName).second) continue;
    if (const auto caps = Probe(candidate)) {
      list.push_back(
          {"alsa:" + candidate.pcmName, std::make_shared<AlsaDevice>(candidate.pcmName, *caps)});
    }
  }
  return list;
}

// The cards as they are now, to notice one that was plugged in or out.
std::string CardSignature() {
  std::string signature;
  int card = -1;
  while (snd_card_next(&card) == 0 && card >= 0) {
    char* raw = nullptr;
    const AlsaString name(snd_card_get_name(card, &raw) == 0 ? raw : nullptr);
    signature += std::to_string(card) + ":" + (name ? name.get() : "") + "\n";
  }
  return signature;
}

// Lists at once, again when asked, and again when the card list changes.
class AlsaDeviceList final : public DeviceListPart {
 public:
  AlsaDeviceList() : thread_([this](const std::stop_token& stop) { Run(stop); }) {}
  ~AlsaDeviceList() override {
    thread_.request_stop();
    wake_.notify_all();
    thread_.join();
  }

 private:
  void ListingRequested() override {
    {
      const std::scoped_lock lock(mutex_);
      asked_ = true;
    }
    wake_.notify_all();
  }

  void Run(const std::stop_token& stop) {
    const QuietAlsaErrorsScope quiet;
    std::string cards = CardSignature();
    bool list = true;
    while (!stop.stop_requested()) {
      if (list) {
        const std::uint64_t request = ListingRequest();
        Publish(ListCaptureDevices(), request);
      }
      std::unique_lock lock(mutex_);
      wake_.wait_for(lock, stop, CardLookPeriod, [this] { return asked_; });
      list = std::exchange(asked_, false);
      lock.unlock();
      if (std::string now = CardSignature(); now != cards) {
        cards = std::move(now);
        list = true;
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable_any wake_;
  bool asked_ = false;
  std::jthread thread_;  // last: started once everything it uses exists
};

}  // namespace

std::unique_ptr<DeviceListPart> StartAlsaDeviceList() {
  SetUpAlsa();
  return std::make_unique<AlsaDeviceList>();
}
