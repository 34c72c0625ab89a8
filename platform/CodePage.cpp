#include "platform/CodePage.h"

#include <langinfo.h>
#include <locale.h>
#include <strings.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/Error.h"

namespace quorvel::platform {

namespace {

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// Opens the converter of a name the constructor has already accepted.
Converter OpenConverter(const std::string& name) {
  UErrorCode err = U_ZERO_ERROR;
  Converter conv(ucnv_open(name.c_str(), &err));
  if (U_FAILURE(err)) throw Error("Cannot open code page " + name);
  return conv;
}

// Undecodable input becomes '?', the same mark the opposite direction uses, so a user
// sees one kind of placeholder whichever way a text went.
void QuestionMarkToUnicode(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                           UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;
  *err = U_ZERO_ERROR;
  static const UChar kQuestionMark = u'?';
  ucnv_cbToUWriteUChars(args, &kQuestionMark, 1, 0, err);
}

// Length of the well-formed UTF-8 sequence at s (no overlongs, surrogates or code points
// above U+10FFFF), 0 when the byte at s starts none.
size_t DecodeUtf8(const unsigned char* s, size_t avail, UChar32& cp) {
  const unsigned char b0 = s[0];
  auto cont = [&](size_t i, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
    return i < avail && s[i] >= lo && s[i] <= hi;
  };
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  if (b0 < 0xC2) return 0;
  if (b0 < 0xE0) {
    if (!cont(1)) return 0;
    cp = ((b0 & 0x1F) << 6) | (s[1] & 0x3F);
    return 2;
  }
  if (b0 < 0xF0) {
    const unsigned char lo = b0 == 0xE0 ? 0xA0 : 0x80;
    const unsigned char hi = b0 == 0xED ? 0x9F : 0xBF;
    if (!cont(1, lo, hi) || !cont(2)) return 0;
    cp = ((b0 & 0x0F) << 12) | ((s[1] & 0x3F) << 6) | (s[2] & 0x3F);
    return 3;
  }
  if (b0 < 0xF5) {
    const unsigned char lo = b0 == 0xF0 ? 0x90 : 0x80;
    const unsigned char hi = b0 == 0xF4 ? 0x8F : 0xBF;
    if (!cont(1, lo, hi) || !cont(2) || !cont(3)) return 0;
    cp = ((b0 & 0x07) << 18) | ((s[1] & 0x3F) << 12) | ((s[2] & 0x3F) << 6) | (s[3] & 0x3F);
    return 4;
  }
  return 0;
}

size_t Utf8Length(UChar32 cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

void EncodeUtf8(UChar32 cp, size_t length, char* out) {
  static const unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
  for (size_t i = length - 1; i > 0; --i) {
    out[i] = char(0x80 | (cp & 0x3F));
    cp >>= 6;
  }
  out[0] = char(kLead[length] | cp);
}

bool IsUtf8CodesetName(const char* codeset) {
  return codeset && (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "UTF8") == 0);
}

// A locale named in the environment but not generated on this machine cannot be
// loaded; its name still says what the user's texts are in.
bool LocaleNameSaysUtf8() {
  for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(var);
    if (!value || !*value) continue;
    std::string name(value);
    size_t dot = name.find('.');
    if (dot == std::string::npos) return false;
    std::string codeset = name.substr(dot + 1, name.find('@', dot) - dot - 1);
    return IsUtf8CodesetName(codeset.c_str());
  }
  return false;
}

}  // namespace

CodePage::CodePage(const std::string& name) : name_(name) {
  if (name.empty()) throw Error("No code page name given");
  UErrorCode err = U_ZERO_ERROR;
  Converter conv(ucnv_open(name.c_str(), &err));
  if (U_FAILURE(err) || !conv) throw Error("Unknown code page " + name);

  for (int b = 0; b < 256; ++b) upperTable_[b] = static_cast<unsigned char>(b);

  utf8_ = ucnv_getType(conv.get()) == UCNV_UTF8;
  if (utf8_) {
    // The table serves as the fast path for the ASCII bytes of UTF-8 text.
    for (int b = 'a'; b <= 'z'; ++b) upperTable_[b] = static_cast<unsigned char>(b - 'a' + 'A');
    // Two-byte characters hold the letters of every European alphabet; their upper-case
    // forms are looked up once here rather than asked of ICU for every letter of a file.
    upperTwoByte_.resize(0x800);
    for (UChar32 cp = 0; cp < 0x800; ++cp) {
      const UChar32 up = u_toupper(cp);
      upperTwoByte_[size_t(cp)] = (up >= 0x80 && up < 0x800) ? char16_t(up) : char16_t(cp);
      if (cp >= 0x80)
        twoByteByUpper_.push_back(uint32_t(upperTwoByte_[size_t(cp)]) << 16 | uint32_t(cp));
    }
    std::sort(twoByteByUpper_.begin(), twoByteByUpper_.end());
    return;
  }
  if (ucnv_getMaxCharSize(conv.get()) != 1) {
    throw Error("Code page " + name +
                " is not supported: only single-byte code pages and UTF-8 can be used");
  }

  // Unmapped bytes and code points must fail, not turn into substitutes: a byte maps
  // to another byte only through a real round trip.
  err = U_ZERO_ERROR;
  ucnv_setToUCallBack(conv.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
  ucnv_setFromUCallBack(conv.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
  ucnv_setFallback(conv.get(), false);
  auto toCodePoint = [&](unsigned char byte, UChar32& cp) {
    UChar buf[4];
    UErrorCode e = U_ZERO_ERROR;
    ucnv_resetToUnicode(conv.get());
    const char in = static_cast<char>(byte);
    int32_t n = ucnv_toUChars(conv.get(), buf, 4, &in, 1, &e);
    if (U_FAILURE(e) || n < 1) return false;
    int32_t i = 0;
    U16_NEXT(buf, i, n, cp);
    return i == n;
  };
  for (int b = 0; b < 256; ++b) {
    UChar32 cp;
    if (!toCodePoint(static_cast<unsigned char>(b), cp)) continue;
    const UChar32 up = u_toupper(cp);
    if (up == cp) continue;
    UChar src[2];
    int32_t srcLen = 0;
    U16_APPEND_UNSAFE(src, srcLen, up);
    char out[8];
    UErrorCode e = U_ZERO_ERROR;
    ucnv_resetFromUnicode(conv.get());
    int32_t n = ucnv_fromUChars(conv.get(), out, sizeof out, src, srcLen, &e);
    UChar32 back;
    if (U_SUCCESS(e) && n == 1 && toCodePoint(static_cast<unsigned char>(out[0]), back) &&
        back == up) {
      upperTable_[b] = static_cast<unsigned char>(out[0]);
    }
  }
}

void CodePage::upperInPlace(char* data, size_t size) const {
  if (!utf8_) {
    for (size_t i = 0; i < size; ++i) {
      data[i] = static_cast<char>(upperTable_[static_cast<unsigned char>(data[i])]);
    }
    return;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  size_t i = 0;
  while (i < size) {
    if (bytes[i] < 0x80) {
      data[i] = static_cast<char>(upperTable_[bytes[i]]);
      ++i;
      continue;
    }
    if (bytes[i] >= 0xC2 && bytes[i] <= 0xDF && i + 1 < size && (bytes[i + 1] & 0xC0) == 0x80) {
      const char16_t up = upperTwoByte_[size_t(((bytes[i] & 0x1F) << 6) | (bytes[i + 1] & 0x3F))];
      data[i] = static_cast<char>(0xC0 | (up >> 6));
      data[i + 1] = static_cast<char>(0x80 | (up & 0x3F));
      i += 2;
      continue;
    }
    UChar32 cp;
    const size_t length = DecodeUtf8(bytes + i, size - i, cp);
    if (length == 0) {
      ++i;
      continue;
    }
    // Forms of another length (dotless i to I, say) are left alone, so that positions
    // found in the upper-cased text stay valid in the original.
    const UChar32 up = u_toupper(cp);
    if (up != cp && Utf8Length(up) == length) EncodeUtf8(up, length, data + i);
    i += length;
  }
}

std::u16string CodePage::twoByteFormsOf(char16_t upper) const {
  std::u16string forms;
  const uint32_t key = uint32_t(upper) << 16;
  for (auto it = std::lower_bound(twoByteByUpper_.begin(), twoByteByUpper_.end(), key);
       it != twoByteByUpper_.end() && (*it >> 16) == upper; ++it) {
    forms.push_back(char16_t(*it & 0xFFFF));
  }
  return forms;
}

std::string CodePage::upper(std::string_view text) const {
  std::string result(text);
  upperInPlace(result.data(), result.size());
  return result;
}

std::string CodePage::fromUtf8(std::string_view utf8) const {
  if (utf8.empty()) return {};
  UErrorCode err = U_ZERO_ERROR;
  int32_t units = 0;
  u_strFromUTF8WithSub(nullptr, 0, &units, utf8.data(), int32_t(utf8.size()), u'?', nullptr, &err);
  std::vector<UChar> wide(size_t(units) + 1);
  err = U_ZERO_ERROR;
  u_strFromUTF8WithSub(wide.data(), int32_t(wide.size()), &units, utf8.data(), int32_t(utf8.size()),
                       u'?', nullptr, &err);
  if (U_FAILURE(err)) return std::string(utf8.size(), '?');

  Converter conv = OpenConverter(name_);
  err = U_ZERO_ERROR;
  ucnv_setSubstChars(conv.get(), "?", 1, &err);
  err = U_ZERO_ERROR;
  int32_t bytes = ucnv_fromUChars(conv.get(), nullptr, 0, wide.data(), units, &err);
  std::string out(size_t(bytes) + 1, '\0');
  err = U_ZERO_ERROR;
  bytes = ucnv_fromUChars(conv.get(), out.data(), int32_t(out.size()), wide.data(), units, &err);
  if (U_FAILURE(err)) return std::string(size_t(units), '?');
  out.resize(size_t(bytes));
  return out;
}

std::string CodePage::toUtf8(std::string_view text) const {
  if (text.empty()) return {};
  Converter conv = OpenConverter(name_);
  UErrorCode err = U_ZERO_ERROR;
  ucnv_setToUCallBack(conv.get(), QuestionMarkToUnicode, nullptr, nullptr, nullptr, &err);
  err = U_ZERO_ERROR;
  int32_t units = ucnv_toUChars(conv.get(), nullptr, 0, text.data(), int32_t(text.size()), &err);
  std::vector<UChar> wide(size_t(units) + 1);
  err = U_ZERO_ERROR;
  units = ucnv_toUChars(conv.get(), wide.data(), int32_t(wide.size()), text.data(),
                        int32_t(text.size()), &err);
  if (U_FAILURE(err)) return std::string(text.size(), '?');

  int32_t bytes = 0;
  err = U_ZERO_ERROR;
  u_strToUTF8(nullptr, 0, &bytes, wide.data(), units, &err);
  std::string out(size_t(bytes) + 1, '\0');
  err = U_ZERO_ERROR;
  u_strToUTF8(out.data(), int32_t(out.size()), &bytes, wide.data(), units, &err);
  if (U_FAILURE(err)) return std::string(text.size(), '?');
  out.resize(size_t(bytes));
  return out;
}

std::string CodePage::cutToBytes(std::string_view text, size_t maxBytes) const {
  if (text.size() <= maxBytes) return std::string(text);
  if (!utf8_) return std::string(text.substr(0, maxBytes));
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  size_t end = 0;
  while (end < text.size()) {
    UChar32 cp;
    size_t length = DecodeUtf8(bytes + end, text.size() - end, cp);
    if (length == 0) length = 1;  // a stray byte is a character of its own
    if (end + length > maxBytes) break;
    end += length;
  }
  return std::string(text.substr(0, end));
}

std::string DefaultCodePageName() {
  const char* configured = std::getenv("QUORVEL_CODEPAGE");
  if (configured && *configured) return configured;
  // A locale object of our own, so the process locale is left as it is.
  if (locale_t locale = newlocale(LC_CTYPE_MASK, "", locale_t(0))) {
    const bool utf8 = IsUtf8CodesetName(nl_langinfo_l(CODESET, locale));
    freelocale(locale);
    if (utf8) return "UTF-8";
  } else if (LocaleNameSaysUtf8()) {
    return "UTF-8";
  }
  return "windows-1250";
}

const CodePage& ActiveCodePage() {
  static const CodePage page(DefaultCodePageName());
  return page;
}

}  // namespace quorvel::platform
