#include "platform/wavein/audio_file_reader.h"

#include <fcntl.h>
#include <samplerate.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <optional>
#include <utility>
#include <vector>

namespace {

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

// Why a file opened with info cannot be played, before anything is read from it.
std::string RateRefusal(const SF_INFO& info) {
  if (info.samplerate < static_cast<int>(MinAudioFileRate) ||
      info.samplerate > static_cast<int>(MaxAudioFileRate)) {
    return "its rate of " + std::to_string(info.samplerate) + " Hz is outside " +
           std::to_string(MinAudioFileRate) + " to " + std::to_string(MaxAudioFileRate) + " Hz";
  }
  return {};
}

// The file as an endless stream of stereo float frames at its own rate.
class LoopingFile {
 public:
  LoopingFile(std::string path, SoundFile file, const SF_INFO& info)
      : path_(std::move(path)),
        file_(std::move(file)),
        info_(info),
        minPassFrames_(MinAudioFileLoopFrames(static_cast<std::uint32_t>(info.samplerate))) {
    work_.openings = 1;
  }

  // Up to min(frames, AudioFileReadFrames) frames; 0 when the file can no longer be read,
  // or when the pass that just ended gave too few frames to loop on.
  std::size_t Read(float* stereo, std::size_t frames) {
    frames = std::min(frames, AudioFileReadFrames);
    std::size_t got = ReadRaw(frames);
    if (got == 0) {
      if (passFrames_ < minPassFrames_ || !Rewind()) return 0;
      got = ReadRaw(frames);
    }
    const auto channels = static_cast<std::size_t>(info_.channels);
    const std::size_t secondChannel = channels > 1 ? 1 : 0;
    for (std::size_t j = 0; j < got; ++j) {
      const float* frame = raw_.data() + j * channels;
      stereo[2 * j] = frame[0];
      stereo[2 * j + 1] = frame[secondChannel];
    }
    return got;
  }

  [[nodiscard]] const AudioFileWork& Work() const { return work_; }
  [[nodiscard]] int Rate() const { return info_.samplerate; }

 private:
  std::size_t ReadRaw(std::size_t frames) {
    raw_.resize(frames * static_cast<std::size_t>(info_.channels));
    ++work_.reads;
    const sf_count_t got =
        sf_readf_float(file_.get(), raw_.data(), static_cast<sf_count_t>(frames));
    if (got <= 0) return 0;
    const auto count = static_cast<std::size_t>(got);
    work_.framesRead += count;
    passFrames_ += count;
    return count;
  }

  // Back to the first frame. Where the format cannot seek, the file is opened again; raw_ is
  // sized for the channels of the first opening, so another file at the path must match them.
  bool Rewind() {
    passFrames_ = 0;
    if (info_.seekable != 0) {
      ++work_.rewinds;
      if (sf_seek(file_.get(), 0, SEEK_SET) == 0) return true;
    }
    SF_INFO info{};
    std::string ignored;
    ++work_.openings;
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
  std::size_t minPassFrames_;
  std::size_t passFrames_ = 0;  // read since the last opening or rewind
  std::vector<float> raw_;
  AudioFileWork work_;
};

// Why the file at path cannot be played in a loop, empty when it can: the checks of a listing,
// which reads no more than the shortest pass allowed.
std::string Refusal(const std::string& path) {
  SF_INFO info;
  std::string reason;
  SoundFile file = OpenSoundFile(path, info, reason);
  if (!file) return reason;
  if (reason = RateRefusal(info); !reason.empty()) return reason;
  LoopingFile looping(path, std::move(file), info);
  const std::size_t needed = MinAudioFileLoopFrames(static_cast<std::uint32_t>(info.samplerate));
  std::vector<float> stereo(2 * AudioFileReadFrames);
  std::size_t frames = 0;
  while (frames < needed) {
    // A first pass that ends short gives 0 rather than starting again.
    const std::size_t got = looping.Read(stereo.data(), needed - frames);
    if (got == 0) break;
    frames += got;
  }
  if (frames >= needed) return {};
  return "it gives " + std::to_string(frames) + " frames, fewer than the " +
         std::to_string(needed) + " it needs to play in a loop";
}

}  // namespace

struct AudioFileReader::State {
  // converter is null when the file is at the opened rate; ratio is opened rate / file rate.
  State(LoopingFile loopingFile, Converter rateConverter, double rateRatio)
      : file(std::move(loopingFile)),
        converter(std::move(rateConverter)),
        ratio(rateRatio),
        input(2 * AudioFileReadFrames) {}

  std::optional<std::size_t> Read(float* out, std::size_t frames) {
    const std::size_t got = file.Read(out, frames);
    if (got == 0) {
      failure = "the file can no longer be read";
      return std::nullopt;
    }
    return got;
  }

  // Frames made by one step of the converter, which may keep all of a small input to itself.
  // It is given no more of the file than the frames still wanted stand for, so that a fill
  // reads about its own duration of the file.
  std::optional<std::size_t> Convert(float* out, std::size_t frames) {
    if (inputFrames == 0) {
      const auto wanted = static_cast<std::size_t>(std::ceil(static_cast<double>(frames) / ratio));
      const auto got = Read(input.data(), wanted + 1);
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

std::string AudioFileRefusal(const std::string& path) { return Refusal(path); }

AudioFileOpening OpenAudioFile(const std::string& path, std::uint32_t rate) {
  AudioFileOpening opening;
  if (std::string refusal = Refusal(path); !refusal.empty()) {
    opening.error = AudioFileError::Refused;
    opening.reason = "the file cannot be played: " + refusal;
    return opening;
  }
  SF_INFO info;
  std::string unreadable;
  SoundFile file = OpenSoundFile(path, info, unreadable);
  if (!file) {
    opening.error = AudioFileError::Refused;
    opening.reason = "the file cannot be played: " + unreadable;
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

AudioFileWork AudioFileReader::Work() const { return state_->file.Work(); }

std::uint32_t AudioFileReader::FileRate() const {
  return static_cast<std::uint32_t>(state_->file.Rate());
}
