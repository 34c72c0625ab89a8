#pragma once
// The two scans every processed byte goes through, sixteen bytes at a time where the
// processor allows: the next line end, and the next occurrence of the search text.

#include <cstddef>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quorvel::scan {

inline bool EndsLine(char c) { return c == '\r' || c == '\n' || c == '\0'; }

// The offset of the first CR, LF or NUL at or after i, or n.
inline size_t FindLineEnd(const char* p, size_t i, size_t n) {
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i nul = _mm_setzero_si128();
  for (; i + 16 <= n; i += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                               _mm_cmpeq_epi8(v, nul));
    if (int mask = _mm_movemask_epi8(hit)) return i + size_t(__builtin_ctz(unsigned(mask)));
  }
#endif
  while (i < n && !EndsLine(p[i])) ++i;
  return i;
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
    for (int b = 0; b < 256; ++b) {
      if (needle_.empty()) break;
      if (table_[b] == static_cast<unsigned char>(needle_.front()) && firstCount_ < kMaxForms) {
        first_[firstCount_] = char(b);
        ++firstCount_;
      } else if (table_[b] == static_cast<unsigned char>(needle_.front())) {
        simd_ = false;
      }
      if (table_[b] == static_cast<unsigned char>(needle_.back()) && lastCount_ < kMaxForms) {
        last_[lastCount_] = char(b);
        ++lastCount_;
      } else if (table_[b] == static_cast<unsigned char>(needle_.back())) {
        simd_ = false;
      }
    }
  }

  size_t find(std::string_view hay) const {
    constexpr size_t npos = std::string_view::npos;
    const size_t n = hay.size(), m = needle_.size();
    if (m == 0 || m > n) return m == 0 ? 0 : npos;
    const char* p = hay.data();
    size_t i = 0;
#if defined(__SSE2__)
    if (simd_ && firstCount_ > 0 && lastCount_ > 0) {
      for (; i + (m - 1) + 16 <= n; i += 16) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + m - 1));
        __m128i firstHit = _mm_setzero_si128(), lastHit = _mm_setzero_si128();
        for (int k = 0; k < firstCount_; ++k) {
          firstHit = _mm_or_si128(firstHit, _mm_cmpeq_epi8(a, _mm_set1_epi8(first_[k])));
        }
        for (int k = 0; k < lastCount_; ++k) {
          lastHit = _mm_or_si128(lastHit, _mm_cmpeq_epi8(b, _mm_set1_epi8(last_[k])));
        }
        unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(firstHit, lastHit)));
        while (mask) {
          size_t at = i + size_t(__builtin_ctz(mask));
          if (matchesAt(p + at)) return at;
          mask &= mask - 1;
        }
      }
    }
#endif
    for (; i + m <= n; ++i) {
      if (matchesAt(p + i)) return i;
    }
    return npos;
  }

 private:
  static constexpr int kMaxForms = 4;

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
  char first_[kMaxForms] = {};
  char last_[kMaxForms] = {};
  int firstCount_ = 0;
  int lastCount_ = 0;
  bool simd_ = true;
};

}  // namespace quorvel::scan
