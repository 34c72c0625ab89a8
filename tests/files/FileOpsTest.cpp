#include "files/FileOps.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/Error.h"
#include "support/TempDir.h"

namespace quorvel {
namespace {

using testing::Exists;
using testing::Mtime;
using testing::ReadFile;
using testing::SetMtime;
using testing::SetReadOnly;
using testing::TempDir;

const std::string kBinary = std::string("bin\0\0\0\0data x\r\n", 15);

TEST(CreateDirectoryPathTest, CreatesEveryMissingLevel) {
  TempDir tmp;
  EXPECT_TRUE(CreateDirectoryPath(tmp / "a/b/c/"));
  EXPECT_TRUE(std::filesystem::is_directory(tmp / "a/b/c"));
  EXPECT_TRUE(CreateDirectoryPath(tmp / "a/b"));
  EXPECT_TRUE(CreateDirectoryPath("/"));
  EXPECT_TRUE(CreateDirectoryPath(""));
  tmp.write("file", "x");
  EXPECT_FALSE(CreateDirectoryPath(tmp / "file"));
  EXPECT_FALSE(CreateDirectoryPath(tmp / "file/sub"));
}

TEST(CopyWholeFileTest, CopiesIntoDirectoriesAndMapsFailures) {
  TempDir tmp;
  const std::string source = tmp.write("src/f.dat", kBinary);
  SetMtime(source, 1200000000);

  CopyWholeFile(source, tmp.mkdir("into"));
  EXPECT_EQ(ReadFile(tmp / "into/f.dat"), kBinary);
  EXPECT_EQ(Mtime(tmp / "into/f.dat").tv_sec, 1200000000);

  CopyWholeFile(source, tmp / "new/dirs/g.dat");
  EXPECT_EQ(ReadFile(tmp / "new/dirs/g.dat"), kBinary);

  const std::string missing = tmp / "src/missing";
  try {
    CopyWholeFile(missing, tmp / "never/g.dat");
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing);
  }
  EXPECT_FALSE(Exists(tmp / "never"));

  const std::string readOnly = tmp.write("ro.dat", "old");
  SetReadOnly(readOnly);
  try {
    CopyWholeFile(source, readOnly);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + readOnly);
  }
  EXPECT_EQ(ReadFile(readOnly), "old");
}

}  // namespace
}  // namespace quorvel
