#include "platform/FileTransaction.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/ProfileFile.h"
#include "tests/platform/WriteCheck.h"
#include "tests/support/TempDir.h"

namespace quorvel::platform {
namespace {

using quorvel::testing::NamesIn;
using quorvel::testing::ReadFile;
using quorvel::testing::TempDir;

// The hook of the transaction, as a closure for the test at hand; reset after each test.
std::function<void(TransactionPoint, const std::string&)> g_onPoint;
void CallTestHook(TransactionPoint point, const std::string& path) {
  if (g_onPoint) g_onPoint(point, path);
}
class Hooked : public ::testing::Test {
 protected:
  void SetUp() override { SetTransactionHook(CallTestHook); }
  void TearDown() override {
    SetTransactionHook(nullptr);
    g_onPoint = nullptr;
  }
  TempDir tmp;
};

void Append(const std::string& path, const std::string& bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
  ::close(fd);
}

// ---- Read sharing ----

TEST_F(Hooked, AFileHeldOpenForWritingIsNotOpenedAndTheWritersLinesSurvive) {
  const std::string path = tmp.write("log.txt", "first\n");
  int writer = ::open(path.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(writer, 0);
  SourceFile source;
  EXPECT_EQ(source.open(path), SourceFile::Status::HeldForWriting);
  ASSERT_EQ(::write(writer, "second\n", 7), 7);
  ::close(writer);
  EXPECT_EQ(ReadFile(path), "first\nsecond\n");
}

TEST_F(Hooked, AWriterThatOpensTheFileWhileItIsProcessedKeepsItsLines) {
  const std::string path = tmp.write("log.txt", "first\n");
  SourceFile source;
  ASSERT_EQ(source.open(path), SourceFile::Status::Ok);
  ASSERT_TRUE(source.leased());  // root holds CAP_LEASE, an owner needs none
  ByteBuffer bytes;
  ASSERT_EQ(source.readAll(bytes), ReadResult::Ok);
  EXPECT_TRUE(source.unchanged());

  // The writer's open breaks the lease: it waits until the lease is let go.
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
    ::_exit(fd >= 0 && ::write(fd, "later\n", 6) == 6 ? 0 : 1);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  EXPECT_FALSE(source.unchanged());
  WriteRequest request;
  request.replaces = &source;
  EXPECT_EQ(WriteFileContent(path, "processed\r\n", request), TransactionResult::HeldForWriting);
  EXPECT_EQ(ReadFile(path), "first\nlater\n");
  EXPECT_EQ(NamesIn(tmp.path()), std::vector<std::string>{"log.txt"});
}

// ---- Identity before the rename ----

// Another program acts between the read and the rename; with the write into the
// source, the file read is the guard, otherwise the target found when the write began.
TEST_F(Hooked, AFileChangedReplacedOrDeletedAfterItsReadIsNotWrittenOver) {
  struct Row {
    const char* name;
    std::function<void(const std::string&)> act;
    bool gone;
    const char* holds;
  };
  const Row rows[] = {
      {"appended to", [](const std::string& p) { Append(p, "more"); }, false, "oldmore"},
      {"saved anew by rename",
       [&](const std::string& p) {
         const std::string saved = tmp.write("editor.tmp", "saved by the user");
         ASSERT_EQ(::rename(saved.c_str(), p.c_str()), 0);
       },
       false, "saved by the user"},
      {"deleted", [](const std::string& p) { ASSERT_EQ(::unlink(p.c_str()), 0); }, true, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = tmp / "f.txt";
    for (bool intoSource : {true, false}) {
      SCOPED_TRACE(intoSource ? "into the source" : "into a target");
      tmp.write("f.txt", "old");
      SourceFile source;
      if (intoSource) {
        ASSERT_EQ(source.open(path), SourceFile::Status::Ok);
      }
      g_onPoint = [&](TransactionPoint point, const std::string&) {
        if (point == TransactionPoint::Staged) row.act(path);
      };
      WriteRequest request;
      if (intoSource) request.replaces = &source;
      EXPECT_EQ(WriteFileContent(path, "new", request), TransactionResult::HeldForWriting);
      g_onPoint = nullptr;
      if (row.gone) {
        EXPECT_FALSE(quorvel::testing::Exists(path));
      } else {
        EXPECT_EQ(ReadFile(path), row.holds);
      }
      EXPECT_EQ(NamesIn(tmp.path()).size(), row.gone ? 0u : 1u);
    }
  }
}

TEST_F(Hooked, ANewFileDoesNotTakeThePlaceOfOneThatAppearedMeanwhile) {
  const std::string path = tmp / "new.txt";
  g_onPoint = [&](TransactionPoint point, const std::string&) {
    if (point == TransactionPoint::Staged) tmp.write("new.txt", "theirs");
  };
  EXPECT_EQ(WriteFileContent(path, "ours"), TransactionResult::HeldForWriting);
  EXPECT_EQ(ReadFile(path), "theirs");
  EXPECT_EQ(NamesIn(tmp.path()), std::vector<std::string>{"new.txt"});
}


// ---- Staying inside the tree ----

class InATree : public ::testing::Test {
 protected:
  void SetUp() override {
    outside.write("passwd", "root:x:0:0");
    tmp.write("root/inside.txt", "inside");
    tmp.mkdir("root/sub");
    ASSERT_EQ(::symlink("inside.txt", (tmp / "root/sub/../link-in.txt").c_str()), 0);
    ASSERT_EQ(::symlink((outside / "passwd").c_str(), (tmp / "root/link-out.txt").c_str()), 0);
    ASSERT_EQ(::symlink(outside.path().c_str(), (tmp / "root/dir-out").c_str()), 0);
    ASSERT_EQ(::symlink("sub", (tmp / "root/dir-in").c_str()), 0);
    tree = WriteTree::Open(tmp / "root");
    ASSERT_TRUE(tree.has_value());
  }
  TempDir tmp;
  TempDir outside;
  std::optional<WriteTree> tree;
};

TEST_F(InATree, ALinkInsideIsWrittenThroughAndKept) {
  WriteRequest request;
  request.tree = &*tree;
  ASSERT_EQ(WriteFileContent(tmp / "root/link-in.txt", "through", request), TransactionResult::Ok);
  EXPECT_EQ(ReadFile(tmp / "root/inside.txt"), "through");
  EXPECT_EQ(std::filesystem::read_symlink(tmp / "root/link-in.txt").string(), "inside.txt");
}

TEST_F(InATree, NothingOutsideTheTreeIsWrittenOrCreated) {
  const auto before = Snapshot(outside.path());
  WriteRequest request;
  request.tree = &*tree;
  // A link out of the tree, a level that is a link (out, and in: a link is no directory
  // here), a path that climbs out, and one that is not below the root at all.
  for (const std::string& path :
       {tmp / "root/link-out.txt", tmp / "root/dir-out/new.txt", tmp / "root/dir-out/passwd",
        tmp / "root/dir-in/new.txt", tmp / "root/sub/../../escape.txt", outside / "passwd"}) {
    EXPECT_EQ(WriteFileContent(path, "owned", request), TransactionResult::CannotCreate) << path;
    SourceFile source;
    ASSERT_EQ(source.open(tmp / "root/inside.txt"), SourceFile::Status::Ok);
    EXPECT_EQ(CopyFileContent(source, path, request), TransactionResult::CannotCreate) << path;
  }
  EXPECT_EQ(Snapshot(outside.path()), before);
  EXPECT_FALSE(quorvel::testing::Exists(tmp / "escape.txt"));
  EXPECT_FALSE(quorvel::testing::Exists(tmp / "root/sub/new.txt"));
}

TEST_F(InATree, DirectoriesAreOpenedAndMadeLevelByLevelWithoutFollowingLinks) {
  DirHandle dir;
  EXPECT_EQ(tree->openDirectory(tmp / "root/a/b/c", true, dir), WriteTree::DirStatus::Ok);
  EXPECT_TRUE(dir.valid());
  EXPECT_TRUE(DirectoryExists(tmp / "root/a/b/c"));
  EXPECT_EQ(tree->openDirectory(tmp / "root/a/b/c", false, dir), WriteTree::DirStatus::Ok);
  EXPECT_EQ(tree->openDirectory(tmp / "root/", false, dir), WriteTree::DirStatus::Ok);
  EXPECT_EQ(tree->openDirectory(tmp / "root/none", false, dir), WriteTree::DirStatus::Missing);
  // Also where the levels behind a link exist.
  outside.mkdir("deep/er");
  for (const char* level :
       {"dir-out", "dir-in", "dir-out/x", "dir-out/deep", "dir-out/deep/er", "inside.txt",
        "sub/../.."}) {
    EXPECT_EQ(tree->openDirectory(tmp / "root/" + level, true, dir),
              WriteTree::DirStatus::NotADirectory)
        << level;
  }
  EXPECT_EQ(NamesIn(outside.path()), (std::vector<std::string>{"deep", "passwd"}));
  EXPECT_EQ(NamesIn(outside / "deep"), std::vector<std::string>{"er"});

  EXPECT_TRUE(tree->leadsInside(tmp / "root/link-in.txt"));
  EXPECT_TRUE(tree->leadsInside(tmp / "root/dir-in"));
  EXPECT_FALSE(tree->leadsInside(tmp / "root/link-out.txt"));
  EXPECT_FALSE(tree->leadsInside(tmp / "root/dir-out"));
  EXPECT_FALSE(tree->leadsInside(tmp / "root/missing"));
}

// ---- Another user's files ----
//
// The checks run in this test program started again as an unprivileged user: when the
// variable below names a case, the program does that one write and exits with its
// result before any test starts.

constexpr const char* kAsUserVariable = "QUORVEL_TEST_WRITE_AS_USER";
constexpr uid_t kUser = 65534;  // nobody
constexpr gid_t kGroup = 65534;

int WriteAsUserIfAsked() {
  const char* job = std::getenv(kAsUserVariable);
  if (!job) return 0;
  const std::string text(job);
  const size_t colon = text.find(':');
  const std::string what = text.substr(0, colon), path = text.substr(colon + 1);
  if (what == "settings") ::_exit(WriteProfileString(path, "GENERAL", "Search", "x") ? 0 : 1);
  ::_exit(int(WriteFileContent(path, "by the user")));
}
const int kAsUser = WriteAsUserIfAsked();

TransactionResult RunAsUser(const std::string& what, const std::string& path) {
  pid_t child = ::fork();
  if (child == 0) {
    const std::string job = std::string(kAsUserVariable) + "=" + what + ":" + path;
    ::putenv(const_cast<char*>(job.c_str()));
    const std::string self = ProgramPath();
    const std::string uid = "--reuid=" + std::to_string(kUser);
    const std::string gid = "--regid=" + std::to_string(kGroup);
    ::execlp("setpriv", "setpriv", uid.c_str(), gid.c_str(), "--clear-groups", self.c_str(),
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? TransactionResult(WEXITSTATUS(status)) : TransactionResult(99);
}

uid_t OwnerOf(const std::string& path) {
  struct stat st = {};
  ::stat(path.c_str(), &st);
  return st.st_uid;
}

TEST(AnotherUsersFile, IsRefusedLikeAReadOnlyOneAndKeepsItsOwnerWhenWritable) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to drop to another user";
  (void)kAsUser;
  TempDir tmp;
  ::chmod(tmp.path().c_str(), 0711);
  // The user's own folder, holding root's files: the rename would need only the folder.
  const std::string dir = tmp.mkdir("users");
  ASSERT_EQ(::chown(dir.c_str(), kUser, kGroup), 0);
  const std::string roots = tmp.write("users/roots.txt", "root's");
  ::chmod(roots.c_str(), 0644);
  const std::string settings = tmp.write("users/job.ini", "[GENERAL]\nSearch=a\n");
  ::chmod(settings.c_str(), 0644);
  // Root's file that the user's group may write: written, and still root's.
  const std::string shared = tmp.write("users/shared.txt", "shared");
  ASSERT_EQ(::chown(shared.c_str(), 0, kGroup), 0);
  ::chmod(shared.c_str(), 0664);

  EXPECT_EQ(RunAsUser("write", roots), TransactionResult::CannotCreate);
  EXPECT_EQ(ReadFile(roots), "root's");
  EXPECT_NE(RunAsUser("settings", settings), TransactionResult::Ok);
  EXPECT_EQ(ReadFile(settings), "[GENERAL]\nSearch=a\n");

  EXPECT_EQ(RunAsUser("write", shared), TransactionResult::Ok);
  EXPECT_EQ(ReadFile(shared), "by the user");
  EXPECT_EQ(OwnerOf(shared), 0u);
  EXPECT_EQ(ModeOf(shared), 0664u);
  EXPECT_EQ(NamesIn(dir), (std::vector<std::string>{"job.ini", "roots.txt", "shared.txt"}));
}

// ---- What a replaced file keeps ----

// A POSIX access ACL as the kernel stores it, granting one more user read and write.
std::string AccessAcl(uint32_t user) {
  std::string blob;
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) blob += char((v >> (8 * i)) & 0xff);
  };
  auto entry = [&](uint16_t tag, uint16_t perm, uint32_t id) {
    blob += char(tag & 0xff);
    blob += char(tag >> 8);
    blob += char(perm & 0xff);
    blob += char(perm >> 8);
    put32(id);
  };
  put32(2);                           // version
  entry(0x01, 6, 0xffffffff);         // owner rw
  entry(0x02, 6, user);               // the user rw
  entry(0x04, 4, 0xffffffff);         // group r
  entry(0x10, 6, 0xffffffff);         // mask rw
  entry(0x20, 4, 0xffffffff);         // other r
  return blob;
}

std::string XattrOf(const std::string& path, const char* name) {
  char value[256];
  ssize_t n = ::getxattr(path.c_str(), name, value, sizeof value);
  return n < 0 ? std::string() : std::string(value, size_t(n));
}

TEST(ReplacedFile, KeepsItsExtendedAttributesAndAcl) {
  TempDir tmp;
  const std::string path = tmp.write("f.txt", "old");
  if (::setxattr(path.c_str(), "user.origin", "scanner", 7, 0) != 0) {
    GTEST_SKIP() << "no user attributes here: " << std::strerror(errno);
  }
  const std::string acl = AccessAcl(1234);
  const bool haveAcl = ::setxattr(path.c_str(), "system.posix_acl_access", acl.data(),
                                  acl.size(), 0) == 0;
  const mode_t mode = ModeOf(path);

  SourceFile source;
  ASSERT_EQ(source.open(path), SourceFile::Status::Ok);
  WriteRequest request;
  request.replaces = &source;
  ASSERT_EQ(WriteFileContent(path, "new", request), TransactionResult::Ok);
  EXPECT_EQ(ReadFile(path), "new");
  EXPECT_EQ(XattrOf(path, "user.origin"), "scanner");
  if (haveAcl) {
    EXPECT_EQ(XattrOf(path, "system.posix_acl_access"), acl);
  }
  EXPECT_EQ(ModeOf(path), mode);
  if (!haveAcl) GTEST_SKIP() << "no POSIX ACLs here; the user attribute was kept";
}

TEST(ReplacedFile, EveryNameOfAHardLinkShowsTheNewContent) {
  TempDir tmp;
  const std::string a = tmp.write("a.txt", "the old text, longer than the new one");
  const std::string b = tmp / "b.txt";
  ASSERT_EQ(::link(a.c_str(), b.c_str()), 0);
  for (const std::string& text : {std::string("new"), std::string(100000, 'g'), std::string()}) {
    SourceFile source;
    ASSERT_EQ(source.open(a), SourceFile::Status::Ok);
    WriteRequest request;
    request.replaces = &source;
    ASSERT_EQ(WriteFileContent(a, text, request), TransactionResult::Ok);
    EXPECT_EQ(ReadFile(a), text);
    EXPECT_EQ(ReadFile(b), text);
  }
  struct stat sa, sb;
  ASSERT_EQ(::stat(a.c_str(), &sa), 0);
  ASSERT_EQ(::stat(b.c_str(), &sb), 0);
  EXPECT_EQ(sa.st_ino, sb.st_ino);
  EXPECT_EQ(NamesIn(tmp.path()), (std::vector<std::string>{"a.txt", "b.txt"}));
}

// The rewrite of a hard-linked file in a child whose file-size limit stands in for a
// full disk: the room is reserved first, so both names keep the old text.
TEST(ReplacedFile, AFullDiskLeavesAHardLinkWithItsOldContent) {
  TempDir tmp;
  const std::string a = tmp.write("a.txt", "precious");
  ASSERT_EQ(::link(a.c_str(), (tmp / "b.txt").c_str()), 0);
  const std::string big(100000, 'n');
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {60000, 60000};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::_exit(int(WriteFileContent(a, big)));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(TransactionResult(WEXITSTATUS(status)), TransactionResult::WriteError);
  EXPECT_EQ(ReadFile(a), "precious");
  EXPECT_EQ(ReadFile(tmp / "b.txt"), "precious");
  EXPECT_EQ(NamesIn(tmp.path()), (std::vector<std::string>{"a.txt", "b.txt"}));
}

// ---- New files ----

TEST(NewFile, TakesTheSourceModeWithTheOwnerWriteBitLessTheUmask) {
  struct Row {
    std::optional<uint32_t> sourceMode;
    mode_t umask;
    mode_t expected;
  };
  const Row rows[] = {
      {0755, 022, 0755},       // a script stays executable
      {0444, 022, 0644},       // a read-only source gives a writable copy
      {0666, 077, 0600},
      {04755, 022, 0755},      // no set-id bits for a new file
      {std::nullopt, 022, 0644},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expected);
    TempDir tmp;
    UmaskGuard mask(row.umask);
    WriteRequest request;
    request.sourceMode = row.sourceMode;
    ASSERT_EQ(WriteFileContent(tmp / "written", "x", request), TransactionResult::Ok);
    EXPECT_EQ(ModeOf(tmp / "written"), row.expected);
    if (row.sourceMode) {
      const std::string source = tmp.write("source", "x");
      ::chmod(source.c_str(), mode_t(*row.sourceMode));
      ASSERT_EQ(CopyFileBytes(source, tmp / "copied"), CopyResult::Ok);
      EXPECT_EQ(ModeOf(tmp / "copied"), row.expected);
    }
  }
}

TEST(NewFile, APathOfTheLongestLengthIsWritten) {
  TempDir tmp;
  std::string path = tmp.path();
  // Levels of 250 bytes, one shorter level, and a name of 250: 4095 bytes in all.
  while (4095 - path.size() > 2 * 251 + 5) path += "/" + std::string(250, 'd');
  path += "/" + std::string(4095 - path.size() - 2 - 250, 'e');
  std::filesystem::create_directories(path);
  path += "/" + std::string(250, 'f');
  ASSERT_EQ(path.size(), 4095u);
  ASSERT_EQ(WriteFileContent(path, "first"), TransactionResult::Ok);
  ASSERT_EQ(WriteFileContent(path, "second"), TransactionResult::Ok);
  EXPECT_EQ(ReadFile(path), "second");
  SourceFile source;
  ASSERT_EQ(source.open(path), SourceFile::Status::Ok);
  ASSERT_EQ(CopyFileContent(source, path), TransactionResult::Ok);
  EXPECT_EQ(NamesIn(std::filesystem::path(path).parent_path().string()).size(), 1u);
}

// ---- Signals ----

TEST(Signals, EndTheProgramWithoutLeavingATemporaryFile) {
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(sig);
    TempDir tmp;
    const std::string path = tmp.write("f.txt", "old");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      InstallWriteSignalHandlers();
      static int signalFd;
      signalFd = ready[1];
      // The write stops with its content staged and waits to be ended.
      SetTransactionHook([](TransactionPoint, const std::string&) {
        (void)::write(signalFd, "r", 1);
        for (;;) ::pause();
      });
      WriteFileContent(path, std::string(100000, 'n'));
      ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    EXPECT_EQ(NamesIn(tmp.path()).size(), 2u);  // the staged file is there
    ::kill(child, sig);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig);
    EXPECT_EQ(NamesIn(tmp.path()), std::vector<std::string>{"f.txt"});
    EXPECT_EQ(ReadFile(path), "old");
    ::close(ready[0]);
    ::close(ready[1]);
  }
}

// ---- Memory ----

TEST(Reading, RunningOutOfMemoryIsNoReadError) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs more address space than the limit leaves";
#endif
  TempDir tmp;
  const std::string path = tmp / "sparse.bin";
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, off_t(1) << 32), 0);  // 4 GiB of nothing, on no disk
  ::close(fd);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    struct rlimit limit = {size_t(1) << 31, size_t(1) << 31};
    ::setrlimit(RLIMIT_AS, &limit);
    int outcome = 0;
    try {
      std::string out;
      ReadWholeFile(path, out);
      outcome = 1;
    } catch (const std::bad_alloc&) {
      outcome |= 2;
    }
    try {
      ByteBuffer out;
      SourceFile source;
      if (source.open(path) == SourceFile::Status::Ok) source.readAll(out);
    } catch (const std::bad_alloc&) {
      outcome |= 4;
    }
    ::_exit(outcome);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 6);
}

}  // namespace
}  // namespace quorvel::platform
