#pragma once
// The audio file input's decoding: a file read with libsndfile as an endless loop of 16-bit
// stereo frames at a chosen rate, converted with libsamplerate when the file is at another.
// No device or thread behind it, so that tests and fuzzers link it alone.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Files outside these rates are refused: converting down costs in proportion to the file's
// rate (192 kHz to 22050 Hz takes about 6 % of a core), and a few hertz make no signal.
inline constexpr std::uint32_t MinAudioFileRate = 1000;
inline constexpr std::uint32_t MaxAudioFileRate = 192000;
// Every pass through the file must give at least this many hundredths of a second of sound,
// so that looping (a seek, or for formats that cannot seek a fresh opening) happens at most
// once or twice per hundredth of a second played.
inline constexpr std::uint32_t MinAudioFileLoopHundredths = 1;
// The most frames read from the file in one read.
inline constexpr std::size_t AudioFileReadFrames = 1024;

// Frames of a file at rate that a pass through it must give at least.
constexpr std::size_t MinAudioFileLoopFrames(std::uint32_t rate) {
  return (static_cast<std::size_t>(rate) * MinAudioFileLoopHundredths + 99) / 100;
}

// The most frames of a file at fileRate that one fill of frames frames at rate reads: the
// fill's own duration of the file and the rate converter's look-ahead, under 64 frames at the
// lower of the two rates.
constexpr std::size_t AudioFileFillFramesBound(std::size_t frames, std::uint32_t rate,
                                               std::uint32_t fileRate) {
  const std::size_t fileFrames = (frames * fileRate + rate - 1) / rate;
  const std::size_t lookAhead = 64 * std::max<std::size_t>(1, (fileRate + rate - 1) / rate);
  return fileFrames + lookAhead;
}

// The most passes (rewinds and openings) that a fill reading framesRead frames of a file at
// fileRate makes: every pass but the last one gives at least MinAudioFileLoopFrames.
constexpr std::size_t AudioFileFillPassesBound(std::size_t framesRead, std::uint32_t fileRate) {
  return framesRead / MinAudioFileLoopFrames(fileRate) + 1;
}

// Empty when the file can be played in a loop, else why not (one line): it cannot be read,
// holds no samples, is at a rate outside MinAudioFileRate..MaxAudioFileRate, or its first pass
// gives fewer than MinAudioFileLoopFrames.
std::string AudioFileRefusal(const std::string& path);

// What a reader has done to the file since it was opened, for the bound on each fill's work.
struct AudioFileWork {
  std::uint64_t openings = 0;  // the first one included
  std::uint64_t rewinds = 0;   // seeks back to the start
  std::uint64_t reads = 0;
  std::uint64_t framesRead = 0;  // at the file's rate
};

struct AudioFileOpening;

// Plays a file from its start, in a loop: formats that can seek go back to the start, the
// others (GSM 6.10, for one) are opened afresh at the end. A mono file feeds both channels, a
// file with more channels gives its first two. Made by OpenAudioFile; one thread at a time.
class AudioFileReader {
 public:
  AudioFileReader(AudioFileReader&&) noexcept;
  AudioFileReader& operator=(AudioFileReader&&) noexcept;
  ~AudioFileReader();

  // Fills frames interleaved stereo frames; fewer only when the file can no longer be read
  // (removed, emptied, replaced by one with other channels or another rate, or a pass through
  // it gives fewer than MinAudioFileLoopFrames), and from then on none; Failure then says why.
  // Reads no more than AudioFileFillFramesBound and AudioFileFillPassesBound allow, in reads of
  // at most AudioFileReadFrames.
  std::size_t Fill(std::int16_t* interleaved, std::size_t frames);
  [[nodiscard]] const std::string& Failure() const;
  [[nodiscard]] AudioFileWork Work() const;
  [[nodiscard]] std::uint32_t FileRate() const;

 private:
  struct State;
  explicit AudioFileReader(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;

  friend AudioFileOpening OpenAudioFile(const std::string& path, std::uint32_t rate);
};

enum class AudioFileError { None, Refused, RateNotConvertible, ConverterFailed };

struct AudioFileOpening {
  std::optional<AudioFileReader> reader;  // set when error is None
  AudioFileError error = AudioFileError::None;
  std::string reason;  // one line saying why, when there is an error
};

// Opens path to be played at rate frames per second; refuses what AudioFileRefusal refuses.
AudioFileOpening OpenAudioFile(const std::string& path, std::uint32_t rate);
