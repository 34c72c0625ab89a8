// The INI reader and writer on arbitrary file content: writing a key and reading it
// back gives the value, and every byte the key does not own stays as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/ProfileFile.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  // The head picks the section, the key and the value from short texts of the input.
  size_t sectionLength = data[0] % 8, keyLength = 1 + data[1] % 8, valueLength = data[2] % 32;
  if (size < 3 + sectionLength + keyLength + valueLength) return 0;
  std::string_view rest(reinterpret_cast<const char*>(data + 3), size - 3);
  std::string section(rest.substr(0, sectionLength));
  std::string key(rest.substr(sectionLength, keyLength));
  std::string value(rest.substr(sectionLength + keyLength, valueLength));
  std::string_view content = rest.substr(sectionLength + keyLength + valueLength);

  (void)quorvel::platform::FindProfileValue(content, section, key);
  auto updated = quorvel::platform::UpdateProfileContent(content, section, key, value);
  if (!updated) return 0;

  // A value the reader would strip (blanks around it, enclosing quotes, NUL) cannot
  // come back unchanged; everything else must.
  bool plain = value.find('\0') == std::string::npos &&
               (value.empty() || (!IsBlank(value.front()) && !IsBlank(value.back()))) &&
               !(value.size() >= 2 && value.front() == value.back() &&
                 (value.front() == '"' || value.front() == '\''));
  if (plain) {
    auto back = quorvel::platform::FindProfileValue(*updated, section, key);
    Check(back.has_value() && *back == value);
  }

  // Only one stretch differs: a common head and a common tail cover the rest.
  size_t head = 0;
  while (head < content.size() && head < updated->size() && content[head] == (*updated)[head]) {
    ++head;
  }
  size_t tail = 0;
  while (tail < content.size() - head && tail < updated->size() - head &&
         content[content.size() - 1 - tail] == (*updated)[updated->size() - 1 - tail]) {
    ++tail;
  }
  std::string_view removed = content.substr(head, content.size() - head - tail);
  // What was replaced lies within one line: the key's old value, or nothing at all
  // when a line was inserted.
  Check(removed.find('\n') == std::string_view::npos);

  // Writing the same again changes nothing.
  auto again = quorvel::platform::UpdateProfileContent(*updated, section, key, value);
  Check(again.has_value() && (!plain || *again == *updated));
  return 0;
}
