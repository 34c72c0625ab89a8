#include "engine/Lines.h"

#include <algorithm>
#include <cstring>

#include "engine/ByteScan.h"
#include "files/FileOps.h"
#include "platform/CodePage.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace quorvel {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Room past the converted text for the last sixteen-byte store.
constexpr size_t kConvertSlack = scan::kJoinedLinesSlack;

// Read buffers up to this size are kept from one file to the next.
constexpr size_t kKeptReadBuffer = size_t(64) << 20;

}  // namespace

std::string_view LineList::operator[](size_t i) const {
  size_t start = offsetOf(i);
  return joined_.view().substr(start, ends_[i] - start - kLineEnd.size());
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
  joined_.append(other.joined().substr(start, other.ends_[i] - start));
  ends_.push_back(joined_.size());
}

size_t LineList::lineAt(size_t offset, size_t first) const {
  // The line sought is mostly a few lines after first, so the range is widened step by
  // step from there before it is halved: a search costs the logarithm of the distance,
  // not of the file's line count.
  size_t low = std::min(first, ends_.size());
  size_t step = 1;
  while (low + step < ends_.size() && ends_[low + step - 1] <= offset) {
    low += step;
    step *= 2;
  }
  const size_t high = std::min(low + step, ends_.size());
  auto it = std::upper_bound(ends_.begin() + std::ptrdiff_t(low),
                             ends_.begin() + std::ptrdiff_t(high), offset);
  return size_t(it - ends_.begin());
}

namespace {

// Steps over the line end at i; a NUL is not stepped over, so the caller sees where the
// text ends.
size_t StepOverLineEnd(const char* p, size_t i, size_t n) {
  return i < n && p[i] == '\0' ? i : scan::StepOverLineEnd(p, i, n);
}

}  // namespace

void LineList::assignSplit(std::string_view bytes) {
  read_.assign(bytes);
  split(read_.view());
}

size_t LineList::split(std::string_view bytes) {
  clear();
  const char* p = bytes.data();
  const size_t n = bytes.size();
  if (n == 0 || p[0] == '\0') return 0;

  // Lines that end in CR LF are already in their joined form, so they are only
  // measured; a text made of nothing else is then taken whole.
  size_t i = 0;
  for (;;) {
    const size_t end = scan::FindLineEnd(p, i, n);
    if (end + 1 < n && p[end] == '\r' && p[end + 1] == '\n') {
      i = end + kLineEnd.size();
      ends_.push_back(i);
      if (i == n || p[i] == '\0') break;
      continue;
    }
    // The first other line end: from the line it closes on, the bytes are converted.
    joined_.reserve(i + 2 * (n - i) + kConvertSlack);
    joined_.assign(std::string_view(p, i));
    return convertFrom(p, i, n);
  }
  if (p == read_.data()) {
    joined_.swap(read_);
    joined_.resizeUninitialized(i);
  } else {
    joined_.assign(std::string_view(p, i));
  }
  return i;
}

size_t LineList::convertFrom(const char* p, size_t i, size_t n) {
  // Every line costs at least one byte of input and at most two of output more than
  // its text, so the text never grows past twice its length plus one line end; the
  // copy stores sixteen bytes at a time and may write that far past its end.
  char* const base = joined_.data();
  char* out = base + joined_.size();
  for (;;) {
    i = scan::CopyLineText(p, i, n, out);
    *out++ = '\r';
    *out++ = '\n';
    ends_.push_back(size_t(out - base));
    i = StepOverLineEnd(p, i, n);
    if (i == n || p[i] == '\0') break;
  }
  joined_.resizeUninitialized(size_t(out - base));
  return i;
}

void LineList::splitRead() {
  split(read_.view());
  // A very large file gives its read buffer back: the output of the replacement is
  // about to need as much again.
  if (read_.capacity() > kKeptReadBuffer) read_.release();
}

void LineList::appendRange(const LineList& other, size_t first, size_t last) {
  if (first >= last) return;
  const size_t from = other.offsetOf(first);
  const size_t shift = joined_.size() - from;
  joined_.append(other.joined().substr(from, other.ends_[last - 1] - from));
  for (size_t k = first; k < last; ++k) ends_.push_back(other.ends_[k] + shift);
}

LoadedFile LoadLines(const std::string& path, LineList& list) {
  LoadedFile file;
  switch (platform::ReadWholeFile(path, list.read_, &file.readOnly)) {
    case platform::ReadResult::Ok:
      break;
    case platform::ReadResult::CannotOpen:
      throw CannotOpenFile(path);
    case platform::ReadResult::ReadError:
      throw StreamReadError();
  }
  file.size = int64_t(list.read_.size());
  list.splitRead();
  return file;
}

std::string JoinLines(const LineList& list) { return std::string(list.joined()); }

void SaveLines(const LineList& list, const std::string& path,
               const platform::WriteRequest& request) {
  RaiseWriteFailure(platform::WriteFileContent(path, list.joined(), request), path, path);
}

int64_t FileSize64(const std::string& path) {
  std::optional<platform::Attributes> attributes = platform::GetAttributes(path);
  if (!attributes || attributes->directory) return -1;
  return attributes->size;
}

bool LooksLikeText(const LineList& list, const std::string& path) {
  return LooksLikeText(list, FileSize64(path));
}

bool LooksLikeText(const LineList& list, int64_t fileSize) {
  const int64_t joinedLength = int64_t(list.joined().size());
  const double difference = double(joinedLength - fileSize);
  return difference >= -1.0;
}

std::string UpperAnsi(std::string_view text) { return platform::ActiveCodePage().upper(text); }

}  // namespace quorvel
