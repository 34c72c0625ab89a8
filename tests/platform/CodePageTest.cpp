#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "platform/Error.h"

namespace quorvel::platform {
namespace {

TEST(CodePage, Windows1250UpperCasesCzechLettersByteForByte) {
  const CodePage page("windows-1250");
  EXPECT_FALSE(page.isUtf8());
  const struct {
    std::string lower;
    std::string upper;
  } rows[] = {
      {"abc xyz 019", "ABC XYZ 019"},
      {"\xF8", "\xD8"},                          // ř -> Ř
      {"\x9A", "\x8A"},                          // š -> Š
      {"\x9E\xE8\xEC\xF9", "\x8E\xC8\xCC\xD9"},  // žčěů -> ŽČĚŮ
      {"\xD8\x8A", "\xD8\x8A"},                  // already upper
      {"\xDF", "\xDF"},                          // ß has no single upper byte
      {std::string("a\0b", 3), std::string("A\0B", 3)},
  };
  for (const auto& row : rows) EXPECT_EQ(page.upper(row.lower), row.upper) << row.lower;

  std::string all;
  for (int b = 0; b < 256; ++b) all += char(b);
  EXPECT_EQ(page.upper(all).size(), 256u);
}

TEST(CodePage, OtherSingleByteCodePagesUseTheirOwnTable) {
  const CodePage page("ISO-8859-2");
  EXPECT_EQ(page.upper("\xF8\xB9"), "\xD8\xA9");  // ř š at their ISO positions
}

TEST(CodePage, Utf8UpperCasesSequencesOfTheSameLengthAndKeepsOtherBytes) {
  const CodePage page("UTF-8");
  EXPECT_TRUE(page.isUtf8());
  const struct {
    std::string lower;
    std::string upper;
  } rows[] = {
      {"\xC5\x99", "\xC5\x98"},  // ř -> Ř
      {"\xC5\xBEluťoučký kůň", "\xC5\xBDLUŤOUČKÝ KŮŇ"},
      {"a\xFF"
       "b",
       "A\xFF"
       "B"},               // an invalid byte stays
      {"x\xC5", "X\xC5"},  // a sequence cut off at the end
      {"\xC0\xAF"
       "a",
       "\xC0\xAF"
       "A"},                                     // an overlong form is no character
      {"\xED\xA0\x80", "\xED\xA0\x80"},          // nor is a surrogate
      {"\xC4\xB1", "\xC4\xB1"},                  // dotless i: its upper form is one byte
      {"\xC3\x9F", "\xC3\x9F"},                  // ß
      {"\xF0\x90\x90\xA8", "\xF0\x90\x90\x80"},  // a four-byte letter (Deseret)
  };
  for (const auto& row : rows) {
    const std::string upper = page.upper(row.lower);
    EXPECT_EQ(upper, row.upper) << row.lower;
    EXPECT_EQ(upper.size(), row.lower.size()) << row.lower;
  }
}

TEST(CodePage, RefusesNamesItCannotServeWithAClearMessage) {
  for (const std::string name : {"no-such-codepage", "Shift_JIS", "UTF-16", ""}) {
    try {
      CodePage page(name);
      ADD_FAILURE() << "accepted \"" << name << "\"";
    } catch (const Error& e) {
      if (!name.empty()) {
        EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
      }
    }
  }
}

TEST(CodePage, ConvertsToAndFromUtf8WithAQuestionMarkForTheUnmappable) {
  const CodePage cp1250("windows-1250");
  EXPECT_EQ(cp1250.fromUtf8("P\xC5\x99\xC3\xADli\xC5\xA1"), "P\xF8\xEDli\x9A");  // Příliš
  EXPECT_EQ(cp1250.toUtf8("P\xF8\xEDli\x9A"), "P\xC5\x99\xC3\xADli\xC5\xA1");
  EXPECT_EQ(cp1250.fromUtf8("\xE6\x97\xA5\xE6\x9C\xAC"), "??");  // two CJK characters
  EXPECT_EQ(cp1250.fromUtf8("a\xFF"
                            "b"),
            "a?b");  // broken input
  EXPECT_EQ(cp1250.fromUtf8(""), "");

  const CodePage utf8("UTF-8");
  EXPECT_EQ(utf8.fromUtf8("\xC5\x99"), "\xC5\x99");
  EXPECT_EQ(utf8.toUtf8("a\xFF"
                        "b"),
            "a?b");
}

TEST(CodePage, CutToBytesNeverSplitsAUtf8Character) {
  const CodePage utf8("UTF-8");
  const std::string text =
      "ab\xC5\x99"
      "c";  // a b ř c
  const struct {
    size_t max;
    std::string cut;
  } rows[] = {
      {0, ""}, {2, "ab"}, {3, "ab"}, {4, "ab\xC5\x99"}, {5, text}, {100, text},
  };
  for (const auto& row : rows) EXPECT_EQ(utf8.cutToBytes(text, row.max), row.cut) << row.max;
  EXPECT_EQ(utf8.cutToBytes("a\xFF\xFF", 2), "a\xFF");  // stray bytes stand alone
  EXPECT_EQ(utf8.cutToBytes("\xF0\x9F\x98\x80", 3), "");

  const CodePage cp1250("windows-1250");
  EXPECT_EQ(cp1250.cutToBytes("ab\xF8"
                              "cd",
                              3),
            "ab\xF8");
}

// Sets or removes environment variables for one test and puts them back afterwards.
class ScopedEnv {
 public:
  void set(const char* name, const char* value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name);
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST(DefaultCodePageName, PrefersTheVariableThenTheLocale) {
  const struct {
    const char* variable;
    const char* locale;
    const char* expected;
  } rows[] = {
      {"ISO-8859-2", "C.UTF-8", "ISO-8859-2"},
      {"", "C.UTF-8", "UTF-8"},
      {nullptr, "C.UTF-8", "UTF-8"},
      {nullptr, "C", "windows-1250"},
      {nullptr, "POSIX", "windows-1250"},
      // A locale not generated on this machine still names its character set.
      {nullptr, "xx_NOWHERE.UTF-8", "UTF-8"},
      {nullptr, "xx_NOWHERE.ISO-8859-2", "windows-1250"},
  };
  for (const auto& row : rows) {
    ScopedEnv env;
    env.set("QUORVEL_CODEPAGE", row.variable);
    env.set("LC_ALL", row.locale);
    EXPECT_EQ(DefaultCodePageName(), row.expected)
        << (row.variable ? row.variable : "(unset)") << " / " << row.locale;
  }
}

}  // namespace
}  // namespace quorvel::platform
