#pragma once
// Numbers as a settings file holds them, and the position text of a window: "left,top".

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace quorvel {

// What TextToPair gives for both coordinates of a text without a comma.
inline constexpr int32_t kNoPairValue = -2147483647;

std::string PairToText(int32_t x, int32_t y);
std::pair<int32_t, int32_t> TextToPair(std::string_view text);
int32_t TextToIntOrZero(std::string_view text);

}  // namespace quorvel
