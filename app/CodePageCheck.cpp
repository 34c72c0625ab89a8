#include "app/CodePageCheck.h"

#include <exception>

#include "platform/CodePage.h"
#include "platform/Error.h"

namespace quorvel {

std::optional<std::string> CodePageProblem() {
  try {
    platform::ActiveCodePage();
    return std::nullopt;
  } catch (const std::exception& error) {
    // Only the environment can name a code page that fails; the locale's choices are
    // always known.
    return MessageForDisplay(error) +
           " QUORVEL_CODEPAGE must name a single-byte code page or UTF-8, for example "
           "windows-1250.";
  }
}

}  // namespace quorvel
