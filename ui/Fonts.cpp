#include "ui/Fonts.h"

#include <QFontDatabase>
#include <array>
#include <vector>

namespace quorvel {

namespace {

// Tahoma is a narrow Verdana: the condensed DejaVu face, squeezed a little further,
// matches the widths the window's labels were laid out for; DejaVu Sans itself has
// Verdana's metrics.
std::vector<FontSubstitute> Candidates(Typeface face) {
  switch (face) {
    case Typeface::Tahoma:
      return {{"Tahoma", QFont::Unstretched}, {"DejaVu Sans", 84}, {"Liberation Sans", 90}};
    case Typeface::TrebuchetMS:
      return {{"Trebuchet MS", QFont::Unstretched},
              {"DejaVu Sans", QFont::SemiCondensed},
              {"Liberation Sans", QFont::Unstretched}};
    case Typeface::Verdana:
      return {{"Verdana", QFont::Unstretched},
              {"DejaVu Sans", QFont::Unstretched},
              {"Liberation Sans", QFont::Unstretched}};
  }
  return {};
}

const FontSubstitute& Chosen(Typeface face) {
  static const std::array<FontSubstitute, 3> chosen = [] {
    const QStringList installed = QFontDatabase::families();
    return std::array<FontSubstitute, 3>{ChooseSubstitute(Typeface::Tahoma, installed),
                                         ChooseSubstitute(Typeface::TrebuchetMS, installed),
                                         ChooseSubstitute(Typeface::Verdana, installed)};
  }();
  return chosen[static_cast<size_t>(face)];
}

}  // namespace

FontSubstitute ChooseSubstitute(Typeface face, const QStringList& installed) {
  for (const FontSubstitute& candidate : Candidates(face)) {
    if (installed.contains(candidate.family, Qt::CaseInsensitive)) return candidate;
  }
  return {"Sans Serif", QFont::Unstretched};
}

QFont WindowFont(Typeface face, int pixelSize, bool bold) {
  const FontSubstitute& substitute = Chosen(face);
  QFont font(substitute.family);
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixelSize);
  font.setStretch(substitute.stretch);
  font.setBold(bold);
  return font;
}

}  // namespace quorvel
