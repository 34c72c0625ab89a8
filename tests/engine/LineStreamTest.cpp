#include "engine/LineStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace quorvel {
namespace {

LineStream::Read ReadFrom(const std::string& bytes) {
  return [&bytes](char* data, size_t size, int64_t offset) -> int64_t {
    if (offset >= int64_t(bytes.size())) return 0;
    const size_t n = std::min(size, bytes.size() - size_t(offset));
    std::memcpy(data, bytes.data() + offset, n);
    return int64_t(n);
  };
}

// Every line of bytes, as the stream hands them out block by block, and the offset it
// ends at.
std::vector<std::string> StreamedLines(const std::string& bytes, size_t block,
                                       int64_t* endOffset = nullptr) {
  LineStream stream(block);
  stream.start(ReadFrom(bytes), int64_t(bytes.size()));
  std::vector<std::string> lines;
  LineList list;
  while (stream.next(list)) {
    for (size_t i = 0; i < list.size(); ++i) lines.emplace_back(list[i]);
  }
  EXPECT_TRUE(stream.ended());
  if (endOffset) *endOffset = stream.offset();
  return lines;
}

std::vector<std::string> WholeLines(const std::string& bytes) {
  LineList list;
  list.assignSplit(bytes);
  std::vector<std::string> lines;
  for (size_t i = 0; i < list.size(); ++i) lines.emplace_back(list[i]);
  return lines;
}

// Random texts of every line-end kind, with NULs now and then and lines longer than the
// block, cut into blocks of every small size: a CR LF split between two blocks, a line
// that fills several blocks and a NUL at a block's start all give the lines of the
// whole text.
TEST(LineStreamTest, HandsOutTheLinesOfTheWholeTextWhateverTheBlockSize) {
  std::mt19937 random(20261211);
  const char* ends[] = {"\r\n", "\n", "\r", "\n\r", "\r\r\n"};
  for (int round = 0; round < 600; ++round) {
    std::string bytes;
    const size_t lines = random() % 10;
    for (size_t k = 0; k < lines; ++k) {
      const size_t length = random() % 4 == 0 ? random() % 40 : random() % 4;
      for (size_t c = 0; c < length; ++c) bytes += char('a' + random() % 26);
      if (random() % 15 == 0) bytes += '\0';
      if (random() % 6 != 0) bytes += ends[random() % 5];
    }
    const std::vector<std::string> expected = WholeLines(bytes);
    for (size_t block : {size_t(1), size_t(2), size_t(3), size_t(5), size_t(16), size_t(64)}) {
      int64_t offset = 0;
      ASSERT_EQ(StreamedLines(bytes, block, &offset), expected)
          << "block " << block << ": " << ::testing::PrintToString(bytes);
      const size_t nul = bytes.find('\0');
      EXPECT_EQ(offset, int64_t(nul == std::string::npos ? bytes.size() : nul));
    }
  }
}

TEST(LineStreamTest, AFailedReadRaisesStreamReadError) {
  LineStream stream(4);
  stream.start([](char*, size_t, int64_t) -> int64_t { return -1; }, 100);
  LineList lines;
  EXPECT_THROW(stream.next(lines), Error);
}

TEST(LineStreamTest, AFileThatEndsEarlyEndsTheText) {
  const std::string bytes = "a\r\nb";
  LineStream stream(2);
  stream.start(ReadFrom(bytes), 1000);
  LineList lines;
  std::vector<std::string> got;
  while (stream.next(lines)) {
    for (size_t i = 0; i < lines.size(); ++i) got.emplace_back(lines[i]);
  }
  EXPECT_EQ(got, (std::vector<std::string>{"a", "b"}));
}

// The streamed text test against the test on the whole list, on texts whose first NUL
// cuts off nothing, one byte, or more than the line ends add back.
TEST(StreamLooksLikeTextTest, AgreesWithTheTestOnTheWholeList) {
  std::mt19937 random(7);
  const char alphabet[] = {'a', 'b', '\r', '\n', '\0'};
  for (int round = 0; round < 3000; ++round) {
    std::string bytes;
    const size_t length = random() % 24;
    for (size_t c = 0; c < length; ++c) bytes += alphabet[random() % 5];
    LineList list;
    list.assignSplit(bytes);
    ASSERT_EQ(StreamLooksLikeText(ReadFrom(bytes), int64_t(bytes.size())),
              LooksLikeText(list, int64_t(bytes.size())))
        << ::testing::PrintToString(bytes);
  }
}

}  // namespace
}  // namespace quorvel
