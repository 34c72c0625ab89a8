#pragma once
// INI files read and written one key at a time. Lines end at CR LF, LF or a lone CR;
// of a section named more than once only the first is read or written. Names match
// without regard to ASCII case; a read strips blanks and one pair of enclosing quotes
// and yields at most 2047 bytes; a write puts a value that would lose its end blanks
// or quotes that way into double quotes, so it reads back as written. A write changes
// only the bytes of its key (or appends it, the section, or the file) and replaces
// the file by rename, so it is never left half written.

#include <optional>
#include <string>
#include <string_view>

namespace quorvel::platform {

inline constexpr size_t kProfileReadLimit = 2047;

// limit lifts the 2047-byte cut for values that must not be cut at all (paths).
std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue,
                              size_t limit = kProfileReadLimit);

// False when the write is refused: a read-only file, a missing directory, a full disk,
// or a section, key or value that would add lines of its own (a line break, a key with
// "=" or a section name with "]").
bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);

// The same on a file's content in memory: the stripped value of a key, or nothing when
// it is missing; the content after writing a key, or nothing when the write is refused.
std::optional<std::string> FindProfileValue(std::string_view content, std::string_view section,
                                            std::string_view key,
                                            size_t limit = kProfileReadLimit);
std::optional<std::string> UpdateProfileContent(std::string_view content,
                                                std::string_view section, std::string_view key,
                                                std::string_view value);

}  // namespace quorvel::platform
