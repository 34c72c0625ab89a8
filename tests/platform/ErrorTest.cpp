#include "platform/Error.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(MessageForDisplay, AddsAStopOnlyAfterCharactersThatSortAfterThePoint) {
  const struct {
    std::string message;
    std::string shown;
  } rows[] = {
      {"", ""},
      {"Stream read error", "Stream read error."},
      {"Cannot open file /data/a.txt", "Cannot open file /data/a.txt."},
      {"Cannot create file /data/out/", "Cannot create file /data/out/."},  // '/' > '.'
      {"Already ends.", "Already ends."},
      {"Loud!", "Loud!"},  // '!' < '.'
      {"Comma,", "Comma,"},
      {"Number 7", "Number 7."},
      {"Accent \xE9", "Accent \xE9."},  // bytes above 127 count as large
  };
  for (const auto& row : rows) {
    EXPECT_EQ(MessageForDisplay(row.message), row.shown) << row.message;
  }
}

}  // namespace
}  // namespace quorvel
