#pragma once
// What the wave-input device tests share: temporary folders and environment, test signals in
// WAV and raw files, an ALSA configuration of the tests' own, a JACK server on its dummy
// driver, and a set of buffers to capture into.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/wavein.h"
#include "tests/support/ChildProcess.h"

// A fresh folder under the system's temporary folder, removed with its content.
class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();
  [[nodiscard]] const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Sets and unsets environment variables and puts the old values back when it goes.
class ScopedEnvironment {
 public:
  ScopedEnvironment() = default;
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment();
  void Set(const std::string& name, const std::string& value);
  void Unset(const std::string& name);

 private:
  void Save(const std::string& name);
  std::map<std::string, std::optional<std::string>> saved_;
};

// Standard error goes to file while this lives, readable at any time: a test can wait for a
// line that a device thread writes.
class StderrRecorder {
 public:
  explicit StderrRecorder(std::filesystem::path file);
  StderrRecorder(const StderrRecorder&) = delete;
  StderrRecorder& operator=(const StderrRecorder&) = delete;
  ~StderrRecorder();
  [[nodiscard]] std::string Text() const;

 private:
  std::filesystem::path file_;
  int saved_;
};

// Interleaved stereo frames first .. first + count - 1 of a pattern in which every frame and
// both channels differ.
std::vector<std::int16_t> PatternFrames(std::size_t first, std::size_t count);
// Interleaved frames of a sine per channel at the given frequencies and fractions of full scale.
std::vector<std::int16_t> SineFrames(int rate, std::size_t count, double leftHz, double leftLevel,
                                     double rightHz, double rightLevel);
// Keeps the left channel only.
std::vector<std::int16_t> LeftChannel(const std::vector<std::int16_t>& interleaved);

// A recorded tone on one channel: its amplitude as a fraction of full scale, and its frequency.
struct ToneFigures {
  double level = 0.0;
  double hertz = 0.0;
};
// Measures channel 0 or 1 of interleaved stereo frames at rate, leaving out the first
// skipFrames, where a server's resampler may still settle. A player that a loaded machine
// starves leaves a gap in the tone, around which the resampler rings past the amplitude: the
// level is taken from the magnitude that 95 % of the samples stay under (0.997 of a sine's
// amplitude), the frequency from the median time between rising zero crossings, and neither
// moves with a gap of a few milliseconds.
ToneFigures MeasureTone(const std::vector<std::int16_t>& interleaved, std::size_t channel,
                        double rate, std::size_t skipFrames);

// 16-bit PCM WAV written with libsndfile; samples interleaved over channels.
void WriteWav(const std::filesystem::path& path, int rate, int channels,
              const std::vector<std::int16_t>& samples);
// Headerless little-endian samples, as ALSA's file device reads them.
void WriteRaw(const std::filesystem::path& path, const std::vector<std::int16_t>& samples);

// ALSA configuration text: a capture device that plays infile over slave (null for unpaced,
// plug:jack for real time), listed through a namehint entry with description.
std::string FileCaptureDevice(const std::string& name, const std::string& description,
                              const std::filesystem::path& infile, const std::string& slave);
// Writes asoundrc as home/.asoundrc, points HOME and XDG_CONFIG_HOME at home and makes this
// process's alsa-lib read its configuration again. Switches the ALSA devices on.
void UseAlsaConfiguration(ScopedEnvironment& environment, const std::filesystem::path& home,
                          const std::string& asoundrc);

// jackd on its dummy driver, under a server name of its own, for the paced ALSA devices.
class JackServer {
 public:
  // Empty when jackd and ALSA's jack plugin are installed, else what is missing.
  static std::string MissingReason();
  // Runs until destroyed; its server name is the folder's name. JACK servers share one registry
  // in /dev/shm, and servers starting and ending at the same time there crash or hang each
  // other's clients, so one server of the tests runs at a time on the machine: the constructor
  // waits for the one before to go.
  JackServer(ScopedEnvironment& environment, const std::filesystem::path& folder, int rate);
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;
  ~JackServer();
  [[nodiscard]] bool Started() const { return jackd_ != nullptr; }
  [[nodiscard]] pid_t Pid() const { return jackd_ ? jackd_->Pid() : -1; }

 private:
  UniqueFd lock_;  // first: held until the server has gone
  std::unique_ptr<Child> jackd_;
};

// Polls condition every millisecond until it holds (true) or timeout has passed (false).
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Lists every kind afresh and takes the list; the index of the device called name, or -1.
int FindDevice(const std::string& name);
// Lists every kind afresh and takes the list; the names of all devices in order.
std::vector<std::string> DeviceNames();

// Buffers and headers for one open device, queued by index; what is still open at the end is
// reset and closed.
class TestCapture {
 public:
  explicit TestCapture(const std::vector<DWORD>& bufferBytes);
  TestCapture(const TestCapture&) = delete;
  TestCapture& operator=(const TestCapture&) = delete;
  ~TestCapture();

  MMRESULT Open(UINT device, DWORD rate);
  // Prepares (once) and queues buffer k.
  MMRESULT Queue(std::size_t k);
  MMRESULT Start();
  MMRESULT Reset();
  // Unprepares every buffer and closes the device.
  MMRESULT Close();

  [[nodiscard]] HWAVEIN Handle() const { return handle_; }
  [[nodiscard]] WAVEHDR& Header(std::size_t k) { return headers_[k]; }
  [[nodiscard]] std::vector<std::int16_t>& Samples(std::size_t k) { return samples_[k]; }
  [[nodiscard]] bool Full(std::size_t k) {
    return BytesRecorded(headers_[k]) == headers_[k].dwBufferLength;
  }
  bool WaitFull(std::size_t k) {
    return WaitUntil([this, k] { return Full(k); });
  }
  // The recorded samples of the given buffers, one after the other.
  std::vector<std::int16_t> Recorded(const std::vector<std::size_t>& order);

 private:
  std::vector<std::vector<std::int16_t>> samples_;
  std::vector<WAVEHDR> headers_;
  HWAVEIN handle_ = nullptr;
  bool open_ = false;
};

// The bytes of a buffer lasting milliseconds at rate, in stereo 16-bit frames.
constexpr DWORD BufferBytesFor(DWORD rate, DWORD milliseconds) {
  return rate * milliseconds / 1000 * 4;
}

// -1 when both hold the same samples, else the index of the first one that differs (the end of
// the shorter when one is the start of the other).
long FirstDifference(const std::vector<std::int16_t>& actual,
                     const std::vector<std::int16_t>& expected);
