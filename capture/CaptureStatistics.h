#pragma once
// Figures of one capture run for soak and load measurements, written only when the environment
// variable CORVANE_STATS_FILE names a file: the blocks shown, the polls, the worst interval
// between the starts of two polls (over the run and over the last second) and the frames the
// device dropped. The file is replaced whole, once a second and at the end of the run, so a
// reader never sees half of it. User-interface thread only; fixed size, nothing grows per poll.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>

class CaptureStatistics {
 public:
  using Clock = std::chrono::steady_clock;

  // droppedFrames answers the device's count of dropped frames; it is asked only when the
  // file is written.
  using DroppedFramesQuery = std::function<std::uint64_t()>;

  // Reports to CORVANE_STATS_FILE, or does nothing when it is unset or empty.
  explicit CaptureStatistics(DroppedFramesQuery droppedFrames);
  // Reports to file (an empty path: does nothing).
  CaptureStatistics(std::filesystem::path file, DroppedFramesQuery droppedFrames);

  [[nodiscard]] bool Enabled() const { return !file_.empty(); }
  // A poll starts at now; writes the file when a second has passed since the last write.
  void PollStarted(Clock::time_point now);
  void BlockShown() { ++blocks_; }
  // The run ends at now: writes the final figures.
  void Finish(Clock::time_point now);

 private:
  void Write(Clock::time_point now);

  std::filesystem::path file_;
  DroppedFramesQuery droppedFrames_;
  Clock::time_point start_{};
  Clock::time_point lastPoll_{};
  Clock::time_point lastWrite_{};
  std::uint64_t polls_ = 0;
  std::uint64_t blocks_ = 0;
  Clock::duration worstInterval_{};
  Clock::duration worstIntervalThisSecond_{};
};
