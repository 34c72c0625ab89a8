// Line splitting and joining, the text-likeness measure and one replacement pass.
// Invariants: no line holds CR, LF or NUL; joining the lines of a NUL-free buffer keeps
// every byte that is not a line end, in order; the joined length of the replacement
// output matches its lines; the replacement straight from the bytes gives the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/LineReplace.h"
#include "engine/Lines.h"
#include "platform/CodePage.h"

namespace {

std::string WithoutLineEnds(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    if (c != '\r' && c != '\n') out.push_back(c);
  }
  return out;
}

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const quorvel::platform::CodePage kCodePages[] = {
      quorvel::platform::CodePage("windows-1250"), quorvel::platform::CodePage("UTF-8")};
  std::string_view bytes(reinterpret_cast<const char*>(data), size);

  quorvel::LineList lines;
  lines.assignSplit(bytes);
  size_t total = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    Check(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos);
    total += line.size() + 2;
  }
  const std::string joined = quorvel::JoinLines(lines);
  Check(joined.size() == total);

  const size_t nul = bytes.find('\0');
  std::string_view text = bytes.substr(0, nul);
  Check(WithoutLineEnds(joined) == WithoutLineEnds(text));

  // A replacement pass with a search and replacement text taken from the input's head.
  if (size >= 3) {
    size_t searchLength = 1 + data[0] % 4;
    size_t replacementLength = data[1] % 6;
    if (size >= 2 + searchLength + replacementLength) {
      std::string search(bytes.substr(2, searchLength));
      std::string replacement(bytes.substr(2 + searchLength, replacementLength));
      for (const auto& codePage : kCodePages) {
        for (bool caseSensitive : {true, false}) {
          quorvel::LineSearch lineSearch =
              quorvel::MakeLineSearch(search, replacement, caseSensitive, &codePage);
          quorvel::LineList output;
          int64_t hits = 0;
          size_t notifiedLines = 0;
          quorvel::ReplaceInLines(
              lines, output, lineSearch, [&] { ++hits; },
              [&] { ++notifiedLines; });
          Check(output.size() == lines.size());
          Check(notifiedLines == lines.size());
          Check(hits <= int64_t(lines.size()) * quorvel::kMaxReplacementsPerLine);
          size_t outputTotal = 0;
          for (size_t i = 0; i < output.size(); ++i) outputTotal += output[i].size() + 2;
          Check(output.joined().size() == outputTotal);
          // Straight from the bytes (the text before the first NUL), the same output.
          if (quorvel::SearchesTextAsItIs(lineSearch)) {
            quorvel::platform::ByteBuffer straight;
            int64_t straightHits = 0;
            size_t straightLines = 0;
            quorvel::ReplaceInText(
                text, straight, lineSearch, [&] { ++straightHits; },
                [&] { ++straightLines; });
            Check(straight.view() == output.joined());
            Check(straightHits == hits && straightLines == notifiedLines);
          }
          Check(codePage.upper(bytes).size() == bytes.size());
        }
      }
    }
  }
  return 0;
}
