#pragma once
// The texts both front ends show: the application title, the message captions, the
// captions of the four results of a run, and message texts with line breaks as a
// screen or a console wants them.

#include <string>
#include <string_view>

namespace quorvel {

// The caption of the error boxes and of the batch runner's error lines.
inline constexpr const char* kApplicationTitle = "Quorvel";
inline constexpr const char* kInformationCaption = "Information";
inline constexpr const char* kWarningCaption = "Warning";

inline constexpr const char* kFileCountCaption = "Bude se zpracovávat souborů :";
inline constexpr const char* kLinesReadCaption = "Řádek zpracováno :";
inline constexpr const char* kHitsFoundCaption = "Výskytů nalezeno :";
inline constexpr const char* kFilesChangedCaption = "Souborů změněno :";

// The message texts break their lines with CR LF; a screen or a console wants LF alone.
std::string LfLineBreaks(std::string_view text);

// Appends byte as a backslash and three octal digits, the C form for a byte that may
// not be shown as it is (a control character in a name).
void AppendOctalEscape(std::string& out, unsigned char byte);

}  // namespace quorvel
