#pragma once
// Program-wide state. Everything here is zero at program start and is touched only by the
// user-interface thread: the capture loop, the drawing and every handler run on it, nested
// inside the loop's message processing, so no lock guards any of it. The one exception is what
// a device thread writes into a queued buffer of CaptureRing and its header's recorded count,
// which the loop reads only after that count (acquire) says the buffer is full.

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "platform/wavein.h"

// Round to nearest, halves to even, on an extended-precision value. rintl rounds exactly as
// nearbyintl does under the default rounding mode, without saving and restoring the
// floating-point environment on every call (a frame rounds thousands of points).
inline std::int32_t Round(long double value) {
  return static_cast<std::int32_t>(std::rintl(value));
}

// Width of one spectrum bin in hertz at both rates (22050 / 2048 = 44100 / 4096), with the
// four decimals the labels and scales are computed from.
constexpr long double BinWidthHz = 10.7666L;

constexpr int DeviceCapsEntries = 11;   // devices from index 11 on are not shown or queried
constexpr int CaptureBufferCount = 10;  // one second of sound queued at any time
constexpr int ChannelBlockLength = 8821;
constexpr int SpectrumLength = 4411;

// The main window as the capture loop and the drawing see it. TFormMain implements it; tests
// put a fake in its place.
enum class DisplayCheckBox { A1, A2, F1, F2 };
enum class DisplayPanel { Time, Freq, Control };

struct PanelBounds {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

class MainWindowView {
 public:
  MainWindowView() = default;
  MainWindowView(const MainWindowView&) = delete;
  MainWindowView& operator=(const MainWindowView&) = delete;
  virtual ~MainWindowView() = default;

  [[nodiscard]] virtual bool IsChecked(DisplayCheckBox box) const = 0;
  // The client area below the menu bar, as a bitmap's canvas; drawing on it is followed by
  // WindowChanged so that the widget shows it.
  virtual Canvas& WindowCanvas() = 0;
  virtual void WindowChanged() = 0;
  [[nodiscard]] virtual int ClientWidth() const = 0;
  [[nodiscard]] virtual int ClientHeight() const = 0;
  [[nodiscard]] virtual PanelBounds GetPanelBounds(DisplayPanel panel) const = 0;
  virtual void SetPanelBounds(DisplayPanel panel, const PanelBounds& bounds) = 0;
  virtual void SetStartButtonLeft(int left) = 0;
  virtual void SetWindowCaption(const std::string& text) = 0;
  // Dispatches every pending window message; every handler may run inside it.
  virtual void ProcessMessages() = 0;
};

// The main window, for everything outside it that draws on it, writes its caption or lets it
// process its messages. Not owning: the window registers itself for its lifetime.
inline MainWindowView* FormMain = nullptr;

inline std::array<WAVEINCAPSA, DeviceCapsEntries> InputDeviceCaps{};
inline std::int32_t DeviceIndex = 0;
// 1 once the user has chosen a device from the settings dialog's list. Until then the chosen
// device is device 0 of every list, whichever device that is.
inline std::uint8_t DeviceChosen = 0;
inline std::uint32_t SampleRate = 0;
inline std::uint8_t Has22kStereo16 = 0;
inline std::uint8_t Has44kStereo16 = 0;
inline std::uint8_t Capturing = 0;

inline std::vector<std::int16_t> CaptureRing;
inline std::array<WAVEHDR, CaptureBufferCount> WaveHeaders{};
inline HWAVEIN WaveHandle = nullptr;
inline UINT WaveHeaderSize = 0;
inline std::int32_t BufferBytes = 0;
inline std::int32_t FilledBuffer = 0;

inline std::array<std::int16_t, ChannelBlockLength> Channel1Block{};
inline std::array<std::int16_t, ChannelBlockLength> Channel2Block{};
inline std::int32_t DcOffset1 = 0;
inline std::int32_t DcOffset2 = 0;
inline std::uint8_t OffsetCorrection = 0;
inline std::uint8_t OffsetMeasured = 0;
inline std::uint8_t SyncChannel1 = 0;
inline std::uint8_t SyncChannel2 = 0;
inline std::int32_t TriggerIndex1 = 0;
inline std::int32_t TriggerIndex2 = 0;

inline std::array<float, SpectrumLength> Spectrum1{};
inline std::array<float, SpectrumLength> Spectrum2{};

inline float TimeBaseMs = 0.0F;
inline std::int32_t TimeVoltsScale = 0;
inline std::int32_t FreqSpanKHz = 0;
inline std::int32_t FreqLevelScale = 0;
inline std::int32_t TimeWindowSamples = 0;
inline std::int32_t SampleStep = 0;
inline std::int32_t SamplesShown = 0;
inline std::int32_t HarmonicsShown = 0;

inline std::int32_t WinClientWidth = 0;
inline std::int32_t WinClientHeight = 0;
inline std::int32_t TimeLeft = 0;
inline std::int32_t TimeRight = 0;
inline std::int32_t TimeTop = 0;
inline std::int32_t TimeBottom = 0;
inline std::int32_t TimeQuarter = 0;
inline std::int32_t TimeHalf = 0;
inline std::int32_t TimeThreeQuarters = 0;
inline std::int32_t FreqLeft = 0;
inline std::int32_t FreqRight = 0;
inline std::int32_t FreqTop = 0;
inline std::int32_t FreqBottom = 0;

inline float TimeXScale = 0.0F;
inline float TimeYScale = 0.0F;
inline float FreqXScale = 0.0F;
inline float FreqYScale = 0.0F;

// Owned by the main window from FormCreate to FormDestroy.
inline std::unique_ptr<Bitmap> TimeBitmap;
inline std::unique_ptr<Bitmap> FreqBitmap;

inline std::uint8_t IsVistaOrLater = 0;

// Puts every variable above back to its program-start value (tests only).
void ResetGlobals();
