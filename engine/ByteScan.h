#pragma once
// The two scans every processed byte goes through, sixteen bytes at a time where the
// processor allows: the next line end, and the next occurrence of the search text.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

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
    constexpr size_t npos = std::string_view::npos;
    const size_t n = hay.size(), m = needle_.size();
    if (m == 0 || m > n) return m == 0 ? 0 : npos;
    const char* p = hay.data();
    size_t i = 0;
#if defined(__SSE2__)
    if (first_.count > 0 && last_.count > 0 && first_.count <= kMaxForms &&
        last_.count <= kMaxForms) {
      const bool found =
          first_.oneBit && last_.oneBit
              ? scanCandidates(p, n, i,
                               [](__m128i v, const Forms& f) {
                                 return _mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(f.bit)),
                                                       _mm_set1_epi8(f.withBit));
                               })
              : scanCandidates(p, n, i, [](__m128i v, const Forms& f) {
                  __m128i hit = _mm_setzero_si128();
                  for (int k = 0; k < f.count; ++k) {
                    hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8(f.form[k])));
                  }
                  return hit;
                });
      if (found) return i;
    }
#endif
    for (; i + m <= n; ++i) {
      if (matchesAt(p + i)) return i;
    }
    return npos;
  }

 private:
  static constexpr int kMaxForms = 4;

  // The bytes that upper-case to one byte of the needle. Where there are at most two
  // and they differ in one bit, a byte is one of them exactly when setting that bit
  // gives their common value: one test in place of one per form.
  struct Forms {
    char form[kMaxForms] = {};
    int count = 0;  // past kMaxForms only counted
    bool oneBit = false;
    char bit = 0;
    char withBit = 0;
  };

  static Forms FormsOf(char upper, const unsigned char* table) {
    Forms f;
    for (int b = 0; b < 256; ++b) {
      if (table[b] != static_cast<unsigned char>(upper)) continue;
      if (f.count < kMaxForms) f.form[f.count] = char(b);
      ++f.count;
    }
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

#if defined(__SSE2__)
  // Runs the sixteen-byte test over p: true with i at the first match, or false with
  // i where the byte-by-byte tail goes on.
  template <typename Test>
  bool scanCandidates(const char* p, size_t n, size_t& i, Test test) const {
    const size_t m = needle_.size();
    for (; i + (m - 1) + 16 <= n; i += 16) {
      __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + m - 1));
      unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(test(a, first_), test(b, last_))));
      while (mask) {
        size_t at = i + size_t(__builtin_ctz(mask));
        if (matchesAt(p + at)) {
          i = at;
          return true;
        }
        mask &= mask - 1;
      }
    }
    return false;
  }
#endif

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
  Forms first_;
  Forms last_;
};

}  // namespace quorvel::scan
