// quorvel-batch --dry-run and --diff end to end: on trees that reach every row of the
// output rules, what the dry run says equals what the real run then does to an equal
// tree, and the dry run leaves every byte, time and mode of its own tree alone.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "reliability/BatchProcess.h"

namespace quorvel {
namespace {

using testing::BatchTree;
using testing::Launch;
using testing::Outcome;
using testing::ReadBytes;

constexpr const char* kOverwriteLine =
    "Information: Zjištěn přepis existujícího souboru. Pokud chcete přepisovat soubory, "
    "zaškrtněte tuto volbu. Pro tentokrát byla operace zrušena.\n";
constexpr const char* kTargetDirLine = "Information: Nemohu vytvořit cílový adresář.\n";

struct File {
  std::string path;  // below the tree: work/... for sources, out/... for targets
  std::string bytes;
  bool readOnly = false;
};

// Everything lstat tells of every entry below root, and the bytes of the files.
struct Entry {
  mode_t mode;
  ino_t inode;
  int64_t mtime;
  std::string bytes;
  bool operator==(const Entry&) const = default;
};
using Snapshot = std::map<std::string, Entry>;

Snapshot Take(const std::string& root) {
  Snapshot shot;
  for (const auto& it : std::filesystem::recursive_directory_iterator(root)) {
    struct stat st {};
    ::lstat(it.path().c_str(), &st);
    Entry entry{st.st_mode, st.st_ino, int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                S_ISREG(st.st_mode) ? ReadBytes(it.path()) : std::string()};
    shot[it.path().string().substr(root.size())] = entry;
  }
  return shot;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

class DryRunTest : public ::testing::Test {
 protected:
  // The tree at root (below the test's folder) and its job; options are GENERAL lines.
  // links: where each link stands below root, and what it leads to (as written).
  std::string build(const std::string& root, const std::vector<File>& files,
                    const std::string& options, const std::string& targetDir = "out",
                    const std::vector<std::pair<std::string, std::string>>& links = {}) {
    tree_.dir.mkdir(root + "/work");
    for (const File& file : files) {
      const std::string path = tree_.dir.write(root + "/" + file.path, file.bytes);
      if (file.readOnly) ::chmod(path.c_str(), 0444);
    }
    for (const auto& [at, to] : links) {
      std::filesystem::create_directories(std::filesystem::path(tree_.dir / root + "/" + at).parent_path());
      std::filesystem::create_symlink(to, tree_.dir / root + "/" + at);
    }
    const std::string base = tree_.dir / root;
    return tree_.dir.write(root + ".ini", "[GENERAL]\r\nWorkDir=" + base + "/work\r\nTargetDir=" +
                                             base + "/" + targetDir + "\r\n" + options);
  }

  Outcome run(std::vector<std::string> args) { return tree_.run(Launch{std::move(args)}); }

  BatchTree tree_;
};

struct Case {
  const char* name;
  std::vector<File> files;
  std::string options;
  // The dry run's lines, with paths below the tree.
  std::string lines;
  int status = 0;
  std::string targetDir = "out";
  std::vector<std::pair<std::string, std::string>> links = {};
};

const std::string kText = "Search=x\r\nReplace=y\r\nCaseSensitive=On\r\nSubdirs=On\r\n";
const std::string kBinary("x\0\0\0\0\0\0", 7);

TEST_F(DryRunTest, SaysWhatTheRunThenDoes) {
  const std::vector<Case> cases = {
      {"into a target tree, copying unchanged files",
       {{"work/.hidden.txt", "x"},
        {"work/bin.dat", kBinary},
        {"work/binex.dat", kBinary},
        {"out/binex.dat", "old\n"},
        {"work/changed.txt", "a x\n"},
        {"work/exists.txt", "x\n"},
        {"out/exists.txt", "old\n"},
        {"work/rosrc.txt", "x\n", true},
        {"work/same.txt", "a\r\n"},
        {"work/sub/rot.txt", "x\n"},
        {"out/sub/rot.txt", "old\n", true}},
       kText + "CopyUnchanged=On\r\n",
       "skip\t0\twork/.hidden.txt\n"
       "copy\t0\twork/bin.dat\n"
       "exists\t0\twork/binex.dat\n"
       "write\t1\twork/changed.txt\n"
       "exists\t1\twork/exists.txt\n"
       "write\t1\twork/rosrc.txt\n"
       "copy\t0\twork/same.txt\n"
       "skip\t1\twork/sub/rot.txt\n"},
      {"overwriting, read-only ignored, no copies",
       {{"work/a.txt", "x\n"},
        {"out/a.txt", "old\n"},
        {"work/bin.dat", kBinary},
        {"work/ro.txt", "x x\n"},
        {"out/ro.txt", "old\n", true},
        {"work/same.txt", "a\n"},
        {"work/samero.txt", "a\n"},
        {"out/samero.txt", "old\n", true}},
       kText + "OverFiles=On\r\nIgnoreReadOnly=On\r\n",
       "write\t1\twork/a.txt\n"
       "skip\t0\twork/bin.dat\n"
       "write\t2\twork/ro.txt\n"
       "skip\t0\twork/same.txt\n"
       "skip\t0\twork/samero.txt\n"},
      {"listed twice into a target tree",
       {{"work/a.txt", "x\n"}, {"work/r.txt", "x\n", true}},
       kText + "Extensions=txt;txt\r\nCopyUnchanged=On\r\n",
       "write\t1\twork/a.txt\n"
       "write\t1\twork/r.txt\n"
       "exists\t1\twork/a.txt\n"
       "skip\t1\twork/r.txt\n"},
      {"listed twice into the sources: the second listing reads what the first wrote",
       {{"work/a.txt", "x x\r\n"}, {"work/b.txt", "b\n"}},
       kText + "Extensions=txt;txt\r\nOverSource=On\r\nOverFiles=On\r\n",
       "write\t2\twork/a.txt\n"
       "skip\t0\twork/b.txt\n"
       "skip\t0\twork/a.txt\n"
       "skip\t0\twork/b.txt\n"},
      {"into the sources without overwriting",
       {{"work/a.txt", "x\n"}},
       kText + "OverSource=On\r\n",
       "exists\t1\twork/a.txt\n"},
      {"a target tree that does not exist yet is created level by level",
       {{"work/a.txt", "x\n"}, {"work/sub/deeper/b.txt", "x\n"}},
       kText,
       "write\t1\twork/a.txt\n"
       "write\t1\twork/sub/deeper/b.txt\n",
       0, "new/tree"},
      {"a file where a target directory should be ends the run",
       {{"work/a.txt", "x\n"}, {"work/sub/b.txt", "x\n"}, {"work/sub/c.txt", "x\n"},
        {"out/sub", "a file\n"}},
       kText,
       "write\t1\twork/a.txt\n"
       "stop\t0\twork/sub/b.txt\n",
       2},
      {"a link where a target directory should be ends the run",
       {{"work/a.txt", "x\n"}, {"work/sub/b.txt", "x\n"}, {"elsewhere/keep", "k\n"}},
       kText,
       "write\t1\twork/a.txt\n"
       "stop\t0\twork/sub/b.txt\n",
       2, "out", {{"out/sub", "../elsewhere"}}},
      {"into the sources, a link out of the working directory is system",
       {{"work/a.txt", "x\n"}, {"outside/o.txt", "x\n"}},
       kText + "OverSource=On\r\nOverFiles=On\r\n",
       "write\t1\twork/a.txt\n"
       "skip\t0\twork/l.txt\n",
       0, "out", {{"work/l.txt", "../outside/o.txt"}}},
      {"a link at the target that leads out of the target tree is system",
       {{"work/a.txt", "x\n"}, {"work/b.txt", "x\n"}, {"outside/t.txt", "old\n"}},
       kText + "OverFiles=On\r\n",
       "skip\t1\twork/a.txt\n"
       "write\t1\twork/b.txt\n",
       0, "out", {{"out/a.txt", "../outside/t.txt"}}},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dry = "dry" + std::to_string(n);
    const std::string real = "real" + std::to_string(n++);
    const std::string dryJob = build(dry, c.files, c.options, c.targetDir, c.links);
    const std::string realJob = build(real, c.files, c.options, c.targetDir, c.links);
    const Snapshot before = Take(tree_.dir / dry);
    const std::string jobBefore = ReadBytes(dryJob);

    const Outcome preview = run({"--dry-run", dryJob});
    EXPECT_EQ(preview.status, c.status);
    EXPECT_EQ(preview.err, "") << "a dry run shows no message";
    const std::string base = tree_.dir / dry + "/";
    const size_t results = preview.out.find("Bude se");
    ASSERT_NE(results, std::string::npos) << preview.out;
    EXPECT_EQ(Replace(preview.out.substr(0, results), base, ""), c.lines);
    EXPECT_TRUE(Take(tree_.dir / dry) == before) << "the dry run changed its tree";
    EXPECT_EQ(ReadBytes(dryJob), jobBefore);

    const Snapshot realBefore = Take(tree_.dir / real);
    const Outcome done = run({realJob});
    EXPECT_EQ(done.status, c.status);
    EXPECT_EQ(done.out.substr(done.out.find("Bude se")), preview.out.substr(results));
    EXPECT_EQ(Count(done.err, kOverwriteLine), Count(c.lines, "exists\t"));
    EXPECT_EQ(Count(done.err, kTargetDirLine), Count(c.lines, "stop\t"));

    // Every target the dry run would write or copy is new or replaced after the real
    // run, and no other file below the target root is.
    const bool intoSources = c.options.find("OverSource=On") != std::string::npos;
    std::map<std::string, bool> expectWritten;
    std::istringstream lines(c.lines);
    for (std::string line; std::getline(lines, line);) {
      const std::string action = line.substr(0, line.find('\t'));
      const std::string source = line.substr(line.rfind('\t') + 1);
      const std::string target =
          intoSources ? source : c.targetDir + source.substr(std::string("work").size());
      expectWritten["/" + target] |= action == "write" || action == "copy";
    }
    const Snapshot after = Take(tree_.dir / real);
    for (const auto& [path, entry] : after) {
      if (S_ISDIR(entry.mode)) continue;
      const auto old = realBefore.find(path);
      // A file written twice may get its first inode number back.
      const bool written = old == realBefore.end() || old->second.inode != entry.inode ||
                           old->second.mtime != entry.mtime || old->second.bytes != entry.bytes;
      EXPECT_EQ(written, expectWritten[path]) << path;
    }
  }
}

TEST_F(DryRunTest, TheDiffPatchedIntoACopyGivesWhatAWriteIntoTheSourcesWrites) {
  // Search and replacement in windows-1250: "č" is E8, its capital C8, "ž" 9E.
  const std::vector<File> files = {
      {"work/crlf.txt", "one\r\ntwo x\r\nthree\r\n"},
      {"work/lf.txt", "1\nx 2\n3\n4\n5\n6\n7\n8\n9\n10\n11\nX 12\n13\n"},
      {"work/cr.txt", "x\ra\rb\r"},
      {"work/open end.txt", "a\nb x"},
      {"work/mixed.txt", "a\r\nb\nc\rx\n\nlast"},
      {"work/cp1250.txt", "\xe8" "apek \xc8" "APEK\r\nx\r\n"},
      {"work/\xc5\xbelu\xc5\xa5/utf8.txt", "\xc5\xbelu\xc5\xa5ou\xc4\x8dk\xc3\xbd x\n"},
      {"work/nul.txt", std::string("x\nb\nc\nd\0tail", 13)},
      {"work/unchanged.txt", "nothing\n"},
      {"work/empty.txt", ""},
      // Larger than one block of the stream, with changes in its first and last blocks.
      {"work/large.txt", "x first\n" + std::string(1500000, 'a') + "\n" +
                             std::string(300000, 'b') + "\nlast x \xe8\r\n"},
  };
  const std::string options =
      "Search=\xe8\r\nReplace=x\xe8x\r\nSubdirs=On\r\nOverSource=On\r\nOverFiles=On\r\n";
  const std::string xOptions = "Search=x\r\nReplace=\x9e\r\nSubdirs=On\r\nOverSource=On\r\n"
                               "OverFiles=On\r\n";
  for (const std::string& job : {options, xOptions}) {
    SCOPED_TRACE(job);
    const std::string dryJob = build("dry", files, job);
    const std::string realJob = build("real", files, job);
    build("patched", files, job);
    const Snapshot before = Take(tree_.dir / "dry");

    const Outcome diff = run({"--dry-run", "--diff", dryJob});
    ASSERT_EQ(diff.status, 0) << diff.err;
    EXPECT_EQ(diff.out.find("Bude se"), std::string::npos) << "the diff alone";
    EXPECT_NE(diff.out.find("+++ b/cp1250.txt\n"), std::string::npos) << diff.out;
    EXPECT_TRUE(Take(tree_.dir / "dry") == before);
    const std::string patchFile = tree_.dir.write("io/changes.diff", diff.out);
    const std::string command = "cd '" + tree_.dir / "patched/work" +
                                "' && patch -p1 --binary --quiet --force < '" + patchFile + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << diff.out;

    ASSERT_EQ(run({realJob}).status, 0);
    const Snapshot real = Take(tree_.dir / "real/work");
    const Snapshot patched = Take(tree_.dir / "patched/work");
    ASSERT_EQ(real.size(), patched.size());
    for (const auto& [path, entry] : real) {
      ASSERT_TRUE(patched.count(path)) << path;
      EXPECT_EQ(patched.at(path).bytes, entry.bytes) << path;
    }
    std::filesystem::remove_all(tree_.dir / "dry");
    std::filesystem::remove_all(tree_.dir / "real");
    std::filesystem::remove_all(tree_.dir / "patched");
  }
}

}  // namespace
}  // namespace quorvel
