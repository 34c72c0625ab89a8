#include "run/RunHistory.h"

#include <ctime>
#include <vector>

namespace quorvel {

std::optional<platform::RunSummary> RunToUndo(const std::string& id) {
  for (const platform::RunSummary& run : platform::ListRuns()) {
    if (run.undone) continue;
    if (id.empty() || run.id == id) return run;
  }
  return std::nullopt;
}

std::string RunListing(const std::function<std::string(const std::string&)>& shownPath) {
  std::string lines;
  for (const platform::RunSummary& run : platform::ListRuns()) {
    lines += run.id + "\t" + IsoLocalTime(run.startSec) + "\t" + shownPath(run.settingsFile) + "\t" +
             std::to_string(run.filesWritten) + "\t" + (run.undone ? "undone" : "done") + "\n";
  }
  return lines;
}

std::string IsoLocalTime(int64_t seconds) {
  const std::time_t at = std::time_t(seconds);
  std::tm local{};
  localtime_r(&at, &local);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
  // The offset as +hh:mm.
  std::string iso = text;
  if (iso.size() >= 5) iso.insert(iso.size() - 2, ":");
  return iso;
}

}  // namespace quorvel
