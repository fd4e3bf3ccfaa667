// The banner loader on arbitrary streams, both as a stored picture and as a bare JPEG stream.
// Whatever it is given, it answers with a picture or a reason; a picture it accepts has the
// size that the stream's frame header states.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>

#include "app/BannerPicture.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

struct Size {
  int width = 0;
  int height = 0;
};

int BigEndian16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return bytes[at] << 8 | bytes[at + 1];
}

bool IsFrameHeader(std::uint8_t marker) {
  // SOF0 to SOF15, less DHT (C4), JPG (C8) and DAC (CC), which share the range.
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool StandsAlone(std::uint8_t marker) {
  return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);  // TEM, RST0 to RST7
}

// The size in the first frame header, walking the marker segments from the start of the image
// as a decoder must; nullopt when there is none before anything else.
std::optional<Size> StatedSize(std::span<const std::uint8_t> jpeg) {
  if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return std::nullopt;
  std::size_t at = 2;
  while (at < jpeg.size()) {
    if (jpeg[at] != 0xFF) return std::nullopt;
    while (at < jpeg.size() && jpeg[at] == 0xFF) ++at;  // fill bytes
    if (at >= jpeg.size()) return std::nullopt;
    const std::uint8_t marker = jpeg[at++];
    if (StandsAlone(marker)) continue;
    if (at + 2 > jpeg.size()) return std::nullopt;
    const auto length = static_cast<std::size_t>(BigEndian16(jpeg, at));
    if (IsFrameHeader(marker)) {
      // length, precision, height, width
      if (at + 7 > jpeg.size()) return std::nullopt;
      return Size{BigEndian16(jpeg, at + 5), BigEndian16(jpeg, at + 3)};
    }
    at += std::max<std::size_t>(length, 2);  // a shorter length still has its two bytes
  }
  return std::nullopt;
}

void CheckResult(const PictureResult& result, std::optional<Size> stated) {
  if (result.image.isNull()) {
    Require(!result.error.empty(), "a picture refused says why");
    return;
  }
  Require(result.error.empty(), "a picture accepted reports no error");
  Require(stated.has_value(), "a picture accepted has a frame header");
  Require(result.image.width() == stated->width && result.image.height() == stated->height,
          "a picture accepted has its stated size");
  Require(stated->width <= MaxPictureSide && stated->height <= MaxPictureSide,
          "a picture accepted is no larger than the largest shown");
  Require(result.image.format() == QImage::Format_RGB888, "a picture accepted is RGB");
}

// The JPEG stream of a stored picture: class name as a short string, 32-bit little-endian
// length, stream; empty when the layout does not hold.
std::span<const std::uint8_t> StoredStream(std::span<const std::uint8_t> stored) {
  if (stored.empty() || stored.size() < 1U + stored[0] + 4U) return {};
  const std::span<const std::uint8_t> rest = stored.subspan(1U + stored[0]);
  const std::uint32_t length =
      rest[0] | rest[1] << 8U | rest[2] << 16U | static_cast<std::uint32_t>(rest[3]) << 24U;
  if (length > rest.size() - 4) return {};
  return rest.subspan(4, length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  CheckResult(LoadStoredPicture(input), StatedSize(StoredStream(input)));
  CheckResult(DecodeJpeg(input), StatedSize(input));
  return 0;
}
