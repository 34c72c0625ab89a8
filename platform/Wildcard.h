#pragma once
// Matching of file names against the patterns of the directory search.

#include <string_view>

namespace quorvel::platform {

// '*' matches any run of characters, '?' any one, letters compared without regard to
// ASCII case. A final ".*" also matches no extension at all, so "*.*" matches every
// name; a final point asks for no further extension, so "*." matches the names that
// hold no point.
bool MatchesPattern(std::string_view name, std::string_view pattern);

}  // namespace quorvel::platform
