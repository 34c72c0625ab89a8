#include "platform/Wildcard.h"

#include <algorithm>

namespace quorvel::platform {

namespace {

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

// Plain '*' / '?' matching. Only the last '*' seen is ever resumed: any match that an
// earlier star could reach a later one reaches too, so the work stays O(name * pattern)
// however many stars the pattern holds.
bool Glob(std::string_view name, std::string_view pattern) {
  size_t n = 0, p = 0;
  size_t starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || FoldAscii(pattern[p]) == FoldAscii(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchesPattern(std::string_view name, std::string_view pattern) {
  // A final ".*" also stands for "no extension at all", so "*.*" takes every name.
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*") {
    if (Glob(name, pattern.substr(0, pattern.size() - 2))) return true;
    return Glob(name, pattern);
  }
  // A final point says the name has no extension beyond what the pattern spells out:
  // "*." alone (an empty extension item) selects the names without a point.
  if (!pattern.empty() && pattern.back() == '.') {
    std::string_view stem = pattern.substr(0, pattern.size() - 1);
    if (std::count(name.begin(), name.end(), '.') != std::count(stem.begin(), stem.end(), '.')) {
      return false;
    }
    return Glob(name, stem);
  }
  return Glob(name, pattern);
}

}  // namespace quorvel::platform
