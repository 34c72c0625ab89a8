#include "platform/Console.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace quorvel::platform {

namespace {

int Descriptor(StandardStream stream) {
  switch (stream) {
    case StandardStream::Input:
      return STDIN_FILENO;
    case StandardStream::Output:
      return STDOUT_FILENO;
    case StandardStream::Error:
      break;
  }
  return STDERR_FILENO;
}

}  // namespace

bool IsTerminal(StandardStream stream) { return ::isatty(Descriptor(stream)) == 1; }

int TerminalColumns(StandardStream stream) {
  struct winsize size {};
  if (::ioctl(Descriptor(stream), TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

}  // namespace quorvel::platform
