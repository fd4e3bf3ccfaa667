// The audio file reader alone: looping with and without seeking, channels, rate conversion and
// files it cannot play. Files are written with libsndfile into a folder of the test's own.
#include "platform/wavein/audio_file_reader.h"

#include <gtest/gtest.h>

#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class AudioFileReaderTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "corvane-audiofile-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  // Writes interleaved samples in format (SF_FORMAT_WAV | SF_FORMAT_PCM_16, ...).
  [[nodiscard]] std::string Write(const std::string& name, int format, int rate, int channels,
                                  const std::vector<short>& samples) const {
    std::string path = (folder_ / name).string();
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
    if (file != nullptr) {
      sf_writef_short(file, samples.data(), static_cast<sf_count_t>(samples.size()) / channels);
      sf_close(file);
    }
    return path;
  }

  static std::optional<AudioFileReader> Open(const std::string& path, std::uint32_t rate) {
    AudioFileOpening opening = OpenAudioFile(path, rate);
    EXPECT_EQ(opening.error, AudioFileError::None) << opening.reason;
    return std::move(opening.reader);
  }

  // Frames a file holds as libsndfile decodes it.
  static sf_count_t DecodedFrames(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file != nullptr) sf_close(file);
    return info.frames;
  }

  static std::vector<std::int16_t> Fill(AudioFileReader& reader, std::size_t frames) {
    std::vector<std::int16_t> samples(2 * frames);
    EXPECT_EQ(reader.Fill(samples.data(), frames), frames) << reader.Failure();
    return samples;
  }

  fs::path folder_;
};

// frames frames of channels channels in which neighbouring samples differ.
std::vector<short> Pattern(std::size_t frames, int channels) {
  std::vector<short> samples;
  for (std::size_t j = 0; j < frames * static_cast<std::size_t>(channels); ++j) {
    samples.push_back(static_cast<short>((j * 37) % 20000) - 10000);
  }
  return samples;
}

std::vector<short> Sine(int rate, std::size_t frames, double hz) {
  std::vector<short> samples;
  for (std::size_t j = 0; j < frames; ++j) {
    samples.push_back(static_cast<short>(std::lround(
        16000.0 * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(j) / rate))));
  }
  return samples;
}

constexpr int Pcm16Wav = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
constexpr int GsmWav = SF_FORMAT_WAV | SF_FORMAT_GSM610;

TEST_F(AudioFileReaderTest, APcmFileLoopsBitForBitAcrossChannelLayouts) {
  constexpr std::size_t kFrames = 500;
  struct Case {
    int channels;
    std::size_t left;  // the file's channel in each output channel
    std::size_t right;
  };
  for (const Case c : {Case{1, 0, 0}, Case{2, 0, 1}, Case{3, 0, 1}}) {
    SCOPED_TRACE(c.channels);
    const auto pattern = Pattern(kFrames, c.channels);
    auto reader = Open(Write("pattern" + std::to_string(c.channels) + ".wav", Pcm16Wav, 44100,
                             c.channels, pattern),
                       44100);
    ASSERT_TRUE(reader);
    // Odd pieces, so that the file's end falls inside them.
    std::vector<std::int16_t> played;
    for (const std::size_t piece : {7U, 450U, 143U, 301U}) {
      const auto samples = Fill(*reader, piece);
      played.insert(played.end(), samples.begin(), samples.end());
    }
    const auto channels = static_cast<std::size_t>(c.channels);
    for (std::size_t j = 0; j < played.size() / 2; ++j) {
      const std::size_t frame = (j % kFrames) * channels;
      ASSERT_EQ(played[2 * j], pattern[frame + c.left]) << j;
      ASSERT_EQ(played[2 * j + 1], pattern[frame + c.right]) << j;
    }
  }
}

// GSM 6.10 cannot seek: at the end the file is opened afresh, so every pass decodes the same.
TEST_F(AudioFileReaderTest, AFileThatCannotSeekLoopsByOpeningItAgain) {
  const std::string path = Write("speech.wav", GsmWav, 8000, 1, Sine(8000, 1000, 300.0));
  const auto frames = static_cast<std::size_t>(DecodedFrames(path));
  ASSERT_GT(frames, 0U);
  EXPECT_EQ(AudioFileRefusal(path), "");
  auto reader = Open(path, 8000);
  ASSERT_TRUE(reader);
  const auto played = Fill(*reader, 3 * frames + 5);
  EXPECT_GT(*std::max_element(played.begin(), played.end()), 8000);
  for (std::size_t i = 0; i + 2 * frames < played.size(); ++i) {
    ASSERT_EQ(played[i + 2 * frames], played[i]) << i;
  }
}

// The buffer for the file's samples is sized for its channels: a file with others at the
// path must not be read into it.
TEST_F(AudioFileReaderTest, AFileGoneOrChangedAtItsEndStopsTheReader) {
  enum class Change { Removed, Replaced, Fifo };
  for (const Change change : {Change::Removed, Change::Replaced, Change::Fifo}) {
    SCOPED_TRACE(static_cast<int>(change));
    const std::string path = Write("speech.wav", GsmWav, 8000, 1, Sine(8000, 500, 300.0));
    const auto frames = static_cast<std::size_t>(DecodedFrames(path));
    auto reader = Open(path, 8000);
    ASSERT_TRUE(reader);
    Fill(*reader, frames / 2);
    // The open file stays as it was: the path names another one from now on, or none.
    switch (change) {
      case Change::Removed:
        fs::remove(path);
        break;
      case Change::Replaced:
        fs::rename(Write("other.wav", Pcm16Wav, 8000, 8, Pattern(4000, 8)), path);
        break;
      case Change::Fifo:  // opening it to read would wait for a writer for ever
        fs::remove(path);
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        break;
    }
    std::vector<std::int16_t> samples(2 * frames);
    EXPECT_EQ(reader->Fill(samples.data(), frames), frames - frames / 2);
    EXPECT_EQ(reader->Failure(), "the file can no longer be read");
    EXPECT_EQ(reader->Fill(samples.data(), frames), 0U);
  }
}

TEST_F(AudioFileReaderTest, AFileAtAnotherRateIsConverted) {
  struct Case {
    int fileRate;
    std::uint32_t openedRate;
  };
  for (const Case c : {Case{8000, 44100}, Case{48000, 44100}, Case{44100, 22050}}) {
    SCOPED_TRACE(std::to_string(c.fileRate) + " Hz opened at " + std::to_string(c.openedRate));
    const std::string path =
        Write("tone" + std::to_string(c.fileRate) + ".wav", Pcm16Wav, c.fileRate, 1,
              Sine(c.fileRate, static_cast<std::size_t>(c.fileRate) / 10, 1000.0));
    auto reader = Open(path, c.openedRate);
    ASSERT_TRUE(reader);
    Fill(*reader, c.openedRate / 2);  // past the converter's start
    const auto second = Fill(*reader, c.openedRate);
    int crossings = 0;
    std::int16_t peak = 0;
    for (std::size_t j = 1; j < second.size() / 2; ++j) {
      if (second[2 * (j - 1)] < 0 && second[2 * j] >= 0) ++crossings;
      peak = std::max(peak, second[2 * j]);
      ASSERT_EQ(second[2 * j], second[2 * j + 1]);
    }
    EXPECT_NEAR(crossings, 1000, 2);
    EXPECT_NEAR(peak, 16000, 400);
  }
}

TEST_F(AudioFileReaderTest, FilesItCannotPlaySayWhy) {
  const std::string text = (folder_ / "notes.wav").string();
  std::ofstream(text) << "not a sound file\n";
  const std::string empty = Write("empty.wav", Pcm16Wav, 44100, 2, {});
  // Nine milliseconds, where a pass must give ten.
  const std::string brief = Write("brief.wav", Pcm16Wav, 44100, 2, Pattern(396, 2));
  const std::string fast = Write("fast.wav", Pcm16Wav, 384000, 1, Pattern(38400, 1));
  const std::string slow = Write("slow.wav", Pcm16Wav, 800, 1, Pattern(800, 1));
  // GSM 6.10 in 93 channels at about 2 MHz: one frame a pass, so that each frame played
  // would open the file again about ninety times (found by the fuzzer).
  const std::string manyChannels =
      CORVANE_SOURCE_DIR "/tests/fuzz/audio_file/regressions/gsm-93-channels-2-mhz.aifc";
  struct Case {
    std::string path;
    std::string reason;  // a part of it
  };
  for (const Case& c :
       {Case{(folder_ / "absent.wav").string(), "No such file"}, Case{text, "not recognised"},
        Case{empty, "it holds no samples"}, Case{brief, "it gives 396 frames, fewer than the 441"},
        Case{fast, "its rate of 384000 Hz is outside 1000 to 192000 Hz"},
        Case{slow, "its rate of 800 Hz"}, Case{manyChannels, "its rate of 2048000 Hz"}}) {
    EXPECT_NE(AudioFileRefusal(c.path).find(c.reason), std::string::npos)
        << c.path << ": " << AudioFileRefusal(c.path);
    for (const std::uint32_t rate : {22050U, 44100U}) {
      const AudioFileOpening opening = OpenAudioFile(c.path, rate);
      EXPECT_EQ(opening.error, AudioFileError::Refused) << c.path;
      EXPECT_FALSE(opening.reader.has_value());
      EXPECT_NE(opening.reason.find(c.reason), std::string::npos) << opening.reason;
    }
  }

  // libsamplerate converts between 1/256 and 256 times the rate only.
  const std::string low = Write("low.wav", Pcm16Wav, 8000, 1, Pattern(100, 1));
  for (const std::uint32_t rate : {0U, 8000U * 257U}) {
    const AudioFileOpening opening = OpenAudioFile(low, rate);
    EXPECT_EQ(opening.error, AudioFileError::RateNotConvertible) << rate;
    EXPECT_NE(opening.reason.find("8000 Hz"), std::string::npos) << opening.reason;
  }
}

// The device thread asks for a few milliseconds at a time and must never be held up by the
// file: a fill reads about its own duration of the file, and a file that loops (opened again
// for every pass where it cannot seek) does so at most once a pass of ten milliseconds.
TEST_F(AudioFileReaderTest, EachFillReadsAboutItsOwnDurationOfTheFile) {
  struct Case {
    std::string path;
    std::uint32_t fileRate;
  };
  for (const Case& c : {Case{Write("one-gsm-frame.aifc", SF_FORMAT_AIFF | SF_FORMAT_GSM610, 8000, 1,
                                   Sine(8000, 160, 300.0)),
                             8000},
                        Case{Write("fast.wav", Pcm16Wav, 192000, 2, Pattern(1920, 2)), 192000},
                        Case{Write("slow.wav", Pcm16Wav, 1000, 1, Pattern(10, 1)), 1000}}) {
    for (const std::uint32_t rate : {22050U, 44100U}) {
      SCOPED_TRACE(c.path + " at " + std::to_string(rate) + " Hz");
      auto reader = Open(c.path, rate);
      ASSERT_TRUE(reader);
      std::vector<std::int16_t> samples(2 * rate);
      // What the device thread asks for: a tick's frames, a piece of a catch-up, odd lengths.
      for (std::size_t fill = 0; fill < 400; ++fill) {
        const std::size_t frames =
            std::array<std::size_t, 4>{rate / 200, 1, 7, rate / 100}[fill % 4];
        const AudioFileWork before = reader->Work();
        ASSERT_EQ(reader->Fill(samples.data(), frames), frames) << reader->Failure();
        const AudioFileWork after = reader->Work();
        const auto framesRead = static_cast<std::size_t>(after.framesRead - before.framesRead);
        const auto passes = static_cast<std::size_t>(after.openings + after.rewinds -
                                                     before.openings - before.rewinds);
        ASSERT_LE(framesRead, AudioFileFillFramesBound(frames, rate, c.fileRate)) << fill;
        ASSERT_LE(passes, AudioFileFillPassesBound(framesRead, c.fileRate)) << fill;
      }
      EXPECT_GT(reader->Work().openings + reader->Work().rewinds, 10U) << "the file looped";
    }
  }
}

}  // namespace
