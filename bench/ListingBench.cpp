// Times BuildFileList over a directory tree: quorvel_bench_listing DIR [EXTENSIONS]
#include <chrono>
#include <cstdio>

#include "files/FileList.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: quorvel_bench_listing DIR [EXTENSIONS]\n");
    return 64;
  }
  quorvel::FileList list;
  quorvel::SilentListingNotice notice;
  auto start = std::chrono::steady_clock::now();
  int32_t count = quorvel::BuildFileList(list, argv[1], argc > 2 ? argv[2] : "", true, notice);
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%d files in %.3f s\n", count, took.count());
  return 0;
}
