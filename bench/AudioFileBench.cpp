// The audio file input's work per buffer over the fuzz corpus (seeds, regression cases, and the
// folders CORVANE_AUDIO_CORPUS names, separated by ':', such as a long fuzz run's corpus): every
// file that plays is played at both capture rates in the pieces the device thread asks for, and
// the worst piece is reported in reads, passes (rewinds and openings) and frames of the file
// against the piece's own duration. The time is that of one piece, averaged over all of them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/wavein/audio_file_reader.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> CorpusFiles() {
  std::vector<fs::path> folders = {CORVANE_SOURCE_DIR "/tests/fuzz/audio_file/corpus",
                                   CORVANE_SOURCE_DIR "/tests/fuzz/audio_file/regressions"};
  if (const char* extra = std::getenv("CORVANE_AUDIO_CORPUS")) {
    std::stringstream list(extra);
    for (std::string folder; std::getline(list, folder, ':');) folders.emplace_back(folder);
  }
  std::vector<std::string> files;
  for (const fs::path& folder : folders) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
      if (entry.is_regular_file()) files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

struct Worst {
  std::uint64_t reads = 0;
  std::uint64_t passes = 0;
  double fileDurations = 0;  // frames read of the file over the piece's own duration
};

// Plays every file for a tenth of a second in pieces of pieceFrames; the files played.
int PlayAll(const std::vector<std::string>& files, std::uint32_t rate, std::size_t pieceFrames,
            Worst& worst) {
  std::vector<std::int16_t> samples(2 * pieceFrames);
  int played = 0;
  for (const std::string& file : files) {
    AudioFileOpening opening = OpenAudioFile(file, rate);
    if (!opening.reader) continue;
    ++played;
    AudioFileReader& reader = *opening.reader;
    for (std::size_t made = 0; made < rate / 10; made += pieceFrames) {
      const AudioFileWork before = reader.Work();
      if (reader.Fill(samples.data(), pieceFrames) < pieceFrames) break;
      const AudioFileWork after = reader.Work();
      worst.reads = std::max(worst.reads, after.reads - before.reads);
      worst.passes =
          std::max(worst.passes, after.openings + after.rewinds - before.openings - before.rewinds);
      const double ownFrames = static_cast<double>(pieceFrames) * reader.FileRate() / rate;
      worst.fileDurations =
          std::max(worst.fileDurations,
                   static_cast<double>(after.framesRead - before.framesRead) / ownFrames);
    }
  }
  return played;
}

// A piece of the device thread: ten milliseconds.
void AudioFileCorpusPieces(benchmark::State& state) {
  const auto rate = static_cast<std::uint32_t>(state.range(0));
  const std::size_t pieceFrames = rate / 100;
  const std::vector<std::string> files = CorpusFiles();
  Worst worst;
  int played = 0;
  for (auto _ : state) played = PlayAll(files, rate, pieceFrames, worst);
  const auto pieces = static_cast<double>(played) * 10;
  state.counters["files"] = static_cast<double>(files.size());
  state.counters["played"] = played;
  state.counters["worst_reads"] = static_cast<double>(worst.reads);
  state.counters["worst_passes"] = static_cast<double>(worst.passes);
  state.counters["worst_file_durations"] = worst.fileDurations;
  state.counters["per_piece"] = benchmark::Counter(
      pieces, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(AudioFileCorpusPieces)->Arg(22050)->Arg(44100)->Unit(benchmark::kMillisecond);

}  // namespace
