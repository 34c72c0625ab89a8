#pragma once
// The earlier name of the program runner, for tests not yet moved to
// support/ProgramRun.h; new tests include that directly.

#include "support/ProgramRun.h"

namespace quorvel::testing {

using BatchTree = ProgramTree;

inline std::string ReadBytes(const std::string& path) { return ReadFile(path); }

}  // namespace quorvel::testing
