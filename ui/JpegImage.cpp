#include "ui/JpegImage.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <cstring>

#include <jpeglib.h>

namespace quorvel {
namespace {

// Far beyond any picture this program shows; a header claiming more is not trusted with
// an allocation of that size.
constexpr unsigned long long kMaxPixels = 64ull << 20;

// libjpeg reports a fatal error by calling error_exit, which must not return; it jumps
// back to the decoding frame instead.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

[[noreturn]] void ErrorExit(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// A warning means corrupt data (most often a truncated file, which libjpeg would pad
// with grey): that is no picture to show either.
void EmitMessage(j_common_ptr info, int level) {
  if (level < 0) ErrorExit(info);
}

void OutputMessage(j_common_ptr) {}

// Holds no object with a destructor, so the jump out of libjpeg skips nothing; `image`
// lives in the caller's frame.
bool Decode(jpeg_decompress_struct* info, ErrorManager* errors, const unsigned char* data,
            unsigned long size, QImage* image) {
  if (setjmp(errors->jump)) return false;

  jpeg_create_decompress(info);
  jpeg_mem_src(info, data, size);
  if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK) return false;
  if (static_cast<unsigned long long>(info->image_width) * info->image_height > kMaxPixels) {
    return false;
  }
  // Grey pictures are widened to RGB by libjpeg; CMYK ones fail here and stay null.
  info->out_color_space = JCS_RGB;
  jpeg_start_decompress(info);
  if (info->output_components != 3) return false;

  *image = QImage(int(info->output_width), int(info->output_height), QImage::Format_RGB888);
  if (image->isNull()) return false;
  while (info->output_scanline < info->output_height) {
    JSAMPROW row = image->scanLine(int(info->output_scanline));
    jpeg_read_scanlines(info, &row, 1);
  }
  jpeg_finish_decompress(info);
  return true;
}

}  // namespace

QImage DecodeJpegImage(QByteArrayView jpeg) {
  if (jpeg.isEmpty()) return QImage();

  jpeg_decompress_struct info;
  std::memset(&info, 0, sizeof info);
  ErrorManager errors;
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = ErrorExit;
  errors.base.emit_message = EmitMessage;
  errors.base.output_message = OutputMessage;

  QImage image;
  const bool decoded = Decode(&info, &errors, reinterpret_cast<const unsigned char*>(jpeg.data()),
                              static_cast<unsigned long>(jpeg.size()), &image);
  jpeg_destroy_decompress(&info);
  return decoded ? image : QImage();
}

QByteArray LogoJpeg() {
  QFile file(QStringLiteral(":/logo.jpg"));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace quorvel
