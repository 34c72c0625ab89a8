#include "engine/ByteScan.h"

#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace quorvel::scan {
namespace {

// Haystacks of a small alphabet make near misses on the first and last byte common, and
// every length from 0 to a few blocks crosses the sixteen-byte steps at each offset.
TEST(ByteScan, FindAgreesWithTheStandardSearch) {
  std::mt19937 rng(7);
  const std::string alphabets[] = {"ab", std::string("a\0\xff\r", 4)};
  for (int round = 0; round < 20000; ++round) {
    const std::string& alphabet = alphabets[round % 2];
    std::string hay(rng() % 70, 'a'), needle(1 + rng() % 6, 'a');
    for (char& c : hay) c = alphabet[rng() % alphabet.size()];
    for (char& c : needle) c = alphabet[rng() % alphabet.size()];
    ASSERT_EQ(Find(hay, needle), std::string_view(hay).find(needle))
        << "hay " << hay.size() << " needle " << needle.size();
  }
}

// Letters whose forms differ in one bit (r R, ř Ř) and in several (ą Ą) in
// windows-1250, and a made-up table where a letter has three forms or more than the
// finder tests at once, next to bytes of no case.
TEST(ByteScan, FoldedFinderAgreesWithASearchOfTheUpperCasedText) {
  const platform::CodePage page("windows-1250");
  unsigned char madeUp[256];
  for (int b = 0; b < 256; ++b) madeUp[b] = static_cast<unsigned char>(b);
  for (unsigned char b : std::string("abcde")) madeUp[b] = 'A';
  for (unsigned char b : std::string("xyz")) madeUp[b] = 'X';
  struct Table {
    const unsigned char* upper;
    std::string alphabet;
  };
  const Table tables[] = {{page.upperTable(), "rR\xf8\xd8\xb9\xa5" "a."},
                          {madeUp, "abcdexyzA.X"}};
  std::mt19937 rng(11);
  for (const Table& table : tables) {
    const auto upper = [&](std::string text) {
      for (char& c : text) c = char(table.upper[static_cast<unsigned char>(c)]);
      return text;
    };
    for (int round = 0; round < 20000; ++round) {
      std::string hay(rng() % 70, 'a'), needle(1 + rng() % 5, 'a');
      for (char& c : hay) c = table.alphabet[rng() % table.alphabet.size()];
      for (char& c : needle) c = table.alphabet[rng() % table.alphabet.size()];
      const std::string upperNeedle = upper(needle);
      const FoldedFinder finder(upperNeedle, table.upper);
      ASSERT_EQ(finder.find(hay), std::string_view(upper(hay)).find(upperNeedle))
          << "hay " << hay << " needle " << needle;
    }
  }
}

TEST(ByteScan, FindLineEndStopsAtTheFirstCrLfOrNul) {
  for (size_t at = 0; at < 40; ++at) {
    for (char end : {'\r', '\n', '\0'}) {
      std::string text(40, 'x');
      text[at] = end;
      EXPECT_EQ(FindLineEnd(text.data(), 0, text.size()), at);
      EXPECT_EQ(FindLineEnd(text.data(), at + 1, text.size()), text.size());
    }
  }
}

// Lines of every length up to a few steps, with each kind of line end and none at the
// end, into a buffer that shows what is written past the copy.
TEST(ByteScan, CopyJoinedLinesGivesEveryLineWithCrLf) {
  std::mt19937 rng(3);
  const char* ends[] = {"\r\n", "\n", "\r"};
  for (int round = 0; round < 5000; ++round) {
    std::string text;
    std::string expected;
    const size_t lines = rng() % 5;
    for (size_t k = 0; k < lines; ++k) {
      const std::string line(1 + rng() % 100, char('a' + k));
      text += line;
      expected += line + "\r\n";
      if (k + 1 < lines || rng() % 2) text += ends[rng() % 3];
    }
    std::string out(2 * text.size() + kJoinedLinesSlack, '#');
    char* end = out.data();
    ASSERT_EQ(CopyJoinedLines(text.data(), 0, text.size(), end), lines);
    ASSERT_EQ(std::string(out.data(), end), expected) << ::testing::PrintToString(text);
  }
}

}  // namespace
}  // namespace quorvel::scan
