#pragma once
// The device side of wave input: what every kind of capture device (ALSA, audio file,
// generator, test script) implements, and the buffer queue they all fill, so that queue order,
// full and partial counts and the reset rules are the same for every kind.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wavein.h"

constexpr std::size_t WaveFrameBytes = 4;  // stereo, 16 bits per sample

// The buffers queued on one open device. Add, SetRecording, ReturnAll and the queries run on
// the user-interface thread; Write runs on the device's own thread (or the test's).
class WaveBufferQueue {
 public:
  void Add(WAVEHDR* header);
  void SetRecording(bool recording);
  [[nodiscard]] bool Recording() const;
  // Copies interleaved stereo frames into the queued buffers in queue order. A buffer that
  // becomes full gets its count published (release) and leaves the queue. Frames that arrive
  // while recording with no buffer queued are dropped and counted; while not recording,
  // frames are discarded uncounted.
  void Write(const std::int16_t* interleaved, std::size_t frames);
  // Stops recording and hands every queued buffer back: the one being filled with its partial
  // count, the others with 0. After it returns, Write touches no buffer.
  void ReturnAll();
  [[nodiscard]] std::size_t Queued() const;
  [[nodiscard]] std::uint64_t DroppedFrames() const;

 private:
  mutable std::mutex mutex_;
  std::deque<WAVEHDR*> queue_;
  std::size_t headFill_ = 0;  // bytes already written into queue_.front()
  bool recording_ = false;
  std::uint64_t dropped_ = 0;
};

// One open capture. The device thread behind it (if any) writes into the queue it was given;
// destroying the stream stops that thread and joins it.
class WaveInStream {
 public:
  WaveInStream() = default;
  WaveInStream(const WaveInStream&) = delete;
  WaveInStream& operator=(const WaveInStream&) = delete;
  virtual ~WaveInStream() = default;
  // Recording was switched on (waveInStart) or off (waveInReset); the queue already knows.
  virtual void RecordingChanged(bool recording) = 0;
  // A buffer was queued; only test devices look at this.
  virtual void BufferQueued(const WAVEHDR* /*header*/) {}
};

// One entry of the device list.
class WaveInDevice {
 public:
  WaveInDevice() = default;
  WaveInDevice(const WaveInDevice&) = delete;
  WaveInDevice& operator=(const WaveInDevice&) = delete;
  virtual ~WaveInDevice() = default;
  // The capability record, made when the device was listed; never opens anything.
  [[nodiscard]] virtual const WAVEINCAPSA& Caps() const = 0;
  // Opens the device for stereo 16-bit capture at sampleRate, writing into queue (which
  // outlives the stream). Returns MMSYSERR_NOERROR and the stream, or WAVERR_BADFORMAT,
  // MMSYSERR_ALLOCATED, MMSYSERR_BADDEVICEID.
  virtual MMRESULT Open(DWORD sampleRate, WaveBufferQueue& queue,
                        std::unique_ptr<WaveInStream>& stream) = 0;
};

using WaveInDeviceList = std::vector<std::shared_ptr<WaveInDevice>>;

// The longest start of name that fits the 31 bytes of the name field without splitting a UTF-8
// character; bytes that are not UTF-8 count as characters of their own.
std::string_view FitCapsName(std::string_view name);
// Fills the name field with FitCapsName(name) and a NUL.
void SetCapsName(WAVEINCAPSA& caps, const std::string& name);

// Providers of the device list, each in its own source file.
// ALSA capture devices that open for capture (empty when CORVANE_NO_ALSA=1 is set by caller).
void AppendAlsaDevices(WaveInDeviceList& list);
// The audio file input for path, or nullptr (with one line on standard error) when the file
// cannot be read.
std::shared_ptr<WaveInDevice> MakeFileInputDevice(const std::string& path);
// The signal generator; description is CORVANE_GENERATOR's value (empty: the default signal).
std::shared_ptr<WaveInDevice> MakeGeneratorDevice(const std::string& description);
// Devices registered by tests (wavein_scripted.h), appended last.
void AppendScriptedDevices(WaveInDeviceList& list);

// Frames an open device had to drop because no buffer was queued (benchmarks, soak tests).
std::uint64_t WaveInDroppedFrames(HWAVEIN hwi);
