// The audio file input: a file read with libsndfile and played in a loop, in real time, as if it
// came from a sound card. Files at another rate are converted with libsamplerate.

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/wavein_alsa.h"
#include "platform/wavein_device.h"
#include "platform/wavein_paced.h"

namespace {

constexpr std::size_t ConverterInputFrames = 1024;
constexpr DWORD FileFormats = WAVE_FORMAT_1M16 | WAVE_FORMAT_1S16 | WAVE_FORMAT_2M16 |
                              WAVE_FORMAT_2S16 | WAVE_FORMAT_4M16 | WAVE_FORMAT_4S16;

struct SoundFileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SoundFile = std::unique_ptr<SNDFILE, SoundFileCloser>;

struct ConverterDeleter {
  void operator()(SRC_STATE* state) const { src_delete(state); }
};
using Converter = std::unique_ptr<SRC_STATE, ConverterDeleter>;

// The file open for reading, or null with the reason; a file that cannot be rewound cannot
// be played in a loop.
SoundFile OpenSoundFile(const std::string& path, SF_INFO& info, std::string& reason) {
  info = SF_INFO{};
  SoundFile file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file) {
    reason = sf_strerror(nullptr);
  } else if (info.frames <= 0 || info.channels <= 0 || info.samplerate <= 0) {
    reason = "it holds no samples";
  } else if (info.seekable == 0) {
    reason = "it cannot be rewound to play it in a loop";
  } else {
    return file;
  }
  return nullptr;
}

// The file as an endless stream of stereo frames at its own rate: a mono file feeds both
// channels, a file with more channels gives its first two.
class LoopingFile {
 public:
  LoopingFile(SoundFile file, int channels) : file_(std::move(file)), channels_(channels) {}

  // Up to frames frames; 0 only when the file gives nothing even from its start.
  std::size_t Read(float* stereo, std::size_t frames) {
    raw_.resize(frames * static_cast<std::size_t>(channels_));
    const auto count = static_cast<sf_count_t>(frames);
    sf_count_t got = sf_readf_float(file_.get(), raw_.data(), count);
    if (got <= 0 && sf_seek(file_.get(), 0, SEEK_SET) == 0) {
      got = sf_readf_float(file_.get(), raw_.data(), count);
    }
    if (got <= 0) return 0;
    const std::size_t secondChannel = channels_ > 1 ? 1 : 0;
    for (std::size_t j = 0; j < static_cast<std::size_t>(got); ++j) {
      const float* frame = raw_.data() + j * static_cast<std::size_t>(channels_);
      stereo[2 * j] = frame[0];
      stereo[2 * j + 1] = frame[secondChannel];
    }
    return static_cast<std::size_t>(got);
  }

 private:
  SoundFile file_;
  int channels_;
  std::vector<float> raw_;
};

// 16-bit stereo frames at the opened rate.
class FileSignal {
 public:
  // converter is null when the file is at the opened rate; ratio is opened rate / file rate.
  FileSignal(LoopingFile file, Converter converter, double ratio)
      : file_(std::move(file)),
        converter_(std::move(converter)),
        ratio_(ratio),
        input_(2 * ConverterInputFrames) {}

  // Fills frames frames; fewer only when the file can no longer be read (see Failure).
  std::size_t Fill(std::int16_t* interleaved, std::size_t frames) {
    output_.resize(2 * frames);
    std::size_t done = 0;
    while (done < frames) {
      float* out = output_.data() + 2 * done;
      const auto made = converter_ ? Convert(out, frames - done) : Read(out, frames - done);
      if (!made) break;
      done += *made;
    }
    src_float_to_short_array(output_.data(), interleaved, static_cast<int>(2 * done));
    return done;
  }

  [[nodiscard]] const std::string& Failure() const { return failure_; }

 private:
  std::optional<std::size_t> Read(float* out, std::size_t frames) {
    const std::size_t got = file_.Read(out, frames);
    if (got == 0) {
      failure_ = "the file can no longer be read";
      return std::nullopt;
    }
    return got;
  }

  // Frames made by one step of the converter, which may keep all of a small input to itself.
  std::optional<std::size_t> Convert(float* out, std::size_t frames) {
    if (inputFrames_ == 0) {
      const auto got = Read(input_.data(), ConverterInputFrames);
      if (!got) return std::nullopt;
      inputOffset_ = 0;
      inputFrames_ = *got;
    }
    SRC_DATA data{};
    data.data_in = input_.data() + 2 * inputOffset_;
    data.input_frames = static_cast<long>(inputFrames_);
    data.data_out = out;
    data.output_frames = static_cast<long>(frames);
    data.src_ratio = ratio_;
    if (const int error = src_process(converter_.get(), &data); error != 0) {
      failure_ = std::string("rate conversion failed: ") + src_strerror(error);
      return std::nullopt;
    }
    if (data.input_frames_used == 0 && data.output_frames_gen == 0) {
      failure_ = "rate conversion made no progress";
      return std::nullopt;
    }
    inputOffset_ += static_cast<std::size_t>(data.input_frames_used);
    inputFrames_ -= static_cast<std::size_t>(data.input_frames_used);
    return static_cast<std::size_t>(data.output_frames_gen);
  }

  LoopingFile file_;
  Converter converter_;
  double ratio_;
  std::vector<float> input_;
  std::size_t inputOffset_ = 0;
  std::size_t inputFrames_ = 0;
  std::vector<float> output_;
  std::string failure_;
};

// The file goes on where it stopped when recording starts again.
class FileStream final : public PacedWaveInStream {
 public:
  FileStream(FileSignal signal, std::string path, DWORD sampleRate, WaveBufferQueue& queue)
      : PacedWaveInStream(sampleRate, queue), signal_(std::move(signal)), path_(std::move(path)) {
    StartThread();
  }
  ~FileStream() override { StopThread(); }

 private:
  std::size_t Produce(std::int16_t* interleaved, std::size_t frames) override {
    const std::size_t made = signal_.Fill(interleaved, frames);
    if (made < frames) {
      std::cerr << "corvane: audio file " << path_ << ": " << signal_.Failure()
                << "; no more samples until the device is closed\n";
    }
    return made;
  }

  FileSignal signal_;  // device thread only
  const std::string path_;
};

class FileInputDevice final : public WaveInDevice {
 public:
  explicit FileInputDevice(std::string path) : path_(std::move(path)) {
    SetCapsName(caps_, DeviceDisplayName(std::filesystem::path(path_).filename().string()));
    caps_.dwFormats = FileFormats;
    caps_.wChannels = 2;
  }

  [[nodiscard]] const WAVEINCAPSA& Caps() const override { return caps_; }

  MMRESULT Open(DWORD sampleRate, WaveBufferQueue& queue,
                std::unique_ptr<WaveInStream>& stream) override {
    SF_INFO info;
    std::string reason;
    SoundFile file = OpenSoundFile(path_, info, reason);
    if (!file) {
      std::cerr << "corvane: audio file " << path_ << " cannot be read: " << reason << "\n";
      return MMSYSERR_BADDEVICEID;
    }
    const double ratio = static_cast<double>(sampleRate) / info.samplerate;
    if (src_is_valid_ratio(ratio) == 0) {
      std::cerr << "corvane: audio file " << path_ << " at " << info.samplerate
                << " Hz cannot be converted to " << sampleRate << " Hz\n";
      return WAVERR_BADFORMAT;
    }
    Converter converter;
    if (static_cast<DWORD>(info.samplerate) != sampleRate) {
      int error = 0;
      converter.reset(src_new(SRC_SINC_MEDIUM_QUALITY, 2, &error));
      if (!converter) {
        std::cerr << "corvane: audio file " << path_
                  << ": starting the rate conversion failed: " << src_strerror(error) << "\n";
        return MMSYSERR_NOMEM;
      }
    }
    stream = std::make_unique<FileStream>(
        FileSignal(LoopingFile(std::move(file), info.channels), std::move(converter), ratio), path_,
        sampleRate, queue);
    return MMSYSERR_NOERROR;
  }

 private:
  const std::string path_;
  WAVEINCAPSA caps_{};
};

}  // namespace

std::shared_ptr<WaveInDevice> MakeFileInputDevice(const std::string& path) {
  SF_INFO info;
  std::string reason;
  if (!OpenSoundFile(path, info, reason)) {
    std::cerr << "corvane: CORVANE_INPUT_FILE " << path << " cannot be read: " << reason << "\n";
    return nullptr;
  }
  return std::make_shared<FileInputDevice>(path);
}
