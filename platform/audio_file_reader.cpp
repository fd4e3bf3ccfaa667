#include "platform/audio_file_reader.h"

#include <fcntl.h>
#include <samplerate.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t ConverterInputFrames = 1024;

struct SoundFileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SoundFile = std::unique_ptr<SNDFILE, SoundFileCloser>;

struct ConverterDeleter {
  void operator()(SRC_STATE* state) const { src_delete(state); }
};
using Converter = std::unique_ptr<SRC_STATE, ConverterDeleter>;

// The file open for reading, or null with the reason. Only a regular file plays in a loop, and
// opening anything else may wait for ever (a FIFO that nobody writes to, also one put in the
// file's place while it plays): the path is opened without waiting and looked at first.
SoundFile OpenSoundFile(const std::string& path, SF_INFO& info, std::string& reason) {
  info = SF_INFO{};
  const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) {
    reason = std::strerror(errno);
    return nullptr;
  }
  struct stat status {};
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(descriptor);
    reason = "it is not a regular file";
    return nullptr;
  }
  // libsndfile closes the descriptor with the file, also when it refuses to open it.
  SoundFile file(sf_open_fd(descriptor, SFM_READ, &info, SF_TRUE));
  if (!file) {
    reason = sf_strerror(nullptr);
  } else if (info.frames <= 0 || info.channels <= 0 || info.samplerate <= 0) {
    reason = "it holds no samples";
  } else {
    return file;
  }
  return nullptr;
}

// The file as an endless stream of stereo float frames at its own rate.
class LoopingFile {
 public:
  LoopingFile(std::string path, SoundFile file, const SF_INFO& info)
      : path_(std::move(path)), file_(std::move(file)), info_(info) {}

  // Up to frames frames; 0 only when the file gives nothing even from its start.
  std::size_t Read(float* stereo, std::size_t frames) {
    const auto channels = static_cast<std::size_t>(info_.channels);
    raw_.resize(frames * channels);
    const auto count = static_cast<sf_count_t>(frames);
    sf_count_t got = sf_readf_float(file_.get(), raw_.data(), count);
    if (got <= 0 && Rewind()) got = sf_readf_float(file_.get(), raw_.data(), count);
    if (got <= 0) return 0;
    const std::size_t secondChannel = channels > 1 ? 1 : 0;
    for (std::size_t j = 0; j < static_cast<std::size_t>(got); ++j) {
      const float* frame = raw_.data() + j * channels;
      stereo[2 * j] = frame[0];
      stereo[2 * j + 1] = frame[secondChannel];
    }
    return static_cast<std::size_t>(got);
  }

 private:
  // Back to the first frame. Where the format cannot seek, the file is opened again; raw_ is
  // sized for the channels of the first opening, so another file at the path must match them.
  bool Rewind() {
    if (info_.seekable != 0 && sf_seek(file_.get(), 0, SEEK_SET) == 0) return true;
    SF_INFO info{};
    std::string ignored;
    SoundFile again = OpenSoundFile(path_, info, ignored);
    if (!again || info.channels != info_.channels || info.samplerate != info_.samplerate) {
      return false;
    }
    file_ = std::move(again);
    info_ = info;
    return true;
  }

  std::string path_;
  SoundFile file_;
  SF_INFO info_;
  std::vector<float> raw_;
};

}  // namespace

struct AudioFileReader::State {
  // converter is null when the file is at the opened rate; ratio is opened rate / file rate.
  State(LoopingFile loopingFile, Converter rateConverter, double rateRatio)
      : file(std::move(loopingFile)),
        converter(std::move(rateConverter)),
        ratio(rateRatio),
        input(2 * ConverterInputFrames) {}

  std::optional<std::size_t> Read(float* out, std::size_t frames) {
    const std::size_t got = file.Read(out, frames);
    if (got == 0) {
      failure = "the file can no longer be read";
      return std::nullopt;
    }
    return got;
  }

  // Frames made by one step of the converter, which may keep all of a small input to itself.
  std::optional<std::size_t> Convert(float* out, std::size_t frames) {
    if (inputFrames == 0) {
      const auto got = Read(input.data(), ConverterInputFrames);
      if (!got) return std::nullopt;
      inputOffset = 0;
      inputFrames = *got;
    }
    SRC_DATA data{};
    data.data_in = input.data() + 2 * inputOffset;
    data.input_frames = static_cast<long>(inputFrames);
    data.data_out = out;
    data.output_frames = static_cast<long>(frames);
    data.src_ratio = ratio;
    if (const int error = src_process(converter.get(), &data); error != 0) {
      failure = std::string("rate conversion failed: ") + src_strerror(error);
      return std::nullopt;
    }
    if (data.input_frames_used == 0 && data.output_frames_gen == 0) {
      failure = "rate conversion made no progress";
      return std::nullopt;
    }
    inputOffset += static_cast<std::size_t>(data.input_frames_used);
    inputFrames -= static_cast<std::size_t>(data.input_frames_used);
    return static_cast<std::size_t>(data.output_frames_gen);
  }

  LoopingFile file;
  Converter converter;
  double ratio;
  std::vector<float> input;
  std::size_t inputOffset = 0;
  std::size_t inputFrames = 0;
  std::vector<float> output;
  std::string failure;
};

std::string AudioFileUnreadableReason(const std::string& path) {
  SF_INFO info;
  std::string reason;
  OpenSoundFile(path, info, reason);
  return reason;
}

AudioFileOpening OpenAudioFile(const std::string& path, std::uint32_t rate) {
  AudioFileOpening opening;
  SF_INFO info;
  std::string unreadable;
  SoundFile file = OpenSoundFile(path, info, unreadable);
  if (!file) {
    opening.error = AudioFileError::Unreadable;
    opening.reason = "the file cannot be read: " + unreadable;
    return opening;
  }
  const double ratio = static_cast<double>(rate) / info.samplerate;
  if (src_is_valid_ratio(ratio) == 0) {
    opening.error = AudioFileError::RateNotConvertible;
    opening.reason = "a file at " + std::to_string(info.samplerate) +
                     " Hz cannot be converted to " + std::to_string(rate) + " Hz";
    return opening;
  }
  Converter converter;
  if (static_cast<std::uint32_t>(info.samplerate) != rate) {
    int error = 0;
    converter.reset(src_new(SRC_SINC_MEDIUM_QUALITY, 2, &error));
    if (!converter) {
      opening.error = AudioFileError::ConverterFailed;
      opening.reason = std::string("starting the rate conversion failed: ") + src_strerror(error);
      return opening;
    }
  }
  opening.reader = AudioFileReader(std::make_unique<AudioFileReader::State>(
      LoopingFile(path, std::move(file), info), std::move(converter), ratio));
  return opening;
}

AudioFileReader::AudioFileReader(std::unique_ptr<State> state) : state_(std::move(state)) {}

AudioFileReader::AudioFileReader(AudioFileReader&&) noexcept = default;
AudioFileReader& AudioFileReader::operator=(AudioFileReader&&) noexcept = default;
AudioFileReader::~AudioFileReader() = default;

std::size_t AudioFileReader::Fill(std::int16_t* interleaved, std::size_t frames) {
  State& state = *state_;
  if (!state.failure.empty()) return 0;
  state.output.resize(2 * frames);
  std::size_t done = 0;
  while (done < frames) {
    float* out = state.output.data() + 2 * done;
    const auto made =
        state.converter ? state.Convert(out, frames - done) : state.Read(out, frames - done);
    if (!made) break;
    done += *made;
  }
  src_float_to_short_array(state.output.data(), interleaved, static_cast<int>(2 * done));
  return done;
}

const std::string& AudioFileReader::Failure() const { return state_->failure; }
