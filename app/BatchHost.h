#pragma once
// The front end of the headless batch runner: options in memory, messages on standard
// error as "Caption: text", the safety answer from standard input, and a one-line
// progress display when standard error is a terminal.

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

#include "app/DryRun.h"
#include "engine/RunHost.h"
#include "run/FrontEnd.h"
#include "settings/Options.h"
#include "settings/SafetyCheck.h"

namespace quorvel {

// text with every control character escaped, so that a file name can neither move the
// cursor nor change the terminal; with keepLineFeeds the line breaks of a message stay.
std::string TerminalSafe(std::string_view text, bool keepLineFeeds);

class BatchHost final : public RunDisplays, public SafetyDialogs {
 public:
  // progressColumns is the terminal width for the progress line; 0 shows none. An
  // answer typed on a terminal ends its own line; read from elsewhere it is not echoed,
  // so the prompt's line is ended here.
  BatchHost(std::istream& in, std::ostream& err, int progressColumns, bool inputIsTerminal);

  OptionValues& values() { return values_; }
  // Where the blocks and the decision of every file go; nowhere by default.
  void listTo(DryRunListing* listing) { listing_ = listing; }
  ControlOptions& options() { return options_; }

  void showFileCount(int32_t count) override;
  void showCurrentFile(const std::string& path) override;
  void setProgressPosition(int32_t position) override;
  void setProgressMaximum(int32_t maximum) override;
  void showCounter(RunCounter counter, int32_t value) override;
  void showInformation(const std::string& text) override;
  bool wantsTextBlocks() const override { return listing_ && listing_->wantsTextBlocks(); }
  void showTextBlock(const TextBlock& block) override {
    if (listing_) listing_->show(block);
  }
  void showFileDecision(const FileDecision& decision) override {
    if (listing_) listing_->show(decision);
  }
  void pumpEvents() override {}
  ListingNotice& listingNotice() override { return notice_; }

  void showWarning(const std::string& text) override;
  std::string askLine(const std::string& title, const std::string& prompt) override;

  // A message of the caller's own, e.g. the error that ended the job.
  void showMessage(const std::string& caption, const std::string& text);
  // Removes the progress line, so that the terminal is left clean.
  void endProgress();
  // Whether the run got as far as showing the length of its list.
  bool fileCountShown() const { return fileCountShown_; }
  // The four results under the captions the window shows them with.
  std::string resultLines() const;

 private:
  class Notice final : public ListingNotice {
   public:
    explicit Notice(BatchHost& host) : host_(host) {}
    void begin(const std::string& text) override;
    void end() override {}

   private:
    BatchHost& host_;
  };

  void progressChanged();
  void drawProgress(const std::string& line);
  void clearProgress();
  std::string progressText() const;
  // The columns the progress line may fill: all but the last, as a line that wraps can
  // no longer be redrawn in place.
  size_t lineRoom() const { return size_t(columns_ - 1); }

  DryRunListing* listing_ = nullptr;
  OptionValues values_;
  ControlOptions options_{values_, *this};
  Notice notice_{*this};
  std::istream& in_;
  std::ostream& err_;
  int columns_;
  bool inputIsTerminal_;
  bool lineShown_ = false;
  bool drawnOnce_ = false;
  std::chrono::steady_clock::time_point lastDraw_{};

  bool fileCountShown_ = false;
  int32_t fileCount_ = 0;
  int32_t position_ = 0;
  int32_t maximum_ = 0;
  int32_t linesRead_ = 0;
  int32_t hitsFound_ = 0;
  int32_t filesChanged_ = 0;
  std::string currentFile_;
};

}  // namespace quorvel
