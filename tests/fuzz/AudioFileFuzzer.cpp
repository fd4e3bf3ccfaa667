// The audio file input on arbitrary bytes: the bytes become a file, which is opened to be
// played at both capture rates, and a few buffers of different lengths are read from it,
// through the rate converter where the file is at another rate.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/audio_file_reader.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

constexpr std::array<std::uint32_t, 2> CaptureRates = {22050, 44100};

// What a paced device thread asks for in one tick, the odd lengths it asks for when it catches
// up, and a twentieth of a second after a stall: together longer than the seeds, so that the
// file starts again. Not more, because the rate conversion takes most of the fuzzer's time.
std::array<std::size_t, 4> BufferFrames(std::uint32_t rate) {
  return {rate / 100, 1, 7, rate / 20};
}

// unreadable: why libsndfile does not read the file, empty when it does.
void Play(const std::string& path, std::uint32_t rate, const std::string& unreadable) {
  AudioFileOpening opening = OpenAudioFile(path, rate);
  Require((opening.error == AudioFileError::Unreadable) == !unreadable.empty(),
          "a file opens exactly when it is found readable");
  if (!opening.reader) {
    Require(opening.error != AudioFileError::None && !opening.reason.empty(),
            "a file that cannot be played says why");
    return;
  }
  Require(opening.error == AudioFileError::None, "a file that opens reports no error");
  AudioFileReader& reader = *opening.reader;
  std::vector<std::int16_t> samples;
  std::size_t played = 0;
  for (const std::size_t frames : BufferFrames(rate)) {
    samples.assign(2 * frames, 0);
    const std::size_t made = reader.Fill(samples.data(), frames);
    Require(made <= frames, "a fill makes no more frames than asked for");
    played += made;
    if (made == frames) {
      Require(reader.Failure().empty(), "a full fill reports no failure");
      continue;
    }
    Require(reader.Failure().starts_with("the file can no longer be read"),
            "a short fill says why, and only an unreadable file stops, never the conversion");
    // The file does not change while the fuzzer plays it, so what gave samples once gives
    // them again from its start.
    Require(played == 0, "a file that gave samples plays on in a loop");
    Require(reader.Fill(samples.data(), frames) == 0, "after a short fill, nothing more");
    return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path path = TheFuzzFolder().Path() / "input.sound";
  WriteWholeFile(path, std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string reason = AudioFileUnreadableReason(path.string());
  for (const std::uint32_t rate : CaptureRates) Play(path.string(), rate, reason);
  std::filesystem::remove(path);
  return 0;
}
