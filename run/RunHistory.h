#pragma once
// The kept runs as both front ends offer them: the listing and the choice of the run
// an undo takes back. The undo itself is platform::UndoRun.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/RunJournal.h"

namespace quorvel {

// The run with id when it is kept and not undone; without an id, the newest such run.
std::optional<platform::RunSummary> RunToUndo(const std::string& id = {});

// One line per kept run, newest first: id, start (ISO 8601, local time), settings file,
// files written, "done" or "undone", separated by tabs. The settings file is shown as
// shownPath gives it (a console escapes control characters).
std::string RunListing(const std::function<std::string(const std::string&)>& shownPath);

// The moment as ISO 8601 local time with its offset: 2024-05-21T14:22:33+02:00.
std::string IsoLocalTime(int64_t seconds);

}  // namespace quorvel
