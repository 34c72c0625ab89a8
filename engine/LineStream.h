#pragma once
// A file's text read a block of whole lines at a time, so that a file of any size is
// processed in bounded memory. The lines come out exactly as splitting the whole file
// gives them: a block ends just past a complete line end, a line longer than a block
// widens the block, and the first NUL ends the text.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/Lines.h"

namespace quorvel {

class LineStream {
 public:
  // Reads up to size bytes of the file at offset into data: how many were read, 0 at
  // the end of the file, -1 on a read error.
  using Read = std::function<int64_t(char* data, size_t size, int64_t offset)>;

  static constexpr size_t kBlock = size_t(1) << 20;

  explicit LineStream(size_t block = kBlock) : block_(block) {}

  // Starts on a file of size bytes (as it was opened); the stream reads no further.
  void start(Read read, int64_t size);
  // Replaces the content of lines with the next block of whole lines; false, with the
  // list empty, once every line has been handed out. "Stream read error" on a failed
  // read.
  bool next(LineList& lines);
  // The next block as next would split it, read into the read buffer of lines and left
  // unsplit: its bytes up to the first NUL, which ends the text. The lines keep their
  // content until splitBytes makes these bytes the lines next would have given.
  std::string_view nextBytes(LineList& lines);
  static void splitBytes(LineList& lines, std::string_view bytes) { lines.split(bytes); }
  // Every line has been handed out (the next call of next gives false).
  bool ended() const { return ended_; }
  // The offset in the file just past the lines handed out so far.
  int64_t offset() const { return offset_; }

 private:
  // Reads the next block of whole lines into buffer; their bytes.
  std::string_view readBlock(platform::ByteBuffer& buffer);
  // Moves past a block whose text stopped at stop (its size, or its first NUL).
  void passBlock(std::string_view block, size_t stop);

  Read read_;
  size_t block_;
  int64_t size_ = 0;
  int64_t readTo_ = 0;  // bytes of the file read so far
  int64_t offset_ = 0;
  std::string carry_;  // bytes read past the last complete line end
  bool ended_ = true;
};

// The text test of a file of size bytes read through read, without holding it: whether
// the text's first NUL cuts off at most one byte more than joining the lines adds back.
// Reads up to that NUL only, so a file that starts with one is answered at once.
bool StreamLooksLikeText(const LineStream::Read& read, int64_t size);

}  // namespace quorvel
