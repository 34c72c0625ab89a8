#include "engine/LineStream.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/Error.h"

namespace quorvel {

namespace {

// Just past the last line end in p[0, n) whose kind is settled, so that a CR in the
// last byte, which an LF may follow in the next block, stays for the next block; 0 when
// there is none.
size_t LastSettledLineEnd(const char* p, size_t n) {
  if (n < 2) return 0;
  const void* lf = ::memrchr(p, '\n', n - 1);
  const void* cr = ::memrchr(p, '\r', n - 1);
  const char* last = std::max(static_cast<const char*>(lf), static_cast<const char*>(cr));
  if (!last) return 0;
  const size_t j = size_t(last - p);
  return p[j] == '\r' && p[j + 1] == '\n' ? j + 2 : j + 1;
}

}  // namespace

void LineStream::start(Read read, int64_t size) {
  read_ = std::move(read);
  size_ = size;
  readTo_ = 0;
  offset_ = 0;
  carry_.clear();
  ended_ = false;
}

bool LineStream::next(LineList& lines) {
  if (ended_) {
    lines.clear();
    return false;
  }
  const std::string_view block = readBlock(lines.read_);
  passBlock(block, lines.split(block));
  return !lines.empty();
}

std::string_view LineStream::nextBytes(LineList& lines) {
  if (ended_) return {};
  const std::string_view block = readBlock(lines.read_);
  const void* nul = std::memchr(block.data(), '\0', block.size());
  const size_t stop = nul ? size_t(static_cast<const char*>(nul) - block.data()) : block.size();
  passBlock(block, stop);
  return block.substr(0, stop);
}

std::string_view LineStream::readBlock(platform::ByteBuffer& buffer) {
  buffer.resizeUninitialized(carry_.size() + block_);
  std::memcpy(buffer.data(), carry_.data(), carry_.size());
  size_t filled = carry_.size();
  size_t cut = 0;
  for (;;) {
    while (filled < buffer.size() && readTo_ < size_) {
      const size_t want = size_t(std::min<int64_t>(int64_t(buffer.size() - filled), size_ - readTo_));
      const int64_t got = read_(buffer.data() + filled, want, readTo_);
      if (got < 0) throw StreamReadError();
      if (got == 0) {
        size_ = readTo_;  // the file ended early
        break;
      }
      filled += size_t(got);
      readTo_ += got;
    }
    if (readTo_ >= size_) {
      cut = filled;
      break;
    }
    cut = LastSettledLineEnd(buffer.data(), filled);
    if (cut > 0) break;
    // No line end in the whole block: a NUL ends the text, or the line goes on.
    if (std::memchr(buffer.data(), '\0', filled)) {
      cut = filled;
      break;
    }
    buffer.resizeUninitialized(2 * buffer.size());
  }
  carry_.assign(buffer.data() + cut, filled - cut);
  return std::string_view(buffer.data(), cut);
}

void LineStream::passBlock(std::string_view block, size_t stop) {
  offset_ += int64_t(stop);
  if (stop < block.size() || readTo_ >= size_) {
    ended_ = true;
    carry_.clear();
  }
}

bool StreamLooksLikeText(const LineStream::Read& read, int64_t size) {
  // Joining never makes the text shorter than the bytes it came from, so only a NUL
  // that cuts off two bytes or more can fail the file: look for the first one.
  std::string block(size_t(std::clamp<int64_t>(size, 1, int64_t(LineStream::kBlock))), '\0');
  int64_t at = 0;
  int64_t nul = -1;
  while (at < size && nul < 0) {
    const int64_t got = read(block.data(), size_t(std::min<int64_t>(int64_t(block.size()), size - at)), at);
    if (got < 0) throw StreamReadError();
    if (got == 0) break;
    if (const void* found = std::memchr(block.data(), '\0', size_t(got))) {
      nul = at + (static_cast<const char*>(found) - block.data());
    }
    at += got;
  }
  if (nul < 0 || size - nul <= 1) return true;

  // The length of the lines before the NUL, joined, against the size of the file.
  LineStream stream;
  stream.start(read, nul);
  LineList lines;
  int64_t joined = 0;
  while (stream.next(lines)) joined += int64_t(lines.joined().size());
  return double(joined - size) >= -1.0;
}

}  // namespace quorvel
