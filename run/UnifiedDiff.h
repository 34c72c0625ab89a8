#pragma once
// The unified diff of one file's bytes before and after, such that patch in its binary
// mode turns the one into the other exactly: lines are split after every LF only, so CR
// and NUL stay part of the line they are in.

#include <string>
#include <string_view>

namespace quorvel {

inline constexpr int kDiffContext = 3;

// "--- a/NAME", "+++ b/NAME" and the hunks; empty when the bytes are the same. A name
// that holds a blank, a quote, a backslash or a control character is written quoted,
// with C escapes.
std::string UnifiedDiff(std::string_view name, std::string_view before, std::string_view after);

}  // namespace quorvel
