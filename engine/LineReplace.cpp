#include "engine/LineReplace.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string_view>

#include "engine/ByteScan.h"
#include "platform/CodePage.h"

// Every find of the replacement loop restarts at the line's first character, so the
// text just inserted is searched again. The results below are exactly those, but
// each find resumes where a match can first begin: left of a splice nothing changed,
// so the next leftmost match cannot end before the splice point (less the few bytes
// whose upper-case form depends on their neighbours in UTF-8). A line is held as a
// rebuilt head plus the untouched rest of the original, so a splice never moves the
// rest of a long line.

namespace quorvel {

namespace {

constexpr size_t npos = std::string_view::npos;

// Under UTF-8 the upper-case form of a byte depends on the character it belongs to,
// which reaches at most three bytes to either side; one more is kept for safety.
constexpr size_t kUtf8Reach = 4;

// The bytes of a file upper-cased at a time, rounded up to the end of a line.
constexpr size_t kUpperBlock = 64 * 1024;

size_t Find(std::string_view hay, std::string_view needle) { return scan::Find(hay, needle); }

const platform::CodePage& CodePageOf(const LineSearch& search) {
  return search.codePage ? *search.codePage : platform::ActiveCodePage();
}

// Whether a case-insensitive search can go through the code page's byte table over the
// text as it is: in a single-byte code page every byte upper-cases alone, and in UTF-8
// so does every ASCII byte, while other bytes never upper-case to ASCII, so a search
// text of ASCII only matches where the table says it does.
bool SearchesThroughTable(const LineSearch& search) {
  if (search.caseSensitive) return false;
  if (!CodePageOf(search).isUtf8()) return true;
  return std::all_of(search.upperSearchText.begin(), search.upperSearchText.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The replacement loop of one line whose leftmost match is known. The line being
// rebuilt is head_ followed by line_ from rest_ on; in the UTF-8 mode headUpper_ is the
// upper-cased form of head_ in the context of the whole line.
class LineSplicer {
 public:
  explicit LineSplicer(const LineSearch& search)
      : codePage_(CodePageOf(search)),
        replacement_(search.replacementText),
        needle_(search.caseSensitive ? search.searchText : search.upperSearchText),
        folded_(SearchesThroughTable(search) ? std::string_view(needle_) : std::string_view(),
                codePage_.upperTable()) {
    if (search.caseSensitive) {
      mode_ = Mode::Exact;
    } else if (SearchesThroughTable(search)) {
      mode_ = Mode::Table;
    } else {
      mode_ = Mode::Utf8;
      reach_ = kUtf8Reach;
    }
    back_ = needle_.size() - 1 + reach_;
  }

  // Runs the loop over line (lineUpper its upper-cased form, used only under UTF-8)
  // from its leftmost match at first; the result is in result().
  void run(std::string_view line, std::string_view lineUpper, size_t first,
           const HitNotification& onHit) {
    line_ = line;
    lineUpper_ = lineUpper;
    rest_ = 0;
    head_.clear();
    headUpper_.clear();
    size_t match = first;
    for (int n = 1;; ++n) {
      splice(match);
      if (onHit) onHit();
      // The find after the last permitted splice cannot change the line.
      if (n == kMaxReplacementsPerLine) break;
      match = findFrom(match > back_ ? match - back_ : 0);
      if (match == npos) break;
    }
    head_.append(line_.substr(rest_));
  }

  const std::string& result() const { return head_; }

 private:
  // Table: the line is searched through the byte table as it is and never upper-cased
  // (SearchesThroughTable).
  enum class Mode { Exact, Table, Utf8 };

  bool upperCased() const { return mode_ == Mode::Utf8; }

  // Moves the next count bytes of the rest into the head.
  void pull(size_t count) {
    head_.append(line_.substr(rest_, count));
    if (upperCased()) headUpper_.append(lineUpper_.substr(rest_, count));
    rest_ += count;
  }

  void splice(size_t at) {
    if (at > head_.size()) pull(at - head_.size());
    const size_t inHead = std::min(needle_.size(), head_.size() - at);
    head_.replace(at, inHead, replacement_);
    rest_ += needle_.size() - inHead;
    switch (mode_) {
      case Mode::Exact:
      case Mode::Table:
        break;
      case Mode::Utf8: {
        headUpper_.replace(at, inHead, replacement_);
        // Take enough of the rest into the head that the bytes left in the rest keep
        // their upper-case form, then upper-case the changed neighbourhood again.
        const size_t settled = at + replacement_.size() + reach_;
        if (head_.size() < settled) pull(std::min(settled - head_.size(), line_.size() - rest_));
        reupper(at > reach_ ? at - reach_ : 0, std::min(head_.size(), settled));
        break;
      }
    }
  }

  // Recomputes headUpper_[from, to) from the bytes around it.
  void reupper(size_t from, size_t to) {
    const size_t contextFrom = from > reach_ ? from - reach_ : 0;
    const size_t contextTo = to + reach_;
    scratch_.assign(head_, contextFrom, std::min(head_.size(), contextTo) - contextFrom);
    if (contextTo > head_.size()) scratch_.append(line_.substr(rest_, contextTo - head_.size()));
    codePage_.upperInPlace(scratch_.data(), scratch_.size());
    headUpper_.replace(from, to - from, scratch_, from - contextFrom, to - from);
  }

  // The leftmost match at or after from, in the coordinates of the rebuilt line.
  size_t findFrom(size_t from) {
    const std::string_view head = upperCased() ? headUpper_ : head_;
    const std::string_view rest = (upperCased() ? lineUpper_ : line_).substr(rest_);
    const size_t length = needle_.size();
    if (from < head.size()) {
      size_t at = find(head.substr(from));
      if (at != npos) return from + at;
    }
    // A match across the seam between head and rest.
    if (length > 1 && !rest.empty() && !head.empty()) {
      size_t start = std::max(from, head.size() > length - 1 ? head.size() - (length - 1) : 0);
      if (start < head.size()) {
        seam_.assign(head.substr(start));
        seam_.append(rest.substr(0, length - 1));
        size_t at = find(seam_);
        if (at != npos) return start + at;
      }
    }
    size_t at = find(rest);
    return at == npos ? npos : head.size() + at;
  }

  size_t find(std::string_view hay) const {
    return mode_ == Mode::Table ? folded_.find(hay) : Find(hay, needle_);
  }

  const platform::CodePage& codePage_;
  const std::string& replacement_;
  const std::string& needle_;
  const scan::FoldedFinder folded_;
  Mode mode_ = Mode::Exact;
  size_t reach_ = 0;
  size_t back_ = 0;

  std::string_view line_;
  std::string_view lineUpper_;
  size_t rest_ = 0;
  std::string head_;
  std::string headUpper_;
  std::string scratch_;
  std::string seam_;
};

// The text searched for in the upper-cased line, or in the line itself.
const std::string& Needle(const LineSearch& search) {
  return search.caseSensitive ? search.searchText : search.upperSearchText;
}

// Lines hold no CR, LF or NUL, so a needle with one of them never matches.
bool CanMatch(std::string_view needle) {
  return !needle.empty() && needle.find_first_of(std::string_view("\r\n\0", 3)) == npos;
}

}  // namespace

LineSearch MakeLineSearch(std::string search, std::string replacement, bool caseSensitive,
                          const platform::CodePage* codePage) {
  LineSearch result;
  result.searchText = std::move(search);
  result.replacementText = std::move(replacement);
  result.caseSensitive = caseSensitive;
  result.codePage = codePage;
  result.upperSearchText = CodePageOf(result).upper(result.searchText);
  return result;
}

bool ReplaceInLine(std::string& line, const LineSearch& search, const HitNotification& onHit) {
  const std::string& needle = Needle(search);
  if (needle.empty() || needle.size() > line.size()) return false;
  std::string upper;
  if (!search.caseSensitive) upper = CodePageOf(search).upper(line);
  const std::string_view hay = search.caseSensitive ? std::string_view(line) : upper;
  const size_t first = Find(hay, needle);
  if (first == npos) return false;
  LineSplicer splicer(search);
  splicer.run(line, hay, first, onHit);
  line = splicer.result();
  return true;
}

std::vector<TextSpan> FoundSpans(std::string_view line, const LineSearch& search) {
  std::vector<TextSpan> spans;
  const std::string& needle = Needle(search);
  if (!CanMatch(needle)) return spans;
  std::string upper;
  if (!search.caseSensitive) upper = CodePageOf(search).upper(line);
  const std::string_view hay = search.caseSensitive ? line : std::string_view(upper);
  for (size_t at = Find(hay, needle); at != npos;) {
    spans.push_back({at, needle.size()});
    const size_t next = Find(hay.substr(at + needle.size()), needle);
    at = next == npos ? npos : at + needle.size() + next;
  }
  return spans;
}

bool ReplaceInLines(const LineList& input, LineList& output, const LineSearch& search,
                    const HitNotification& onHit, const LineNotification& onLine) {
  output.clear();
  if (input.empty()) return false;
  output.reserve(input.joined().size());

  const std::string& needle = Needle(search);
  if (!CanMatch(needle)) {
    output.appendRange(input, 0, input.size());
    for (size_t i = 0; i < input.size(); ++i) {
      if (onLine) onLine();
    }
    return false;
  }

  // A needle without line ends cannot cross one, so the joined text is searched a block
  // of whole lines at a time and the lines before each hit are passed on unchanged.
  // Upper-casing goes block by block into one small buffer, which stays in the cache
  // and spares the memory of a second copy of the file.
  const platform::CodePage& page = CodePageOf(search);
  const std::string_view joined = input.joined();
  // Where the byte table serves, the text is searched as it is, never upper-cased.
  const bool folded = SearchesThroughTable(search);
  const scan::FoldedFinder foldedFinder(folded ? std::string_view(needle) : std::string_view(),
                                        page.upperTable());
  std::string upperBlock;
  LineSplicer splicer(search);
  bool changed = false;
  size_t next = 0;  // the first line not yet passed on
  while (next < input.size()) {
    const size_t blockFrom = input.offsetOf(next);
    size_t blockEnd = input.size();  // the line after the block
    std::string_view hay;            // the block as it is searched
    if (search.caseSensitive || folded) {
      hay = std::string_view(joined).substr(blockFrom);
    } else {
      if (joined.size() - blockFrom > kUpperBlock) {
        blockEnd = input.lineAt(blockFrom + kUpperBlock, next) + 1;
      }
      upperBlock.assign(joined, blockFrom, input.offsetOf(blockEnd) - blockFrom);
      page.upperInPlace(upperBlock.data(), upperBlock.size());
      hay = upperBlock;
    }

    while (next < blockEnd) {
      const size_t from = input.offsetOf(next) - blockFrom;
      const size_t hit =
          folded ? foldedFinder.find(hay.substr(from)) : Find(hay.substr(from), needle);
      const size_t hitLine = hit == npos ? blockEnd : input.lineAt(blockFrom + from + hit, next);
      output.appendRange(input, next, hitLine);
      for (; next < hitLine; ++next) {
        if (onLine) onLine();
      }
      if (hit == npos) break;

      const size_t start = input.offsetOf(next) - blockFrom;
      const std::string_view line = input[next];
      splicer.run(line, hay.substr(start, line.size()), from + hit - start, onHit);
      output.append(splicer.result());
      changed = true;
      ++next;
      if (onLine) onLine();
    }
  }
  return changed;
}

}  // namespace quorvel
