// The painting helpers of the window's own controls, without a window.

#include <gtest/gtest.h>

#include <QFont>
#include <vector>

#include "ui/Fonts.h"
#include "ui/GlowButton.h"
#include "ui/Gradient.h"
#include "ui/LevelProgressBar.h"

namespace quorvel {
namespace {

struct BarCase {
  int32_t position;
  int32_t maximum;
  int percent;
  int level;
  QRgb firstColour;
};

TEST(LevelProgressBarTest, PercentageLevelAndColourFollowThePosition) {
  const BarCase cases[] = {
      {0, 100, 0, 0, 0x00FF00},
      {69, 100, 69, 0, 0x00FF00},
      {70, 100, 70, 1, 0xFFFF00},
      {89, 100, 89, 1, 0xFFFF00},
      {90, 100, 90, 2, 0xFFA953},
      {99, 100, 99, 2, 0xFFA953},
      {100, 100, 100, 3, 0xFF0000},
      // An empty range shows 0 %, whatever the position.
      {0, 0, 0, 0, 0x00FF00},
      {5, 0, 0, 0, 0x00FF00},
      // Halves go to the even neighbour; everything else to the nearest.
      {1, 8, 12, 0, 0x00FF00},
      {3, 8, 38, 0, 0x00FF00},
      {1, 200, 0, 0, 0x00FF00},
      {3, 200, 2, 0, 0x00FF00},
      {179, 200, 90, 2, 0xFFA953},
      {139, 200, 70, 1, 0xFFFF00},
      {1, 3, 33, 0, 0x00FF00},
      {2, 3, 67, 0, 0x00FF00},
      {199, 200, 100, 3, 0xFF0000},
      // Large counts do not overflow on the way.
      {2147483647, 2147483647, 100, 3, 0xFF0000},
  };
  for (const BarCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.position << " of " << c.maximum);
    const int percent = BarPercentage(c.position, c.maximum);
    EXPECT_EQ(percent, c.percent);
    EXPECT_EQ(BarLevel(percent), c.level);
    EXPECT_EQ(LevelColoursFor(BarLevel(percent)).first, QColor(c.firstColour));
  }
}

TEST(LevelProgressBarTest, SegmentsAreSevenPixelsWithTwoPixelGaps) {
  struct SegmentCase {
    int innerWidth;
    int percent;
    std::vector<std::pair<int, int>> segments;  // left offset, width
  };
  const SegmentCase cases[] = {
      {20, 0, {}},
      {20, 100, {{0, 7}, {9, 7}, {18, 2}}},
      {20, 50, {{0, 7}, {9, 1}}},
      {16, 100, {{0, 7}, {9, 7}}},
      {8, 100, {{0, 7}}},
      {7, 100, {{0, 7}}},
      // More than 100 % fills the bar and no more.
      {20, 150, {{0, 7}, {9, 7}, {18, 2}}},
  };
  for (const SegmentCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.innerWidth << " px at " << c.percent << " %");
    const QRect inner(3, 2, c.innerWidth, 14);
    std::vector<std::pair<int, int>> got;
    for (const QRect& segment : BarSegments(inner, c.percent)) {
      EXPECT_EQ(segment.top(), 2);
      EXPECT_EQ(segment.height(), 14);
      got.emplace_back(segment.left() - inner.left(), segment.width());
    }
    EXPECT_EQ(got, c.segments);
  }
}

TEST(LevelProgressBarTest, FullWindowBarEndsInAWholeSegment) {
  // The window's bar is 353 pixels wide, 349 inside its border.
  const std::vector<QRect> segments = BarSegments(QRect(2, 2, 349, 14), 100);
  ASSERT_EQ(segments.size(), 39u);
  EXPECT_EQ(segments.back().right(), 2 + 349 - 1);
  EXPECT_EQ(segments.back().width(), 7);
}

TEST(GradientTest, BandsRunFromTheFirstColourToTheLastAndCoverTheLength) {
  const QColor from(0x79, 0x76, 0x71);
  const QColor to(0xC0, 0xC0, 0xC0);
  struct GradientCase {
    int length;
    int steps;
    size_t bands;
  };
  const GradientCase cases[] = {
      {369, HeaderGradientSteps(369), 92},
      {40, HeaderGradientSteps(40), 16},
      // Fewer pixels than steps: one band per pixel, the ends still exact.
      {7, 20, 7},
  };
  for (const GradientCase& c : cases) {
    SCOPED_TRACE(c.length);
    const std::vector<ColourBand> bands = GradientBands(c.length, c.steps, from, to);
    ASSERT_EQ(bands.size(), c.bands);
    EXPECT_EQ(bands.front().colour, from);
    EXPECT_EQ(bands.back().colour, to);
    int next = 0;
    for (const ColourBand& band : bands) {
      EXPECT_EQ(band.start, next);
      EXPECT_GT(band.length, 0);
      next = band.start + band.length;
    }
    EXPECT_EQ(next, c.length);
  }
}

TEST(GradientTest, HeaderStepsAreAQuarterOfTheWidthButAtLeastSixteen) {
  EXPECT_EQ(HeaderGradientSteps(0), 16);
  EXPECT_EQ(HeaderGradientSteps(64), 16);
  EXPECT_EQ(HeaderGradientSteps(68), 17);
  EXPECT_EQ(HeaderGradientSteps(369), 92);
}

TEST(GlowButtonTest, TheTwoColourSetsDifferOnlyInTheNormalState) {
  auto same = [](const GlowColours& a, const GlowColours& b) {
    return a.border == b.border && a.upperTop == b.upperTop && a.upperBottom == b.upperBottom &&
           a.lowerTop == b.lowerTop && a.lowerBottom == b.lowerBottom;
  };
  for (GlowState state : {GlowState::Hover, GlowState::Pressed}) {
    EXPECT_TRUE(
        same(GlowColoursFor(GlowSet::Panel, state), GlowColoursFor(GlowSet::Window, state)));
  }
  EXPECT_EQ(GlowColoursFor(GlowSet::Panel, GlowState::Normal).border, QColor(0x9BB9E0));
  EXPECT_EQ(GlowColoursFor(GlowSet::Window, GlowState::Normal).border, QColor(0xB2BCC0));
  EXPECT_EQ(GlowStateFor(true, true), GlowState::Pressed);
  EXPECT_EQ(GlowStateFor(false, true), GlowState::Hover);
}

TEST(FontsTest, MissingFacesFallBackToInstalledFamilies) {
  struct FontCase {
    Typeface face;
    QStringList installed;
    QString family;
    int stretch;
  };
  const FontCase cases[] = {
      {Typeface::Tahoma, {"Tahoma", "DejaVu Sans"}, "Tahoma", QFont::Unstretched},
      {Typeface::Tahoma, {"DejaVu Sans", "DejaVu Sans Mono"}, "DejaVu Sans", 84},
      {Typeface::Verdana, {"DejaVu Sans"}, "DejaVu Sans", QFont::Unstretched},
      {Typeface::TrebuchetMS, {"dejavu sans"}, "DejaVu Sans", QFont::SemiCondensed},
      {Typeface::Verdana, {"Liberation Sans"}, "Liberation Sans", QFont::Unstretched},
      {Typeface::Tahoma, {}, "Sans Serif", QFont::Unstretched},
  };
  for (const FontCase& c : cases) {
    SCOPED_TRACE(c.family.toStdString());
    const FontSubstitute chosen = ChooseSubstitute(c.face, c.installed);
    EXPECT_EQ(chosen.family, c.family);
    EXPECT_EQ(chosen.stretch, c.stretch);
  }
}

}  // namespace
}  // namespace quorvel
