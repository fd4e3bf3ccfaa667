#include "capture/CaptureStatistics.h"

#include <cstdlib>
#include <fstream>
#include <locale>
#include <system_error>
#include <utility>

namespace {

constexpr auto ReportPeriod = std::chrono::seconds(1);

std::filesystem::path FileFromEnvironment() {
  const char* value = std::getenv("CORVANE_STATS_FILE");
  return value == nullptr ? std::filesystem::path() : std::filesystem::path(value);
}

std::int64_t Microseconds(CaptureStatistics::Clock::duration duration) {
  return std::chrono::duration_cast<std::chrono::microseconds>(duration).count();
}

}  // namespace

CaptureStatistics::CaptureStatistics(DroppedFramesQuery droppedFrames)
    : CaptureStatistics(FileFromEnvironment(), std::move(droppedFrames)) {}

CaptureStatistics::CaptureStatistics(std::filesystem::path file, DroppedFramesQuery droppedFrames)
    : file_(std::move(file)), droppedFrames_(std::move(droppedFrames)) {}

void CaptureStatistics::PollStarted(Clock::time_point now) {
  if (!Enabled()) return;
  if (polls_ == 0) {
    start_ = now;
    lastWrite_ = now;
  } else {
    const Clock::duration interval = now - lastPoll_;
    if (interval > worstInterval_) worstInterval_ = interval;
    if (interval > worstIntervalThisSecond_) worstIntervalThisSecond_ = interval;
  }
  lastPoll_ = now;
  ++polls_;
  if (now - lastWrite_ >= ReportPeriod) Write(now);
}

void CaptureStatistics::Finish(Clock::time_point now) {
  if (Enabled() && polls_ > 0) Write(now);
}

void CaptureStatistics::Write(Clock::time_point now) {
  const Clock::duration worstThisSecond = std::exchange(worstIntervalThisSecond_, {});
  // A file that cannot be written is tried again a second later, not at every poll.
  lastWrite_ = now;
  std::filesystem::path temporary = file_;
  temporary += ".new";
  {
    std::ofstream out(temporary, std::ios::trunc);
    // Plain digits whatever the user's locale.
    out.imbue(std::locale::classic());
    out << "elapsed_us=" << Microseconds(now - start_) << '\n'
        << "polls=" << polls_ << '\n'
        << "blocks=" << blocks_ << '\n'
        << "dropped_frames=" << droppedFrames_() << '\n'
        << "worst_poll_interval_us=" << Microseconds(worstInterval_) << '\n'
        << "worst_poll_interval_last_second_us=" << Microseconds(worstThisSecond) << '\n';
    if (!out.flush()) return;
  }
  std::error_code ignored;
  std::filesystem::rename(temporary, file_, ignored);
}
