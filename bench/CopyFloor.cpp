// What the file-system part of a run costs alone: every file of a tree is listed, read
// whole and written to the mirrored place under a target directory by the same safe
// write a run uses for a changed file, with no line work in between.
//
//   quorvel_bench_copy_floor SOURCE-DIR TARGET-DIR
#include <chrono>
#include <cstdio>
#include <string>

#include "engine/ReplaceRun.h"
#include "files/FileList.h"
#include "files/FileOps.h"
#include "files/PathText.h"
#include "platform/ByteBuffer.h"
#include "platform/FileSystem.h"

int main(int argc, char** argv) {
  using namespace quorvel;
  if (argc != 3) {
    std::fprintf(stderr, "usage: quorvel_bench_copy_floor SOURCE-DIR TARGET-DIR\n");
    return 64;
  }
  const auto start = std::chrono::steady_clock::now();
  FileList list;
  SilentListingNotice notice;
  BuildFileList(list, argv[1], "", true, notice);
  const std::string workBase = EnsureTrailingSeparator(argv[1]);
  platform::ByteBuffer bytes;
  for (size_t i = 0; i < list.size(); ++i) {
    const TargetPaths target = TargetPathsFor(list[i], workBase, argv[2]);
    if (platform::ReadWholeFile(list[i], bytes) != platform::ReadResult::Ok ||
        !CreateDirectoryPath(target.directory) ||
        platform::ReplaceFileContent(target.file, bytes.view()) != platform::WriteResult::Ok) {
      std::fprintf(stderr, "failed on %s\n", list[i].c_str());
      return 1;
    }
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%zu files in %.3f s\n", list.size(), took.count());
  return 0;
}
