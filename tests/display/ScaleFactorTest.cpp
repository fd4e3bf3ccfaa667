// The frames and their labels at a desktop scale factor. The program draws them into its own
// bitmap in window pixels, which the desktop then enlarges as a whole: at any scale factor the
// bitmap must hold the same pixels, every stroke of every label included. A scale factor is
// fixed when the QApplication is made, so a copy of this test binary draws them at 2.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tests/display/DisplayFixture.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/WaveInFixtures.h"

namespace {

// Set in the copy: the file it writes the window's pixels to.
constexpr const char* kPictureVariable = "CORVANE_TEST_PICTURE";

class ScaleFactorTest : public DisplayFixture {
 protected:
  [[nodiscard]] std::size_t PixelCount() const {
    return static_cast<std::size_t>(window_->Surface().Width()) * window_->Surface().Height();
  }
};

TEST_F(ScaleFactorTest, FramesAndLabelsAreTheSamePixelsAtAScaleFactorOfTwo) {
  PaintWindowBackground();
  DrawTimeFrame();
  DrawFreqFrame();
  const std::uint32_t* here = window_->Surface().Bits();
  const auto bytes = static_cast<std::streamsize>(PixelCount() * sizeof(std::uint32_t));
  if (const char* picture = std::getenv(kPictureVariable)) {
    std::ofstream(picture, std::ios::binary).write(reinterpret_cast<const char*>(here), bytes);
    return;
  }

  const TempDir temp;
  const auto picture = temp.Path() / "scaled.rgb";
  std::vector<std::string> environment = CurrentEnvironment();
  environment.emplace_back("QT_SCALE_FACTOR=2");
  environment.push_back(std::string(kPictureVariable) + "=" + picture.string());
  const testing::TestInfo& test = *testing::UnitTest::GetInstance()->current_test_info();
  Child copy({"/proc/self/exe",
              "--gtest_filter=" + std::string(test.test_suite_name()) + "." + test.name()},
             environment, Streams().Errors(temp.Path() / "copy.log"), 0);
  ASSERT_EQ(copy.Wait(std::chrono::seconds(60)), std::optional<int>(0));
  std::vector<std::uint32_t> scaled(PixelCount());
  std::ifstream(picture, std::ios::binary).read(reinterpret_cast<char*>(scaled.data()), bytes);
  for (std::size_t i = 0; i < scaled.size(); ++i) {
    ASSERT_EQ(scaled[i] & 0xFFFFFFU, here[i] & 0xFFFFFFU)
        << "pixel (" << i % kClientWidth << ", " << i / kClientWidth << ") at scale 2 and 1";
  }
}

}  // namespace
