// The wildcard matcher against a plain recursive matcher with the same rules for a
// final ".*" and a final point.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/Wildcard.h"

namespace {

char Fold(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

bool Reference(std::string_view n, std::string_view p) {
  // Dynamic programming over (name position, pattern position).
  std::vector<std::vector<char>> m(n.size() + 1, std::vector<char>(p.size() + 1, 0));
  m[n.size()][p.size()] = 1;
  for (size_t j = p.size(); j-- > 0;) m[n.size()][j] = p[j] == '*' && m[n.size()][j + 1];
  for (size_t i = n.size(); i-- > 0;) {
    for (size_t j = p.size(); j-- > 0;) {
      if (p[j] == '*') {
        m[i][j] = m[i][j + 1] || m[i + 1][j];
      } else {
        m[i][j] = (p[j] == '?' || Fold(p[j]) == Fold(n[i])) && m[i + 1][j + 1];
      }
    }
  }
  return m[0][0];
}

bool ReferencePattern(std::string_view name, std::string_view pattern) {
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*") {
    return Reference(name, pattern.substr(0, pattern.size() - 2)) || Reference(name, pattern);
  }
  if (!pattern.empty() && pattern.back() == '.') {
    std::string_view stem = pattern.substr(0, pattern.size() - 1);
    if (std::count(name.begin(), name.end(), '.') != std::count(stem.begin(), stem.end(), '.')) {
      return false;
    }
    return Reference(name, stem);
  }
  return Reference(name, pattern);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 512) return 0;
  size_t split = data[0] % size;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  split = std::min(split, rest.size());
  std::string_view pattern = rest.substr(0, split);
  std::string_view name = rest.substr(split);
  if (quorvel::platform::MatchesPattern(name, pattern) != ReferencePattern(name, pattern)) {
    std::abort();
  }
  return 0;
}
