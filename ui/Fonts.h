#pragma once
// The three typefaces the windows are drawn in, and what stands in for each where the
// machine lacks it. The choice is made once per process, from the installed families.

#include <QFont>
#include <QString>
#include <QStringList>

namespace quorvel {

enum class Typeface { Tahoma, TrebuchetMS, Verdana };

// A family with the stretch that brings its widths near the missing face's.
struct FontSubstitute {
  QString family;
  int stretch = QFont::Unstretched;
};

// The first candidate for face that is among installed; the generic sans-serif family
// when none is.
FontSubstitute ChooseSubstitute(Typeface face, const QStringList& installed);

// The face at a character height in pixels.
QFont WindowFont(Typeface face, int pixelSize, bool bold = false);

}  // namespace quorvel
