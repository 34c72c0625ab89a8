#pragma once
// A working tree and a target directory in a temporary folder, and a host whose
// options point at them: replace x by y, case sensitive, with subdirectories.

#include <string>

#include "engine/ReplaceRun.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"

namespace quorvel::testing {

struct RunSandbox {
  TempDir tmp;
  std::string work = tmp.mkdir("work");
  std::string out = tmp / "out";
  RecordingHost host;

  RunSandbox() {
    host.options.WorkDir = work;
    host.options.TargetDir = out;
    host.options.Search = "x";
    host.options.Replace = "y";
    host.options.CaseSensitive = true;
    host.options.Subdirs = true;
  }

  std::string source(const std::string& relative, const std::string& bytes) {
    return tmp.write("work/" + relative, bytes);
  }
  std::string target(const std::string& relative) const { return out + "/" + relative; }
  RunEnd run() { return ReplaceRun(host, host); }
};

}  // namespace quorvel::testing
