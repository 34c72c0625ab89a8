#pragma once
// Entry points for the tests only: the program never includes this header.

#include <string>

namespace quorvel {

// Pins the program directory that ProgramDir and ResolvePath use.
void SetProgramDirForTesting(std::string dir);

}  // namespace quorvel
