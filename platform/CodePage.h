#pragma once
// The 8-bit code page the program treats texts in: chosen once at start from
// QUORVEL_CODEPAGE, else UTF-8 under a UTF-8 locale, else windows-1250.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::platform {

class CodePage {
 public:
  // Throws quorvel::Error with a clear message for a converter name ICU does not know.
  explicit CodePage(const std::string& name);

  const std::string& name() const { return name_; }
  bool isUtf8() const { return utf8_; }
  // Byte to upper-case byte; for UTF-8 only the ASCII half is meaningful.
  const unsigned char* upperTable() const { return upperTable_; }
  // UTF-8 only (null otherwise): for each code point below U+0800, its upper-case form
  // where that is a two-byte character too, else the code point itself. Indexed by the
  // code point; only U+0080..U+07FF are two-byte characters.
  const char16_t* upperTwoByte() const { return utf8_ ? upperTwoByte_.data() : nullptr; }
  // UTF-8 only: the two-byte characters whose entry in upperTwoByte() is upper, in
  // ascending order (upper itself among them where it upper-cases to itself).
  std::u16string twoByteFormsOf(char16_t upper) const;

  // Upper-cases letters in place without changing the length: table lookup for a
  // single-byte code page; for UTF-8 each valid sequence whose upper-case form has
  // the same byte length. Other bytes stay.
  void upperInPlace(char* data, size_t size) const;
  std::string upper(std::string_view text) const;

  // Conversions between the code page and UTF-8 (for texts typed in the window).
  std::string fromUtf8(std::string_view utf8) const;
  std::string toUtf8(std::string_view bytes) const;

  // The longest prefix of text of at most maxBytes bytes that does not end inside a
  // character of this code page.
  std::string cutToBytes(std::string_view text, size_t maxBytes) const;

 private:
  std::string name_;
  bool utf8_ = false;
  unsigned char upperTable_[256];
  std::vector<char16_t> upperTwoByte_;  // UTF-8 only: U+0080..U+07FF to upper case
  // UTF-8 only: (upper-case form << 16 | code point) of U+0080..U+07FF, sorted.
  std::vector<uint32_t> twoByteByUpper_;
};

// The code page in use, chosen at the first call (from the environment and locale).
const CodePage& ActiveCodePage();
// The name the environment and locale select.
std::string DefaultCodePageName();

}  // namespace quorvel::platform
