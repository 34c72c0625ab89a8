#pragma once
// The two scans every processed byte goes through, sixteen bytes at a time where the
// processor allows: the next line end, and the next occurrence of the search text.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quorvel::scan {

inline bool EndsLine(char c) { return c == '\r' || c == '\n' || c == '\0'; }

// Passes over the text of a line from i and returns where it ends: the offset of the
// first CR, LF or NUL at or after i, or n. With kCopy the bytes passed over are copied
// to *out, sixteen at a time, so up to sixteen bytes past them are written there as
// well; *out is left just past the line's text.
template <bool kCopy>
inline size_t ScanLineText(const char* p, size_t i, size_t n, char** out) {
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i nul = _mm_setzero_si128();
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    if constexpr (kCopy) _mm_storeu_si128(reinterpret_cast<__m128i*>(*out), v);
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                                     _mm_cmpeq_epi8(v, nul));
    if (const int mask = _mm_movemask_epi8(hit)) {
      const size_t k = size_t(__builtin_ctz(unsigned(mask)));
      if constexpr (kCopy) *out += k;
      return i + k;
    }
    if constexpr (kCopy) *out += 16;
  }
#endif
  if constexpr (kCopy) {
    while (i < n && !EndsLine(p[i])) *(*out)++ = p[i++];
  } else {
    while (i < n && !EndsLine(p[i])) ++i;
  }
  return i;
}

// The offset of the first CR, LF or NUL at or after i, or n.
inline size_t FindLineEnd(const char* p, size_t i, size_t n) {
  return ScanLineText<false>(p, i, n, nullptr);
}

// As FindLineEnd, copying the line's text to out on the way (see ScanLineText).
inline size_t CopyLineText(const char* p, size_t i, size_t n, char*& out) {
  return ScanLineText<true>(p, i, n, &out);
}

// Steps over the line end at i (CR LF, a lone CR or a lone LF), up to n.
inline size_t StepOverLineEnd(const char* p, size_t i, size_t n) {
  if (i == n) return n;
  return p[i] == '\r' && i + 1 < n && p[i + 1] == '\n' ? i + 2 : i + 1;
}

// Room past the output of CopyJoinedLines for its last sixteen-byte store.
inline constexpr size_t kJoinedLinesSlack = 32;

// Copies the lines of p[i, n), a text without NUL, to out, each followed by CR LF, and
// returns how many there were; n is just past a line end or the end of the text. Up to
// kJoinedLinesSlack bytes past the copy are written as well; out is left just past it.
inline size_t CopyJoinedLines(const char* p, size_t i, size_t n, char*& out) {
  size_t lines = 0;
  while (i < n) {
    i = CopyLineText(p, i, n, out);
    *out++ = '\r';
    *out++ = '\n';
    ++lines;
    i = StepOverLineEnd(p, i, n);
  }
  return lines;
}

// The offset of the first occurrence of needle in hay, or npos; needle is not empty.
// Sixteen candidate positions are tested at once on the needle's first and last byte,
// and only where both agree are the bytes between compared.
inline size_t Find(std::string_view hay, std::string_view needle) {
  constexpr size_t npos = std::string_view::npos;
  const size_t n = hay.size(), m = needle.size();
  if (m == 0 || m > n) return m == 0 ? 0 : npos;
  const char* p = hay.data();
  if (m == 1) {
    const void* at = std::memchr(p, needle[0], n);
    return at ? size_t(static_cast<const char*>(at) - p) : npos;
  }
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i first = _mm_set1_epi8(needle[0]);
  const __m128i last = _mm_set1_epi8(needle[m - 1]);
  for (; i + (m - 1) + 16 <= n; i += 16) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + m - 1));
    unsigned mask = unsigned(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
    while (mask) {
      size_t at = i + size_t(__builtin_ctz(mask));
      if (std::memcmp(p + at + 1, needle.data() + 1, m - 2) == 0) return at;
      mask &= mask - 1;
    }
  }
#endif
  for (; i + m <= n; ++i) {
    if (p[i] == needle[0] && std::memcmp(p + i + 1, needle.data() + 1, m - 1) == 0) return i;
  }
  return npos;
}

namespace detail {

constexpr int kMaxForms = 4;

// The bytes that may stand at one place of a match. Where there are at most two and
// they differ in one bit, a byte is one of them exactly when setting that bit gives
// their common value: one test in place of one per form.
struct Forms {
  char form[kMaxForms] = {};
  int count = 0;  // past kMaxForms only counted
  bool oneBit = false;
  char bit = 0;
  char withBit = 0;
  uint64_t all[4] = {};  // every form, as a bit set

  bool has(char c) const {
    const auto b = static_cast<unsigned char>(c);
    return (all[b >> 6] >> (b & 63)) & 1;
  }

  // The forms are the bytes b with allowed[b].
  static Forms Of(const bool (&allowed)[256]) {
    Forms f;
    for (int b = 0; b < 256; ++b) {
      if (!allowed[b]) continue;
      f.all[b >> 6] |= uint64_t(1) << (b & 63);
      if (f.count < kMaxForms) f.form[f.count] = char(b);
      ++f.count;
    }
    for (int k = f.count; k < kMaxForms && f.count > 0; ++k) f.form[k] = f.form[0];
    if (f.count == 1 || f.count == 2) {
      const unsigned diff = f.count == 1 ? 0u : unsigned(uint8_t(f.form[0]) ^ uint8_t(f.form[1]));
      if ((diff & (diff - 1)) == 0) {
        f.oneBit = true;
        f.bit = char(diff);
        f.withBit = char(uint8_t(f.form[0]) | diff);
      }
    }
    return f;
  }
};

#if defined(__SSE2__)
// The sixteen-byte tests of Forms, as types of their own so that each scan inlines its.
struct OneBitTest {
  __m128i operator()(__m128i v, const Forms& f) const {
    return _mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(f.bit)), _mm_set1_epi8(f.withBit));
  }
};

// Tests for the first kForms forms; Forms::Of repeats a form into the unused places.
template <int kForms>
struct FormsTest {
  __m128i operator()(__m128i v, const Forms& f) const {
    __m128i hit = _mm_cmpeq_epi8(v, _mm_set1_epi8(f.form[0]));
    for (int k = 1; k < kForms; ++k) {
      hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8(f.form[k])));
    }
    return hit;
  }
};

// Runs the sixteen-byte test of the bytes at offsets a and b of each candidate over
// p: true with i at the first match, or false with i where a byte-by-byte tail goes on.
template <typename Test, typename Matches>
bool ScanCandidates(const char* p, size_t n, size_t m, size_t& i, size_t a, const Forms& first,
                    const Forms& last, Test test, Matches matches) {
  const size_t b = m - 1;
  for (; i + b + 16 <= n; i += 16) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + a));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + b));
    unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(test(va, first), test(vb, last))));
    while (mask) {
      const size_t at = i + size_t(__builtin_ctz(mask));
      if (matches(p + at)) {
        i = at;
        return true;
      }
      mask &= mask - 1;
    }
  }
  return false;
}
#endif

// The first position of hay where a match of m bytes begins, or npos. Candidates are
// the positions whose byte at offset a is one of first and whose byte at m - 1 one of
// last; matches(p) decides about the m bytes at p.
template <typename Matches>
size_t FindCandidates(std::string_view hay, size_t m, size_t a, const Forms& first,
                      const Forms& last, Matches matches) {
  constexpr size_t npos = std::string_view::npos;
  const size_t n = hay.size();
  if (m == 0 || m > n) return m == 0 ? 0 : npos;
  if (first.count == 0 || last.count == 0) return npos;
  const char* p = hay.data();
  size_t i = 0;
#if defined(__SSE2__)
  if (first.count <= kMaxForms && last.count <= kMaxForms) {
    const bool found =
        first.oneBit && last.oneBit
            ? ScanCandidates(p, n, m, i, a, first, last, OneBitTest(), matches)
        : std::max(first.count, last.count) <= 2
            ? ScanCandidates(p, n, m, i, a, first, last, FormsTest<2>(), matches)
            : ScanCandidates(p, n, m, i, a, first, last, FormsTest<kMaxForms>(), matches);
    if (found) return i;
  }
#endif
  for (; i + m <= n; ++i) {
    if (first.has(p[i + a]) && last.has(p[i + m - 1]) && matches(p + i)) return i;
  }
  return npos;
}

}  // namespace detail

// Finds the upper-cased needle in text whose bytes upper-case through a single-byte
// table, without upper-casing the text: sixteen positions at a time are tested for a
// first and a last byte that upper-case to the needle's, and only those candidates are
// compared byte by byte through the table. The result is the position of the first
// match in the upper-cased text, which is the same position in the text itself.
class FoldedFinder {
 public:
  FoldedFinder(std::string_view upperNeedle, const unsigned char* table)
      : needle_(upperNeedle), table_(table) {
    if (needle_.empty()) return;
    first_ = FormsOf(needle_.front(), table_);
    last_ = FormsOf(needle_.back(), table_);
  }

  size_t find(std::string_view hay) const {
    return detail::FindCandidates(hay, needle_.size(), 0, first_, last_,
                                  [this](const char* p) { return matchesAt(p); });
  }

  // Whether the byte c can be part of a match.
  bool canHold(char c) const {
    return needle_.find(char(table_[static_cast<unsigned char>(c)])) != std::string_view::npos;
  }

 private:
  static detail::Forms FormsOf(char upper, const unsigned char* table) {
    bool allowed[256];
    for (int b = 0; b < 256; ++b) allowed[b] = table[b] == static_cast<unsigned char>(upper);
    return detail::Forms::Of(allowed);
  }

  bool matchesAt(const char* p) const {
    for (size_t j = 0; j < needle_.size(); ++j) {
      if (table_[static_cast<unsigned char>(p[j])] != static_cast<unsigned char>(needle_[j])) {
        return false;
      }
    }
    return true;
  }

  std::string_view needle_;
  const unsigned char* table_;
  detail::Forms first_;
  detail::Forms last_;
};

// Finds the upper-cased needle in UTF-8 text without upper-casing the text, where the
// needle holds ASCII and two-byte characters only. Upper-casing keeps every byte in its
// kind (ASCII, two-byte lead, other lead, continuation), so a match begins only where
// the text has an ASCII byte or a two-byte lead, and such a byte always begins a
// character of its own: the text is compared character by character, an ASCII byte
// through the ASCII table and a two-byte character through its upper-case form, and
// no byte outside the match matters. The result is the position of the first match in
// the upper-cased text, which is the same position in the text itself.
class TwoByteFoldedFinder {
 public:
  // Whether the finder serves upperNeedle: ASCII and well-formed two-byte characters.
  static bool Serves(std::string_view upperNeedle) {
    for (size_t i = 0; i < upperNeedle.size(); ++i) {
      const auto b = static_cast<unsigned char>(upperNeedle[i]);
      if (b < 0x80) continue;
      if (b < 0xC2 || b > 0xDF || i + 1 == upperNeedle.size() ||
          (static_cast<unsigned char>(upperNeedle[i + 1]) & 0xC0) != 0x80) {
        return false;
      }
      ++i;
    }
    return true;
  }

  // asciiTable upper-cases ASCII bytes; upperTwoByte maps each code point below U+0800
  // to its two-byte upper-case form; formsOf(u) gives the code points that upperTwoByte
  // maps to u. An empty needle, or one Serves refuses, finds nothing.
  template <typename FormsOf>
  TwoByteFoldedFinder(std::string_view upperNeedle, const unsigned char* asciiTable,
                      const char16_t* upperTwoByte, FormsOf formsOf)
      : table_(asciiTable), upperTwoByte_(upperTwoByte) {
    if (upperNeedle.empty() || !Serves(upperNeedle)) return;
    size_ = upperNeedle.size();
    for (size_t i = 0; i < upperNeedle.size(); ++i) {
      const auto b = static_cast<unsigned char>(upperNeedle[i]);
      if (b < 0x80) {
        units_.push_back(Unit{b, true});
      } else {
        const auto b1 = static_cast<unsigned char>(upperNeedle[++i]);
        units_.push_back(Unit{char16_t(((b & 0x1F) << 6) | (b1 & 0x3F)), false});
      }
    }
    // The bytes tested first: the first character's last byte, which tells letters
    // apart better than a two-byte lead; then the needle's last byte.
    firstAt_ = units_.front().ascii ? 0 : 1;
    first_ = LastByteForms(units_.front(), formsOf);
    last_ = LastByteForms(units_.back(), formsOf);
  }

  // Whether the byte c can be part of a match; true for every byte of a two-byte
  // character, which is never looked at closer.
  bool canHold(char c) const {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80) return true;
    for (const Unit& unit : units_) {
      if (unit.ascii && table_[b] == unit.value) return true;
    }
    return false;
  }

  size_t find(std::string_view hay) const {
    if (units_.empty()) return std::string_view::npos;
    return detail::FindCandidates(hay, size_, firstAt_, first_, last_,
                                  [this](const char* p) { return matchesAt(p); });
  }

 private:
  struct Unit {
    char16_t value;  // the ASCII byte, or the code point of the two-byte character
    bool ascii;
  };

  template <typename FormsOf>
  detail::Forms LastByteForms(const Unit& unit, FormsOf formsOf) const {
    bool allowed[256] = {};
    if (unit.ascii) {
      for (int b = 0; b < 0x80; ++b) allowed[b] = table_[b] == unit.value;
    } else {
      for (const char16_t cp : formsOf(unit.value)) allowed[0x80 | (cp & 0x3F)] = true;
    }
    return detail::Forms::Of(allowed);
  }

  bool matchesAt(const char* p) const {
    const auto* s = reinterpret_cast<const unsigned char*>(p);
    for (const Unit& unit : units_) {
      if (unit.ascii) {
        if (table_[*s] != unit.value) return false;
        ++s;
        continue;
      }
      if (s[0] < 0xC2 || s[0] > 0xDF || (s[1] & 0xC0) != 0x80) return false;
      if (upperTwoByte_[((s[0] & 0x1F) << 6) | (s[1] & 0x3F)] != unit.value) return false;
      s += 2;
    }
    return true;
  }

  const unsigned char* table_;
  const char16_t* upperTwoByte_;
  std::vector<Unit> units_;
  size_t size_ = 0;  // bytes of the needle, and of every match
  size_t firstAt_ = 0;
  detail::Forms first_;
  detail::Forms last_;
};

}  // namespace quorvel::scan
