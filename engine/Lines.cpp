#include "engine/Lines.h"

#include <algorithm>

#include "platform/CodePage.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace quorvel {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool EndsLine(char c) { return c == '\r' || c == '\n' || c == '\0'; }

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

void LineList::assignSplit(std::string_view bytes) {
  clear();
  // CR LF files join to their own size; files with lone line ends grow a little.
  joined_.reserve(bytes.size() + bytes.size() / 16 + kLineEnd.size());
  const size_t n = bytes.size();
  size_t i = 0;
  if (n == 0 || bytes[0] == '\0') return;
  for (;;) {
    size_t start = i;
    while (i < n && !EndsLine(bytes[i])) ++i;
    append(bytes.substr(start, i - start));
    if (i == n) return;
    if (bytes[i] == '\r') {
      ++i;
      if (i < n && bytes[i] == '\n') ++i;
    } else if (bytes[i] == '\n') {
      ++i;
    }
    // A NUL is left where it is, so the test below ends the text there.
    if (i == n || bytes[i] == '\0') return;
  }
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
