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

// How the lines are searched. Exact: the search text as it is, in the line as it is.
// Table: in a single-byte code page every byte upper-cases alone, and in UTF-8 so does
// every ASCII byte, while other bytes never upper-case to ASCII, so a search text of
// ASCII only is found through the byte table in the line as it is. TwoByte: a UTF-8
// search text of ASCII and two-byte characters is found character by character in the
// line as it is (scan::TwoByteFoldedFinder). Utf8: any other UTF-8 search text is found
// in the upper-cased line.
enum class SearchMode { Exact, Table, TwoByte, Utf8 };

SearchMode ModeOf(const LineSearch& search) {
  if (search.caseSensitive) return SearchMode::Exact;
  const platform::CodePage& page = CodePageOf(search);
  if (!page.isUtf8()) return SearchMode::Table;
  const std::string& upper = search.upperSearchText;
  if (std::all_of(upper.begin(), upper.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    return SearchMode::Table;
  }
  return scan::TwoByteFoldedFinder::Serves(upper) ? SearchMode::TwoByte : SearchMode::Utf8;
}

// The replacement loop of one line whose leftmost match is known. The line being
// rebuilt is head_ followed by line_ from rest_ on; in the Utf8 mode headUpper_ is the
// upper-cased form of head_ in the context of the whole line.
class LineSplicer {
 public:
  explicit LineSplicer(const LineSearch& search)
      : mode_(ModeOf(search)),
        codePage_(CodePageOf(search)),
        replacement_(search.replacementText),
        needle_(search.caseSensitive ? search.searchText : search.upperSearchText),
        folded_(mode_ == SearchMode::Table ? std::string_view(needle_) : std::string_view(),
                codePage_.upperTable()),
        twoByte_(mode_ == SearchMode::TwoByte ? std::string_view(needle_) : std::string_view(),
                 codePage_.upperTable(), codePage_.upperTwoByte(),
                 [this](char16_t upper) { return codePage_.twoByteFormsOf(upper); }) {
    if (mode_ == SearchMode::Utf8) reach_ = kUtf8Reach;
    back_ = needle_.size() - 1 + reach_;
    // Where matching depends on the bytes of the match alone, a replacement none of
    // whose bytes a match can hold is part of no match: after a splice the next match
    // then lies wholly in the rest of the line.
    closedReplacement_ = !upperCased() && !replacement_.empty() &&
                         std::none_of(replacement_.begin(), replacement_.end(),
                                      [this](char c) { return canHold(c); });
  }

  // Whether find() is given the upper-cased text (else the text as it is).
  bool upperCased() const { return mode_ == SearchMode::Utf8; }

  // Whether the byte c can be part of a match (outside the Utf8 mode).
  bool canHold(char c) const {
    switch (mode_) {
      case SearchMode::Table:
        return folded_.canHold(c);
      case SearchMode::TwoByte:
        return twoByte_.canHold(c);
      case SearchMode::Exact:
      case SearchMode::Utf8:
        break;
    }
    return needle_.find(c) != npos;
  }

  // The leftmost match in hay, which is upper-cased when upperCased().
  size_t find(std::string_view hay) const {
    switch (mode_) {
      case SearchMode::Table:
        return folded_.find(hay);
      case SearchMode::TwoByte:
        return twoByte_.find(hay);
      case SearchMode::Exact:
      case SearchMode::Utf8:
        break;
    }
    return Find(hay, needle_);
  }

  // Runs the loop over line (lineUpper its upper-cased form, used only when upperCased())
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

  // Whether every splice appends to the line rebuilt so far, so that appendRun serves.
  bool appendsOnly() const { return closedReplacement_; }

  // The loop of run where appendsOnly(): the rebuilt line goes straight to the end of
  // out, piece by piece, with no head to keep.
  void appendRun(std::string_view line, size_t first, const HitNotification& onHit,
                 platform::ByteBuffer& out) const {
    size_t rest = 0;
    size_t match = first;
    for (int n = 1;; ++n) {
      out.append(line.substr(rest, match - rest));
      out.append(replacement_);
      rest = match + needle_.size();
      if (onHit) onHit();
      if (n == kMaxReplacementsPerLine) break;
      const size_t at = find(line.substr(rest));
      if (at == npos) break;
      match = rest + at;
    }
    out.append(line.substr(rest));
  }

 private:
  // Moves the next count bytes of the rest into the head.
  void pull(size_t count) {
    head_.append(line_.substr(rest_, count));
    if (upperCased()) headUpper_.append(lineUpper_.substr(rest_, count));
    rest_ += count;
  }

  void splice(size_t at) {
    if (at >= head_.size()) {
      // The match lies wholly in the rest: the head grows by appends alone.
      pull(at - head_.size());
      head_.append(replacement_);
      if (upperCased()) headUpper_.append(replacement_);
      rest_ += needle_.size();
      if (upperCased()) resettle(at);
      return;
    }
    const size_t inHead = std::min(needle_.size(), head_.size() - at);
    head_.replace(at, inHead, replacement_);
    rest_ += needle_.size() - inHead;
    if (upperCased()) {
      headUpper_.replace(at, inHead, replacement_);
      resettle(at);
    }
  }

  // Utf8 mode, after a splice at at: takes enough of the rest into the head that the
  // bytes left in the rest keep their upper-case form, then upper-cases the changed
  // neighbourhood again.
  void resettle(size_t at) {
    const size_t settled = at + replacement_.size() + reach_;
    if (head_.size() < settled) pull(std::min(settled - head_.size(), line_.size() - rest_));
    reupper(at > reach_ ? at - reach_ : 0, std::min(head_.size(), settled));
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

  // The leftmost match at or after from, in the coordinates of the rebuilt line. A
  // match that begins in the head, from on, lies in the head's tail and the first bytes
  // of the rest; those are searched together, then the rest.
  size_t findFrom(size_t from) {
    const std::string_view head = upperCased() ? headUpper_ : head_;
    const std::string_view rest = (upperCased() ? lineUpper_ : line_).substr(rest_);
    if (from < head.size() && !closedReplacement_) {
      seam_.assign(head.substr(from));
      seam_.append(rest.substr(0, needle_.size() - 1));
      const size_t at = find(seam_);
      if (at != npos) return from + at;
    }
    const size_t at = find(rest);
    return at == npos ? npos : head.size() + at;
  }

  const SearchMode mode_;
  const platform::CodePage& codePage_;
  const std::string& replacement_;
  const std::string& needle_;
  const scan::FoldedFinder folded_;
  const scan::TwoByteFoldedFinder twoByte_;
  size_t reach_ = 0;
  size_t back_ = 0;
  bool closedReplacement_ = false;

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

// The line notification once for each of count lines passed on.
void TellLines(const LineNotification& onLine, size_t count) {
  if (!onLine) return;
  for (size_t i = 0; i < count; ++i) onLine();
}

// Room in out for bytes more, growing it by at least half.
void ReserveMore(platform::ByteBuffer& out, size_t bytes) {
  const size_t need = out.size() + bytes;
  if (need > out.capacity()) out.reserve(std::max(need, out.capacity() + out.capacity() / 2));
}

// Where the line that holds offset at begins, looking no further back than from, the
// start of a line.
size_t LineStart(const char* p, size_t from, size_t at) {
  size_t start = from;
  if (const void* lf = ::memrchr(p + from, '\n', at - from)) {
    start = size_t(static_cast<const char*>(lf) - p) + 1;
  }
  if (const void* cr = ::memrchr(p + start, '\r', at - start)) {
    start = size_t(static_cast<const char*>(cr) - p) + 1;
  }
  return start;
}

// Appends the lines of p[from, to) to out, each followed by CR LF; to is just past a
// line end or the end of the text, which holds no NUL. Returns how many lines there
// were. A line costs at least one byte of input and at most two of output more than its
// text (the last, without a line end, two), so twice the input and the slack suffice.
size_t PassLinesOn(const char* p, size_t from, size_t to, platform::ByteBuffer& out) {
  if (from >= to) return 0;
  ReserveMore(out, 2 * (to - from) + scan::kJoinedLinesSlack);
  char* const base = out.data();
  char* o = base + out.size();
  const size_t lines = scan::CopyJoinedLines(p, from, to, o);
  out.resizeUninitialized(size_t(o - base));
  return lines;
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
  LineSplicer splicer(search);
  std::string upper;
  if (splicer.upperCased()) upper = CodePageOf(search).upper(line);
  const std::string_view hay = splicer.upperCased() ? std::string_view(upper) : line;
  const size_t first = splicer.find(hay);
  if (first == npos) return false;
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
    TellLines(onLine, input.size());
    return false;
  }

  // A needle without line ends cannot cross one, so the joined text is searched a block
  // of whole lines at a time and the lines before each hit are passed on unchanged.
  // Upper-casing goes block by block into one small buffer, which stays in the cache
  // and spares the memory of a second copy of the file.
  const platform::CodePage& page = CodePageOf(search);
  const std::string_view joined = input.joined();
  // Outside the Utf8 mode the text is searched as it is, never upper-cased.
  LineSplicer splicer(search);
  std::string upperBlock;
  bool changed = false;
  size_t next = 0;  // the first line not yet passed on
  while (next < input.size()) {
    const size_t blockFrom = input.offsetOf(next);
    size_t blockEnd = input.size();  // the line after the block
    std::string_view hay;            // the block as it is searched
    if (!splicer.upperCased()) {
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
      const size_t hit = splicer.find(hay.substr(from));
      const size_t hitLine = hit == npos ? blockEnd : input.lineAt(blockFrom + from + hit, next);
      output.appendRange(input, next, hitLine);
      TellLines(onLine, hitLine - next);
      next = hitLine;
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

bool SearchesTextAsItIs(const LineSearch& search) { return ModeOf(search) != SearchMode::Utf8; }

bool ReplaceInText(std::string_view text, platform::ByteBuffer& out, const LineSearch& search,
                   const HitNotification& onHit, const LineNotification& onLine) {
  out.clear();
  const char* const p = text.data();
  const size_t n = text.size();
  if (n == 0) return false;
  if (!CanMatch(Needle(search))) {
    TellLines(onLine, PassLinesOn(p, 0, n, out));
    return false;
  }

  // As in ReplaceInLines: the lines before each hit pass on unchanged, then the hit's
  // line is rebuilt.
  LineSplicer splicer(search);
  bool changed = false;
  size_t next = 0;  // the first byte of the first line not yet passed on
  while (next < n) {
    const size_t hit = splicer.find(text.substr(next));
    if (hit == npos) {
      TellLines(onLine, PassLinesOn(p, next, n, out));
      break;
    }
    const size_t at = next + hit;
    const size_t start = LineStart(p, next, at);
    TellLines(onLine, PassLinesOn(p, next, start, out));

    const size_t end = scan::FindLineEnd(p, at, n);
    const std::string_view line = text.substr(start, end - start);
    if (splicer.appendsOnly()) {
      splicer.appendRun(line, at - start, onHit, out);
    } else {
      splicer.run(line, line, at - start, onHit);
      out.append(splicer.result());
    }
    out.append("\r\n");
    changed = true;
    if (onLine) onLine();
    next = scan::StepOverLineEnd(p, end, n);
  }
  return changed;
}

}  // namespace quorvel
