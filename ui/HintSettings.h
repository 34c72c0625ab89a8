#pragma once
// The hint (tool tip) settings of the whole application: how long a hint stays, its
// colour, and how long the mouse must rest before it appears.

#include <QColor>
#include <QString>

namespace quorvel {

inline constexpr int kHintDisplayMs = 20000;
inline constexpr int kHintDelayMs = 500;
inline constexpr QRgb kHintColour = 0xFFFF00;

// Makes the settings for the running application; calling it again changes nothing.
void ApplyHintSettings();

// What the hint window shows for a hint text: its CR LF pairs as plain line breaks.
QString HintDisplayText(const QString& hint);

}  // namespace quorvel
