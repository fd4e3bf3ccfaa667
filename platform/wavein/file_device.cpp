// The audio file input: a file played in a loop, in real time, as if it came from a sound card.
// The decoding and rate conversion are AudioFileReader's.

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <utility>

#include "platform/wavein/audio_file_reader.h"
#include "platform/wavein/device.h"
#include "platform/wavein/device_name.h"
#include "platform/wavein/file_device.h"
#include "platform/wavein/paced_stream.h"

namespace {

constexpr DWORD FileFormats = WAVE_FORMAT_1M16 | WAVE_FORMAT_1S16 | WAVE_FORMAT_2M16 |
                              WAVE_FORMAT_2S16 | WAVE_FORMAT_4M16 | WAVE_FORMAT_4S16;

// The file goes on where it stopped when recording starts again.
class FileStream final : public PacedWaveInStream {
 public:
  FileStream(AudioFileReader reader, std::string path, DWORD sampleRate, WaveBufferQueue& queue)
      : PacedWaveInStream(sampleRate, queue), reader_(std::move(reader)), path_(std::move(path)) {
    StartThread();
  }
  ~FileStream() override { StopThread(); }

 private:
  std::size_t Produce(std::int16_t* interleaved, std::size_t frames) override {
    const std::size_t made = reader_.Fill(interleaved, frames);
    if (made < frames) {
      std::cerr << "corvane: audio file " << path_ << ": " << reader_.Failure()
                << "; no more samples until the device is closed\n";
    }
    return made;
  }

  AudioFileReader reader_;  // device thread only
  const std::string path_;
};

MMRESULT ResultFor(AudioFileError error) {
  switch (error) {
    case AudioFileError::None:
      break;
    case AudioFileError::Refused:
      return MMSYSERR_BADDEVICEID;
    case AudioFileError::RateNotConvertible:
      return WAVERR_BADFORMAT;
    case AudioFileError::ConverterFailed:
      return MMSYSERR_NOMEM;
  }
  return MMSYSERR_NOERROR;
}

class FileInputDevice final : public WaveInDevice {
 public:
  explicit FileInputDevice(std::string path) : path_(std::move(path)) {
    SetCapsName(caps_, FitDeviceName(std::filesystem::path(path_).filename().string()));
    caps_.dwFormats = FileFormats;
    caps_.wChannels = 2;
  }

  [[nodiscard]] WAVEINCAPSA Caps() const override { return caps_; }

  MMRESULT Open(DWORD sampleRate, WaveBufferQueue& queue,
                std::unique_ptr<WaveInStream>& stream) override {
    AudioFileOpening opening = OpenAudioFile(path_, sampleRate);
    if (!opening.reader) {
      std::cerr << "corvane: audio file " << path_ << ": " << opening.reason << "\n";
      return ResultFor(opening.error);
    }
    stream = std::make_unique<FileStream>(std::move(*opening.reader), path_, sampleRate, queue);
    return MMSYSERR_NOERROR;
  }

 private:
  const std::string path_;
  WAVEINCAPSA caps_{};
};

}  // namespace

std::shared_ptr<WaveInDevice> MakeFileInputDevice(const std::string& path) {
  if (const std::string reason = AudioFileRefusal(path); !reason.empty()) {
    std::cerr << "corvane: CORVANE_INPUT_FILE " << path << " cannot be played: " << reason << "\n";
    return nullptr;
  }
  return std::make_shared<FileInputDevice>(path);
}
