// Writes the audio file fuzzer's seeds with libsndfile: a short tone in each container and
// encoding the file input may meet, at rates on both sides of the capture rates. Usage:
// corvane_fuzz_audio_seeds <folder>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace {

struct Seed {
  const char* name;
  int format;
  int channels;
  int rate;
};

constexpr Seed Seeds[] = {
    {"pcm16-stereo-22050.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 22050},
    {"pcm16-mono-44100.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100},
    {"float-stereo-48000.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000},
    {"pcm24-3ch-96000.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 3, 96000},
    {"ima-adpcm-mono-8000.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1, 8000},
    {"ulaw-stereo-11025.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, 2, 11025},
    {"gsm-mono-8000.wav", SF_FORMAT_WAV | SF_FORMAT_GSM610, 1, 8000},
    {"pcm16-stereo-44100.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100},
    {"pcm24-mono-22050.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 1, 22050},
    {"pcm16-stereo-11025.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 11025},
    {"pcm8-mono-32000.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 1, 32000},
    {"pcm16-mono-16000.au", SF_FORMAT_AU | SF_FORMAT_PCM_16, 1, 16000},
    {"gsm-mono-8000.aifc", SF_FORMAT_AIFF | SF_FORMAT_GSM610, 1, 8000},
    {"vorbis-stereo-44100.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 44100},
    {"opus-mono-48000.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 1, 48000},
    {"layer3-stereo-22050.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 2, 22050},
};

// More than a block of every block-coded format (GSM 6.10 codes 160 frames at a time) and
// than the ten milliseconds a pass must give, and short enough that the fuzzer's reads run
// past the end and start the file again.
std::size_t Frames(int rate) {
  return std::max<std::size_t>(200, static_cast<std::size_t>(rate) / 50);
}

struct SoundFileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};

bool Write(const std::filesystem::path& folder, const Seed& seed) {
  SF_INFO info{};
  info.samplerate = seed.rate;
  info.channels = seed.channels;
  info.format = seed.format;
  if (sf_format_check(&info) == 0) {
    std::fprintf(stderr, "%s: libsndfile does not write this format\n", seed.name);
    return false;
  }
  const std::string path = (folder / seed.name).string();
  const std::unique_ptr<SNDFILE, SoundFileCloser> file(sf_open(path.c_str(), SFM_WRITE, &info));
  if (!file) {
    std::fprintf(stderr, "%s: %s\n", seed.name, sf_strerror(nullptr));
    return false;
  }
  const std::size_t frames = Frames(seed.rate);
  std::vector<float> samples(frames * static_cast<std::size_t>(seed.channels));
  for (std::size_t j = 0; j < frames; ++j) {
    for (int c = 0; c < seed.channels; ++c) {
      // A different tone on each channel, so that a swapped or repeated channel shows.
      const double hertz = 440.0 * (c + 1);
      samples[j * static_cast<std::size_t>(seed.channels) + static_cast<std::size_t>(c)] =
          static_cast<float>(
              0.5 * std::sin(2.0 * std::numbers::pi * hertz * static_cast<double>(j) / seed.rate));
    }
  }
  return sf_writef_float(file.get(), samples.data(), static_cast<sf_count_t>(frames)) ==
         static_cast<sf_count_t>(frames);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  bool allWritten = true;
  for (const Seed& seed : Seeds) allWritten = Write(argv[1], seed) && allWritten;
  return allWritten ? 0 : 1;
}
