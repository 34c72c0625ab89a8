#include "run/UnifiedDiff.h"

#include <algorithm>
#include <vector>

#include "files/PathText.h"
#include "run/Texts.h"

namespace quorvel {

namespace {

using Lines = std::vector<std::string_view>;

// Each line with its LF; the last one without, when the bytes do not end in LF.
Lines PatchLines(std::string_view bytes) {
  Lines lines;
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t lf = bytes.find('\n', start);
    const size_t end = lf == std::string_view::npos ? bytes.size() : lf + 1;
    lines.push_back(bytes.substr(start, end - start));
    start = end;
  }
  return lines;
}

// Lines [oldFrom, oldTo) of the old text become [newFrom, newTo) of the new one.
struct Change {
  size_t oldFrom, oldTo, newFrom, newTo;
};

// Texts of equal line counts are compared line by line, so that every changed line
// gets a hunk of its own; otherwise everything from the first to the last differing
// line is one change.
std::vector<Change> Changes(const Lines& before, const Lines& after) {
  std::vector<Change> changes;
  if (before.size() == after.size()) {
    for (size_t i = 0; i < before.size();) {
      if (before[i] == after[i]) {
        ++i;
        continue;
      }
      size_t j = i + 1;
      while (j < before.size() && before[j] != after[j]) ++j;
      changes.push_back({i, j, i, j});
      i = j;
    }
    return changes;
  }
  size_t prefix = 0;
  const size_t shorter = std::min(before.size(), after.size());
  while (prefix < shorter && before[prefix] == after[prefix]) ++prefix;
  size_t suffix = 0;
  while (suffix < shorter - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  changes.push_back({prefix, before.size() - suffix, prefix, after.size() - suffix});
  return changes;
}

void AppendLine(std::string& out, char mark, std::string_view line) {
  out.push_back(mark);
  out.append(line);
  if (line.empty() || line.back() != '\n') out.append("\n\\ No newline at end of file\n");
}

std::string Range(size_t from, size_t count) {
  // An empty range names the line before it.
  return IntToDecimal(int32_t(count ? from + 1 : from)) + "," + IntToDecimal(int32_t(count));
}

void AppendHunk(std::string& out, const Lines& before, const Lines& after,
                const Change* first, const Change* last) {
  const size_t lead = std::min<size_t>(kDiffContext, first->oldFrom);
  const size_t trail = std::min<size_t>(kDiffContext, before.size() - last->oldTo);
  const size_t oldFrom = first->oldFrom - lead;
  const size_t newFrom = first->newFrom - lead;
  const size_t oldCount = last->oldTo + trail - oldFrom;
  const size_t newCount = last->newTo + trail - newFrom;
  out += "@@ -" + Range(oldFrom, oldCount) + " +" + Range(newFrom, newCount) + " @@\n";
  for (size_t i = oldFrom; i < first->oldFrom; ++i) AppendLine(out, ' ', before[i]);
  for (const Change* change = first; change <= last; ++change) {
    for (size_t i = change->oldFrom; i < change->oldTo; ++i) AppendLine(out, '-', before[i]);
    for (size_t i = change->newFrom; i < change->newTo; ++i) AppendLine(out, '+', after[i]);
    const size_t contextTo = change == last ? change->oldTo + trail : (change + 1)->oldFrom;
    for (size_t i = change->oldTo; i < contextTo; ++i) AppendLine(out, ' ', before[i]);
  }
}

std::string QuotedName(std::string_view name) {
  const bool plain = std::none_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' || byte == 0x7F || c == '"' || c == '\\';
  });
  if (plain) return std::string(name);
  std::string quoted = "\"";
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted.push_back('\\');
      quoted.push_back(c);
    } else if (byte < ' ' || byte == 0x7F) {
      AppendOctalEscape(quoted, byte);
    } else {
      quoted.push_back(c);
    }
  }
  quoted.push_back('"');
  return quoted;
}

}  // namespace

std::string UnifiedDiff(std::string_view name, std::string_view before, std::string_view after) {
  if (before == after) return std::string();
  const Lines oldLines = PatchLines(before);
  const Lines newLines = PatchLines(after);
  const std::vector<Change> changes = Changes(oldLines, newLines);

  std::string out = "--- " + QuotedName("a/" + std::string(name)) + "\n+++ " +
                    QuotedName("b/" + std::string(name)) + "\n";
  // Changes closer than twice the context share a hunk.
  size_t first = 0;
  for (size_t i = 1; i <= changes.size(); ++i) {
    if (i < changes.size() && changes[i].oldFrom - changes[i - 1].oldTo <= 2 * kDiffContext) {
      continue;
    }
    AppendHunk(out, oldLines, newLines, &changes[first], &changes[i - 1]);
    first = i;
  }
  return out;
}

}  // namespace quorvel
