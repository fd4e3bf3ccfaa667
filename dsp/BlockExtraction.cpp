#include "dsp/BlockExtraction.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "app/Global.h"

namespace {

std::int32_t FramesPerBuffer() { return Round(static_cast<long double>(SampleRate) / 10); }

// Saturates rather than wraps, so a clipped negative peak stays a negative peak.
std::int16_t SubtractOffset(std::int16_t sample, std::int32_t offset) {
  constexpr std::int64_t Lowest = std::numeric_limits<std::int16_t>::min();
  constexpr std::int64_t Highest = std::numeric_limits<std::int16_t>::max();
  return static_cast<std::int16_t>(
      std::clamp(static_cast<std::int64_t>(sample) - offset, Lowest, Highest));
}

enum class Half { Buffer, KeptCopy };

// Copies the frames of one ring slot's buffer, or of the copy kept in the slot's second half,
// into the blocks, starting at element `first`.
void CopyBuffer(std::int32_t buffer, Half half, std::int32_t frames, std::int32_t first) {
  const std::size_t base =
      static_cast<std::size_t>(buffer) * static_cast<std::size_t>(BufferBytes) +
      (half == Half::KeptCopy ? static_cast<std::size_t>(BufferBytes) / 2 : 0);
  for (std::int32_t j = 0; j < frames; ++j) {
    const std::size_t frame = base + 2 * static_cast<std::size_t>(j);
    Channel1Block[first + j] = SubtractOffset(CaptureRing[frame], DcOffset1);
    Channel2Block[first + j] = SubtractOffset(CaptureRing[frame + 1], DcOffset2);
  }
}

}  // namespace

void ExtractBlock() {
  const std::int32_t frames = FramesPerBuffer();
  const bool twoBuffers = TimeBaseMs >= 10.0F;
  const std::int32_t filled = FilledBuffer;
  if (filled < 0 || filled >= CaptureBufferCount || BufferBytes < 2 * frames) return;
  if ((twoBuffers ? 2 * frames : frames) > ChannelBlockLength) return;
  const std::size_t ringNeeded =
      static_cast<std::size_t>(CaptureBufferCount) * static_cast<std::size_t>(BufferBytes);
  if (CaptureRing.size() < ringNeeded) return;

  if (!twoBuffers) {
    CopyBuffer(filled, Half::Buffer, frames, 0);
    return;
  }
  // The buffer before has gone back to the device already; its kept copy is still whole.
  const std::int32_t previous = filled == 0 ? CaptureBufferCount - 1 : filled - 1;
  CopyBuffer(previous, Half::KeptCopy, frames, 0);
  CopyBuffer(filled, Half::Buffer, frames, frames);
}

void MeasureDcOffset() {
  if (SampleRate == 0) return;
  const std::int32_t frames = std::min(FramesPerBuffer(), ChannelBlockLength);
  double sum1 = 0.0;
  double sum2 = 0.0;
  for (std::int32_t j = 0; j < frames; ++j) {
    sum1 += Channel1Block[j];
    sum2 += Channel2Block[j];
  }
  DcOffset1 = Round(10.0L * sum1 / SampleRate);
  DcOffset2 = Round(10.0L * sum2 / SampleRate);
}
