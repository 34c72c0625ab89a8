#include "platform/ProfileFile.h"

#include <cstring>
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

// One line of the file as offsets into its content. Lines end at CR LF, LF or a lone
// CR, as in the text files the program processes, so a stray CR never hides the key
// after it. The text excludes the line end; end is the offset just past it, or the
// file size for a last line without one.
struct Line {
  size_t begin = 0;
  size_t textEnd = 0;
  size_t end = 0;
  bool hasBreak = false;  // ends in a line end of its own
};

std::vector<Line> SplitLines(std::string_view content) {
  std::vector<Line> lines;
  size_t pos = 0;
  // An editor's byte-order mark must not hide the first section header.
  if (content.substr(0, kUtf8Bom.size()) == kUtf8Bom) pos = kUtf8Bom.size();
  const char* data = content.data();
  const size_t size = content.size();
  // memchr keeps a large file fast: the next LF, found once for all the lone CRs
  // before it, then a CR before that LF.
  size_t lfAt = 0;  // the next LF at or after pos, or size when there is none
  bool lfKnown = false;
  while (pos < size) {
    if (!lfKnown || lfAt < pos) {
      const void* lf = std::memchr(data + pos, '\n', size - pos);
      lfAt = lf ? size_t(static_cast<const char*>(lf) - data) : size;
      lfKnown = true;
    }
    const void* cr = std::memchr(data + pos, '\r', lfAt - pos);
    Line line;
    line.begin = pos;
    if (cr) {
      line.textEnd = size_t(static_cast<const char*>(cr) - data);
      line.end = line.textEnd + 1 == lfAt && lfAt < size ? lfAt + 1 : line.textEnd + 1;
      line.hasBreak = true;
    } else if (lfAt < size) {
      line.textEnd = lfAt;
      line.end = lfAt + 1;
      line.hasBreak = true;
    } else {
      line.textEnd = line.end = size;
    }
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

// Where a key lives in the file, or where it would be added. The first occurrence of
// a section is the section and the first matching key in it wins, for reads and
// writes alike: a repeated section never lends a key to the first one.
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
  for (const Line& line : lines) {
    ParsedLine parsed = ParseLine(content, line);
    if (parsed.kind == LineKind::Section) {
      if (inSection) break;
      inSection = SameName(parsed.name, section);
      if (inSection) {
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
    // A new key goes after the last line with content in the section, so blank lines
    // and comments ahead of the next section stay where they were.
    if (parsed.kind == LineKind::Key) {
      where.insertAt = line.end;
      where.insertNeedsBreak = !line.hasBreak;
    }
  }
  return where;
}

bool EnclosedInQuotes(std::string_view value) {
  return value.size() >= 2 && value.front() == value.back() &&
         (value.front() == '"' || value.front() == '\'');
}

std::string StripValue(std::string_view value, size_t limit) {
  // Values are texts: a NUL byte ends one, as it ends a C string.
  value = TrimView(value.substr(0, value.find('\0')));
  if (EnclosedInQuotes(value)) value = value.substr(1, value.size() - 2);
  return std::string(value.substr(0, limit));
}

// What a write stores for value: the value itself, or the value in double quotes when
// a read would otherwise strip blanks at its ends or a pair of quotes around it.
std::string StoredValue(std::string_view value) {
  if (value.empty()) return {};
  if (!IsBlank(value.front()) && !IsBlank(value.back()) && !EnclosedInQuotes(value)) {
    return std::string(value);
  }
  std::string quoted;
  quoted.reserve(value.size() + 2);
  quoted.append("\"").append(value).append("\"");
  return quoted;
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
  const std::string stored = StoredValue(value);
  Location where = Locate(content, section, key);
  std::string updated;
  if (where.keyFound) {
    std::string_view old = content.substr(where.valueBegin, where.valueEnd - where.valueBegin);
    // A value that already reads back as the one written keeps its bytes, however
    // the hand that wrote it quoted it.
    if (StripValue(old, std::string_view::npos) == value) return std::string(content);
    updated.reserve(content.size() - old.size() + stored.size());
    updated.append(content.substr(0, where.valueBegin));
    updated.append(stored);
    updated.append(content.substr(where.valueEnd));
    return updated;
  }
  std::string entry;
  entry.reserve(key.size() + stored.size() + section.size() + 8);
  size_t at = content.size();
  bool needsBreak = !content.empty() && content.back() != '\n' && content.back() != '\r';
  if (where.sectionFound) {
    at = where.insertAt;
    needsBreak = where.insertNeedsBreak;
  }
  if (needsBreak) entry.append(kNewLine);
  if (!where.sectionFound) {
    entry.append("[").append(section).append("]").append(kNewLine);
  }
  entry.append(key).append("=").append(stored).append(kNewLine);
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
