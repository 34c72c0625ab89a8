#include "settings/NumberText.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace quorvel {
namespace {

TEST(TextToIntOrZero, ReadsDecimalAndHexadecimalForms) {
  struct Case {
    const char* text;
    int32_t expected;
  };
  const std::vector<Case> cases = {
      {"100", 100},          {"0x64", 100},       {"0X64", 100},      {"64h", 100},
      {"64H", 100},          {"$64", 100},        {"x64", 100},       {"X64", 100},
      {"-5", -5},            {"+5", 5},           {"  12", 12},       {"12  ", 12},
      {"  12h", 18},         {"007", 7},          {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},                 {"FFFFFFFFh", -1},  {"$80000000", INT32_MIN},
      {"0x000000064", 100},  {"", 0},             {"   ", 0},         {"1A", 0},
      {"2147483648", 0},     {"-2147483649", 0},  {"H", 0},           {"  h", 0},
      {"-$64", 0},           {"-0x64", 0},        {"- 5", 0},         {"1 2", 0},
      {"12 h", 0},           {"$", 0},            {"0x", 0},          {"+", 0},
      {"$100000000", 0},     {"0xG1", 0},         {"\t5", 0},         {"abc", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextToIntOrZero(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(TextToPair, SplitsAtTheFirstComma) {
  struct Case {
    const char* text;
    int32_t x;
    int32_t y;
  };
  const std::vector<Case> cases = {
      {"100,200", 100, 200},   {"0x64,$C8", 100, 200}, {"64h,C8h", 100, 200},
      {"abc,5", 0, 5},         {"-8,-8", -8, -8},       {"0,0", 0, 0},
      {"10,20,30", 10, 0},     {",", 0, 0},             {" 238 , 149 ", 238, 149},
      {"", kNoPairValue, kNoPairValue},                 {"42", kNoPairValue, kNoPairValue},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextToPair(c.text), std::make_pair(c.x, c.y)) << '"' << c.text << '"';
  }
}

TEST(PairToText, WritesDecimalWithAComma) {
  EXPECT_EQ(PairToText(238, 149), "238,149");
  EXPECT_EQ(PairToText(-4, -4), "-4,-4");
  EXPECT_EQ(PairToText(INT32_MIN, 0), "-2147483648,0");
}

}  // namespace
}  // namespace quorvel
