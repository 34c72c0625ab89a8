#include "platform/FileSystem.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/platform/WriteCheck.h"
#include "tests/support/TempDir.h"

namespace quorvel::platform {
namespace {

using quorvel::testing::Exists;
using quorvel::testing::NamesIn;
using quorvel::testing::ReadFile;
using quorvel::testing::TempDir;

void MakeSocket(const std::string& path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un addr = {};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof addr.sun_path);
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ::close(fd);
}

// ---- Attributes and listing ----

class EntryKinds : public ::testing::Test {
 protected:
  void SetUp() override {
    tmp.write("plain.txt", "12345");
    ::chmod(tmp.write("ro.txt", "x").c_str(), 0444);
    ::chmod(tmp.write("group-writable.txt", "x").c_str(), 0575);  // owner bit alone counts
    tmp.write(".hidden", "");
    tmp.mkdir("sub");
    tmp.mkdir(".git");
    ASSERT_EQ(::mkfifo((tmp / "fifo").c_str(), 0644), 0);
    MakeSocket(tmp / "sock");
    ASSERT_EQ(::symlink("nowhere", (tmp / "dangling").c_str()), 0);
    ASSERT_EQ(::symlink("plain.txt", (tmp / "tofile").c_str()), 0);
    ASSERT_EQ(::symlink("sub", (tmp / "todir").c_str()), 0);
    ASSERT_EQ(::symlink("fifo", (tmp / "tofifo").c_str()), 0);
  }
  TempDir tmp;
};

struct KindRow {
  const char* name;
  bool directory, readOnly, hidden, system, symlink;
};

// clang-format off
const KindRow kKinds[] = {
    // name                dir    ro     hidden system symlink
    {"plain.txt",          false, false, false, false, false},
    {"ro.txt",             false, true,  false, false, false},
    {"group-writable.txt", false, true,  false, false, false},
    {".hidden",            false, false, true,  false, false},
    {"sub",                true,  false, false, false, false},
    {".git",               true,  false, true,  false, false},
    {"fifo",               false, false, false, true,  false},
    {"sock",               false, false, false, true,  false},
    {"dangling",           false, false, false, true,  true},
    {"tofile",             false, false, false, false, true},
    {"todir",              true,  false, false, false, true},
    {"tofifo",             false, false, false, true,  true},
};
// clang-format on

TEST_F(EntryKinds, AttributesFollowLinksAndMapEveryKind) {
  for (const KindRow& row : kKinds) {
    SCOPED_TRACE(row.name);
    const std::string path = tmp / row.name;
    std::optional<Attributes> attrs = GetAttributes(path);
    ASSERT_TRUE(attrs.has_value());
    EXPECT_EQ(attrs->directory, row.directory);
    EXPECT_EQ(attrs->readOnly, row.readOnly);
    EXPECT_EQ(attrs->hidden, row.hidden);
    EXPECT_EQ(attrs->system, row.system);
    EXPECT_EQ(FileExists(path), !row.directory);
    EXPECT_EQ(DirectoryExists(path), row.directory);
  }
  EXPECT_EQ(GetAttributes(tmp / "plain.txt")->size, 5);
  EXPECT_EQ(GetAttributes(tmp / "tofile")->size, 5);
  EXPECT_FALSE(GetAttributes(tmp / "missing").has_value());
  EXPECT_FALSE(FileExists(tmp / "missing"));
  EXPECT_FALSE(DirectoryExists(tmp / "missing"));
  // The name is the entry's own, whatever the path holds before it.
  EXPECT_FALSE(GetAttributes(tmp / ".git/../plain.txt")->hidden);
  EXPECT_TRUE(GetAttributes(tmp / "sub/../.git/")->hidden);
}

TEST_F(EntryKinds, ListingAgreesWithTheAttributes) {
  std::vector<DirEntry> entries = ListDirectory(tmp.path());
  ASSERT_EQ(entries.size(), std::size(kKinds));
  for (const KindRow& row : kKinds) {
    SCOPED_TRACE(row.name);
    auto it = std::find_if(entries.begin(), entries.end(),
                           [&](const DirEntry& e) { return e.name == row.name; });
    ASSERT_NE(it, entries.end());
    EXPECT_EQ(it->directory, row.directory);
    EXPECT_EQ(it->hidden, row.hidden);
    EXPECT_EQ(it->system, row.system);
    EXPECT_EQ(it->symlink, row.symlink);
  }
}

TEST(ListDirectory, SortsCaseInsensitivelyWithTiesBrokenByBytes) {
  TempDir tmp;
  for (const char* name : {"b", "A", "a", "_x", "B.txt", "a0", "\xC5\x99", "B"})
    tmp.write(name, "");
  std::vector<std::string> names;
  for (const DirEntry& e : ListDirectory(tmp.path())) names.push_back(e.name);
  // '.' < '0' < letters < '_' < bytes above 127, after upper-casing ASCII letters.
  const std::vector<std::string> expected = {"A", "a", "a0", "B", "b", "B.txt", "_x", "\xC5\x99"};
  EXPECT_EQ(names, expected);
}

TEST(ListDirectory, MissingOrNonDirectoryGivesNothing) {
  TempDir tmp;
  EXPECT_TRUE(ListDirectory(tmp / "missing").empty());
  EXPECT_TRUE(ListDirectory(tmp.write("file", "x")).empty());
  EXPECT_TRUE(ListDirectory(tmp.mkdir("empty")).empty());
}

TEST(ReadOnlyBit, SetClearsEveryWriteBitAndClearSetsTheOwnerBit) {
  TempDir tmp;
  const std::string path = tmp.write("f", "x");
  ::chmod(path.c_str(), 0664);
  ASSERT_TRUE(SetReadOnly(path));
  EXPECT_EQ(ModeOf(path), 0444u);
  EXPECT_TRUE(GetAttributes(path)->readOnly);
  ASSERT_TRUE(ClearReadOnly(path));
  EXPECT_EQ(ModeOf(path), 0644u);
  EXPECT_FALSE(GetAttributes(path)->readOnly);

  // Through a link the file changes, not the link.
  ASSERT_EQ(::symlink("f", (tmp / "link").c_str()), 0);
  ASSERT_TRUE(SetReadOnly(tmp / "link"));
  EXPECT_EQ(ModeOf(path), 0444u);

  EXPECT_FALSE(SetReadOnly(tmp / "missing"));
  EXPECT_FALSE(ClearReadOnly(tmp / "missing"));
}

TEST(MakeDirectory, CreatesOneLevelOnly) {
  TempDir tmp;
  EXPECT_TRUE(MakeDirectory(tmp / "one"));
  EXPECT_TRUE(DirectoryExists(tmp / "one"));
  EXPECT_FALSE(MakeDirectory(tmp / "one"));
  EXPECT_FALSE(MakeDirectory(tmp / "two/three"));
}

TEST(ProgramPath, IsTheAbsoluteRealPathOfThisTest) {
  const std::string path = ProgramPath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path[0], '/');
  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ(std::filesystem::canonical(path).string(), path);
}

// ---- Reading ----

TEST(ReadWholeFile, ReadsEveryByte) {
  TempDir tmp;
  std::string bytes(300000, 'x');
  bytes[7] = '\0';
  bytes[100000] = '\r';
  std::string out = "old";
  ASSERT_EQ(ReadWholeFile(tmp.write("big", bytes), out), ReadResult::Ok);
  EXPECT_EQ(out, bytes);
  ASSERT_EQ(ReadWholeFile(tmp.write("empty", ""), out), ReadResult::Ok);
  EXPECT_EQ(out, "");
}

TEST_F(EntryKinds, ReadWholeFileOpensOnlyRegularFiles) {
  std::string out;
  EXPECT_EQ(ReadWholeFile(tmp / "tofile", out), ReadResult::Ok);
  EXPECT_EQ(out, "12345");
  // A FIFO without a writer would block a plain open for ever.
  for (const char* name : {"missing", "sub", "fifo", "tofifo", "sock", "dangling", "todir"}) {
    out = "kept";
    EXPECT_EQ(ReadWholeFile(tmp / name, out), ReadResult::CannotOpen) << name;
    EXPECT_EQ(out, "kept") << name;
  }
}

// ---- Writing: ReplaceFileContent and CopyFileBytes share their guarantees ----

enum class Outcome { Ok, CannotOpenSource, CannotCreate, ReadError, WriteError };

Outcome FromWrite(WriteResult r) {
  switch (r) {
    case WriteResult::Ok:
      return Outcome::Ok;
    case WriteResult::CannotCreate:
      return Outcome::CannotCreate;
    case WriteResult::WriteError:
      return Outcome::WriteError;
  }
  return Outcome::WriteError;
}

Outcome FromCopy(CopyResult r) {
  switch (r) {
    case CopyResult::Ok:
      return Outcome::Ok;
    case CopyResult::CannotOpenSource:
      return Outcome::CannotOpenSource;
    case CopyResult::CannotCreate:
      return Outcome::CannotCreate;
    case CopyResult::ReadError:
      return Outcome::ReadError;
    case CopyResult::WriteError:
      return Outcome::WriteError;
  }
  return Outcome::WriteError;
}

// Writes content to a path, either directly or by copying a source file that holds it
// (the source lives in a directory of its own, outside the tree being checked). The
// source is laid out by prepare, so that the returned action itself only writes.
struct Writer {
  const char* name;
  std::function<std::function<Outcome()>(const TempDir& sources, const std::string& path,
                                         const std::string& content)>
      prepare;
};

const Writer kWriters[] = {
    {"ReplaceFileContent",
     [](const TempDir&, const std::string& path, const std::string& content) {
       return std::function<Outcome()>(
           [=] { return FromWrite(ReplaceFileContent(path, content)); });
     }},
    {"CopyFileBytes",
     [](const TempDir& sources, const std::string& path, const std::string& content) {
       const std::string source = sources.write("source", content);
       return std::function<Outcome()>([=] { return FromCopy(CopyFileBytes(source, path)); });
     }},
};

class Writing : public ::testing::TestWithParam<Writer> {
 protected:
  std::function<Outcome()> prepare(const std::string& path, const std::string& content) {
    return GetParam().prepare(sources, path, content);
  }
  Outcome write(const std::string& path, const std::string& content) {
    return prepare(path, content)();
  }
  TempDir tmp;
  TempDir sources;
};

INSTANTIATE_TEST_SUITE_P(Both, Writing, ::testing::ValuesIn(kWriters),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(Writing, CreatesANewFileWithTheUmaskApplied) {
  UmaskGuard mask(027);
  const std::string path = tmp / "new.txt";
  std::string content("line\r\n\0tail", 11);
  ASSERT_EQ(write(path, content), Outcome::Ok);
  EXPECT_EQ(ReadFile(path), content);
  EXPECT_EQ(ModeOf(path), 0640u);
  EXPECT_EQ(NamesIn(tmp.path()), std::vector<std::string>{"new.txt"});
}

TEST_P(Writing, ReplacesAnExistingFileAndKeepsItsMode) {
  const std::string path = tmp.write("old.txt", "the old content, longer than the new");
  ::chmod(path.c_str(), 0751);
  ASSERT_EQ(write(path, "new"), Outcome::Ok);
  EXPECT_EQ(ReadFile(path), "new");
  EXPECT_EQ(ModeOf(path), 0751u);
  EXPECT_EQ(NamesIn(tmp.path()), std::vector<std::string>{"old.txt"});
}

TEST_P(Writing, WritesThroughALinkAndKeepsIt) {
  const std::string real = tmp.write("data/real.txt", "old");
  ::chmod(real.c_str(), 0604);
  tmp.mkdir("links");
  const std::string link = tmp / "links/link.txt";
  ASSERT_EQ(::symlink("../data/real.txt", link.c_str()), 0);

  ASSERT_EQ(write(link, "through"), Outcome::Ok);
  EXPECT_EQ(ReadFile(real), "through");
  EXPECT_EQ(ModeOf(real), 0604u);
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), "../data/real.txt");
  EXPECT_EQ(NamesIn(tmp / "data"), std::vector<std::string>{"real.txt"});
  EXPECT_EQ(NamesIn(tmp / "links"), std::vector<std::string>{"link.txt"});
}

TEST_P(Writing, RefusedTargetsLeaveEverythingAsItWas) {
  ::chmod(tmp.write("readonly.txt", "ro").c_str(), 0444);
  tmp.write(".hidden.txt", "hidden");
  tmp.mkdir("dir.txt");
  ASSERT_EQ(::mkfifo((tmp / "fifo.txt").c_str(), 0644), 0);
  ASSERT_EQ(::symlink("nowhere.txt", (tmp / "dangling.txt").c_str()), 0);
  ASSERT_EQ(::symlink("readonly.txt", (tmp / "toreadonly.txt").c_str()), 0);
  tmp.write("file", "not a directory");
  const auto before = Snapshot(tmp.path());

  for (const char* name : {"readonly.txt", ".hidden.txt", "dir.txt", "fifo.txt", "dangling.txt",
                           "toreadonly.txt", "missing/new.txt", "file/new.txt"}) {
    EXPECT_EQ(write(tmp / name, "new content"), Outcome::CannotCreate) << name;
  }
  EXPECT_EQ(Snapshot(tmp.path()), before);
}

// The write runs in a child whose file-size limit stands in for a full disk.
TEST_P(Writing, AFullDiskLeavesTheOldFileIntactAndNoTemporary) {
  const std::string path = tmp.write("victim.txt", "precious old bytes");
  std::function<Outcome()> write = prepare(path, std::string(100000, 'n'));
  const auto before = Snapshot(tmp.path());

  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::_exit(int(write()));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(Outcome(WEXITSTATUS(status)), Outcome::WriteError);
  EXPECT_EQ(Snapshot(tmp.path()), before);
}

// ---- What only the one or the other does ----

TEST(ReplaceFileContent, TakesTheLastWriteTimeOfAnotherFileWhenAsked) {
  TempDir tmp;
  const std::string source = tmp.write("source.txt", "s");
  SetMtime(source, 1000000000, 123456789);
  const std::string target = tmp / "target.txt";
  ASSERT_EQ(ReplaceFileContent(target, "t", &source), WriteResult::Ok);
  EXPECT_EQ(MtimeOf(target).tv_sec, 1000000000);
  EXPECT_EQ(MtimeOf(target).tv_nsec, 123456789);
}

TEST(ReplaceFileContent, ReplacesAHiddenFileOnlyWhenAllowed) {
  TempDir tmp;
  const std::string path = tmp.write(".settings.ini", "old");
  EXPECT_EQ(ReplaceFileContent(path, "new"), WriteResult::CannotCreate);
  EXPECT_EQ(ReadFile(path), "old");
  EXPECT_EQ(ReplaceFileContent(path, "new", nullptr, HiddenTarget::Allow), WriteResult::Ok);
  EXPECT_EQ(ReadFile(path), "new");
  EXPECT_EQ(NamesIn(tmp.path()), std::vector<std::string>{".settings.ini"});
}

TEST(CopyFileBytes, CarriesEveryByteAndTheLastWriteTime) {
  TempDir tmp;
  std::string bytes;
  for (int i = 0; i < 3 * 8192 + 17; ++i) bytes += char(i * 7);
  const std::string source = tmp.write("in.bin", bytes);
  SetMtime(source, 1234567890, 987654321);
  const std::string target = tmp / "out.bin";
  ASSERT_EQ(CopyFileBytes(source, target), CopyResult::Ok);
  EXPECT_EQ(ReadFile(target), bytes);
  EXPECT_EQ(MtimeOf(target).tv_sec, 1234567890);
  EXPECT_EQ(MtimeOf(target).tv_nsec, 987654321);
}

// A truncating copy would destroy the only copy here.
TEST(CopyFileBytes, CopyingAFileOntoItselfKeepsItsBytes) {
  TempDir tmp;
  const std::string path = tmp.write("self.txt", std::string(20000, 's'));
  ASSERT_EQ(::symlink("self.txt", (tmp / "alias.txt").c_str()), 0);
  EXPECT_EQ(CopyFileBytes(path, path), CopyResult::Ok);
  EXPECT_EQ(CopyFileBytes(path, tmp / "alias.txt"), CopyResult::Ok);
  EXPECT_EQ(ReadFile(path), std::string(20000, 's'));
  EXPECT_EQ(NamesIn(tmp.path()), (std::vector<std::string>{"alias.txt", "self.txt"}));
}

TEST(CopyFileBytes, GivesANewCopyTheSourceModeLessTheUmask) {
  TempDir tmp;
  UmaskGuard mask(022);
  const std::string source = tmp.write("tool.sh", "#!/bin/sh\n");
  ::chmod(source.c_str(), 0777);
  ASSERT_EQ(CopyFileBytes(source, tmp / "copy.sh"), CopyResult::Ok);
  EXPECT_EQ(ModeOf(tmp / "copy.sh"), 0755u);
}

TEST_F(EntryKinds, CopyFileBytesRefusesSourcesThatAreNoRegularFile) {
  const std::string target = tmp / "target";
  for (const char* name : {"missing", "sub", "fifo", "sock", "dangling", "todir"}) {
    EXPECT_EQ(CopyFileBytes(tmp / name, target), CopyResult::CannotOpenSource) << name;
    EXPECT_FALSE(Exists(target)) << name;
  }
}

}  // namespace
}  // namespace quorvel::platform
