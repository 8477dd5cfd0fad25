#include "player/jpeg_loader.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include <QTransform>

namespace sonvale {

namespace {

// Refuse pictures whose decoded form would not fit comfortably in memory.
constexpr int64_t kMaxDecodedPixels = int64_t{1} << 27;

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

extern "C" void OnJpegError(j_common_ptr info) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->message);
  std::longjmp(manager->jump, 1);
}

// Warnings (for example a truncated file) are not errors: the picture is shown as far as it goes.
extern "C" void OnJpegMessage(j_common_ptr, int) {}

// The decoded picture. Lives in the caller's frame so that a long jump out of the decoder never
// skips a destructor.
struct Decoded {
  int width = 0;
  int height = 0;
  bool cmyk = false;
  bool invertedCmyk = false;
  int orientation = 1;
  std::vector<unsigned char> pixels;  // 4 bytes per pixel: RGBX, or CMYK
  std::string error;
};

uint32_t Read32(const unsigned char* p, bool little) {
  return little ? (p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24))
                : ((static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]);
}

uint16_t Read16(const unsigned char* p, bool little) {
  return static_cast<uint16_t>(little ? (p[0] | (p[1] << 8)) : ((p[0] << 8) | p[1]));
}

// Only trivially destructible objects are live between setjmp and a long jump back to it.
bool Decode(const unsigned char* data, size_t size, QSize area, Decoded* out) {
  jpeg_decompress_struct info;
  ErrorManager errors;
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = OnJpegError;
  errors.base.emit_message = OnJpegMessage;
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_decompress(&info);
    out->error = errors.message;
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
  jpeg_save_markers(&info, JPEG_APP0 + 14, 0xFFFF);
  jpeg_read_header(&info, TRUE);

  for (jpeg_saved_marker_ptr marker = info.marker_list; marker != nullptr; marker = marker->next) {
    if (marker->marker == JPEG_APP0 + 1) {
      const int orientation = ExifOrientation(marker->data, marker->data_length);
      if (orientation != 1) out->orientation = orientation;
    } else if (marker->marker == JPEG_APP0 + 14 && marker->data_length >= 5 &&
               std::memcmp(marker->data, "Adobe", 5) == 0) {
      out->invertedCmyk = true;
    }
  }

  const bool sideways = out->orientation >= 5;
  const QSize upright = area.isEmpty() ? area : (sideways ? area.transposed() : area);
  info.scale_num = 1;
  info.scale_denom = static_cast<unsigned>(
      ScaleDenominator(static_cast<int>(info.image_width), static_cast<int>(info.image_height), upright));
  info.dct_method = JDCT_ISLOW;
  if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
    info.out_color_space = JCS_CMYK;
    out->cmyk = true;
  } else {
    info.out_color_space = JCS_EXT_RGBX;
  }
  jpeg_start_decompress(&info);
  if (static_cast<int64_t>(info.output_width) * info.output_height > kMaxDecodedPixels) {
    jpeg_destroy_decompress(&info);
    out->error = "the picture is too large";
    return false;
  }
  out->width = static_cast<int>(info.output_width);
  out->height = static_cast<int>(info.output_height);
  out->pixels.resize(static_cast<size_t>(out->width) * out->height * 4);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out->pixels.data() + static_cast<size_t>(info.output_scanline) * out->width * 4;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

int ScaleDenominator(int width, int height, QSize area) {
  if (area.isEmpty()) return 1;
  for (int denominator : {8, 4, 2}) {
    const int scaledWidth = (width + denominator - 1) / denominator;
    const int scaledHeight = (height + denominator - 1) / denominator;
    if (scaledWidth >= area.width() && scaledHeight >= area.height()) return denominator;
  }
  return 1;
}

int ExifOrientation(const unsigned char* data, size_t size) {
  // "Exif\0\0", then a TIFF header: byte order "II" or "MM", 42, offset of the first directory.
  if (size < 14 || std::memcmp(data, "Exif\0\0", 6) != 0) return 1;
  const unsigned char* tiff = data + 6;
  const size_t tiffSize = size - 6;
  bool little;
  if (tiff[0] == 'I' && tiff[1] == 'I') {
    little = true;
  } else if (tiff[0] == 'M' && tiff[1] == 'M') {
    little = false;
  } else {
    return 1;
  }
  if (Read16(tiff + 2, little) != 42) return 1;
  const uint32_t directory = Read32(tiff + 4, little);
  if (directory > tiffSize - 2 || directory < 8) return 1;
  const uint16_t entries = Read16(tiff + directory, little);
  for (uint16_t i = 0; i < entries; ++i) {
    const size_t entry = directory + 2 + static_cast<size_t>(i) * 12;
    if (entry + 12 > tiffSize) return 1;
    if (Read16(tiff + entry, little) != 0x0112) continue;  // Orientation
    const uint16_t type = Read16(tiff + entry + 2, little);
    if (type != 3) return 1;  // SHORT
    const uint16_t value = Read16(tiff + entry + 8, little);
    return (value >= 1 && value <= 8) ? value : 1;
  }
  return 1;
}

QImage ApplyOrientation(const QImage& image, int orientation) {
  QTransform turn;
  switch (orientation) {
    case 2:
      return image.mirrored(true, false);
    case 3:
      return image.transformed(turn.rotate(180));
    case 4:
      return image.mirrored(false, true);
    case 5:
      return image.transformed(turn.rotate(90)).mirrored(true, false);
    case 6:
      return image.transformed(turn.rotate(90));
    case 7:
      return image.transformed(turn.rotate(270)).mirrored(true, false);
    case 8:
      return image.transformed(turn.rotate(270));
    default:
      return image;
  }
}

QImage LoadJpeg(const std::string& path, QSize area) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw PictureError("Cannot open picture \"" + path + "\": " + std::strerror(errno));
  const std::vector<unsigned char> data((std::istreambuf_iterator<char>(file)),
                                        std::istreambuf_iterator<char>());
  if (file.bad()) throw PictureError("Cannot read picture \"" + path + "\"");
  if (data.size() < 4 || data[0] != 0xFF || data[1] != 0xD8) {
    throw PictureError("Cannot load picture \"" + path + "\": not a JPEG file");
  }
  Decoded decoded;
  if (!Decode(data.data(), data.size(), area, &decoded)) {
    throw PictureError("Cannot load picture \"" + path + "\": " + decoded.error);
  }
  QImage image(decoded.width, decoded.height, QImage::Format_RGBX8888);
  if (image.isNull()) throw PictureError("Cannot load picture \"" + path + "\": out of memory");
  for (int y = 0; y < decoded.height; ++y) {
    const unsigned char* source = decoded.pixels.data() + static_cast<size_t>(y) * decoded.width * 4;
    unsigned char* target = image.scanLine(y);
    if (!decoded.cmyk) {
      std::memcpy(target, source, static_cast<size_t>(decoded.width) * 4);
      continue;
    }
    for (int x = 0; x < decoded.width; ++x) {
      int c = source[x * 4], m = source[x * 4 + 1], yel = source[x * 4 + 2], k = source[x * 4 + 3];
      if (!decoded.invertedCmyk) {
        c = 255 - c;
        m = 255 - m;
        yel = 255 - yel;
        k = 255 - k;
      }
      target[x * 4] = static_cast<unsigned char>(c * k / 255);
      target[x * 4 + 1] = static_cast<unsigned char>(m * k / 255);
      target[x * 4 + 2] = static_cast<unsigned char>(yel * k / 255);
      target[x * 4 + 3] = 255;
    }
  }
  return ApplyOrientation(image, decoded.orientation);
}

}  // namespace sonvale
