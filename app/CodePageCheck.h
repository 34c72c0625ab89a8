#pragma once
// The code page is chosen once, at start; a name the converter library does not know
// stops the program before it touches anything.

#include <optional>
#include <string>

namespace quorvel {

// Nothing when the code page can be used; otherwise the text to show the user, which
// names the environment variable to correct.
std::optional<std::string> CodePageProblem();

}  // namespace quorvel
