// A tree that changes under the run or holds what a text tool must not trip over:
// sources that turn into something else before their turn, target directories that
// cannot be made, links out of the tree, loops of directory links, FIFOs and sockets.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/ReplaceRun.h"
#include "platform/Error.h"
#include "support/ProgramRun.h"
#include "support/RecordingHost.h"

namespace quorvel {
namespace {

using testing::Exists;
using testing::NamesIn;
using testing::Outcome;
using testing::ProgramTree;
using testing::ReadFile;
using testing::RecordingHost;
using testing::Results;
using testing::TempDir;

namespace fs = std::filesystem;

// Ends the test process if an in-process run blocks (on a FIFO, say), so that a hang
// fails the test rather than holding up CI.
class Watchdog {
 public:
  explicit Watchdog(unsigned seconds) { ::alarm(seconds); }
  ~Watchdog() { ::alarm(0); }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
};

void MakeSocket(const std::string& path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  struct sockaddr_un address {};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);  // the socket file stays
}

fs::file_type TypeOf(const std::string& path) { return fs::symlink_status(path).type(); }

// Write-into-source over a.txt, b.txt and c.txt; b.txt changes when its turn comes.
TEST(SourceChangesBeforeItsTurn, EndsTheRunOrIsPassedOverAndNothingElseIsTouched) {
  struct Case {
    const char* name;
    std::function<void(const std::string& path)> change;
    bool endsRun;  // with "Cannot open file <b.txt>"
    fs::file_type after;
  };
  const std::vector<Case> cases = {
      {"vanishes", [](const std::string& p) { fs::remove(p); }, true, fs::file_type::not_found},
      {"turns into a directory",
       [](const std::string& p) {
         fs::remove(p);
         fs::create_directory(p);
       },
       true, fs::file_type::directory},
      {"turns into a link to a directory",
       [](const std::string& p) {
         fs::remove(p);
         fs::create_directory_symlink("sub", p);
       },
       true, fs::file_type::symlink},
      {"turns into a FIFO",
       [](const std::string& p) {
         fs::remove(p);
         ::mkfifo(p.c_str(), 0644);
       },
       false, fs::file_type::fifo},
      {"turns into a dangling link",
       [](const std::string& p) {
         fs::remove(p);
         fs::create_symlink("nowhere", p);
       },
       false, fs::file_type::symlink},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    Watchdog watchdog(30);
    TempDir tmp;
    const std::string a = tmp.write("work/a.txt", "x\n");
    const std::string b = tmp.write("work/b.txt", "x\n");
    const std::string c = tmp.write("work/c.txt", "x\n");
    tmp.mkdir("work/sub");
    RecordingHost host;
    host.options.WorkDir = tmp / "work";
    host.options.Search = "x";
    host.options.Replace = "y";
    host.options.OverSource = true;
    host.options.OverFiles = true;
    host.onCurrentFile = [&](const std::string& path) {
      if (path == b) row.change(b);
    };
    std::string error;
    try {
      EXPECT_EQ(ReplaceRun(host, host), RunEnd::Completed);
    } catch (const Error& e) {
      error = e.what();
    }
    EXPECT_EQ(error, row.endsRun ? "Cannot open file " + b : "");
    EXPECT_FALSE(host.busyFlag);
    EXPECT_EQ(ReadFile(a), "y\r\n");
    EXPECT_EQ(ReadFile(c), row.endsRun ? "x\n" : "y\r\n");
    EXPECT_EQ(TypeOf(b), row.after) << "left as it was made";
    std::vector<std::string> names{"a.txt", "c.txt", "sub"};
    if (row.after != fs::file_type::not_found) names.insert(names.begin() + 1, "b.txt");
    EXPECT_EQ(NamesIn(tmp / "work"), names) << "no temporary file is left";
  }
}

// A job whose target directory cannot be made ends with the message and status 2;
// the files before it stay written, nothing is written after it.
TEST(TargetDirectoryCannotBeMade, EndsTheJobWithTheMessage) {
  struct Case {
    const char* name;
    std::function<void(const TempDir&)> block;
    std::string targetDir;  // below the test's folder
    int done;               // files written before the job ended
  };
  const std::string tooLong(256, 'n');
  const std::vector<Case> cases = {
      {"a level is a regular file", [](const TempDir& d) { d.write("out/sub", "a file\n"); },
       "out", 1},
      {"a level is a dangling link",
       [](const TempDir& d) {
         d.mkdir("out");
         fs::create_symlink("nowhere", d / "out/sub");
       },
       "out", 1},
      {"a level is a link to itself",
       [](const TempDir& d) {
         d.mkdir("out");
         fs::create_symlink("sub", d / "out/sub");
       },
       "out", 1},
      {"a level is a FIFO",
       [](const TempDir& d) {
         d.mkdir("out");
         ::mkfifo((d / "out/sub").c_str(), 0644);
       },
       "out", 1},
      {"a level's name is longer than a name may be", [](const TempDir&) {}, "out/" + tooLong,
       0},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    ProgramTree t;
    t.dir.write("work/a.txt", "hello\n");
    t.dir.write("work/sub/b.txt", "hello\n");
    row.block(t.dir);
    const std::string job = t.dir.write(
        "jobs/job.ini", "[GENERAL]\r\nSearch=hello\r\nReplace=bye\r\nSubdirs=On\r\nWorkDir=" +
                            t.dir.path() + "/work\r\nTargetDir=" + t.dir / row.targetDir + "\r\n");
    const auto before = NamesIn(t.dir / "out");
    Outcome outcome = t.run(job);
    EXPECT_FALSE(outcome.hung);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.err, "Information: Nemohu vytvořit cílový adresář.\n");
    EXPECT_EQ(outcome.out, Results(2, row.done, row.done, row.done));
    EXPECT_EQ(ReadFile(t.dir / "work/a.txt"), "hello\n");
    EXPECT_EQ(ReadFile(t.dir / "work/sub/b.txt"), "hello\n");
    if (row.done) {
      EXPECT_EQ(ReadFile(t.dir / "out/a.txt"), "bye\r\n");
      std::vector<std::string> after = before;
      after.insert(after.begin(), "a.txt");
      EXPECT_EQ(NamesIn(t.dir / "out"), after);
    } else {
      // The levels above the one that cannot be made are made, as every run makes them.
      EXPECT_EQ(NamesIn(t.dir / "out"), std::vector<std::string>{});
    }
    if (TypeOf(t.dir / "out/sub") == fs::file_type::regular) {
      EXPECT_EQ(ReadFile(t.dir / "out/sub"), "a file\n");
    }
  }
}

// One tree with a link to a file outside it, loops of directory links, a dangling
// link, a FIFO and a socket. The walk ends, the special entries are listed (the
// listing takes every name) but passed over without being opened. The link leads out
// of the working directory, so writing into the sources passes it over like a special
// entry and leaves the file outside alone; into a plain target it is read through.
TEST(SpecialEntriesInTheTree, AreWalkedPastWithoutBlockingAndLinksAreKept) {
  for (const bool overSource : {true, false}) {
    SCOPED_TRACE(overSource ? "writing into the sources" : "writing to a target");
    ProgramTree t;
    const std::string outside = t.dir.write("outside/real.txt", "hello outside\n");
    ::chmod(outside.c_str(), 0640);
    const std::string work = t.dir.mkdir("work");
    t.dir.write("work/plain.txt", "hello\n");
    t.dir.write("work/sub/inner.txt", "hello inner\n");
    t.dir.mkdir("work/sub/deeper");
    fs::create_symlink("../outside/real.txt", work + "/link.txt");
    fs::create_directory_symlink("..", work + "/sub/up");
    fs::create_directory_symlink("../../sub", work + "/sub/deeper/back");
    fs::create_symlink("loop2", work + "/loop1");
    fs::create_symlink("loop1", work + "/loop2");
    fs::create_symlink("nowhere", work + "/dangling.txt");
    ASSERT_EQ(::mkfifo((work + "/pipe.txt").c_str(), 0644), 0);
    MakeSocket(work + "/sock.txt");

    std::string options = "Search=hello\r\nReplace=bye\r\nSubdirs=On\r\nOverFiles=On\r\n";
    options += overSource ? "OverSource=On\r\n"
                          : "CopyUnchanged=On\r\nTargetDir=" + t.dir.path() + "/out\r\n";
    const std::string job =
        t.dir.write("jobs/job.ini", "[GENERAL]\r\nWorkDir=" + work + "\r\n" + options);
    Outcome outcome = t.run(job);
    EXPECT_FALSE(outcome.hung);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    // dangling.txt link.txt loop1 loop2 pipe.txt plain.txt sock.txt sub/inner.txt
    EXPECT_EQ(outcome.out, overSource ? Results(8, 2, 2, 2) : Results(8, 3, 3, 3));

    EXPECT_EQ(fs::read_symlink(work + "/link.txt"), "../outside/real.txt");
    EXPECT_EQ(TypeOf(work + "/pipe.txt"), fs::file_type::fifo);
    EXPECT_EQ(TypeOf(work + "/sock.txt"), fs::file_type::socket);
    EXPECT_EQ(fs::read_symlink(work + "/loop1"), "loop2");
    EXPECT_EQ(fs::read_symlink(work + "/sub/up"), "..");
    EXPECT_EQ(NamesIn(work), (std::vector<std::string>{"dangling.txt", "link.txt", "loop1",
                                                       "loop2", "pipe.txt", "plain.txt",
                                                       "sock.txt", "sub"}));
    EXPECT_EQ(NamesIn(t.dir / "outside"), std::vector<std::string>{"real.txt"});
    struct stat st {};
    ::stat(outside.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (overSource) {
      EXPECT_EQ(ReadFile(outside), "hello outside\n") << "a link out of the tree is not written";
      EXPECT_EQ(ReadFile(work + "/plain.txt"), "bye\r\n");
      EXPECT_EQ(ReadFile(work + "/sub/inner.txt"), "bye inner\r\n");
      EXPECT_FALSE(Exists(t.dir / "out"));
    } else {
      EXPECT_EQ(ReadFile(outside), "hello outside\n");
      EXPECT_EQ(TypeOf(t.dir / "out/link.txt"), fs::file_type::regular);
      EXPECT_EQ(ReadFile(t.dir / "out/link.txt"), "bye outside\r\n");
      EXPECT_EQ(NamesIn(t.dir / "out"), (std::vector<std::string>{"link.txt", "plain.txt", "sub"}));
      EXPECT_EQ(NamesIn(t.dir / "out/sub"), std::vector<std::string>{"inner.txt"});
    }
  }
}

}  // namespace
}  // namespace quorvel
