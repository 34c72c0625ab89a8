#include "files/FileList.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace quorvel {
namespace {

using testing::TempDir;

class CountingNotice final : public ListingNotice {
 public:
  void begin(const std::string& text) override {
    ++begins;
    lastText = text;
    if (failOnBegin) throw std::runtime_error("begin failed");
  }
  void end() override { ++ends; }

  int begins = 0;
  int ends = 0;
  bool failOnBegin = false;
  std::string lastText;
};

// A tree whose directory "A" is delivered before the file "a.txt", with a hidden
// file and a hidden directory, a directory whose name matches "*.txt" and names
// with several points and none.
class FileListTree : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* file :
         {"a.txt", "B.TXT", "c.d.Txt", "a.txt.bak", "README", "page.html", ".hidden.txt", "A/b.txt",
          "A/z.htm", "A/deep/c.txt", ".git/x.txt", "dir.txt/inner.txt"}) {
      tmp.write(file, "x");
    }
  }

  // The paths of a build, relative to the tree, or the failing full path.
  std::vector<std::string> Build(const std::string& filter, bool subdirs) {
    FileList list;
    SilentListingNotice notice;
    int32_t count = BuildFileList(list, tmp.path(), filter, subdirs, notice);
    EXPECT_EQ(count, static_cast<int32_t>(list.size()));
    return Relative(list);
  }

  std::vector<std::string> Relative(const FileList& list) const {
    std::vector<std::string> relative;
    const std::string prefix = tmp.path() + "/";
    for (const std::string& path : list) {
      relative.push_back(path.rfind(prefix, 0) == 0 ? path.substr(prefix.size()) : path);
    }
    return relative;
  }

  TempDir tmp;
};

struct BuildCase {
  std::string filter;
  bool subdirs;
  std::vector<std::string> files;
};

TEST_F(FileListTree, ListsByItemThenDepthFirstInSearchOrder) {
  const std::vector<std::string> txtHere = {".hidden.txt", "a.txt", "B.TXT", "c.d.Txt"};
  const std::vector<std::string> txtTree = {
      ".hidden.txt", "a.txt", "B.TXT", "c.d.Txt", "A/b.txt", "A/deep/c.txt", "dir.txt/inner.txt"};
  const std::vector<std::string> everyFileHere = {".hidden.txt", "a.txt",     "a.txt.bak", "B.TXT",
                                                  "c.d.Txt",     "page.html", "README"};
  auto twice = [](std::vector<std::string> v) {
    std::vector<std::string> copy = v;
    v.insert(v.end(), copy.begin(), copy.end());
    return v;
  };
  auto then = [](std::vector<std::string> v, const std::vector<std::string>& more) {
    v.insert(v.end(), more.begin(), more.end());
    return v;
  };

  const BuildCase cases[] = {
      {"", false, everyFileHere},
      {" \t ", false, everyFileHere},
      {"txt", false, txtHere},
      {"txt", true, txtTree},
      {"\"txt\"", false, txtHere},
      {"txt;TXT", false, twice(txtHere)},
      {"txt;", false, then(txtHere, {"README"})},  // the empty item: names without a point
      {"bak", false, {"a.txt.bak"}},
      {"htm*", true, {"page.html", "A/z.htm"}},
      {"htm txt", true, then({"A/z.htm"}, txtTree)},
      {"x/txt", true, {}},  // a separator can never be part of a name
      {"doc", true, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Build(c.filter, c.subdirs), c.files)
        << "filter \"" << c.filter << "\", subdirs " << c.subdirs;
  }
}

TEST_F(FileListTree, EveryFileOfTheTreeWithAnEmptyFilter) {
  EXPECT_EQ(Build("", true),
            (std::vector<std::string>{".hidden.txt", "a.txt", "a.txt.bak", "B.TXT", "c.d.Txt",
                                      "page.html", "README", "A/b.txt", "A/z.htm", "A/deep/c.txt",
                                      "dir.txt/inner.txt"}));
}

TEST_F(FileListTree, QuotedWorkDirIsSearchedWithoutQuotes) {
  FileList list;
  SilentListingNotice notice;
  ASSERT_EQ(BuildFileList(list, "\"" + tmp.path() + "\"", "bak", false, notice), 1);
  EXPECT_EQ(list[0], tmp.path() + "/a.txt.bak");
}

TEST_F(FileListTree, WorkDirWithTrailingSlashGetsNoSecondOne) {
  FileList list;
  SilentListingNotice notice;
  ASSERT_EQ(BuildFileList(list, tmp.path() + "/", "bak", true, notice), 1);
  EXPECT_EQ(list[0], tmp.path() + "/a.txt.bak");
}

TEST_F(FileListTree, MissingOrFileWorkDirGivesNoEntriesAndEmptiesTheList) {
  for (const std::string& dir : {tmp / "missing", tmp / "a.txt", std::string()}) {
    FileList list = {"left over"};
    CountingNotice notice;
    EXPECT_EQ(BuildFileList(list, dir, "", true, notice), 0) << dir;
    EXPECT_TRUE(list.empty()) << dir;
    EXPECT_EQ(notice.ends, 1) << dir;
  }
}

TEST_F(FileListTree, NoticeHearsBeginWithTextAndEndOnce) {
  FileList list;
  CountingNotice notice;
  BuildFileList(list, tmp.path(), "txt", true, notice);
  EXPECT_EQ(notice.begins, 1);
  EXPECT_EQ(notice.lastText, "Načítám seznam souborů...");
  EXPECT_EQ(notice.ends, 1);
}

TEST_F(FileListTree, NoticeHearsEndWhenTheBuildFails) {
  FileList list;
  CountingNotice notice;
  notice.failOnBegin = true;
  EXPECT_THROW(BuildFileList(list, tmp.path(), "txt", true, notice), std::runtime_error);
  EXPECT_EQ(notice.ends, 1);
}

TEST_F(FileListTree, SubdirectoriesAreVisibleRealDirectoriesWithoutSlash) {
  ASSERT_EQ(::symlink("A", (tmp / "linked").c_str()), 0);
  EXPECT_EQ(Relative(ListSubdirectories(tmp.path())), (std::vector<std::string>{"A", "dir.txt"}));
  EXPECT_EQ(Relative(ListFiles(tmp.path() + "/", "htm*")), (std::vector<std::string>{"page.html"}));
}

TEST(FileListLinks, WalkEndsAndLinksToFilesAreListed) {
  TempDir tmp;
  tmp.write("a.txt", "x");
  tmp.write("sub/b.txt", "x");
  ASSERT_EQ(::symlink(".", (tmp / "loop").c_str()), 0);
  ASSERT_EQ(::symlink("..", (tmp / "sub/up").c_str()), 0);
  ASSERT_EQ(::symlink("a.txt", (tmp / "link.txt").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", (tmp / "gone.txt").c_str()), 0);
  ASSERT_EQ(::symlink("self.txt", (tmp / "self.txt").c_str()), 0);

  FileList list;
  SilentListingNotice notice;
  BuildFileList(list, tmp.path(), "", true, notice);
  // Dangling and looping links are listed like any system file; the run skips them.
  const std::string d = tmp.path() + "/";
  EXPECT_EQ(list, (FileList{d + "a.txt", d + "gone.txt", d + "link.txt", d + "self.txt",
                            d + "sub/b.txt"}));
}

TEST(FileListSpecialFiles, FifoAndReadOnlyFilesAreListed) {
  TempDir tmp;
  tmp.write("r.txt", "x");
  ASSERT_EQ(::chmod((tmp / "r.txt").c_str(), 0444), 0);
  ASSERT_EQ(::mkfifo((tmp / "pipe.txt").c_str(), 0600), 0);

  FileList list;
  SilentListingNotice notice;
  EXPECT_EQ(BuildFileList(list, tmp.path(), "txt", false, notice), 2);
  EXPECT_EQ(list, (FileList{tmp / "pipe.txt", tmp / "r.txt"}));
}

}  // namespace
}  // namespace quorvel
