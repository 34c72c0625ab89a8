#include "platform/Wildcard.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel::platform {
namespace {

TEST(MatchesPattern, FollowsTheDirectorySearchRules) {
  const struct {
    const char* name;
    const char* pattern;
    bool matches;
  } rows[] = {
      // Extension patterns as the file list forms them.
      {"a.txt", "*.txt", true},
      {"B.TXT", "*.txt", true},
      {"c.d.Txt", "*.txt", true},
      {"a.txt.bak", "*.txt", false},
      {"txt", "*.txt", false},
      {".txt", "*.txt", true},
      {"x.html", "*.htm*", true},
      {"x.htm", "*.htm*", true},
      {"x.ht", "*.htm*", false},
      // "*.*" takes every name, with or without a point.
      {"noext", "*.*", true},
      {"a.b", "*.*", true},
      {".hidden", "*.*", true},
      {"trailing.", "*.*", true},
      // "*." alone: only the names without a point.
      {"noext", "*.", true},
      {"a.b", "*.", false},
      {".hidden", "*.", false},
      // A final ".*" also stands for no extension.
      {"readme", "readme.*", true},
      {"readme.md", "readme.*", true},
      {"readmes", "readme.*", false},
      // '?' is exactly one character.
      {"a", "?", true},
      {"", "?", false},
      {"ab", "?", false},
      {"abc", "a?c", true},
      {"ABC", "a?c", true},
      {"a.c", "a?c", true},
      // Letter case is ASCII only; other bytes compare as they are.
      {"Makefile", "MAKEFILE", true},
      {"\xC5\x99.txt", "\xC5\x99.*", true},
      {"\xC5\x99.txt", "\xC5\x98.*", false},
      // Backtracking over several stars.
      {"", "*", true},
      {"abc", "abc*", true},
      {"abc", "ab", false},
      {"ab", "abc", false},
      {"aaab", "*a*b", true},
      {"mississippi", "m*iss*ppi", true},
      {"mississippi", "m*iss*ppx", false},
      {"abcabd", "*ab?", true},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(MatchesPattern(row.name, row.pattern), row.matches)
        << "name \"" << row.name << "\", pattern \"" << row.pattern << "\"";
  }
}

// A naive recursive matcher takes exponential time here and would never finish.
TEST(MatchesPattern, ManyStarsAgainstALongNameEndQuickly) {
  std::string pattern;
  for (int i = 0; i < 40; ++i) pattern += "*a";
  pattern += "*b";
  const std::string name(5000, 'a');
  EXPECT_FALSE(MatchesPattern(name, pattern));
  EXPECT_TRUE(MatchesPattern(name + "b", pattern));
}

}  // namespace
}  // namespace quorvel::platform
