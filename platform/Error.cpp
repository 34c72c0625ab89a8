#include "platform/Error.h"

#include <new>

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

std::string MessageForDisplay(const std::exception& error) {
  if (dynamic_cast<const std::bad_alloc*>(&error)) return MessageForDisplay("Out of memory");
  return MessageForDisplay(std::string(error.what()));
}

}  // namespace quorvel
