#pragma once
// The audio file input's decoding: a file read with libsndfile as an endless loop of 16-bit
// stereo frames at a chosen rate, converted with libsamplerate when the file is at another.
// No device or thread behind it, so that tests and fuzzers link it alone.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Empty when libsndfile reads path and it holds samples, else why not (one line).
std::string AudioFileUnreadableReason(const std::string& path);

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
  // (removed, emptied, or replaced by one with other channels or another rate), and from then
  // on none; Failure then says why.
  std::size_t Fill(std::int16_t* interleaved, std::size_t frames);
  [[nodiscard]] const std::string& Failure() const;

 private:
  struct State;
  explicit AudioFileReader(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;

  friend AudioFileOpening OpenAudioFile(const std::string& path, std::uint32_t rate);
};

enum class AudioFileError { None, Unreadable, RateNotConvertible, ConverterFailed };

struct AudioFileOpening {
  std::optional<AudioFileReader> reader;  // set when error is None
  AudioFileError error = AudioFileError::None;
  std::string reason;  // one line saying why, when there is an error
};

// Opens path to be played at rate frames per second.
AudioFileOpening OpenAudioFile(const std::string& path, std::uint32_t rate);
