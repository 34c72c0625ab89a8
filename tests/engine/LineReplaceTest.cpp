#include "engine/LineReplace.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/Lines.h"
#include "platform/CodePage.h"

namespace quorvel {
namespace {

const platform::CodePage& Windows1250() {
  static const platform::CodePage page("windows-1250");
  return page;
}

const platform::CodePage& Utf8() {
  static const platform::CodePage page("UTF-8");
  return page;
}

std::string Repeat(const std::string& text, int times) {
  std::string result;
  for (int i = 0; i < times; ++i) result += text;
  return result;
}

struct LineCase {
  const char* name;
  std::string search;
  std::string replacement;
  bool caseSensitive;
  std::string line;
  std::string expected;
  int hits;
  bool found;
};

TEST(ReplaceInLineTest, Cases) {
  const std::vector<LineCase> cases = {
      {"inserted text is searched again up to the cap", "x", "xy", true, "x",
       "x" + std::string(100, 'y'), 100, true},
      {"150 occurrences: the leftmost 100 are replaced", "ab", "c", true, Repeat("ab-", 150),
       Repeat("c-", 100) + Repeat("ab-", 50), 100, true},
      {"removing joins the pieces into a new occurrence", "xy", "", true, "xxyy", "", 2, true},
      {"not case sensitive matches any mix of cases", "abc", "1", false, "ABC aBc abc", "1 1 1", 3,
       true},
      {"case sensitive matches the exact bytes only", "abc", "1", true, "ABC aBc abc", "ABC aBc 1",
       1, true},
      {"only the matched span is replaced, as typed", "world", "There", false, "Hello WORLD!",
       "Hello There!", 1, true},
      {"a replacement equal in upper case is found again", "x", "X", false, "xx", "Xx", 100, true},
      {"replacing a text by itself counts the cap", "a", "a", true, "a b", "a b", 100, true},
      {"empty search text finds nothing", "", "z", true, "abc", "abc", 0, false},
      {"search text longer than the line", "abcd", "z", true, "abc", "abc", 0, false},
      {"empty line", "a", "z", false, "", "", 0, false},
      {"no occurrence", "q", "z", false, "abc", "abc", 0, false},
      {"replacement longer and shorter", "bb", "XYZ", true, "abbcbb", "aXYZcXYZ", 2, true},
      {"an overlap with the inserted text is found", "aab", "b", true, "aaaab", "b", 2, true},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    LineSearch search = MakeLineSearch(c.search, c.replacement, c.caseSensitive, &Windows1250());
    std::string line = c.line;
    int hits = 0;
    EXPECT_EQ(ReplaceInLine(line, search, [&] { ++hits; }), c.found);
    EXPECT_EQ(line, c.expected);
    EXPECT_EQ(hits, c.hits);
  }
}

TEST(ReplaceInLineTest, Utf8SplicesThatJoinOrCutCharacters) {
  const std::vector<LineCase> cases = {
      {"completing a character changes the upper-case bytes before the splice", "\xE2\x92", "\x90",
       false, "\xE2\x93\xE2\x92\x62", "\x90\x90\x62", 2, true},
      {"a lone continuation byte joins the lead byte before it", "x", "\x99", false,
       "\xC5x\xC5\x98", "\xC5\x99\xC5\x98", 1, true},
      {"cutting a character leaves its lead byte alone", "\x98", "", false, "\xC5\x99", "\xC5", 1,
       true},
      {"micro sign and both Greek mu upper-case alike", "\xC2\xB5", "x", false,
       "\xC2\xB5 \xCE\xBC \xCE\x9C m M", "x x x m M", 3, true},
      {"a letter without a same-length upper-case form matches only itself", "\xC5\xBF", "x", false,
       "s S \xC5\xBF", "s S x", 1, true},
      {"a lone lead byte does not join the character after it", "\xC5\xBE", "x", false,
       "\xC5\xC5\xBE\xC5", "\xC5x\xC5", 1, true},
      {"three-byte characters around a match stay", "\xC5\xBE", "\xE2\x82\xAC", false,
       "\xE2\x82\xAC\xC5\xBD\xE2\x93\x90", "\xE2\x82\xAC\xE2\x82\xAC\xE2\x93\x90", 1, true},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    LineSearch search = MakeLineSearch(c.search, c.replacement, c.caseSensitive, &Utf8());
    std::string line = c.line;
    int hits = 0;
    EXPECT_EQ(ReplaceInLine(line, search, [&] { ++hits; }), c.found);
    EXPECT_EQ(line, c.expected);
    EXPECT_EQ(hits, c.hits);
  }
}

TEST(ReplaceInLineTest, CzechLettersMatchTheirCaseInBothCodePages) {
  for (const platform::CodePage* page : {&Windows1250(), &Utf8()}) {
    SCOPED_TRACE(page->name());
    const std::string lowerR = page->fromUtf8("ř");
    const std::string upperR = page->fromUtf8("Ř");
    ASSERT_NE(lowerR, upperR);
    const std::string line = page->fromUtf8("řeka Řím");

    LineSearch insensitive = MakeLineSearch(upperR, "_", false, page);
    std::string changed = line;
    EXPECT_TRUE(ReplaceInLine(changed, insensitive, nullptr));
    EXPECT_EQ(page->toUtf8(changed), "_eka _ím");

    LineSearch lower = MakeLineSearch(page->fromUtf8("ŘEKA ří"), "x", false, page);
    changed = line;
    EXPECT_TRUE(ReplaceInLine(changed, lower, nullptr));
    EXPECT_EQ(page->toUtf8(changed), "xm");

    LineSearch sensitive = MakeLineSearch(upperR, "_", true, page);
    changed = line;
    EXPECT_TRUE(ReplaceInLine(changed, sensitive, nullptr));
    EXPECT_EQ(page->toUtf8(changed), "řeka _ím");
  }
}

TEST(ReplaceInLinesTest, NotifiesEveryHitBeforeItsLineAndKeepsTheInput) {
  LineList input;
  input.assignSplit("ax\nb\nxx\n\nx");
  const std::string before(input.joined());
  LineSearch search = MakeLineSearch("x", "yy", true, &Windows1250());
  LineList output;
  output.append("left over");
  std::string events;
  EXPECT_TRUE(ReplaceInLines(
      input, output, search, [&] { events += 'h'; },
      [&] { events += 'l'; }));
  EXPECT_EQ(events, "hllhhllhl");
  EXPECT_EQ(output.joined(), "ayy\r\nb\r\nyyyy\r\n\r\nyy\r\n");
  EXPECT_EQ(input.joined(), before);
}

TEST(ReplaceInLinesTest, UnchangedInputsGiveFalse) {
  LineList output;
  std::string events;
  auto hit = [&] { events += 'h'; };
  auto line = [&] { events += 'l'; };

  LineSearch search = MakeLineSearch("x", "y", true, &Windows1250());
  output.append("left over");
  EXPECT_FALSE(ReplaceInLines(LineList(), output, search, hit, line));
  EXPECT_TRUE(output.empty());
  EXPECT_EQ(events, "");

  LineList input;
  input.assignSplit("a\r\nb\r\n");
  for (std::string text : {std::string(""), std::string("a\r\nb"), std::string("a\n"),
                           std::string("a\0", 2), std::string("q")}) {
    events.clear();
    LineSearch never = MakeLineSearch(text, "y", false, &Windows1250());
    EXPECT_FALSE(ReplaceInLines(input, output, never, hit, line));
    EXPECT_EQ(output.joined(), input.joined());
    EXPECT_EQ(events, "ll");
  }
}

TEST(ReplaceInLinesTest, TheSearchIsFormedOnceAndServesEveryFile) {
  const LineSearch search = MakeLineSearch("c", "b", false, &Windows1250());
  EXPECT_EQ(search.upperSearchText, "C");
  for (int file = 0; file < 2; ++file) {
    LineList input;
    input.append("cA");
    LineList output;
    EXPECT_TRUE(ReplaceInLines(input, output, search, nullptr, nullptr));
    EXPECT_EQ(output[0], "bA");
  }
  EXPECT_EQ(search.upperSearchText, "C");
}

// The replacement exactly as first described: every find starts again at the line's
// first character, on a freshly upper-cased copy of the whole line.
struct Reference {
  std::string search;
  std::string replacement;
  bool caseSensitive;
  const platform::CodePage* page;

  size_t find(const std::string& line) const {
    if (search.empty() || line.empty() || search.size() > line.size()) return 0;
    size_t at = caseSensitive ? line.find(search) : page->upper(line).find(page->upper(search));
    return at == std::string::npos ? 0 : at + 1;
  }

  bool replaceInLine(std::string& line, std::string& events) const {
    int n = 0;
    bool found = false;
    size_t p = find(line);
    while (p > 0) {
      found = true;
      if (++n > kMaxReplacementsPerLine) break;
      line = line.substr(0, p - 1) + replacement + line.substr(p - 1 + search.size());
      p = find(line);
      events += 'h';
    }
    return found;
  }
};

// Random texts made of pieces that give many matches and overlaps. In UTF-8 the
// pieces are whole letters of two, three and four bytes (whose upper-case forms keep
// their length) beside lone lead and continuation bytes, or bytes only, so that a
// splice joins and cuts characters on either side.
struct Alphabet {
  const char* name;
  bool isUtf8;
  std::vector<std::string> pieces;
  // When given, half of the search texts are made of these whole characters.
  std::vector<std::string> searchPieces = {};
};

const std::vector<Alphabet>& Alphabets() {
  static const std::vector<Alphabet> alphabets = {
      {"Windows1250", false, {"a", "A", "b", "B", "\xF8", "\xD8", "\x9A", "\x8A", " ", "\xE9"}},
      {"Utf8Letters",
       true,
       {"b", "B", "\xC5\x99", "\xC5\x98", "\xC5", "\x99", "\x98", "\xE2\x93\x90", "\xE2\x92\xB6",
        "\xE2", "\x93", "\x92", "\x90", "\xB6", "\xF0\x90\x90\xA8", "\xF0\x90\x90\x80", "\xF0",
        "\xA8", "\x80"}},
      {"Utf8Bytes", true, {"b", "\xE2", "\x93", "\x92", "\x90", "\xB6", "\xC5", "\x99"}},
      // Czech letters in both cases; the micro sign and Greek mu, which upper-case to
      // a letter of another lead byte; long s and dz, whose upper-case forms have
      // another length or are shared by three letters; three-byte characters and
      // lone lead, continuation and invalid bytes beside them.
      {"Utf8Czech",
       true,
       {"a",
        "A",
        "z",
        "\xC5\xBE",
        "\xC5\xBD",
        "\xC4\x8D",
        "\xC4\x8C",
        "\xC3\xBD",
        "\xC3\x9D",
        "\xC2\xB5",
        "\xCE\xBC",
        "\xCE\x9C",
        "\xC5\xBF",
        "s",
        "\xC7\x84",
        "\xC7\x85",
        "\xC7\x86",
        "\xE2\x82\xAC",
        "\xE2\x93\x90",
        "\xE2\x92\xB6",
        "\xC5",
        "\xBD",
        "\xBE",
        "\xFF",
        " "},
       {"a", "A", "\xC5\xBE", "\xC5\xBD", "\xC4\x8D", "\xC4\x8C", "\xC3\xBD", "\xC2\xB5",
        "\xCE\xBC", "\xC5\xBF", "s", "\xC7\x85", "\xC7\x86"}},
  };
  return alphabets;
}

void PrintTo(const Alphabet& alphabet, std::ostream* out) { *out << alphabet.name; }

class RandomText {
 public:
  RandomText(const Alphabet& alphabet, uint32_t seed)
      : pieces_(alphabet.pieces), searchPieces_(alphabet.searchPieces), rng_(seed) {}

  std::string text(int maxPieces) {
    std::string result;
    int count = int(next() % uint32_t(maxPieces + 1));
    for (int i = 0; i < count; ++i) result += pieces_[next() % pieces_.size()];
    return result;
  }
  // Mostly a piece of the line or of its upper-cased form, so that it matches.
  std::string searchFor(const std::string& line, const platform::CodePage& page) {
    if (!searchPieces_.empty() && next() % 2 == 0) {
      std::string search;
      for (uint32_t i = 0, count = 1 + next() % 3; i < count; ++i) {
        search += searchPieces_[next() % searchPieces_.size()];
      }
      return search;
    }
    if (line.empty() || next() % 4 == 0) return text(3);
    const std::string from = next() % 2 ? line : page.upper(line);
    size_t at = next() % from.size();
    size_t length = 1 + next() % std::min<size_t>(4, from.size() - at);
    return from.substr(at, length);
  }
  uint32_t next() { return rng_(); }

 private:
  const std::vector<std::string>& pieces_;
  const std::vector<std::string>& searchPieces_;
  std::mt19937 rng_;
};

class RandomComparisonTest : public ::testing::TestWithParam<Alphabet> {};

TEST_P(RandomComparisonTest, ReplaceInLineMatchesTheReference) {
  const platform::CodePage& page = GetParam().isUtf8 ? Utf8() : Windows1250();
  RandomText random(GetParam(), 20261210);
  for (int round = 0; round < 100000; ++round) {
    std::string line = random.text(random.next() % 5 == 0 ? 60 : 12);
    Reference ref;
    ref.page = &page;
    ref.caseSensitive = random.next() % 3 == 0;
    ref.search = random.searchFor(line, page);
    ref.replacement = random.text(3);
    // Replacements that recreate the search text drive lines to the cap.
    if (random.next() % 4 == 0) ref.replacement = random.text(1) + ref.search + random.text(1);

    std::string expected = line;
    std::string expectedEvents;
    const bool expectedFound = ref.replaceInLine(expected, expectedEvents);

    LineSearch search = MakeLineSearch(ref.search, ref.replacement, ref.caseSensitive, &page);
    std::string events;
    const bool found = ReplaceInLine(line, search, [&] { events += 'h'; });
    ASSERT_EQ(found, expectedFound) << round;
    ASSERT_EQ(line, expected) << "round " << round << " search "
                              << ::testing::PrintToString(ref.search) << " replacement "
                              << ::testing::PrintToString(ref.replacement);
    ASSERT_EQ(events, expectedEvents) << round;
  }
}

// The replacement straight from the bytes, where the search allows it, against the
// result and the events of the reference.
void ExpectTheSameStraight(std::string_view bytes, const LineSearch& search, bool expectedChanged,
                           const std::string& expectedJoined, const std::string& expectedEvents,
                           int round) {
  if (!SearchesTextAsItIs(search)) return;
  platform::ByteBuffer out;
  out.append("left over");
  std::string events;
  const bool changed = ReplaceInText(
      bytes, out, search, [&] { events += 'h'; }, [&] { events += 'l'; });
  ASSERT_EQ(changed, expectedChanged) << round;
  ASSERT_EQ(out.view(), expectedJoined) << round;
  ASSERT_EQ(events, expectedEvents) << round;
}

TEST_P(RandomComparisonTest, ReplaceInLinesAndInTextMatchTheReference) {
  const platform::CodePage& page = GetParam().isUtf8 ? Utf8() : Windows1250();
  RandomText random(GetParam(), 7);
  const std::vector<std::string> ends = {"\r\n", "\n", "\r"};
  for (int round = 0; round < 20000; ++round) {
    std::string bytes;
    const int lineCount = int(random.next() % 8);
    for (int i = 0; i < lineCount; ++i) {
      bytes += random.text(12);
      if (i + 1 < lineCount || random.next() % 2) bytes += ends[random.next() % ends.size()];
    }
    LineList input;
    input.assignSplit(bytes);

    Reference ref;
    ref.page = &page;
    ref.caseSensitive = random.next() % 3 == 0;
    ref.search = random.searchFor(input.empty() ? "" : std::string(input[0]), page);
    ref.replacement = random.text(3);
    if (random.next() % 5 == 0) ref.replacement = ref.search + random.text(1);

    std::string expectedEvents;
    std::string expectedJoined;
    bool expectedChanged = false;
    for (size_t i = 0; i < input.size(); ++i) {
      std::string line(input[i]);
      if (ref.replaceInLine(line, expectedEvents)) expectedChanged = true;
      expectedJoined += line + "\r\n";
      expectedEvents += 'l';
    }

    LineSearch search = MakeLineSearch(ref.search, ref.replacement, ref.caseSensitive, &page);
    LineList output;
    std::string events;
    const bool changed = ReplaceInLines(
        input, output, search, [&] { events += 'h'; },
        [&] { events += 'l'; });
    ASSERT_EQ(changed, expectedChanged) << round;
    ASSERT_EQ(output.joined(), expectedJoined) << round;
    ASSERT_EQ(output.size(), input.size()) << round;
    ASSERT_EQ(events, expectedEvents) << round;
    ExpectTheSameStraight(bytes, search, expectedChanged, expectedJoined, expectedEvents, round);
  }
}

// Inputs far longer than the blocks that are upper-cased at a time, with lines longer
// than a block among short ones, so hits fall on every side of a block's end.
TEST_P(RandomComparisonTest, LongInputsMatchTheReference) {
  const platform::CodePage& page = GetParam().isUtf8 ? Utf8() : Windows1250();
  RandomText random(GetParam(), 99);
  for (int round = 0; round < 4; ++round) {
    LineList input;
    while (input.joined().size() < 400000) {
      input.append(random.text(random.next() % 50 == 0 ? 40000 : 60));
    }
    Reference ref;
    ref.page = &page;
    ref.caseSensitive = round % 2 == 1;
    ref.search = random.searchFor(std::string(input[1]), page);
    ref.replacement = random.text(2);

    std::string expectedEvents;
    std::string expectedJoined;
    for (size_t i = 0; i < input.size(); ++i) {
      std::string line(input[i]);
      ref.replaceInLine(line, expectedEvents);
      expectedJoined += line + "\r\n";
      expectedEvents += 'l';
    }

    LineSearch search = MakeLineSearch(ref.search, ref.replacement, ref.caseSensitive, &page);
    LineList output;
    std::string events;
    const bool changed = ReplaceInLines(
        input, output, search, [&] { events += 'h'; },
        [&] { events += 'l'; });
    ASSERT_EQ(output.joined(), expectedJoined) << round;
    ASSERT_EQ(events, expectedEvents) << round;
    ExpectTheSameStraight(input.joined(), search, changed, expectedJoined, expectedEvents, round);
  }
}

INSTANTIATE_TEST_SUITE_P(Alphabets, RandomComparisonTest, ::testing::ValuesIn(Alphabets()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvel
