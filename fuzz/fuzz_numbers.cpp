// Numbers and positions of the settings file: any text gives a value, and every value
// written reads back as itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "files/PathText.h"
#include "settings/NumberText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)quorvel::TextToIntOrZero(text);
  (void)quorvel::TextToPair(text);
  if (size >= 8) {
    int32_t x, y;
    std::memcpy(&x, data, 4);
    std::memcpy(&y, data + 4, 4);
    if (quorvel::TextToIntOrZero(quorvel::IntToDecimal(x)) != x) std::abort();
    auto pair = quorvel::TextToPair(quorvel::PairToText(x, y));
    if (pair.first != x || pair.second != y) std::abort();
  }
  return 0;
}
