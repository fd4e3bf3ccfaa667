// The only file that talks to libjpeg. libjpeg reports errors by calling error_exit, whose
// default ends the program; here it jumps back (longjmp) into the function that called
// libjpeg. Those functions keep no C++ objects with destructors in their own frames, so the
// jump skips nothing but libjpeg's C frames.
#include "app/BannerPicture.h"

#include <csetjmp>
#include <cstdio>
#include <string_view>
#include <utility>

#include <jpeglib.h>

namespace {

constexpr std::string_view JpegClassName = "TJPEGImage";
constexpr std::size_t StreamLengthBytes = 4;

struct ErrorManager {
  jpeg_error_mgr base;  // first, so that libjpeg's pointer to it is one to the whole
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JumpBack(j_common_ptr info) {
  auto* errors = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, errors->message);
  std::longjmp(errors->jump, 1);
}

// Level -1 is a warning: corrupt or missing data that libjpeg would paint grey.
void EmitMessage(j_common_ptr info, int level) {
  if (level < 0) JumpBack(info);
}

struct Decoder {
  Decoder() {
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = JumpBack;
    errors.base.emit_message = EmitMessage;
  }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;
  // Also safe when creation failed: libjpeg then has nothing to free.
  ~Decoder() { jpeg_destroy_decompress(&info); }

  ErrorManager errors{};
  jpeg_decompress_struct info{};
};

bool ReadHeader(Decoder& decoder, const std::uint8_t* data, std::size_t size) {
  if (setjmp(decoder.errors.jump) != 0) return false;
  jpeg_create_decompress(&decoder.info);
  jpeg_mem_src(&decoder.info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&decoder.info, TRUE);
  return true;
}

bool StartDecoding(Decoder& decoder) {
  if (setjmp(decoder.errors.jump) != 0) return false;
  decoder.info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&decoder.info);
  return true;
}

bool ReadLines(Decoder& decoder, QImage& image) {
  if (setjmp(decoder.errors.jump) != 0) return false;
  while (decoder.info.output_scanline < decoder.info.output_height) {
    JSAMPROW row = image.scanLine(static_cast<int>(decoder.info.output_scanline));
    jpeg_read_scanlines(&decoder.info, &row, 1);
  }
  jpeg_finish_decompress(&decoder.info);
  return true;
}

PictureResult Failure(std::string error) { return {QImage(), std::move(error)}; }

std::string Printable(std::string_view text) {
  std::string shown;
  for (const char c : text) shown += c >= ' ' && c <= '~' ? c : '?';
  return shown;
}

}  // namespace

PictureResult DecodeJpeg(std::span<const std::uint8_t> jpeg) {
  Decoder decoder;
  if (!ReadHeader(decoder, jpeg.data(), jpeg.size())) {
    return Failure(std::string("JPEG stream: ") + decoder.errors.message);
  }
  // Checked before decoding starts, which for a progressive stream already buffers the image.
  const JDIMENSION width = decoder.info.image_width;
  const JDIMENSION height = decoder.info.image_height;
  if (width > MaxPictureSide || height > MaxPictureSide) {
    return Failure("JPEG stream: a picture of " + std::to_string(width) + " x " +
                   std::to_string(height) + " pixels is not shown");
  }
  if (!StartDecoding(decoder)) {
    return Failure(std::string("JPEG stream: ") + decoder.errors.message);
  }
  QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB888);
  if (image.isNull()) return Failure("JPEG stream: no memory for the picture");
  if (!ReadLines(decoder, image)) {
    return Failure(std::string("JPEG stream: ") + decoder.errors.message);
  }
  return {image, {}};
}

PictureResult LoadStoredPicture(std::span<const std::uint8_t> stored) {
  if (stored.empty()) return Failure("no picture data");
  const std::size_t nameLength = stored[0];
  if (stored.size() < 1 + nameLength) return Failure("the picture's class name is cut short");
  const std::string_view name(reinterpret_cast<const char*>(stored.data() + 1), nameLength);
  if (name != JpegClassName) {
    return Failure("the picture's class is \"" + Printable(name) + "\", not TJPEGImage");
  }
  const std::span<const std::uint8_t> rest = stored.subspan(1 + nameLength);
  if (rest.size() < StreamLengthBytes) return Failure("the picture's stream length is cut short");
  const std::uint32_t length =
      static_cast<std::uint32_t>(rest[0]) | static_cast<std::uint32_t>(rest[1]) << 8 |
      static_cast<std::uint32_t>(rest[2]) << 16 | static_cast<std::uint32_t>(rest[3]) << 24;
  const std::size_t available = rest.size() - StreamLengthBytes;
  if (length > available) {
    return Failure("the picture's stream length of " + std::to_string(length) +
                   " bytes overruns the " + std::to_string(available) + " bytes stored");
  }
  return DecodeJpeg(rest.subspan(StreamLengthBytes, length));
}
