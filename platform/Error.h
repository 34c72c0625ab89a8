#pragma once
// The one exception type for the failures the program reports to the user: file
// operations and settings writes. The message is shown as it stands (the top-level
// handler adds a full stop where needed).

#include <exception>
#include <stdexcept>
#include <string>

namespace quorvel {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline Error CannotOpenFile(const std::string& path) {
  return Error("Cannot open file " + path);
}
inline Error CannotCreateFile(const std::string& path) {
  return Error("Cannot create file " + path);
}
inline Error StreamReadError() { return Error("Stream read error"); }
inline Error StreamWriteError() { return Error("Stream write error"); }
inline Error UnableToWrite(const std::string& path) {
  return Error("Unable to write to " + path);
}

// The text the top-level handlers show: the message with a full stop added when its
// last character sorts after ".".
std::string MessageForDisplay(const std::string& message);
// The same for whatever ended an operation: a quorvel::Error's message, and for a
// failure of the standard library (memory exhausted by a huge file, say) a text the
// user can act on instead of the library's name for it.
std::string MessageForDisplay(const std::exception& error);

}  // namespace quorvel
