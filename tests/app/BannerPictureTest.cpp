// The picture loader on the banner built into the program and on damaged copies of it.
#include "app/BannerPicture.h"

#include <gtest/gtest.h>

#include <QColor>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t NameBytes = 11;  // length byte and "TJPEGImage"
constexpr std::size_t HeaderBytes = NameBytes + 4;

Bytes ReadAsset(const char* name) {
  std::ifstream file(std::string(CORVANE_SOURCE_DIR) + "/assets/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void SetLength(Bytes& stored, std::uint32_t length) {
  for (int i = 0; i < 4; ++i) stored[NameBytes + i] = static_cast<std::uint8_t>(length >> (8 * i));
}

bool Near(QRgb pixel, QRgb wanted, int tolerance) {
  return std::abs(qRed(pixel) - qRed(wanted)) <= tolerance &&
         std::abs(qGreen(pixel) - qGreen(wanted)) <= tolerance &&
         std::abs(qBlue(pixel) - qBlue(wanted)) <= tolerance;
}

class BannerPictureTest : public testing::Test {
 protected:
  void SetUp() override {
    stored_ = ReadAsset("About.Image1.picture");
    jpeg_ = ReadAsset("banner.jpg");
    ASSERT_GT(stored_.size(), HeaderBytes);
  }
  Bytes stored_;
  Bytes jpeg_;
};

TEST_F(BannerPictureTest, TheStoredBannerIsTheJpegAssetInTheFormLayout) {
  ASSERT_EQ(stored_.size(), HeaderBytes + jpeg_.size());
  EXPECT_EQ(stored_[0], 10);
  EXPECT_EQ(std::string(stored_.begin() + 1, stored_.begin() + NameBytes), "TJPEGImage");
  EXPECT_TRUE(std::equal(jpeg_.begin(), jpeg_.end(), stored_.begin() + HeaderBytes));
  // Start of image, a JFIF segment, a baseline frame, end of image.
  EXPECT_EQ(jpeg_[0], 0xFF);
  EXPECT_EQ(jpeg_[1], 0xD8);
  EXPECT_EQ(std::string(jpeg_.begin() + 6, jpeg_.begin() + 10), "JFIF");
  const Bytes baseline{0xFF, 0xC0};
  EXPECT_NE(std::search(jpeg_.begin(), jpeg_.end(), baseline.begin(), baseline.end()), jpeg_.end());
  EXPECT_EQ(jpeg_[jpeg_.size() - 2], 0xFF);
  EXPECT_EQ(jpeg_.back(), 0xD9);
}

TEST_F(BannerPictureTest, TheBannerShowsLightGreenLetteringOnBlue) {
  const PictureResult picture = LoadStoredPicture(stored_);
  ASSERT_EQ(picture.error, "");
  ASSERT_EQ(picture.image.size(), QSize(400, 60));
  EXPECT_TRUE(Near(picture.image.pixel(3, 3), qRgb(0x10, 0x30, 0xA0), 12));
  EXPECT_TRUE(Near(picture.image.pixel(396, 56), qRgb(0x10, 0x30, 0xA0), 12));
  int green = 0;
  int greenOutsideMiddle = 0;
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 400; ++x) {
      if (!Near(picture.image.pixel(x, y), qRgb(0x90, 0xEE, 0x90), 24)) continue;
      ++green;
      if (x < 80 || x > 320) ++greenOutsideMiddle;
    }
  }
  EXPECT_GT(green, 1000);
  EXPECT_EQ(greenOutsideMiddle, 0);
  EXPECT_EQ(DecodeJpeg(jpeg_).image, picture.image);
}

TEST_F(BannerPictureTest, DamagedPicturesGiveNoImageAndSayWhy) {
  struct Case {
    const char* what;
    Bytes stored;
    const char* reason;  // a part of the error text
  };
  Bytes truncated(stored_.begin(), stored_.begin() + HeaderBytes + jpeg_.size() / 2);
  SetLength(truncated, static_cast<std::uint32_t>(jpeg_.size() / 2));
  Bytes wrongClass = stored_;
  wrongClass[1] = 'X';
  Bytes bitmap{7, 'T', 'B', 'i', 't', 'm', 'a', 'p', 0, 0, 0, 0};
  Bytes overrun = stored_;
  SetLength(overrun, static_cast<std::uint32_t>(jpeg_.size() + 1));
  Bytes huge = stored_;
  SetLength(huge, 0xFFFFFFFFU);
  Bytes garbage(stored_.begin(), stored_.begin() + HeaderBytes + 2);
  for (int i = 0; i < 5000; ++i) garbage.push_back(static_cast<std::uint8_t>(i * 37 + 11));
  SetLength(garbage, static_cast<std::uint32_t>(garbage.size() - HeaderBytes));
  Bytes noImage(stored_.begin(), stored_.begin() + HeaderBytes);
  noImage.insert(noImage.end(), {0x89, 'P', 'N', 'G'});
  SetLength(noImage, 4);
  Bytes corrupt = stored_;
  for (std::size_t i = stored_.size() / 2; i < stored_.size() / 2 + 400; ++i) corrupt[i] = 0;

  const Case cases[] = {
      {"truncated stream", truncated, "JPEG stream"},
      {"wrong class name", wrongClass, "\"XJPEGImage\""},
      {"another class", bitmap, "TBitmap"},
      {"length past the data", overrun, "overruns"},
      {"length of 4 GiB", huge, "overruns"},
      {"garbage after the start marker", garbage, "JPEG stream"},
      {"no JPEG at all", noImage, "JPEG stream"},
      {"zeroed image data", corrupt, "JPEG stream"},
      {"nothing", {}, "no picture"},
      {"name cut short", Bytes{10, 'T', 'J'}, "cut short"},
      {"length cut short", Bytes(stored_.begin(), stored_.begin() + NameBytes + 2), "cut short"},
  };
  for (const Case& c : cases) {
    const PictureResult picture = LoadStoredPicture(c.stored);
    EXPECT_TRUE(picture.image.isNull()) << c.what;
    EXPECT_NE(picture.error.find(c.reason), std::string::npos) << c.what << ": " << picture.error;
  }
}

// The size is read from the frame header: a picture too large is refused before any of its
// data is decoded, so a stream that ends right after its headers says so.
TEST_F(BannerPictureTest, APictureTooLargeIsRefusedFromItsHeader) {
  const Bytes frame{0xFF, 0xC0};
  const Bytes scan{0xFF, 0xDA};
  const auto sof = std::search(jpeg_.begin(), jpeg_.end(), frame.begin(), frame.end());
  const auto sos = std::search(jpeg_.begin(), jpeg_.end(), scan.begin(), scan.end());
  ASSERT_NE(sof, jpeg_.end());
  ASSERT_NE(sos, jpeg_.end());
  // Marker, length, precision, then height and width, big-endian.
  const auto heightAt = static_cast<std::size_t>(sof - jpeg_.begin()) + 5;
  ASSERT_EQ(jpeg_[heightAt] * 256 + jpeg_[heightAt + 1], 60);
  ASSERT_EQ(jpeg_[heightAt + 2] * 256 + jpeg_[heightAt + 3], 400);
  const auto scanHeaderEnd = static_cast<std::size_t>(sos - jpeg_.begin()) + 2 +
                             static_cast<std::size_t>(sos[2] * 256 + sos[3]);
  const auto headersOnly = [&](int height, int width) {
    Bytes stream(jpeg_.begin(), jpeg_.begin() + static_cast<std::ptrdiff_t>(scanHeaderEnd));
    stream[heightAt] = static_cast<std::uint8_t>(height >> 8);
    stream[heightAt + 1] = static_cast<std::uint8_t>(height & 0xFF);
    stream[heightAt + 2] = static_cast<std::uint8_t>(width >> 8);
    stream[heightAt + 3] = static_cast<std::uint8_t>(width & 0xFF);
    return DecodeJpeg(stream);
  };
  struct Case {
    int height;
    int width;
    const char* error;  // "" where the size passes and the missing data fails the decoding
  };
  for (const Case& c : {Case{60, MaxPictureSide + 1, "a picture of 8193 x 60 pixels"},
                        Case{MaxPictureSide + 1, 400, "a picture of 400 x 8193 pixels"},
                        Case{30000, 30000, "a picture of 30000 x 30000 pixels"},
                        Case{60, MaxPictureSide, ""}, Case{60, 400, ""}}) {
    const PictureResult picture = headersOnly(c.height, c.width);
    EXPECT_TRUE(picture.image.isNull()) << c.width << " x " << c.height;
    if (*c.error != '\0') {
      EXPECT_NE(picture.error.find(c.error), std::string::npos) << picture.error;
    } else {
      EXPECT_EQ(picture.error.find("pixels"), std::string::npos) << picture.error;
      EXPECT_NE(picture.error.find("JPEG stream"), std::string::npos) << picture.error;
    }
  }
}

}  // namespace
