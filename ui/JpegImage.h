#pragma once
// JPEG decoding with libjpeg into a QImage, and the logo picture built into the program.

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>

namespace quorvel {

// Decodes a whole JPEG held in memory. A corrupt, truncated or unsupported picture
// gives a null image; libjpeg's complaints never reach the console or stop the program.
QImage DecodeJpegImage(QByteArrayView jpeg);

// The JPEG bytes of the maker's logo (374 x 53 pixels) embedded in the build.
QByteArray LogoJpeg();

}  // namespace quorvel
