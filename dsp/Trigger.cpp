#include "dsp/Trigger.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "app/Global.h"

namespace {

using Block = std::array<std::int16_t, ChannelBlockLength>;

// Element 0 is never looked at, and the sample that arms the search can never fire it.
std::optional<std::int32_t> FindRisingCrossing(const Block& block, std::int32_t length) {
  bool armed = false;
  for (std::int32_t i = 1; i <= length; ++i) {
    if (block[i] < 0) {
      armed = true;
    } else if (armed) {
      return i;
    }
  }
  return std::nullopt;
}

}  // namespace

void FindTriggerPoints() {
  TriggerIndex1 = 1;
  TriggerIndex2 = 1;
  // Extended precision matters: 22050 * 0.05 is exactly 1102.5 there and rounds to the even 1102.
  const std::int32_t length =
      std::min(Round(static_cast<long double>(SampleRate) * 0.05L), ChannelBlockLength - 1);
  if (length <= 0) return;

  if (SyncChannel1 != 0 && SyncChannel2 != 0) {
    TriggerIndex1 = FindRisingCrossing(Channel1Block, length).value_or(1);
    TriggerIndex2 = FindRisingCrossing(Channel2Block, length).value_or(1);
    return;
  }
  if (SyncChannel1 == 0 && SyncChannel2 == 0) return;
  const Block& source = SyncChannel1 != 0 ? Channel1Block : Channel2Block;
  const std::int32_t index = FindRisingCrossing(source, length).value_or(1);
  TriggerIndex1 = index;
  TriggerIndex2 = index;
}
