#include "ui/JpegImage.h"

#include <gtest/gtest.h>

#include <QColor>

#include <cstdlib>
#include <ostream>
#include <string>

namespace quorvel {
namespace {

// Channels within the rounding of a lossy picture.
void ExpectNear(QRgb actual, QRgb expected) {
  EXPECT_NEAR(qRed(actual), qRed(expected), 12);
  EXPECT_NEAR(qGreen(actual), qGreen(expected), 12);
  EXPECT_NEAR(qBlue(actual), qBlue(expected), 12);
}

TEST(JpegImageTest, TheLogoDecodesTo374By53InItsOwnColours) {
  const QImage logo = DecodeJpegImage(LogoJpeg());

  ASSERT_FALSE(logo.isNull());
  EXPECT_EQ(logo.size(), QSize(374, 53));
  // The band runs from dark blue on the left to teal on the right; swapped channels or
  // a grey fallback would show here.
  ExpectNear(logo.pixel(1, 1), qRgb(0x17, 0x30, 0x6e));
  ExpectNear(logo.pixel(372, 1), qRgb(0x12, 0x7a, 0x86));
}

// The offset of the frame header (SOF0 or SOF2) of a baseline or progressive JPEG.
qsizetype FrameHeader(const QByteArray& jpeg) {
  for (qsizetype i = 2; i + 1 < jpeg.size(); ++i) {
    if (uchar(jpeg[i]) == 0xFF && (uchar(jpeg[i + 1]) == 0xC0 || uchar(jpeg[i + 1]) == 0xC2)) {
      return i;
    }
  }
  return -1;
}

struct BrokenCase {
  const char* name;
  QByteArray (*make)(const QByteArray& logo);
};

void PrintTo(const BrokenCase& broken, std::ostream* out) { *out << broken.name; }

class JpegImageBrokenTest : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(JpegImageBrokenTest, GivesANullImage) {
  const QByteArray logo = LogoJpeg();
  ASSERT_GE(FrameHeader(logo), 0);

  EXPECT_TRUE(DecodeJpegImage(GetParam().make(logo)).isNull());
}

INSTANTIATE_TEST_SUITE_P(
    Broken, JpegImageBrokenTest,
    ::testing::Values(
        BrokenCase{"Empty", [](const QByteArray&) { return QByteArray(); }},
        BrokenCase{"Garbage",
                   [](const QByteArray& logo) {
                     QByteArray bytes(logo.size(), '\0');
                     std::srand(7);
                     for (char& byte : bytes) byte = char(std::rand());
                     return bytes;
                   }},
        BrokenCase{"TextNotAPicture",
                   [](const QByteArray&) { return QByteArray("[GENERAL]\r\nSearch=x\r\n"); }},
        BrokenCase{"OnlyTheStartMarker", [](const QByteArray&) { return QByteArray("\xFF\xD8"); }},
        BrokenCase{"CutInTheHeaders",
                   [](const QByteArray& logo) { return logo.left(FrameHeader(logo) + 6); }},
        BrokenCase{"CutInHalf", [](const QByteArray& logo) { return logo.left(logo.size() / 2); }},
        BrokenCase{"EndMarkerMissing",
                   [](const QByteArray& logo) { return logo.left(logo.size() - 2); }},
        BrokenCase{"ZeroHeight",
                   [](const QByteArray& logo) {
                     QByteArray bytes = logo;
                     const qsizetype sof = FrameHeader(bytes);
                     bytes[sof + 5] = 0;
                     bytes[sof + 6] = 0;
                     return bytes;
                   }},
        BrokenCase{"SecondHalfReplacedByFillBytes",
                   [](const QByteArray& logo) {
                     const qsizetype half = logo.size() / 2;
                     return logo.left(half) + QByteArray(logo.size() - half, '\xFF');
                   }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvel
