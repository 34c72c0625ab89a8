#include "app/BatchHost.h"

#include <istream>
#include <ostream>

#include "files/PathText.h"
#include "run/Texts.h"
#include "settings/Settings.h"

namespace quorvel {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarCells = 10;
constexpr std::string_view kEllipsis = "...";

// Terminal columns of UTF-8 text count one per character, close enough for a status
// line: every byte but a continuation byte starts one.
bool ContinuesCharacter(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

size_t Columns(std::string_view text) {
  size_t columns = 0;
  for (char c : text) {
    if (!ContinuesCharacter(c)) ++columns;
  }
  return columns;
}

// The start of text that fits into columns, ending at a character boundary.
std::string_view HeadFitting(std::string_view text, size_t columns) {
  size_t end = 0;
  for (size_t used = 0; end < text.size() && used < columns; ++used) {
    ++end;
    while (end < text.size() && ContinuesCharacter(text[end])) ++end;
  }
  return text.substr(0, end);
}

// The end of text that fits into columns, starting at a character boundary.
std::string_view TailFitting(std::string_view text, size_t columns) {
  size_t start = text.size();
  for (size_t used = 0; start > 0 && used < columns; ++used) {
    --start;
    while (start > 0 && ContinuesCharacter(text[start])) --start;
  }
  return text.substr(start);
}

// A control character as a listing on a terminal shows it: a letter escape where C
// has one, otherwise three octal digits.
void AppendEscaped(std::string& out, unsigned char c) {
  static constexpr char kLetters[] = "abtnvfr";
  if (c >= '\a' && c <= '\r') {
    out.push_back('\\');
    out.push_back(kLetters[c - '\a']);
    return;
  }
  AppendOctalEscape(out, c);
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// Whether text[i] starts a UTF-8 C1 control (U+0080 to U+009F), which a terminal may
// take as the start of a command just as it takes ESC.
bool StartsC1Control(std::string_view text, size_t i) {
  return static_cast<unsigned char>(text[i]) == 0xC2 && i + 1 < text.size() &&
         static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
         static_cast<unsigned char>(text[i + 1]) <= 0x9F;
}

}  // namespace

std::string TerminalSafe(std::string_view text, bool keepLineFeeds) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (keepLineFeeds && c == '\n') {
      out.push_back('\n');
    } else if (IsControl(c)) {
      AppendEscaped(out, c);
    } else if (StartsC1Control(text, i)) {
      AppendEscaped(out, c);
      AppendEscaped(out, static_cast<unsigned char>(text[++i]));
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

BatchHost::BatchHost(std::istream& in, std::ostream& err, int progressColumns,
                     bool inputIsTerminal)
    : in_(in), err_(err), columns_(progressColumns), inputIsTerminal_(inputIsTerminal) {}

void BatchHost::showFileCount(int32_t count) {
  fileCountShown_ = true;
  fileCount_ = count;
  progressChanged();
}

void BatchHost::showCurrentFile(const std::string& path) {
  currentFile_ = path;  // made safe for the terminal when it is drawn
  progressChanged();
}

void BatchHost::setProgressPosition(int32_t position) {
  position_ = position;
  progressChanged();
}

void BatchHost::setProgressMaximum(int32_t maximum) {
  maximum_ = maximum;
  progressChanged();
}

void BatchHost::showCounter(RunCounter counter, int32_t value) {
  switch (counter) {
    case RunCounter::LinesRead:
      linesRead_ = value;
      break;
    case RunCounter::HitsFound:
      hitsFound_ = value;
      break;
    case RunCounter::FilesChanged:
      filesChanged_ = value;
      break;
  }
  progressChanged();
}

void BatchHost::showInformation(const std::string& text) { showMessage(kInformationCaption, text); }
void BatchHost::showWarning(const std::string& text) { showMessage(kWarningCaption, text); }

void BatchHost::showMessage(const std::string& caption, const std::string& text) {
  clearProgress();
  err_ << caption << ": " << TerminalSafe(LfLineBreaks(text), true) << '\n' << std::flush;
}

std::string BatchHost::askLine(const std::string& title, const std::string& prompt) {
  clearProgress();
  err_ << title << ": " << TerminalSafe(LfLineBreaks(prompt), true) << ' ' << std::flush;
  std::string answer;
  // No input at all is a cancelled box: the empty answer.
  if (!std::getline(in_, answer)) answer.clear();
  if (!answer.empty() && answer.back() == '\r') answer.pop_back();
  if (!inputIsTerminal_) err_ << '\n' << std::flush;
  return answer;
}

void BatchHost::endProgress() { clearProgress(); }

std::string BatchHost::resultLines() const {
  auto line = [](const char* caption, int32_t value) {
    return std::string(caption) + " " + IntToDecimal(value) + "\n";
  };
  return line(kFileCountCaption, fileCount_) + line(kLinesReadCaption, linesRead_) +
         line(kHitsFoundCaption, hitsFound_) + line(kFilesChangedCaption, filesChanged_);
}

void BatchHost::Notice::begin(const std::string& text) {
  if (host_.columns_ > 0) host_.drawProgress(text);
}

void BatchHost::progressChanged() {
  if (columns_ <= 0) return;
  auto now = std::chrono::steady_clock::now();
  // Also after a message has cleared the line, so the rate holds however often the
  // run reports.
  if (drawnOnce_ && now - lastDraw_ < kRedrawInterval) return;
  drawProgress(progressText());
}

std::string BatchHost::progressText() const {
  int32_t filled = 0;
  if (maximum_ > 0 && position_ > 0) {
    filled = int32_t(int64_t(position_ < maximum_ ? position_ : maximum_) * kBarCells / maximum_);
  }
  std::string line = IntToDecimal(position_) + "/" + IntToDecimal(maximum_) + " [" +
                     std::string(size_t(filled), '#') +
                     std::string(size_t(kBarCells - filled), '-') + "] řádků " +
                     IntToDecimal(linesRead_) + " výskytů " + IntToDecimal(hitsFound_) +
                     " změněno " + IntToDecimal(filesChanged_);
  if (currentFile_.empty()) return line;
  const std::string file = TerminalSafe(currentFile_, false);
  // The end of the path carries the file name, so a long path loses its start.
  const size_t room = lineRoom();
  size_t used = Columns(line) + 1;
  if (used + kEllipsis.size() >= room) return line;
  size_t left = room - used;
  if (Columns(file) <= left) return line + " " + file;
  return line + " " + std::string(kEllipsis) +
         std::string(TailFitting(file, left - kEllipsis.size()));
}

void BatchHost::drawProgress(const std::string& line) {
  err_ << "\r\033[K" << HeadFitting(line, lineRoom()) << std::flush;
  lineShown_ = true;
  drawnOnce_ = true;
  lastDraw_ = std::chrono::steady_clock::now();
}

void BatchHost::clearProgress() {
  if (!lineShown_) return;
  err_ << "\r\033[K" << std::flush;
  lineShown_ = false;
}

}  // namespace quorvel
