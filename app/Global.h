#pragma once
// Program-wide state. Everything here is zero at program start and is touched only by the
// user-interface thread: the capture loop, the drawing and every handler run on it, nested
// inside the loop's message processing, so no lock guards any of it. The one exception is what
// a device thread writes into a queued buffer of CaptureRing and its header's recorded count,
// which the loop reads only after that count (acquire) says the buffer is full.

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "platform/wavein.h"

// Round to nearest, halves to even, on an extended-precision value: lrintl rounds as nearbyintl
// does under the default rounding mode, and built without errno it is one x87 store, where a
// rounding followed by a cast switches the x87 rounding mode twice (a frame rounds thousands of
// points). A value beyond 32 bits gives INT32_MIN, as the x87 store does.
inline std::int32_t Round(long double value) {
  const long rounded = std::lrintl(value);
  if (rounded < std::numeric_limits<std::int32_t>::min() ||
      rounded > std::numeric_limits<std::int32_t>::max()) {
    return std::numeric_limits<std::int32_t>::min();
  }
  return static_cast<std::int32_t>(rounded);
}

// Width of one spectrum bin in hertz at both rates (22050 / 2048 = 44100 / 4096), with the
// four decimals the labels and scales are computed from.
constexpr long double BinWidthHz = 10.7666L;

constexpr int DeviceCapsEntries = 11;   // devices from index 11 on are not shown or queried
constexpr int CaptureBufferCount = 10;  // one second of sound queued at any time
constexpr int ChannelBlockLength = 8821;
constexpr int SpectrumLength = 4411;

// Every program-wide variable, at its program-start value. They are used by their own names
// below; holding them in one record lets ResetGlobals put all of them back, none forgotten.
struct GlobalState {
  std::array<WAVEINCAPSA, DeviceCapsEntries> InputDeviceCaps{};
  std::int32_t DeviceIndex = 0;
  // 1 once the user has chosen a device from the settings dialog's list. Until then the chosen
  // device is device 0 of every list, whichever device that is.
  std::uint8_t DeviceChosen = 0;
  std::uint32_t SampleRate = 0;
  std::uint8_t Has22kStereo16 = 0;
  std::uint8_t Has44kStereo16 = 0;
  std::uint8_t Capturing = 0;

  std::vector<std::int16_t> CaptureRing;
  std::array<WAVEHDR, CaptureBufferCount> WaveHeaders{};
  HWAVEIN WaveHandle = nullptr;
  UINT WaveHeaderSize = 0;
  std::int32_t BufferBytes = 0;
  std::int32_t FilledBuffer = 0;

  std::array<std::int16_t, ChannelBlockLength> Channel1Block{};
  std::array<std::int16_t, ChannelBlockLength> Channel2Block{};
  std::int32_t DcOffset1 = 0;
  std::int32_t DcOffset2 = 0;
  std::uint8_t OffsetCorrection = 0;
  std::uint8_t OffsetMeasured = 0;
  std::uint8_t SyncChannel1 = 0;
  std::uint8_t SyncChannel2 = 0;
  std::int32_t TriggerIndex1 = 0;
  std::int32_t TriggerIndex2 = 0;

  std::array<float, SpectrumLength> Spectrum1{};
  std::array<float, SpectrumLength> Spectrum2{};

  float TimeBaseMs = 0.0F;
  std::int32_t TimeVoltsScale = 0;
  std::int32_t FreqSpanKHz = 0;
  std::int32_t FreqLevelScale = 0;
  std::int32_t TimeWindowSamples = 0;
  std::int32_t SampleStep = 0;
  std::int32_t SamplesShown = 0;
  std::int32_t HarmonicsShown = 0;

  std::int32_t WinClientWidth = 0;
  std::int32_t WinClientHeight = 0;
  std::int32_t TimeLeft = 0;
  std::int32_t TimeRight = 0;
  std::int32_t TimeTop = 0;
  std::int32_t TimeBottom = 0;
  std::int32_t TimeQuarter = 0;
  std::int32_t TimeHalf = 0;
  std::int32_t TimeThreeQuarters = 0;
  std::int32_t FreqLeft = 0;
  std::int32_t FreqRight = 0;
  std::int32_t FreqTop = 0;
  std::int32_t FreqBottom = 0;

  float TimeXScale = 0.0F;
  float TimeYScale = 0.0F;
  float FreqXScale = 0.0F;
  float FreqYScale = 0.0F;

  // Owned by the main window from FormCreate to FormDestroy.
  std::unique_ptr<Bitmap> TimeBitmap;
  std::unique_ptr<Bitmap> FreqBitmap;

  std::uint8_t IsVistaOrLater = 0;
};

inline GlobalState Global;

inline auto& InputDeviceCaps = Global.InputDeviceCaps;
inline auto& DeviceIndex = Global.DeviceIndex;
inline auto& DeviceChosen = Global.DeviceChosen;
inline auto& SampleRate = Global.SampleRate;
inline auto& Has22kStereo16 = Global.Has22kStereo16;
inline auto& Has44kStereo16 = Global.Has44kStereo16;
inline auto& Capturing = Global.Capturing;
inline auto& CaptureRing = Global.CaptureRing;
inline auto& WaveHeaders = Global.WaveHeaders;
inline auto& WaveHandle = Global.WaveHandle;
inline auto& WaveHeaderSize = Global.WaveHeaderSize;
inline auto& BufferBytes = Global.BufferBytes;
inline auto& FilledBuffer = Global.FilledBuffer;
inline auto& Channel1Block = Global.Channel1Block;
inline auto& Channel2Block = Global.Channel2Block;
inline auto& DcOffset1 = Global.DcOffset1;
inline auto& DcOffset2 = Global.DcOffset2;
inline auto& OffsetCorrection = Global.OffsetCorrection;
inline auto& OffsetMeasured = Global.OffsetMeasured;
inline auto& SyncChannel1 = Global.SyncChannel1;
inline auto& SyncChannel2 = Global.SyncChannel2;
inline auto& TriggerIndex1 = Global.TriggerIndex1;
inline auto& TriggerIndex2 = Global.TriggerIndex2;
inline auto& Spectrum1 = Global.Spectrum1;
inline auto& Spectrum2 = Global.Spectrum2;
inline auto& TimeBaseMs = Global.TimeBaseMs;
inline auto& TimeVoltsScale = Global.TimeVoltsScale;
inline auto& FreqSpanKHz = Global.FreqSpanKHz;
inline auto& FreqLevelScale = Global.FreqLevelScale;
inline auto& TimeWindowSamples = Global.TimeWindowSamples;
inline auto& SampleStep = Global.SampleStep;
inline auto& SamplesShown = Global.SamplesShown;
inline auto& HarmonicsShown = Global.HarmonicsShown;
inline auto& WinClientWidth = Global.WinClientWidth;
inline auto& WinClientHeight = Global.WinClientHeight;
inline auto& TimeLeft = Global.TimeLeft;
inline auto& TimeRight = Global.TimeRight;
inline auto& TimeTop = Global.TimeTop;
inline auto& TimeBottom = Global.TimeBottom;
inline auto& TimeQuarter = Global.TimeQuarter;
inline auto& TimeHalf = Global.TimeHalf;
inline auto& TimeThreeQuarters = Global.TimeThreeQuarters;
inline auto& FreqLeft = Global.FreqLeft;
inline auto& FreqRight = Global.FreqRight;
inline auto& FreqTop = Global.FreqTop;
inline auto& FreqBottom = Global.FreqBottom;
inline auto& TimeXScale = Global.TimeXScale;
inline auto& TimeYScale = Global.TimeYScale;
inline auto& FreqXScale = Global.FreqXScale;
inline auto& FreqYScale = Global.FreqYScale;
inline auto& TimeBitmap = Global.TimeBitmap;
inline auto& FreqBitmap = Global.FreqBitmap;
inline auto& IsVistaOrLater = Global.IsVistaOrLater;

// Puts every variable above back to its program-start value (tests only).
void ResetGlobals();
