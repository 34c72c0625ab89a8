#include "platform/ProfileFile.h"

#include <optional>
#include <vector>

#include "platform/FileSystem.h"

namespace quorvel::platform {

namespace {

constexpr std::string_view kNewLine = "\r\n";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimView(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

// One line of the file as offsets into its content. The text excludes the line end
// (LF, or CR LF); end is the offset just past the line end, or the file size for a
// last line without one.
struct Line {
  size_t begin = 0;
  size_t textEnd = 0;
  size_t end = 0;
  bool hasBreak = false;  // ends in LF
};

std::vector<Line> SplitLines(std::string_view content) {
  std::vector<Line> lines;
  size_t pos = 0;
  // An editor's byte-order mark must not hide the first section header.
  if (content.substr(0, kUtf8Bom.size()) == kUtf8Bom) pos = kUtf8Bom.size();
  while (pos < content.size()) {
    size_t lf = content.find('\n', pos);
    Line line;
    line.begin = pos;
    if (lf == std::string_view::npos) {
      line.textEnd = line.end = content.size();
    } else {
      line.textEnd = lf;
      line.end = lf + 1;
      line.hasBreak = true;
    }
    if (line.textEnd > line.begin && content[line.textEnd - 1] == '\r') --line.textEnd;
    lines.push_back(line);
    pos = line.end;
  }
  return lines;
}

enum class LineKind { Other, Section, Key };

// What one line holds. For a key line, valueBegin/valueEnd delimit the value without
// the blanks around it.
struct ParsedLine {
  LineKind kind = LineKind::Other;
  std::string_view name;
  size_t valueBegin = 0;
  size_t valueEnd = 0;
};

ParsedLine ParseLine(std::string_view content, const Line& line) {
  ParsedLine parsed;
  std::string_view text = content.substr(line.begin, line.textEnd - line.begin);
  std::string_view trimmed = TrimView(text);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') return parsed;
  if (trimmed.front() == '[') {
    size_t close = trimmed.find(']');
    if (close == std::string_view::npos) return parsed;
    parsed.kind = LineKind::Section;
    parsed.name = TrimView(trimmed.substr(1, close - 1));
    return parsed;
  }
  size_t eq = text.find('=');
  if (eq == std::string_view::npos) return parsed;
  std::string_view name = TrimView(text.substr(0, eq));
  if (name.empty()) return parsed;
  parsed.kind = LineKind::Key;
  parsed.name = name;
  size_t begin = line.begin + eq + 1;
  size_t end = line.textEnd;
  while (begin < end && IsBlank(content[begin])) ++begin;
  while (end > begin && IsBlank(content[end - 1])) --end;
  parsed.valueBegin = begin;
  parsed.valueEnd = end;
  return parsed;
}

// Where a key lives in the file, or where it would be added. The first matching key
// in the first matching section wins, for reads and writes alike, so a file with
// repeated sections or keys reads back what was written.
struct Location {
  bool sectionFound = false;
  bool keyFound = false;
  size_t valueBegin = 0;  // key found: the value's bytes
  size_t valueEnd = 0;
  size_t insertAt = 0;          // section found, key missing: after this offset
  bool insertNeedsBreak = false;  // that line has no line end of its own
};

Location Locate(std::string_view content, std::string_view section, std::string_view key) {
  Location where;
  const std::vector<Line> lines = SplitLines(content);
  bool inSection = false;
  bool firstSectionDone = false;
  for (const Line& line : lines) {
    ParsedLine parsed = ParseLine(content, line);
    if (parsed.kind == LineKind::Section) {
      if (inSection) firstSectionDone = true;
      inSection = SameName(parsed.name, section);
      if (inSection && !where.sectionFound) {
        where.sectionFound = true;
        where.insertAt = line.end;
        where.insertNeedsBreak = !line.hasBreak;
      }
      continue;
    }
    if (!inSection) continue;
    if (parsed.kind == LineKind::Key && SameName(parsed.name, key)) {
      where.keyFound = true;
      where.valueBegin = parsed.valueBegin;
      where.valueEnd = parsed.valueEnd;
      return where;
    }
    // A new key goes after the last line with content in the first such section, so
    // blank lines and comments ahead of the next section stay where they were.
    if (!firstSectionDone && parsed.kind == LineKind::Key) {
      where.insertAt = line.end;
      where.insertNeedsBreak = !line.hasBreak;
    }
  }
  return where;
}

std::string StripValue(std::string_view value, size_t limit) {
  // Values are texts: a NUL byte ends one, as it ends a C string.
  value = TrimView(value.substr(0, value.find('\0')));
  if (value.size() >= 2 && value.front() == value.back() &&
      (value.front() == '"' || value.front() == '\'')) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value.substr(0, limit));
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// Names and values that would change the structure of the file, rather than one
// value in it, are refused.
bool WritableEntry(std::string_view section, std::string_view key, std::string_view value) {
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
  if (section.find(']') != std::string_view::npos || TrimView(section) != section) return false;
  std::string_view trimmedKey = TrimView(key);
  if (trimmedKey.empty() || trimmedKey != key) return false;
  if (key.find('=') != std::string_view::npos) return false;
  if (key.front() == '[' || key.front() == ';' || key.front() == '#') return false;
  return true;
}

}  // namespace

std::optional<std::string> FindProfileValue(std::string_view content, std::string_view section,
                                            std::string_view key, size_t limit) {
  Location where = Locate(content, section, key);
  if (!where.keyFound) return std::nullopt;
  return StripValue(content.substr(where.valueBegin, where.valueEnd - where.valueBegin), limit);
}

std::optional<std::string> UpdateProfileContent(std::string_view content,
                                                std::string_view section, std::string_view key,
                                                std::string_view value) {
  if (!WritableEntry(section, key, value)) return std::nullopt;
  Location where = Locate(content, section, key);
  std::string updated;
  if (where.keyFound) {
    std::string_view old = content.substr(where.valueBegin, where.valueEnd - where.valueBegin);
    updated.reserve(content.size() - old.size() + value.size());
    updated.append(content.substr(0, where.valueBegin));
    updated.append(value);
    updated.append(content.substr(where.valueEnd));
    return updated;
  }
  std::string entry;
  entry.reserve(key.size() + value.size() + section.size() + 8);
  size_t at = content.size();
  bool needsBreak = !content.empty() && content.back() != '\n';
  if (where.sectionFound) {
    at = where.insertAt;
    needsBreak = where.insertNeedsBreak;
  }
  if (needsBreak) entry.append(kNewLine);
  if (!where.sectionFound) {
    entry.append("[").append(section).append("]").append(kNewLine);
  }
  entry.append(key).append("=").append(value).append(kNewLine);
  updated.reserve(content.size() + entry.size());
  updated.append(content.substr(0, at));
  updated.append(entry);
  updated.append(content.substr(at));
  return updated;
}

std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue, size_t limit) {
  // Options are read one by one, so the same file is read many times in a row.
  thread_local std::string content;
  if (ReadWholeFile(path, content) == ReadResult::Ok) {
    if (auto value = FindProfileValue(content, section, key, limit)) return std::move(*value);
  }
  return std::string(defaultValue.substr(0, limit));
}

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
  thread_local std::string content;
  content.clear();
  std::optional<Attributes> attributes = GetAttributes(path);
  if (attributes) {
    // Root may write anything, so the owner write bit is checked here, not by the kernel.
    if (attributes->directory || attributes->system || attributes->readOnly) return false;
    if (ReadWholeFile(path, content) != ReadResult::Ok) return false;
  }
  std::optional<std::string> updated = UpdateProfileContent(content, section, key, value);
  if (!updated) return false;
  if (attributes && *updated == content) return true;
  // A settings file may well be a hidden one such as ~/.job.ini.
  return ReplaceFileContent(path, *updated, nullptr, HiddenTarget::Allow) == WriteResult::Ok;
}

}  // namespace quorvel::platform
