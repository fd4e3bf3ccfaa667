#pragma once
// Pictures stored with a form's design data, and the JPEG decoder behind them. A damaged
// picture is never fatal: the result then holds a null image and says what is wrong.

#include <QImage>
#include <cstdint>
#include <span>
#include <string>

struct PictureResult {
  QImage image;       // null on failure
  std::string error;  // empty on success
};

// The stored layout: the picture class name as a short string (one length byte, then the
// name), which must be "TJPEGImage"; the JPEG stream's length in bytes as a 32-bit
// little-endian integer; the JPEG stream itself. Bytes after the stream are ignored.
PictureResult LoadStoredPicture(std::span<const std::uint8_t> stored);

// Decodes a JPEG stream (baseline or progressive, grey or colour) into an RGB image. Every
// libjpeg error counts as failure, and so does every corrupt-data warning (a stream cut short
// inside the image data is only a warning to libjpeg). Pictures larger than
// MaxPictureSide on a side are refused.
PictureResult DecodeJpeg(std::span<const std::uint8_t> jpeg);

constexpr int MaxPictureSide = 8192;
