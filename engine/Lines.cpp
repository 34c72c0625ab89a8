#include "engine/Lines.h"

#include <algorithm>
#include <cstring>

#include "engine/ByteScan.h"
#include "platform/CodePage.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace quorvel {

namespace {

constexpr std::string_view kLineEnd = "\r\n";


}  // namespace

std::string_view LineList::operator[](size_t i) const {
  size_t start = offsetOf(i);
  return std::string_view(joined_).substr(start, ends_[i] - start - kLineEnd.size());
}

void LineList::clear() {
  joined_.clear();
  ends_.clear();
}

void LineList::append(std::string_view line) {
  joined_.append(line);
  joined_.append(kLineEnd);
  ends_.push_back(joined_.size());
}

void LineList::appendFrom(const LineList& other, size_t i) {
  size_t start = other.offsetOf(i);
  joined_.append(other.joined_, start, other.ends_[i] - start);
  ends_.push_back(joined_.size());
}

size_t LineList::lineAt(size_t offset, size_t first) const {
  auto it = std::upper_bound(ends_.begin() + std::ptrdiff_t(std::min(first, ends_.size())),
                             ends_.end(), offset);
  return size_t(it - ends_.begin());
}

namespace {

// Steps over the line end at i (CR LF, a lone CR or a lone LF); a NUL is not stepped
// over, so the caller sees where the text ends.
size_t StepOverLineEnd(const char* p, size_t i, size_t n) {
  if (i == n || p[i] == '\0') return i;
  if (p[i] == '\r' && i + 1 < n && p[i + 1] == '\n') return i + 2;
  return i + 1;
}

}  // namespace

void LineList::assignSplit(std::string_view bytes) {
  clear();
  const char* p = bytes.data();
  const size_t n = bytes.size();
  if (n == 0 || p[0] == '\0') return;

  // First where every line ends once joined. A text whose lines all end in CR LF
  // already has its joined form, and is taken in one copy.
  size_t i = 0;
  size_t joinedSize = 0;
  bool joinedForm = true;
  for (;;) {
    const size_t start = i;
    i = scan::FindLineEnd(p, i, n);
    joinedSize += i - start + kLineEnd.size();
    ends_.push_back(joinedSize);
    const size_t next = StepOverLineEnd(p, i, n);
    if (next != i + kLineEnd.size()) joinedForm = false;
    i = next;
    if (i == n || p[i] == '\0') break;
  }
  if (joinedForm) {
    joined_.assign(p, i);
    return;
  }

  joined_.resize(joinedSize);
  char* out = joined_.data();
  i = 0;
  for (size_t line = 0; line < ends_.size(); ++line) {
    const size_t start = i;
    i = scan::FindLineEnd(p, i, n);
    std::memcpy(out, p + start, i - start);
    out += i - start;
    *out++ = '\r';
    *out++ = '\n';
    i = StepOverLineEnd(p, i, n);
  }
}

void LineList::appendRange(const LineList& other, size_t first, size_t last) {
  if (first >= last) return;
  const size_t from = other.offsetOf(first);
  const size_t shift = joined_.size() - from;
  joined_.append(other.joined_, from, other.ends_[last - 1] - from);
  for (size_t k = first; k < last; ++k) ends_.push_back(other.ends_[k] + shift);
}

void LoadLines(const std::string& path, LineList& list) {
  std::string buffer;
  switch (platform::ReadWholeFile(path, buffer)) {
    case platform::ReadResult::Ok:
      break;
    case platform::ReadResult::CannotOpen:
      throw CannotOpenFile(path);
    case platform::ReadResult::ReadError:
      throw StreamReadError();
  }
  list.assignSplit(buffer);
}

std::string JoinLines(const LineList& list) { return list.joined(); }

void SaveLines(const LineList& list, const std::string& path) {
  switch (platform::ReplaceFileContent(path, list.joined())) {
    case platform::WriteResult::Ok:
      return;
    case platform::WriteResult::CannotCreate:
      throw CannotCreateFile(path);
    case platform::WriteResult::WriteError:
      throw StreamWriteError();
  }
}

int64_t FileSize64(const std::string& path) {
  std::optional<platform::Attributes> attributes = platform::GetAttributes(path);
  if (!attributes || attributes->directory) return -1;
  return attributes->size;
}

bool LooksLikeText(const LineList& list, const std::string& path) {
  const int64_t joinedLength = int64_t(list.joined().size());
  const double difference = double(joinedLength - FileSize64(path));
  return difference >= -1.0;
}

std::string UpperAnsi(std::string_view text) { return platform::ActiveCodePage().upper(text); }

}  // namespace quorvel
