#pragma once
// What every kind of capture device implements (sound-server source, ALSA, audio file,
// generator, test script): a device of the list, and the capture stream it opens, which fills
// the buffer queue of buffer_queue.h from a thread of its own.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wavein.h"

class WaveBufferQueue;

constexpr std::size_t WaveFrameBytes = 4;  // stereo, 16 bits per sample

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
