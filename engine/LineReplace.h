#pragma once
// Replacement of every occurrence of the search text in the lines of a file, at most
// kMaxReplacementsPerLine times per line. Hits and lines are reported through callables
// the caller hands in: every hit, then its line.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Lines.h"

namespace quorvel {

namespace platform {
class CodePage;
}

inline constexpr int kMaxReplacementsPerLine = 100;

// What a run searches for, built once by MakeLineSearch and only read afterwards.
struct LineSearch {
  std::string searchText;
  std::string upperSearchText;  // searchText upper-cased in codePage
  std::string replacementText;  // empty in the remove mode
  bool caseSensitive = false;
  // The code page that upper-cases; the active one when null.
  const platform::CodePage* codePage = nullptr;
};

// Builds a LineSearch and forms its upper search text.
LineSearch MakeLineSearch(std::string search, std::string replacement, bool caseSensitive,
                          const platform::CodePage* codePage = nullptr);

using HitNotification = std::function<void()>;
using LineNotification = std::function<void()>;

// Replaces in one line in place; true when at least one occurrence was found.
bool ReplaceInLine(std::string& line, const LineSearch& search, const HitNotification& onHit);

// Where the search text stands in a line as read: its occurrences from left to right,
// none overlapping, as offset and length. The first is where the replacement begins;
// the run also finds the text where a replacement forms it anew, which this leaves out.
struct TextSpan {
  size_t offset = 0;
  size_t length = 0;
};
std::vector<TextSpan> FoundSpans(std::string_view line, const LineSearch& search);

// Fills output with the lines of input after replacement; true when any line held an
// occurrence. input is not changed.
bool ReplaceInLines(const LineList& input, LineList& output, const LineSearch& search,
                    const HitNotification& onHit, const LineNotification& onLine);

// Whether search finds its text in the bytes as they are, never upper-cased; only such a
// search serves ReplaceInText.
bool SearchesTextAsItIs(const LineSearch& search);

// The same replacement straight from the bytes of a text that holds no NUL, without
// splitting them into a list first: out gets exactly the joined lines ReplaceInLines
// gives for the lines of text, with the same notifications in the same order. true when
// any line held an occurrence. search must be one SearchesTextAsItIs accepts.
bool ReplaceInText(std::string_view text, platform::ByteBuffer& out, const LineSearch& search,
                   const HitNotification& onHit, const LineNotification& onLine);

}  // namespace quorvel
