// The audio file input on arbitrary bytes: the bytes become a file, which is opened to be
// played at both capture rates, and a few buffers of different lengths are read from it,
// through the rate converter where the file is at another rate.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wavein/audio_file_reader.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

constexpr std::array<std::uint32_t, 2> CaptureRates = {22050, 44100};

// What a paced device thread asks for in one piece, odd lengths, and a twentieth of a second:
// together longer than the seeds, so that the file starts again. Not more, because the rate
// conversion takes most of the fuzzer's time.
std::array<std::size_t, 4> BufferFrames(std::uint32_t rate) {
  return {rate / 100, 1, 7, rate / 20};
}

// refusal: why AudioFileRefusal does not play the file, empty when it does.
void Play(const std::string& path, std::uint32_t rate, const std::string& refusal) {
  AudioFileOpening opening = OpenAudioFile(path, rate);
  Require((opening.error == AudioFileError::Refused) == !refusal.empty(),
          "a file opens exactly when the listing accepts it");
  if (!opening.reader) {
    Require(opening.error != AudioFileError::None && !opening.reason.empty(),
            "a file that cannot be played says why");
    return;
  }
  Require(opening.error == AudioFileError::None, "a file that opens reports no error");
  AudioFileReader& reader = *opening.reader;
  std::vector<std::int16_t> samples;
  for (const std::size_t frames : BufferFrames(rate)) {
    samples.assign(2 * frames, 0);
    const AudioFileWork before = reader.Work();
    const std::size_t made = reader.Fill(samples.data(), frames);
    const AudioFileWork after = reader.Work();
    const auto framesRead = static_cast<std::size_t>(after.framesRead - before.framesRead);
    Require(framesRead <= AudioFileFillFramesBound(frames, rate, reader.FileRate()),
            "a fill reads about its own duration of the file");
    Require(after.openings + after.rewinds - before.openings - before.rewinds <=
                AudioFileFillPassesBound(framesRead, reader.FileRate()),
            "a fill loops at most once a pass of the shortest length allowed");
    // The file does not change while the fuzzer plays it, and its first pass was long enough
    // to be listed, so every pass is.
    Require(made == frames, "a file that is listed plays on in a loop, every fill full");
    Require(reader.Failure().empty(), "a full fill reports no failure");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path path = TheFuzzFolder().Path() / "input.sound";
  WriteWholeFile(path, std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string reason = AudioFileRefusal(path.string());
  for (const std::uint32_t rate : CaptureRates) Play(path.string(), rate, reason);
  std::filesystem::remove(path);
  return 0;
}
