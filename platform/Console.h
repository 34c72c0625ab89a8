#pragma once
// What a command-line front end needs to know of its standard streams.

namespace quorvel::platform {

enum class StandardStream { Input, Output, Error };

bool IsTerminal(StandardStream stream);
// The width of the terminal behind stream in columns; 0 when it is unknown.
int TerminalColumns(StandardStream stream);

}  // namespace quorvel::platform
