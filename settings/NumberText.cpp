#include "settings/NumberText.h"

#include <optional>

#include "files/PathText.h"

namespace quorvel {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<int> HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return std::nullopt;
}

// At least one hexadecimal digit, the value within 32 bits, taken as two's complement.
int32_t HexOrZero(std::string_view digits) {
  if (digits.empty()) return 0;
  uint64_t value = 0;
  for (char c : digits) {
    std::optional<int> digit = HexDigitValue(c);
    if (!digit) return 0;
    value = value * 16 + uint64_t(*digit);
    if (value > 0xFFFFFFFFull) return 0;
  }
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

int32_t DecimalOrZero(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return 0;
  const int64_t limit = negative ? int64_t(2147483648LL) : int64_t(2147483647LL);
  int64_t value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return 0;
    value = value * 10 + (c - '0');
    if (value > limit) return 0;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace

std::string PairToText(int32_t x, int32_t y) { return IntToDecimal(x) + "," + IntToDecimal(y); }

std::pair<int32_t, int32_t> TextToPair(std::string_view text) {
  size_t comma = text.find(',');
  if (comma == std::string_view::npos) return {kNoPairValue, kNoPairValue};
  return {TextToIntOrZero(text.substr(0, comma)), TextToIntOrZero(text.substr(comma + 1))};
}

int32_t TextToIntOrZero(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return 0;
  size_t f = text.find_first_not_of(' ');
  std::string_view number = text.substr(f);

  if (number.back() == 'H' || number.back() == 'h') {
    if (number.size() == 1) return 0;
    return HexOrZero(number.substr(0, number.size() - 1));
  }
  if (number.size() >= 2 && number[0] == '0' && (number[1] == 'x' || number[1] == 'X')) {
    return HexOrZero(number.substr(2));
  }
  if (number.front() == '$' || number.front() == 'x' || number.front() == 'X') {
    return HexOrZero(number.substr(1));
  }
  return DecimalOrZero(number);
}

}  // namespace quorvel
