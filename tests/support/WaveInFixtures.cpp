#include "tests/support/WaveInFixtures.h"

#include "platform/wavein/device_list.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/file.h>
#include <unistd.h>

#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace {

constexpr double FullScale = 32767.0;

}  // namespace

TempDir::TempDir() {
  std::random_device random;
  const auto base = std::filesystem::temp_directory_path();
  do {
    path_ = base / ("corvane-wavein-" + std::to_string(random()));
  } while (!std::filesystem::create_directory(path_));
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

StderrRecorder::StderrRecorder(std::filesystem::path file)
    : file_(std::move(file)), saved_(::dup(STDERR_FILENO)) {
  const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ::dup2(fd, STDERR_FILENO);
  ::close(fd);
}

StderrRecorder::~StderrRecorder() {
  ::dup2(saved_, STDERR_FILENO);
  ::close(saved_);
}

std::string StderrRecorder::Text() const {
  std::ifstream in(file_);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ScopedEnvironment::~ScopedEnvironment() {
  for (const auto& [name, value] : saved_) {
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
}

void ScopedEnvironment::Save(const std::string& name) {
  if (saved_.contains(name)) return;
  const char* value = std::getenv(name.c_str());
  saved_[name] = value == nullptr ? std::nullopt : std::optional<std::string>(value);
}

void ScopedEnvironment::Set(const std::string& name, const std::string& value) {
  Save(name);
  setenv(name.c_str(), value.c_str(), 1);
}

void ScopedEnvironment::Unset(const std::string& name) {
  Save(name);
  unsetenv(name.c_str());
}

std::vector<std::int16_t> PatternFrames(std::size_t first, std::size_t count) {
  std::vector<std::int16_t> samples;
  samples.reserve(2 * count);
  for (std::size_t j = first; j < first + count; ++j) {
    samples.push_back(static_cast<std::int16_t>(static_cast<std::uint16_t>(j * 7 + 3)));
    samples.push_back(static_cast<std::int16_t>(static_cast<std::uint16_t>(30000 - j * 13)));
  }
  return samples;
}

std::vector<std::int16_t> SineFrames(int rate, std::size_t count, double leftHz, double leftLevel,
                                     double rightHz, double rightLevel) {
  std::vector<std::int16_t> samples;
  samples.reserve(2 * count);
  for (std::size_t j = 0; j < count; ++j) {
    const double t = static_cast<double>(j) / rate;
    for (const auto& [hz, level] : {std::pair{leftHz, leftLevel}, std::pair{rightHz, rightLevel}}) {
      samples.push_back(static_cast<std::int16_t>(
          std::lround(level * FullScale * std::sin(2.0 * std::numbers::pi * hz * t))));
    }
  }
  return samples;
}

std::vector<std::int16_t> LeftChannel(const std::vector<std::int16_t>& interleaved) {
  std::vector<std::int16_t> left;
  for (std::size_t j = 0; j < interleaved.size(); j += 2) left.push_back(interleaved[j]);
  return left;
}

ToneFigures MeasureTone(const std::vector<std::int16_t>& interleaved, std::size_t channel,
                        double rate, std::size_t skipFrames) {
  std::vector<double> samples;
  for (std::size_t i = 2 * skipFrames + channel; i < interleaved.size(); i += 2) {
    samples.push_back(interleaved[i]);
  }
  if (samples.size() < 2) return {};
  std::vector<double> magnitudes;
  std::vector<double> rising;  // where the signal crosses zero upwards, in samples
  for (std::size_t i = 0; i < samples.size(); ++i) {
    magnitudes.push_back(std::abs(samples[i]));
    if (i > 0 && samples[i - 1] < 0.0 && samples[i] >= 0.0) {
      rising.push_back(static_cast<double>(i - 1) + samples[i - 1] / (samples[i - 1] - samples[i]));
    }
  }
  const auto at = magnitudes.begin() + static_cast<std::ptrdiff_t>(magnitudes.size() * 95 / 100);
  std::nth_element(magnitudes.begin(), at, magnitudes.end());
  const double level = *at / std::sin(0.95 * std::numbers::pi / 2) / FullScale;
  if (rising.size() < 3) return {level, 0.0};
  std::vector<double> periods;
  for (std::size_t i = 1; i < rising.size(); ++i) periods.push_back(rising[i] - rising[i - 1]);
  const auto middle = periods.begin() + static_cast<std::ptrdiff_t>(periods.size() / 2);
  std::nth_element(periods.begin(), middle, periods.end());
  return {level, rate / *middle};
}

void WriteWav(const std::filesystem::path& path, int rate, int channels,
              const std::vector<std::int16_t>& samples) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) throw std::runtime_error("cannot write " + path.string());
  const auto frames = static_cast<sf_count_t>(samples.size()) / channels;
  const sf_count_t written = sf_writef_short(file, samples.data(), frames);
  sf_close(file);
  if (written != frames) throw std::runtime_error("short write to " + path.string());
}

void WriteRaw(const std::filesystem::path& path, const std::vector<std::int16_t>& samples) {
  std::ofstream out(path, std::ios::binary);
  for (const std::int16_t sample : samples) {
    const auto bits = static_cast<std::uint16_t>(sample);
    out.put(static_cast<char>(bits & 0xFFU)).put(static_cast<char>(bits >> 8U));
  }
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string FileCaptureDevice(const std::string& name, const std::string& description,
                              const std::filesystem::path& infile, const std::string& slave) {
  return "pcm." + name + " {\n  type file\n  slave.pcm \"" + slave +
         "\"\n  file \"/dev/null\"\n  infile \"" + infile.string() +
         "\"\n  format raw\n}\nnamehint.pcm." + name + " \"" + name + "|" + description +
         "|IOIDInput\"\n";
}

void UseAlsaConfiguration(ScopedEnvironment& environment, const std::filesystem::path& home,
                          const std::string& asoundrc) {
  std::ofstream(home / ".asoundrc") << asoundrc;
  std::ofstream(home / "reread.conf") << "\n";
  environment.Set("HOME", home.string());
  environment.Set("XDG_CONFIG_HOME", (home / ".config").string());
  // alsa-lib keeps its configuration until a file named in ALSA_CONFIG_PATH changes. It reads
  // ~/.asoundrc through a hook without watching it, and the .asoundrc of a folder made after a
  // removed one can look the same (same inode, same second). A file of this folder in the
  // path makes it read everything again, and taking it out again does the same.
  const char* folder = std::getenv("ALSA_CONFIG_DIR");
  const std::string alsaConf =
      std::string(folder == nullptr ? "/usr/share/alsa" : folder) + "/alsa.conf";
  environment.Set("ALSA_CONFIG_PATH", alsaConf + ":" + (home / "reread.conf").string());
  environment.Unset("CORVANE_NO_ALSA");
}

std::string JackServer::MissingReason() {
  if (QStandardPaths::findExecutable("jackd").isEmpty()) return "jackd (package jackd2) is missing";
  for (const char* folder : {"/usr/lib/x86_64-linux-gnu", "/usr/lib/aarch64-linux-gnu",
                             "/usr/lib/i386-linux-gnu", "/usr/lib64", "/usr/lib"}) {
    if (std::filesystem::exists(std::filesystem::path(folder) / "alsa-lib" /
                                "libasound_module_pcm_jack.so")) {
      return {};
    }
  }
  return "ALSA's jack plugin (package libasound2-plugins) is missing";
}

JackServer::JackServer(ScopedEnvironment& environment, const std::filesystem::path& folder,
                       int rate) {
  const auto lockFile = std::filesystem::temp_directory_path() / "corvane-tests-jack.lock";
  lock_ = UniqueFd(::open(lockFile.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0666));
  if (lock_.Get() < 0) return;
  while (flock(lock_.Get(), LOCK_EX) != 0) {
    if (errno != EINTR) return;
  }
  const std::string server = folder.filename().string();
  environment.Set("JACK_DEFAULT_SERVER", server);
  std::vector<std::string> variables = CurrentEnvironment();
  variables.emplace_back("JACK_NO_AUDIO_RESERVATION=1");
  try {
    jackd_ = std::make_unique<Child>(
        std::vector<std::string>{"jackd", "--no-realtime", "--name", server, "-d", "dummy", "-r",
                                 std::to_string(rate), "-p", std::to_string(rate / 100)},
        std::move(variables), Streams(), 0);
  } catch (const std::system_error&) {
    jackd_.reset();
  }
}

// A server that a test stopped is let go on first, so that it can end as asked.
JackServer::~JackServer() {
  if (!jackd_) return;
  kill(jackd_->Pid(), SIGCONT);
  jackd_->Stop(SIGTERM, std::chrono::seconds(5));
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::vector<std::string> DeviceNames() {
  RefreshDeviceLists();
  std::vector<std::string> names;
  const UINT count = waveInGetNumDevs();
  for (UINT i = 0; i < count; ++i) {
    WAVEINCAPSA caps{};
    waveInGetDevCapsA(i, &caps, sizeof(caps));
    names.emplace_back(caps.szPname);
  }
  return names;
}

int FindDevice(const std::string& name) {
  const auto names = DeviceNames();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return static_cast<int>(i);
  }
  return -1;
}

TestCapture::TestCapture(const std::vector<DWORD>& bufferBytes)
    : samples_(bufferBytes.size()), headers_(bufferBytes.size()) {
  for (std::size_t k = 0; k < bufferBytes.size(); ++k) {
    samples_[k].resize(bufferBytes[k] / sizeof(std::int16_t));
    headers_[k].lpData = reinterpret_cast<LPSTR>(samples_[k].data());
    headers_[k].dwBufferLength = bufferBytes[k];
  }
}

TestCapture::~TestCapture() {
  if (!open_) return;
  waveInReset(handle_);
  Close();
}

MMRESULT TestCapture::Open(UINT device, DWORD rate) {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 2;
  format.nSamplesPerSec = rate;
  format.nAvgBytesPerSec = rate * 4;
  format.nBlockAlign = 4;
  format.wBitsPerSample = 16;
  const MMRESULT result = waveInOpen(&handle_, device, &format, 0, 0, CALLBACK_NULL);
  open_ = result == MMSYSERR_NOERROR;
  return result;
}

MMRESULT TestCapture::Queue(std::size_t k) {
  if ((headers_[k].dwFlags & WHDR_PREPARED) == 0) {
    if (const MMRESULT result = waveInPrepareHeader(handle_, &headers_[k], WaveHeaderSize32);
        result != MMSYSERR_NOERROR) {
      return result;
    }
  }
  return waveInAddBuffer(handle_, &headers_[k], WaveHeaderSize32);
}

MMRESULT TestCapture::Start() { return waveInStart(handle_); }

MMRESULT TestCapture::Reset() { return waveInReset(handle_); }

MMRESULT TestCapture::Close() {
  for (WAVEHDR& header : headers_) waveInUnprepareHeader(handle_, &header, WaveHeaderSize32);
  const MMRESULT result = waveInClose(handle_);
  open_ = open_ && result != MMSYSERR_NOERROR;
  return result;
}

std::vector<std::int16_t> TestCapture::Recorded(const std::vector<std::size_t>& order) {
  std::vector<std::int16_t> recorded;
  for (const std::size_t k : order) {
    const auto samples = BytesRecorded(headers_[k]) / sizeof(std::int16_t);
    recorded.insert(recorded.end(), samples_[k].begin(),
                    samples_[k].begin() + static_cast<std::ptrdiff_t>(samples));
  }
  return recorded;
}

long FirstDifference(const std::vector<std::int16_t>& actual,
                     const std::vector<std::int16_t>& expected) {
  const std::size_t common = std::min(actual.size(), expected.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (actual[i] != expected[i]) return static_cast<long>(i);
  }
  return actual.size() == expected.size() ? -1 : static_cast<long>(common);
}
