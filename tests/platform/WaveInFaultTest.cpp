// Faults under the device layer: a device thread racing a reset, one that stalls, an audio file
// deleted, replaced or cut short while it plays, a JACK server that hangs or dies under an ALSA
// device, and more devices than the program's table holds. Whatever happens, reset and close
// come back, no buffer is touched after the reset, and the next open says whether it worked.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/wavein/device.h"
#include "platform/wavein/scripted_device.h"
#include "tests/support/WaveInFixtures.h"

namespace {

using namespace std::chrono_literals;

// Long enough on a loaded machine for a hang to be one, short of the test's own timeout.
constexpr auto HangLimit = 20s;

// Runs an action on a thread of its own, so that a hang fails the test instead of stopping the
// test program: Returned says whether it came back in time, Release calls release until it has
// (a writer for a FIFO, a signal to go on for a stopped server) and joins it.
class Watched {
 public:
  explicit Watched(std::function<void()> action)
      : thread_([this, action = std::move(action)] {
          action();
          done_ = true;
        }) {}
  Watched(const Watched&) = delete;
  Watched& operator=(const Watched&) = delete;
  ~Watched() {
    Release([] {});
  }

  bool Returned() {
    return WaitUntil([this] { return done_.load(); }, HangLimit);
  }
  void Release(const std::function<void()>& release) {
    while (!done_) {
      release();
      std::this_thread::sleep_for(1ms);
    }
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::atomic<bool> done_ = false;
  std::thread thread_;
};

// Frame n of a stream whose frames say where they belong: left n, right n with bits flipped, so
// that a torn frame, a lost one or one out of place shows.
std::vector<std::int16_t> NumberedFrames(std::size_t first, std::size_t count) {
  std::vector<std::int16_t> samples;
  samples.reserve(2 * count);
  for (std::size_t n = first; n < first + count; ++n) {
    samples.push_back(static_cast<std::int16_t>(n));
    samples.push_back(static_cast<std::int16_t>(n ^ 0x5A5AU));
  }
  return samples;
}

// The first frames of count bytes of a buffer are whole and follow one another.
bool WholeAndInSequence(const std::vector<std::int16_t>& samples, DWORD count) {
  for (std::size_t i = 0; 2 * i + 1 < count / 2; ++i) {
    const auto left = static_cast<std::uint16_t>(samples[2 * i]);
    if (static_cast<std::uint16_t>(samples[2 * i + 1]) != (left ^ 0x5A5AU)) return false;
    if (i > 0 && left != static_cast<std::uint16_t>(samples[2 * i - 2] + 1)) return false;
  }
  return true;
}

class WaveInFaultScriptedTest : public testing::Test {
 protected:
  static constexpr DWORD kRate = 44100;

  void SetUp() override {
    environment_.Set("CORVANE_NO_ALSA", "1");
    environment_.Set("CORVANE_NO_GENERATOR", "1");
    environment_.Unset("CORVANE_INPUT_FILE");
    ClearScriptedWaveIns();
    device_ = std::make_shared<ScriptedWaveIn>("Scripted", WAVE_FORMAT_4S16);
    RegisterScriptedWaveIn(device_);
    ASSERT_EQ(waveInGetNumDevs(), 1U);
  }
  void TearDown() override {
    ClearScriptedWaveIns();
    waveInGetNumDevs();
  }

  // A device thread of the test's own that delivers numbered frames in pieces of the sizes
  // given, over and over, until the test ends it.
  void StartDelivering(std::vector<std::size_t> sizes) {
    delivery_ = std::jthread([this, sizes = std::move(sizes)](const std::stop_token& stop) {
      std::size_t next = 0;
      for (std::size_t i = 0; !stop.stop_requested(); i = (i + 1) % sizes.size()) {
        device_->Deliver(NumberedFrames(next, sizes[i]));
        next += sizes[i];
      }
    });
  }

  ScopedEnvironment environment_;
  std::shared_ptr<ScriptedWaveIn> device_;
  std::jthread delivery_;  // last: stopped before the device goes
};

TEST_F(WaveInFaultScriptedTest, ResetsInsideADeviceThreadsWritesLeaveWholeFramesAndTouchNothing) {
  TestCapture capture(std::vector<DWORD>(3, BufferBytesFor(kRate, 10)));
  ASSERT_EQ(capture.Open(0, kRate), MMSYSERR_NOERROR);
  // Pieces of no frame, half a frame, one frame, and more than all three buffers hold.
  StartDelivering({0, 1, 441, 1, 3, 440, 2000, 7});

  int insideWrites = 0;
  int rounds = 0;
  int badShapes = 0;
  int tornOrOutOfSequence = 0;
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (std::size_t k = 0; k < 3; ++k) capture.Queue(k);
        capture.Start();
        WaitUntil([&] { return device_->Delivering(); }, 100ms);
        const bool inside = device_->Delivering();
        capture.Reset();
        insideWrites += inside ? 1 : 0;
        ++rounds;
        // Full buffers first, then at most one part-filled one, then empty ones.
        int state = 0;  // 0 full, 1 part, 2 empty
        for (std::size_t k = 0; k < 3; ++k) {
          const WAVEHDR& header = capture.Header(k);
          const DWORD count = BytesRecorded(capture.Header(k));
          const int now = count == header.dwBufferLength ? 0 : count > 0 ? 1 : 2;
          if (now < state || (now == 1 && state == 1) || count % WaveFrameBytes != 0 ||
              (header.dwFlags & WHDR_INQUEUE) != 0) {
            ++badShapes;
          }
          state = std::max(state, now);
          if (!WholeAndInSequence(capture.Samples(k), count)) ++tornOrOutOfSequence;
        }
        return insideWrites >= 25 && rounds >= 100;
      },
      120s))
      << insideWrites << " of " << rounds << " resets came while the thread was writing";
  EXPECT_EQ(badShapes, 0);
  EXPECT_EQ(tornOrOutOfSequence, 0);

  // The thread goes on delivering after the last reset, into buffers that are no longer queued.
  for (std::size_t k = 0; k < 3; ++k) {
    std::fill(capture.Samples(k).begin(), capture.Samples(k).end(), std::int16_t{0x7B7B});
  }
  const std::uint64_t before = device_->Deliveries();
  ASSERT_TRUE(WaitUntil([&] { return device_->Deliveries() > before + 100; }));
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(std::count(capture.Samples(k).begin(), capture.Samples(k).end(), 0x7B7B),
              static_cast<std::ptrdiff_t>(capture.Samples(k).size()))
        << k;
  }
  EXPECT_EQ(capture.Close(), MMSYSERR_NOERROR);
}

TEST_F(WaveInFaultScriptedTest, CloseWhileTheThreadDeliversWaitsForTheWriteAndEndsTheDevice) {
  for (int round = 0; round < 20; ++round) {
    TestCapture capture(std::vector<DWORD>(2, BufferBytesFor(kRate, 100)));
    ASSERT_EQ(capture.Open(0, kRate), MMSYSERR_NOERROR);
    capture.Queue(0);
    capture.Queue(1);
    capture.Start();
    StartDelivering({4410, 3, 1});
    ASSERT_TRUE(WaitUntil([this] { return device_->Deliveries() > 10; }));
    ASSERT_EQ(capture.Reset(), MMSYSERR_NOERROR);
    ASSERT_EQ(capture.Close(), MMSYSERR_NOERROR);
    EXPECT_FALSE(device_->IsOpen());
    const std::uint64_t atClose = device_->Deliveries();
    // Deliveries after the close reach nothing.
    EXPECT_FALSE(device_->Deliver(NumberedFrames(0, 10)));
    delivery_ = {};
    EXPECT_EQ(device_->Deliveries(), atClose);
  }
}

TEST_F(WaveInFaultScriptedTest, AThreadThatStallsInsideABufferLeavesItShortAndStopStillWorks) {
  TestCapture capture({BufferBytesFor(kRate, 100), BufferBytesFor(kRate, 100)});
  ASSERT_EQ(capture.Open(0, kRate), MMSYSERR_NOERROR);
  capture.Queue(0);
  capture.Queue(1);
  capture.Start();
  std::atomic<bool> goOn = false;
  std::atomic<bool> deliveredAfterStall = true;
  std::jthread stalling([&] {
    device_->Deliver(NumberedFrames(0, 1000));
    while (!goOn) std::this_thread::sleep_for(1ms);  // the stall
    deliveredAfterStall = device_->Deliver(NumberedFrames(1000, 4410));
  });
  ASSERT_TRUE(WaitUntil([this] { return device_->Deliveries() == 1; }));
  EXPECT_EQ(capture.Reset(), MMSYSERR_NOERROR);
  EXPECT_EQ(capture.Close(), MMSYSERR_NOERROR);
  goOn = true;
  stalling.join();
  EXPECT_FALSE(deliveredAfterStall);
  EXPECT_EQ(BytesRecorded(capture.Header(0)), 1000 * WaveFrameBytes);
  EXPECT_EQ(BytesRecorded(capture.Header(1)), 0U);
  EXPECT_TRUE(WholeAndInSequence(capture.Samples(0), 1000 * WaveFrameBytes));
}

// The audio file input with its file changed under it. A file that plays on reads from the file
// as it was opened; one cut short falls silent with one line on standard error.
class WaveInFaultFileTest : public testing::Test {
 protected:
  static constexpr DWORD kRate = 44100;
  static constexpr std::size_t kFileFrames = 1000;

  void SetUp() override {
    ClearScriptedWaveIns();
    environment_.Set("CORVANE_NO_ALSA", "1");
    environment_.Set("CORVANE_NO_GENERATOR", "1");
    WriteWav(Path(), kRate, 2, PatternFrames(0, kFileFrames));
    environment_.Set("CORVANE_INPUT_FILE", Path().string());
    ASSERT_EQ(waveInGetNumDevs(), 1U);
  }

  [[nodiscard]] std::filesystem::path Path() const { return temp_.Path() / "input.wav"; }

  // Opens the file input with buffers of 100 ms and waits until buffer 0 is full.
  static void StartPlaying(TestCapture& capture, std::size_t buffers) {
    ASSERT_EQ(capture.Open(0, kRate), MMSYSERR_NOERROR);
    for (std::size_t k = 0; k < buffers; ++k) ASSERT_EQ(capture.Queue(k), MMSYSERR_NOERROR);
    ASSERT_EQ(capture.Start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(capture.WaitFull(0));
  }

  // The file's frames in a loop, as far as count frames.
  static std::vector<std::int16_t> Looped(const std::vector<std::int16_t>& file,
                                          std::size_t count) {
    std::vector<std::int16_t> samples;
    const std::size_t frames = file.size() / 2;
    for (std::size_t j = 0; j < count; ++j) {
      samples.push_back(file[2 * (j % frames)]);
      samples.push_back(file[2 * (j % frames) + 1]);
    }
    return samples;
  }

  TempDir temp_;
  ScopedEnvironment environment_;
};

TEST_F(WaveInFaultFileTest, DeletedOrReplacedWhilePlayingPlaysOnAndTheNextOpenTakesWhatIsThere) {
  TestCapture capture(std::vector<DWORD>(3, BufferBytesFor(kRate, 100)));
  StartPlaying(capture, 3);
  std::filesystem::remove(Path());
  ASSERT_TRUE(capture.WaitFull(2));
  EXPECT_EQ(FirstDifference(capture.Recorded({0, 1, 2}),
                            Looped(PatternFrames(0, kFileFrames), 3 * kRate / 10)),
            -1);
  // Another file at the path, at another rate and with one channel.
  const auto other = LeftChannel(PatternFrames(500, 700));
  WriteWav(Path(), 22050, 1, other);
  capture.Queue(0);
  ASSERT_TRUE(capture.WaitFull(0));
  EXPECT_EQ(capture.Reset(), MMSYSERR_NOERROR);
  EXPECT_EQ(capture.Close(), MMSYSERR_NOERROR);

  TestCapture again({BufferBytesFor(22050, 100)});
  ASSERT_EQ(again.Open(0, 22050), MMSYSERR_NOERROR);
  ASSERT_EQ(again.Queue(0), MMSYSERR_NOERROR);
  ASSERT_EQ(again.Start(), MMSYSERR_NOERROR);
  ASSERT_TRUE(again.WaitFull(0));
  std::vector<std::int16_t> both;
  for (const std::int16_t sample : other) both.insert(both.end(), {sample, sample});
  EXPECT_EQ(FirstDifference(again.Recorded({0}), Looped(both, 2205)), -1);
  ASSERT_EQ(again.Reset(), MMSYSERR_NOERROR);
  ASSERT_EQ(again.Close(), MMSYSERR_NOERROR);

  std::filesystem::remove(Path());
  testing::internal::CaptureStderr();
  TestCapture gone({BufferBytesFor(kRate, 100)});
  EXPECT_EQ(gone.Open(0, kRate), MMSYSERR_BADDEVICEID);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find(Path().string()), std::string::npos) << said;
}

TEST_F(WaveInFaultFileTest, CutShortWhilePlayingFallsSilentWithOneLineAndStopWorks) {
  // Down to nothing, and down to its header: either way no sample can be read any more.
  for (const std::uintmax_t size : {std::uintmax_t{0}, std::uintmax_t{44}}) {
    SCOPED_TRACE(size);
    WriteWav(Path(), kRate, 2, PatternFrames(0, kFileFrames));
    // The second buffer lasts long enough to be the one being filled when the file goes.
    TestCapture capture({BufferBytesFor(kRate, 10), BufferBytesFor(kRate, 10000)});
    const StderrRecorder stderrText(temp_.Path() / "stderr.txt");
    StartPlaying(capture, 2);
    std::filesystem::resize_file(Path(), size);
    EXPECT_TRUE(
        WaitUntil([&] { return stderrText.Text().find("no more samples") != std::string::npos; }));
    Watched stop([&] {
      capture.Reset();
      capture.Close();
    });
    EXPECT_TRUE(stop.Returned());
    EXPECT_LT(BytesRecorded(capture.Header(1)), capture.Header(1).dwBufferLength);
    const std::string said = stderrText.Text();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find(Path().string()), std::string::npos) << said;
  }
}

TEST_F(WaveInFaultFileTest, AFifoInPlaceOfTheFileHangsNeitherTheListNorTheOpen) {
  // A FIFO that nobody writes: opening it to read would wait for a writer for ever.
  std::filesystem::remove(Path());
  ASSERT_EQ(mkfifo(Path().c_str(), 0600), 0);
  const auto writerComesAndGoes = [this] {
    const int fd = ::open(Path().c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) ::close(fd);
  };

  MMRESULT opened = MMSYSERR_NOERROR;
  TestCapture capture({BufferBytesFor(kRate, 100)});
  testing::internal::CaptureStderr();
  {
    Watched open([&] { opened = capture.Open(0, kRate); });
    const bool returned = open.Returned();
    open.Release(writerComesAndGoes);
    EXPECT_TRUE(returned) << "START waited for a writer";
  }
  EXPECT_EQ(opened, MMSYSERR_BADDEVICEID);

  // Named so at start-up, the FIFO is no device.
  const auto fifo = temp_.Path() / "other.wav";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  environment_.Set("CORVANE_INPUT_FILE", fifo.string());
  UINT count = 1;
  {
    Watched list([&] { count = waveInGetNumDevs(); });
    const bool returned = list.Returned();
    list.Release([&fifo] {
      const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) ::close(fd);
    });
    EXPECT_TRUE(returned) << "the device list waited for a writer";
  }
  EXPECT_EQ(count, 0U);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find(Path().string()), std::string::npos) << said;
  EXPECT_NE(said.find(fifo.string()), std::string::npos) << said;
}

// ALSA devices over JACK's dummy driver whose server hangs (stopped) or dies (killed) while one
// of them captures.
class WaveInFaultJackTest : public testing::TestWithParam<int /*signal*/> {
 protected:
  void SetUp() override {
    if (const std::string missing = JackServer::MissingReason(); !missing.empty()) {
      GTEST_SKIP() << missing;
    }
    ClearScriptedWaveIns();
    environment_.Set("CORVANE_NO_GENERATOR", "1");
    environment_.Unset("CORVANE_INPUT_FILE");
    const auto infile = temp_.Path() / "pattern.raw";
    WriteRaw(infile, PatternFrames(0, std::size_t{3} * 44100));
    UseAlsaConfiguration(
        environment_, temp_.Path(),
        FileCaptureDevice("corvane_paced", "Corvane Paced Input", infile, "plug:jack") +
            FileCaptureDevice("corvane_other", "Corvane Other Input", infile, "plug:jack"));
    StartServer();
  }
  void TearDown() override {
    Release();
    jack_.reset();
    // A client that its server cut off leaves its semaphore behind, named after the server.
    std::error_code ignored;
    const std::string server = "_" + temp_.Path().filename().string() + "_";
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ignored)) {
      if (entry.path().filename().string().find(server) != std::string::npos) {
        std::filesystem::remove(entry.path(), ignored);
      }
    }
  }

  void StartServer() {
    jack_.emplace(environment_, temp_.Path(), 44100);
    ASSERT_TRUE(jack_->Started());
    pid_ = jack_->Pid();
    ASSERT_TRUE(WaitUntil([this] { return (device_ = FindDevice("Corvane Paced Input")) >= 0; }));
  }
  void Signal() {
    ASSERT_EQ(kill(pid_, GetParam()), 0);
    stopped_ = GetParam() == SIGSTOP;
  }
  // Lets a stopped server go on; a killed one has nothing to release.
  void Release() {
    if (std::exchange(stopped_, false)) kill(pid_, SIGCONT);
  }

  TempDir temp_;
  ScopedEnvironment environment_;
  std::optional<JackServer> jack_;
  pid_t pid_ = 0;
  bool stopped_ = false;
  int device_ = -1;
};

TEST_P(WaveInFaultJackTest, StopReturnsStartFailsAndTheDeviceIsFreeOnceTheServerIsGone) {
  TestCapture capture({BufferBytesFor(44100, 10), BufferBytesFor(44100, 10000)});
  ASSERT_EQ(capture.Open(static_cast<UINT>(device_), 44100), MMSYSERR_NOERROR);
  ASSERT_EQ(capture.Queue(0), MMSYSERR_NOERROR);
  ASSERT_EQ(capture.Queue(1), MMSYSERR_NOERROR);
  ASSERT_EQ(capture.Start(), MMSYSERR_NOERROR);
  ASSERT_TRUE(capture.WaitFull(0));
  const HWAVEIN handle = capture.Handle();
  const int other = FindDevice("Corvane Other Input");
  ASSERT_GE(other, 0);

  Signal();
  MMRESULT closed = MMSYSERR_ERROR;
  {
    Watched stop([&] {
      capture.Reset();
      closed = capture.Close();
    });
    const bool returned = stop.Returned();
    stop.Release([this] { Release(); });
    EXPECT_TRUE(returned) << "STOP waited for the server";
  }
  EXPECT_EQ(closed, MMSYSERR_NOERROR);
  EXPECT_EQ(waveInClose(handle), MMSYSERR_INVALHANDLE);

  // START on another device of the server, which still hangs or is dead: it fails instead of
  // waiting for the server.
  if (GetParam() == SIGSTOP) Signal();
  MMRESULT opened = MMSYSERR_NOERROR;
  TestCapture again({BufferBytesFor(44100, 10)});
  {
    Watched open([&] { opened = again.Open(static_cast<UINT>(other), 44100); });
    const bool returned = open.Returned();
    open.Release([this] { Release(); });
    EXPECT_TRUE(returned) << "START waited for the server";
  }
  EXPECT_NE(opened, MMSYSERR_NOERROR);

  // Whatever the server still owed, its end frees the devices; a server under the same name
  // brings them back.
  Release();
  jack_.reset();
  EXPECT_TRUE(WaitUntil([] {
    return FindDevice("Corvane Paced Input") < 0 && FindDevice("Corvane Other Input") < 0;
  })) << "a device is still held open";
  StartServer();
  TestCapture later({BufferBytesFor(44100, 10)});
  ASSERT_EQ(later.Open(static_cast<UINT>(device_), 44100), MMSYSERR_NOERROR);
  ASSERT_EQ(later.Queue(0), MMSYSERR_NOERROR);
  ASSERT_EQ(later.Start(), MMSYSERR_NOERROR);
  EXPECT_TRUE(later.WaitFull(0));
}

INSTANTIATE_TEST_SUITE_P(ServerHangsOrDies, WaveInFaultJackTest, testing::Values(SIGSTOP, SIGKILL),
                         [](const testing::TestParamInfo<int>& param) {
                           return param.param == SIGSTOP ? "Stopped" : "Killed";
                         });

// More ALSA devices than the table's eleven entries: the file input and the generator keep
// the last two, and devices beyond the table are not in the list at all.
TEST(WaveInFaultListTest, MoreDevicesThanTheTableHoldsLeaveTheLastTwoToTheFileAndTheGenerator) {
  TempDir temp;
  ScopedEnvironment environment;
  ClearScriptedWaveIns();
  environment.Unset("CORVANE_NO_GENERATOR");
  environment.Unset("CORVANE_GENERATOR");
  WriteRaw(temp.Path() / "pattern.raw", PatternFrames(0, 4410));
  WriteWav(temp.Path() / "input.wav", 44100, 2, PatternFrames(0, 1000));
  environment.Set("CORVANE_INPUT_FILE", (temp.Path() / "input.wav").string());
  std::string asoundrc;
  for (int i = 10; i < 24; ++i) {
    asoundrc +=
        FileCaptureDevice("corvane_many" + std::to_string(i), "Corvane Input " + std::to_string(i),
                          temp.Path() / "pattern.raw", "null");
  }
  UseAlsaConfiguration(environment, temp.Path(), asoundrc);

  const std::vector<std::string> names = DeviceNames();
  ASSERT_EQ(names.size(), 11U);
  EXPECT_EQ(names[9], "input.wav");
  EXPECT_EQ(names[10], "Signal Generator");
  for (std::size_t i = 0; i < 9; ++i) EXPECT_EQ(names[i].rfind("Corvane Input ", 0), 0U) << i;
  WAVEINCAPSA caps{};
  EXPECT_EQ(waveInGetDevCapsA(11, &caps, sizeof(caps)), MMSYSERR_BADDEVICEID);
  TestCapture capture({BufferBytesFor(44100, 10)});
  EXPECT_EQ(capture.Open(11, 44100), MMSYSERR_BADDEVICEID);
}

}  // namespace
