// The dry mode of the run in this process: what it leaves to the front end's options
// half, and how it ends on an error.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/ReplaceRun.h"
#include "platform/Error.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"

namespace quorvel {
namespace {

using testing::RecordingHost;
using testing::TempDir;

// Records each decision as "ACTION HITS NAME".
struct DecisionHost : RecordingHost {
  std::vector<std::string> decisions;
  void showFileDecision(const FileDecision& decision) override {
    static const char* const kWords[] = {"write", "copy", "exists", "skip", "stop"};
    decisions.push_back(std::string(kWords[int(decision.action)]) + " " +
                        std::to_string(decision.hits) + " " +
                        std::string(decision.source.substr(decision.source.rfind('/') + 1)));
  }
};

struct DryRunSandbox {
  TempDir tmp;
  DecisionHost host;
  DryRunSandbox() {
    host.options.WorkDir = tmp.mkdir("work");
    host.options.TargetDir = tmp / "out";
    host.options.Search = "x";
    host.options.Replace = "y";
  }
};

TEST(DryRun, AsksNothingSavesNothingAndTakesNoSafetyAsStored) {
  DryRunSandbox box;
  box.tmp.write("work/bin.dat", std::string("x\0\0\0\0\0\0", 7));
  box.host.options.NoSafety = true;
  box.host.options.WorkDir += "/";  // normalised for the run, not in the field
  EXPECT_EQ(ReplaceRun(box.host, box.host, RunMode::Dry), RunEnd::Completed);
  EXPECT_EQ(box.host.confirms, 0);
  EXPECT_EQ(box.host.saves, 0);
  EXPECT_EQ(box.host.options.WorkDir, box.tmp / "work/");
  EXPECT_TRUE(box.host.messages.empty());
  EXPECT_EQ(box.host.decisions, (std::vector<std::string>{"write 1 bin.dat"}));
  EXPECT_EQ(box.host.busyChanges, (std::vector<bool>{true, false}));
  EXPECT_FALSE(testing::Exists(box.tmp / "out"));
}

TEST(DryRun, ASourceGoneBeforeItsTurnEndsItAsTheRealRun) {
  for (RunMode mode : {RunMode::Real, RunMode::Dry}) {
    DryRunSandbox box;
    const std::string gone = box.tmp.write("work/a.txt", "x\n");
    box.tmp.write("work/b.txt", "x\n");
    box.host.onCurrentFile = [&](const std::string& path) {
      if (path == gone) std::filesystem::remove(gone);
    };
    try {
      ReplaceRun(box.host, box.host, mode);
      ADD_FAILURE() << "no error";
    } catch (const Error& error) {
      EXPECT_EQ(std::string(error.what()), "Cannot open file " + gone);
    }
    EXPECT_TRUE(box.host.decisions.empty());
    EXPECT_FALSE(box.host.busyFlag);
  }
}

TEST(DryRun, DecidesAsTheRealRunDoes) {
  std::vector<std::string> seen[2];
  for (RunMode mode : {RunMode::Dry, RunMode::Real}) {
    DryRunSandbox box;
    box.tmp.write("work/a.txt", "x x\n");
    box.tmp.write("work/b.txt", "b\n");
    box.tmp.write("out/b.txt", "old\n");
    box.host.options.CopyUnchanged = true;
    box.host.options.Extensions = "txt;txt";
    ReplaceRun(box.host, box.host, mode);
    seen[int(mode)] = box.host.decisions;
  }
  EXPECT_EQ(seen[0], seen[1]);
  EXPECT_EQ(seen[1], (std::vector<std::string>{"write 2 a.txt", "exists 0 b.txt",
                                               "exists 2 a.txt", "exists 0 b.txt"}));
}

// Records the changed lines of each file, numbered in the file, from its blocks.
struct BlockHost : DecisionHost {
  std::vector<int64_t> changedLines;
  size_t blocks = 0;
  bool wantsTextBlocks() const override { return true; }
  void showTextBlock(const TextBlock& block) override {
    ++blocks;
    for (size_t i = 0; i < block.before.size(); ++i) {
      if (block.before[i] != block.after[i]) changedLines.push_back(block.firstLine + int64_t(i));
    }
  }
};

TEST(DryRun, TheBlocksOfALargeFileComeBeforeItsDecisionNumberedInTheFile) {
  for (RunMode mode : {RunMode::Dry, RunMode::Real}) {
    TempDir tmp;
    BlockHost host;
    host.options.WorkDir = tmp.mkdir("work");
    host.options.TargetDir = tmp / "out";
    host.options.Search = "x";
    host.options.Replace = "y";
    std::string text = "x\n";
    while (text.size() < (size_t(3) << 20) / 2) text += "line of the middle\n";
    const int64_t last = int64_t(std::count(text.begin(), text.end(), '\n'));
    text += "x\n";
    tmp.write("work/large.txt", text);
    EXPECT_EQ(ReplaceRun(host, host, mode), RunEnd::Completed);
    EXPECT_GT(host.blocks, 1u);
    EXPECT_EQ(host.changedLines, (std::vector<int64_t>{0, last}));
    EXPECT_EQ(host.decisions, (std::vector<std::string>{"write 2 large.txt"}));
    EXPECT_EQ(testing::Exists(tmp / "out/large.txt"), mode == RunMode::Real);
  }
}

}  // namespace
}  // namespace quorvel
