#pragma once
// The device side of wave input: what every kind of capture device (sound-server source, ALSA,
// audio file, generator, test script) implements, the buffer queue they all fill, so that queue
// order, full and partial counts and the reset rules are the same for every kind, and the parts
// of the device list that the kinds keep up to date on threads of their own.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
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

// A capture device of the list.
class WaveInDevice {
 public:
  WaveInDevice() = default;
  WaveInDevice(const WaveInDevice&) = delete;
  WaveInDevice& operator=(const WaveInDevice&) = delete;
  virtual ~WaveInDevice() = default;
  // The capability record; never opens anything. Any thread: a device whose name follows a
  // choice made elsewhere (the sound server's default source) answers with its name of now.
  [[nodiscard]] virtual WAVEINCAPSA Caps() const = 0;
  // Opens the device for stereo 16-bit capture at sampleRate, writing into queue (which
  // outlives the stream). Returns MMSYSERR_NOERROR and the stream, or WAVERR_BADFORMAT,
  // MMSYSERR_ALLOCATED, MMSYSERR_BADDEVICEID. User-interface thread.
  virtual MMRESULT Open(DWORD sampleRate, WaveBufferQueue& queue,
                        std::unique_ptr<WaveInStream>& stream) = 0;
};

// A device with the text that names it for as long as it exists ("alsa:default",
// "pulse:<source>", "generator", ...): the same device listed again keeps its key, whatever
// its position.
struct ListedDevice {
  std::string key;
  std::shared_ptr<WaveInDevice> device;
};
using WaveInDeviceList = std::vector<ListedDevice>;

// Fills the name field with CutAtCharacter(name) and a NUL.
void SetCapsName(WAVEINCAPSA& caps, std::string_view name);

// One kind's part of the device list, kept up to date by a thread of that kind (trial opens,
// change notifications): the user-interface thread reads what was published last, at once.
class DeviceListPart {
 public:
  DeviceListPart() = default;
  DeviceListPart(const DeviceListPart&) = delete;
  DeviceListPart& operator=(const DeviceListPart&) = delete;
  virtual ~DeviceListPart() = default;

  // The devices of the last listing. Any thread.
  [[nodiscard]] WaveInDeviceList Devices() const;
  // Waits at most timeout until the first listing is published; false when it is not.
  bool WaitForFirstListing(std::chrono::milliseconds timeout);
  // Asks for a listing that starts after this call and waits at most timeout until it is
  // published; false when it is not.
  bool Refresh(std::chrono::milliseconds timeout);

 protected:
  // The kind's thread: the number that a listing starting now answers, and the listing's
  // result with that number.
  [[nodiscard]] std::uint64_t ListingRequest() const;
  void Publish(WaveInDeviceList devices, std::uint64_t request);
  // A listing was asked for (any thread, without the part's lock): wake the kind's thread.
  virtual void ListingRequested() = 0;

 private:
  mutable std::mutex mutex_;
  std::condition_variable published_;
  WaveInDeviceList devices_;
  std::uint64_t requested_ = 1;  // the first listing is asked for by starting the kind
  std::uint64_t done_ = 0;
};

// The kinds with a listing of their own. Each lists at once on its own thread and keeps its
// part up to date until it is destroyed.
// ALSA capture devices that open for capture; cards plugged in or out are noticed by a look at
// the card list every few seconds.
std::unique_ptr<DeviceListPart> StartAlsaDeviceList();
// The sources of a PulseAudio-protocol server (PulseAudio itself or PipeWire's): its default
// source first, then every source, monitors of outputs included; nothing while no server
// answers. Follows the server's change notifications and finds a server that comes (back).
std::unique_ptr<DeviceListPart> StartSoundServerDeviceList();

// The audio file input for path, or nullptr (with one line on standard error) when the file
// cannot be played in a loop.
std::shared_ptr<WaveInDevice> MakeFileInputDevice(const std::string& path);
// The signal generator; description is CORVANE_GENERATOR's value (empty: the default signal).
std::shared_ptr<WaveInDevice> MakeGeneratorDevice(const std::string& description);
// Devices registered by tests (wavein_scripted.h), appended last.
void AppendScriptedDevices(WaveInDeviceList& list);

// The whole list as the environment asks for it, from the parts' last listings: sound-server
// sources, ALSA devices (without those that are the server again), the file input, the
// generator, test devices; at most 11, the file input, the generator and test devices never
// pushed out. Names made distinct. User-interface thread; blocks only for a kind's first
// listing.
WaveInDeviceList ComposeDeviceList();
// Lists every kind afresh and waits for the result (tests, and anyone who must see a change
// of the ALSA configuration at once). User-interface thread.
void RefreshDeviceLists();

// Frames an open device had to drop because no buffer was queued (benchmarks, soak tests).
std::uint64_t WaveInDroppedFrames(HWAVEIN hwi);
