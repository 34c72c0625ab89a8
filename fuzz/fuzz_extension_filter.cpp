// The extension filter split: never more items than characters plus one, and an
// unquoted item never holds a separator.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "files/PathText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view filter(reinterpret_cast<const char*>(data), size);
  const auto items = quorvel::SplitExtensionFilter(filter);
  if (items.size() > size + 1) std::abort();
  if (filter.find('"') == std::string_view::npos) {
    for (const auto& item : items) {
      for (char c : item) {
        if (c == ';' || (static_cast<unsigned char>(c) <= 32)) std::abort();
      }
    }
  }
  return 0;
}
