// The capture rate a device's formats give, and the capture loop against a scripted device:
// each poll's message processing runs one step of a script, which fills buffers, clicks STOP
// (clears Capturing) or looks at what the previous poll processed.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "app/Global.h"
#include "app/MainWindowView.h"
#include "capture/RecordWave.h"
#include "platform/messagebox.h"
#include "platform/wavein/scripted_device.h"
#include "tests/support/FakeMainWindow.h"

namespace {

constexpr std::int16_t kNoBlock = -1;  // Channel1Block[0] when no block was processed since

class RunCaptureTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetGlobals();
    FormMain = &window_;
    setenv("CORVANE_NO_GENERATOR", "1", 1);
    setenv("CORVANE_NO_ALSA", "1", 1);
    ClearScriptedWaveIns();
    device_ = std::make_shared<ScriptedWaveIn>("Scripted", WAVE_FORMAT_2S16 | WAVE_FORMAT_4S16);
    RegisterScriptedWaveIn(device_);
    ASSERT_EQ(waveInGetNumDevs(), 1U);
    SetMessageBoxHook([this](const MessageBoxCall& call) { messages_.push_back(call.text); });
    SampleRate = 44100;
    TimeBaseMs = 5.0F;  // one buffer per block, so element 0 names the processed buffer
    window_.SetChecked(DisplayCheckBox::F1, false);
    window_.SetChecked(DisplayCheckBox::F2, false);
    window_.OnProcessMessages = [this] {
      processed_.push_back(Channel1Block[0]);
      Channel1Block[0] = kNoBlock;
      if (poll_ < script_.size()) {
        script_[poll_++]();
      } else {
        Capturing = 0;
      }
    };
  }
  void TearDown() override {
    SetMessageBoxHook({});
    ClearScriptedWaveIns();
    waveInGetNumDevs();
  }

  // Fills the buffer at the head of the device's queue with channel-1 samples of value.
  void Fill(std::int16_t value) { ASSERT_TRUE(device_->FillNext(value, 0)); }

  void Run() {
    Capturing = 1;
    Channel1Block[0] = kNoBlock;
    RunCapture();
  }

  // Index of header in WaveHeaders.
  static int BufferIndex(const WAVEHDR* header) {
    return static_cast<int>(header - WaveHeaders.data());
  }
  [[nodiscard]] std::vector<int> QueuedIndexes() const {
    std::vector<int> indexes;
    for (const WAVEHDR* header : device_->QueueLog()) indexes.push_back(BufferIndex(header));
    return indexes;
  }

  std::shared_ptr<ScriptedWaveIn> device_;
  FakeMainWindow window_;
  std::vector<std::function<void()>> script_;
  std::size_t poll_ = 0;
  std::vector<std::int16_t> processed_;  // what each poll found processed by the poll before
  std::vector<std::string> messages_;
};

TEST_F(RunCaptureTest, HighestFullBufferWinsAndAllFullOnesAreRequeuedInIndexOrder) {
  script_ = {[this] { Fill(100); }, [this] { Fill(101); }, [this] { Fill(102); },
             [this] {
               Fill(103);
               Fill(104);
             }};
  Run();
  // The first entry is the look before the first poll.
  EXPECT_EQ(processed_, (std::vector<std::int16_t>{kNoBlock, 100, 101, 102, 104}));
  const std::vector<int> queued = QueuedIndexes();
  ASSERT_EQ(queued.size(), 15U);
  EXPECT_EQ((std::vector<int>(queued.begin(), queued.begin() + 10)),
            (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ((std::vector<int>(queued.begin() + 10, queued.end())),
            (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_FALSE(device_->IsOpen());
  EXPECT_TRUE(messages_.empty());
}

TEST_F(RunCaptureTest, BufferNineWinsOverBufferZeroFilledAfterIt) {
  for (std::int16_t k = 0; k < 9; ++k) script_.emplace_back([this, k] { Fill(100 + k); });
  script_.emplace_back([this] {
    Fill(109);
    Fill(200);  // buffer 0 again, recorded after buffer 9
  });
  Run();
  EXPECT_EQ(processed_.back(), 109);
}

TEST_F(RunCaptureTest, BuffersGoBackInRingOrderSoTheDeviceKeepsFillingThemInTurn) {
  for (std::int16_t k = 0; k < 9; ++k) script_.emplace_back([this, k] { Fill(100 + k); });
  script_.emplace_back([this] {
    Fill(109);
    Fill(200);
  });
  for (std::int16_t k = 1; k < 9; ++k) script_.emplace_back([this, k] { Fill(200 + k); });
  script_.emplace_back([this] { Fill(300); });
  Run();
  const std::vector<int> queued = QueuedIndexes();
  ASSERT_GE(queued.size(), 21U);
  EXPECT_EQ((std::vector<int>(queued.begin() + 19, queued.begin() + 21)), (std::vector<int>{9, 0}));
  // The fill after buffers 1 to 8 lands in buffer 9 again, not in buffer 0.
  EXPECT_EQ(CaptureRing[static_cast<std::size_t>(9 * BufferBytes)], 300);
  EXPECT_EQ(CaptureRing[0], 200);
}

TEST_F(RunCaptureTest, OffsetsAreMeasuredOnlyAtTheFirstBufferAfterBufferZero) {
  OffsetCorrection = 1;
  OffsetMeasured = 0;
  std::vector<std::int32_t> offsets;
  script_ = {[this] { Fill(7); },
             [this, &offsets] {
               offsets.push_back(DcOffset1);
               EXPECT_EQ(OffsetMeasured, 0);
               Fill(9);
             },
             [this, &offsets] {
               offsets.push_back(DcOffset1);
               Fill(20);
             },
             [&offsets] { offsets.push_back(DcOffset1); }};
  Run();
  // Buffer 0 (7) is not measured; buffer 1 (9) is, and buffer 2 no longer is.
  EXPECT_EQ(offsets, (std::vector<std::int32_t>{0, 9, 9}));
  EXPECT_EQ(OffsetMeasured, 1);
  // The frame of buffer 1 was drawn before the measurement, buffer 2 with the offset.
  EXPECT_EQ(processed_, (std::vector<std::int16_t>{kNoBlock, 7, 9, 11, kNoBlock}));
}

TEST_F(RunCaptureTest, StopInAPollWithAFullBufferStillProcessesAndRequeuesIt) {
  script_ = {[this] {
    Fill(55);
    Capturing = 0;
  }};
  Run();
  EXPECT_EQ(Channel1Block[0], 55);
  EXPECT_EQ(QueuedIndexes().size(), 11U);
  EXPECT_EQ(QueuedIndexes().back(), 0);
  EXPECT_FALSE(device_->IsOpen());
  // The re-queued buffer came back from the reset empty.
  EXPECT_EQ(BytesRecorded(WaveHeaders[0]), 0U);
}

TEST_F(RunCaptureTest, AShortBufferNeverCountsAsFull) {
  script_ = {[this] {
    const std::vector<std::int16_t> half(4410, 33);  // 2205 frames of a 4410-frame buffer
    ASSERT_TRUE(device_->Deliver(half));
  }};
  Run();
  EXPECT_EQ(processed_, (std::vector<std::int16_t>{kNoBlock, kNoBlock}));
  EXPECT_EQ(BytesRecorded(WaveHeaders[0]), 8820U);
  for (int k = 1; k < CaptureBufferCount; ++k) EXPECT_EQ(BytesRecorded(WaveHeaders[k]), 0U);
  EXPECT_EQ(QueuedIndexes().size(), 10U);
}

TEST_F(RunCaptureTest, ARefusedOpenShowsOneMessageAndLeavesNothingOpen) {
  device_->SetOpenResult(MMSYSERR_ALLOCATED);
  Run();
  EXPECT_EQ(messages_, (std::vector<std::string>{"Failed to execute"}));
  EXPECT_EQ(Capturing, 0);
  EXPECT_EQ(window_.ProcessMessagesCalls(), 0);
  EXPECT_FALSE(device_->IsOpen());
  EXPECT_TRUE(device_->QueueLog().empty());
}

// At the 10 ms time base a block is 200 ms: buffer P, the one recorded before the full buffer F,
// then F itself. Channel samples here are +v on channel 1 and -v on channel 2.
class TenMsRunTest : public RunCaptureTest {
 protected:
  static constexpr std::size_t kFrames = 4410;  // one buffer at 44100 Hz

  struct Block {
    std::array<std::int16_t, 2> firstHalf;   // elements 1 and N - 1 of channel 1
    std::array<std::int16_t, 2> secondHalf;  // elements N and 2N - 1 of channel 1
    bool channel2Mirrors;  // channel 2 is channel 1 negated at those four elements
    std::int16_t beyond;   // element 2N, which no block writes
  };
  static Block Look() {
    const auto mirrors = [](std::size_t i) { return Channel2Block[i] == -Channel1Block[i]; };
    return {{Channel1Block[1], Channel1Block[kFrames - 1]},
            {Channel1Block[kFrames], Channel1Block[2 * kFrames - 1]},
            mirrors(1) && mirrors(kFrames - 1) && mirrors(kFrames) && mirrors(2 * kFrames - 1),
            Channel1Block[2 * kFrames]};
  }
  void FillBoth(std::int16_t value) {
    ASSERT_TRUE(device_->FillNext(value, static_cast<std::int16_t>(-value)));
  }
  // A run that fills the buffers with values one after another and looks at each block.
  std::vector<Block> RunFilling(const std::vector<std::int16_t>& values) {
    std::vector<Block> blocks;
    script_.clear();
    poll_ = 0;
    for (std::size_t k = 0; k <= values.size(); ++k) {
      script_.emplace_back([this, &blocks, &values, k] {
        if (k > 0) blocks.push_back(Look());
        if (k < values.size()) FillBoth(values[k]);
      });
    }
    Run();
    return blocks;
  }

  void SetUp() override {
    RunCaptureTest::SetUp();
    TimeBaseMs = 10.0F;
    Channel1Block[2 * kFrames] = 77;
  }
};

TEST_F(TenMsRunTest, TheBlockJoinsTheBufferRecordedBeforeAndTheFullOne) {
  const std::vector<Block> blocks = RunFilling({100, 101, 102});
  ASSERT_EQ(blocks.size(), 3U);
  // Buffer 0 first: its block starts with buffer 9, still silent in the first run.
  EXPECT_EQ(blocks[0].firstHalf[0], 0);
  EXPECT_EQ(blocks[0].firstHalf[1], 0);
  EXPECT_EQ(blocks[0].secondHalf[0], 100);
  EXPECT_EQ(blocks[0].secondHalf[1], 100);
  for (std::size_t k = 1; k < blocks.size(); ++k) {
    const auto previous = static_cast<std::int16_t>(100 + k - 1);
    const auto full = static_cast<std::int16_t>(100 + k);
    EXPECT_EQ(blocks[k].firstHalf[0], previous) << k;
    EXPECT_EQ(blocks[k].firstHalf[1], previous) << k;
    EXPECT_EQ(blocks[k].secondHalf[0], full) << k;
    EXPECT_EQ(blocks[k].secondHalf[1], full) << k;
  }
  for (const Block& block : blocks) {
    EXPECT_TRUE(block.channel2Mirrors);
    EXPECT_EQ(block.beyond, 77);
  }
  EXPECT_TRUE(messages_.empty());
}

// After a poll late by most of a second, the device may already be writing again the buffer
// recorded before the full one: the block shows that buffer as it was recorded, never half
// rewritten.
TEST_F(TenMsRunTest, ABufferTheDeviceRewritesAfterALatePollStaysWholeInTheBlock) {
  Block late{};
  script_.clear();
  poll_ = 0;
  for (std::int16_t k = 0; k < 9; ++k) {
    script_.emplace_back([this, k] { FillBoth(static_cast<std::int16_t>(100 + k)); });
  }
  // The late poll: buffers 9 and 0 to 7 full, buffer 8 half rewritten.
  script_.emplace_back([this] {
    for (const std::int16_t value : {209, 200, 201, 202, 203, 204, 205, 206, 207}) FillBoth(value);
    const std::vector<std::int16_t> half(kFrames, 308);
    ASSERT_TRUE(device_->Deliver(half));
  });
  script_.emplace_back([&late] { late = Look(); });
  Run();
  EXPECT_EQ(late.firstHalf[0], 108);
  EXPECT_EQ(late.firstHalf[1], 108);
  EXPECT_EQ(late.secondHalf[0], 209);
  EXPECT_EQ(late.secondHalf[1], 209);
}

// The device records on while a frame is drawn. A buffer it completes then is given back by
// the same poll without being processed, and the next block still starts with it, whole.
TEST_F(TenMsRunTest, ABufferCompletedWhileAFrameIsDrawnStartsTheNextBlock) {
  Block next{};
  int drawingSteps = 0;
  window_.OnWindowChanged = [this, &drawingSteps] {
    if (drawingSteps++ == 0) FillBoth(101);
  };
  script_ = {[this] { FillBoth(100); }, [this] { FillBoth(102); }, [&next] { next = Look(); }};
  Run();
  EXPECT_EQ(device_->Deliveries(), 3U);
  EXPECT_EQ(next.firstHalf[0], 101);
  EXPECT_EQ(next.firstHalf[1], 101);
  EXPECT_EQ(next.secondHalf[0], 102);
  EXPECT_EQ(next.secondHalf[1], 102);
  EXPECT_TRUE(next.channel2Mirrors);
}

// The ring keeps its samples from one run to the next at the same rate: the first block of the
// second run starts with the last buffer the first run recorded.
TEST_F(TenMsRunTest, ASecondRunStartsWithTheFirstRunsSamplesInTheRing) {
  std::vector<std::int16_t> firstRun;
  for (std::int16_t k = 0; k < CaptureBufferCount; ++k) firstRun.push_back(100 + k);
  ASSERT_EQ(RunFilling(firstRun).size(), 10U);
  ASSERT_FALSE(device_->IsOpen());
  ASSERT_EQ(CaptureRing[static_cast<std::size_t>(9 * BufferBytes)], 109);

  const std::vector<Block> second = RunFilling({200, 201});
  ASSERT_EQ(second.size(), 2U);
  EXPECT_EQ(device_->OpenCount(), 2);
  EXPECT_EQ(CaptureRing.size(), 176400U);
  EXPECT_EQ(second[0].firstHalf[0], 109);
  EXPECT_EQ(second[0].firstHalf[1], 109);
  EXPECT_EQ(second[0].secondHalf[0], 200);
  EXPECT_TRUE(second[0].channel2Mirrors);
  EXPECT_EQ(second[1].firstHalf[0], 200);
  EXPECT_EQ(second[1].secondHalf[1], 201);
  // Buffers the second run has not reached yet still hold the first run's samples.
  EXPECT_EQ(CaptureRing[static_cast<std::size_t>(5 * BufferBytes)], 105);
}

TEST_F(RunCaptureTest, BuffersAreCutFromTheRingAtTheirOffsets) {
  struct Geometry {
    std::uint32_t rate;
    DWORD bytes;
    std::ptrdiff_t ninthOffset;
  };
  for (const Geometry& expected : {Geometry{44100, 17640, 317520}, Geometry{22050, 8820, 158760}}) {
    SampleRate = expected.rate;
    poll_ = 0;
    Run();
    EXPECT_EQ(device_->OpenedRate(), expected.rate);
    EXPECT_EQ(CaptureRing.size(), expected.rate * 4U);
    EXPECT_EQ(BufferBytes, static_cast<std::int32_t>(expected.bytes));
    EXPECT_EQ(WaveHeaders[9].dwBufferLength, expected.bytes);
    EXPECT_EQ(WaveHeaders[9].lpData - reinterpret_cast<char*>(CaptureRing.data()),
              expected.ninthOffset);
    EXPECT_FALSE(device_->IsOpen());
  }
}

// The capture rate.
struct RateCase {
  DWORD formats;
  std::uint32_t rate;
  std::uint8_t has22k;
  std::uint8_t has44k;
};

class ChooseSampleRateTest : public testing::TestWithParam<RateCase> {
 protected:
  void SetUp() override { ResetGlobals(); }
};

TEST_P(ChooseSampleRateTest, PicksTheHighestStereo16BitRate) {
  const RateCase& expected = GetParam();
  DeviceIndex = 3;
  InputDeviceCaps[3].dwFormats = expected.formats;
  for (int call = 0; call < 2; ++call) {  // a second call gives the same answer
    ChooseSampleRate();
    EXPECT_EQ(SampleRate, expected.rate);
    EXPECT_EQ(Has22kStereo16, expected.has22k);
    EXPECT_EQ(Has44kStereo16, expected.has44k);
  }
}

INSTANTIATE_TEST_SUITE_P(FormatMasks, ChooseSampleRateTest,
                         testing::Values(RateCase{0x880, 44100, 1, 1}, RateCase{0x80, 22050, 1, 0},
                                         RateCase{0x800, 44100, 0, 1}, RateCase{0x40, 0, 0, 0},
                                         RateCase{0x20, 0, 0, 0}, RateCase{0xFFF, 44100, 1, 1},
                                         RateCase{0x7FF, 22050, 1, 0}, RateCase{0, 0, 0, 0}));

TEST(ChooseSampleRate, AFormer44kNeverSurvivesA22kOnlyDevice) {
  ResetGlobals();
  InputDeviceCaps[0].dwFormats = 0x880;
  InputDeviceCaps[1].dwFormats = 0x80;
  ChooseSampleRate();
  ASSERT_EQ(SampleRate, 44100U);
  DeviceIndex = 1;
  ChooseSampleRate();
  EXPECT_EQ(SampleRate, 22050U);
  EXPECT_EQ(Has44kStereo16, 0);
}

TEST(QueryDeviceCaps, IgnoresIndexesOutsideTheTable) {
  ResetGlobals();
  const auto before = InputDeviceCaps;
  QueryDeviceCaps(-1);
  QueryDeviceCaps(DeviceCapsEntries);
  EXPECT_EQ(std::memcmp(&before, &InputDeviceCaps, sizeof(before)), 0);
}

}  // namespace
