#include "platform/Error.h"

namespace quorvel {

std::string MessageForDisplay(const std::string& message) {
  if (message.empty()) return message;
  // Byte order, not character class: a closing quote or letter gets the stop, a
  // message that already ends in '.', '!' or ',' does not.
  if (static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.')) {
    return message + ".";
  }
  return message;
}

}  // namespace quorvel
