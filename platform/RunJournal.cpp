#include "platform/RunJournal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <set>

#include "platform/FileCopy.h"
#include "platform/PathParts.h"

namespace quorvel::platform {

namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
constexpr const char* kRunFile = "run";
constexpr const char* kRecordsFile = "records";
constexpr const char* kOldFolder = "old";
constexpr const char* kUndoneFile = "undone";

bool g_copies = false;

// Fields are tab-separated and records end with a line feed, so a name keeps those
// two, the carriage return and the escape character itself as %XX.
std::string Escaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
      char code[4];
      std::snprintf(code, sizeof code, "%%%02X", unsigned(static_cast<unsigned char>(c)));
      out += code;
    } else {
      out += c;
    }
  }
  return out;
}

std::string Unescaped(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += char(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  size_t at = 0;
  for (;;) {
    const size_t tab = line.find('\t', at);
    fields.push_back(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
    if (tab == std::string::npos) return fields;
    at = tab + 1;
  }
}

int64_t Number(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

std::string IdentityFields(const FileIdentity& id) {
  return std::to_string(id.device) + "\t" + std::to_string(id.inode) + "\t" +
         std::to_string(id.size) + "\t" + std::to_string(id.mtimeSec) + "\t" +
         std::to_string(id.mtimeNsec);
}

// Five fields from at: device, inode, size and the last-write time.
FileIdentity IdentityAt(const std::vector<std::string>& fields, size_t at) {
  FileIdentity id;
  if (fields.size() < at + 5) return id;
  id.device = uint64_t(Number(fields[at]));
  id.inode = uint64_t(Number(fields[at + 1]));
  id.size = Number(fields[at + 2]);
  id.mtimeSec = Number(fields[at + 3]);
  id.mtimeNsec = Number(fields[at + 4]);
  return id;
}

// The same file as far as the journal tells files apart: inode, size and time.
bool SameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.device == b.device && a.inode == b.inode && a.size == b.size &&
         a.mtimeSec == b.mtimeSec && a.mtimeNsec == b.mtimeNsec;
}

bool MakeLevels(const std::string& path) {
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at != path.size() && path[at] != '/') continue;
    const std::string level = path.substr(0, at);
    if (::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadSmallFile(int dirfd, const char* name, std::string& out) {
  const int fd = ::openat(dirfd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  char block[65536];
  out.clear();
  for (;;) {
    const ssize_t n = ::read(fd, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(block, size_t(n));
  }
  ::close(fd);
  return true;
}

// Whole lines only: one cut short by a killed run is as if never written.
std::vector<std::vector<std::string>> RecordLines(int runfd) {
  std::vector<std::vector<std::string>> records;
  std::string text;
  if (!ReadSmallFile(runfd, kRecordsFile, text)) return records;
  size_t at = 0;
  for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    records.push_back(Fields(text.substr(at, end - at)));
  }
  return records;
}

void RemoveTreeAt(int parentfd, const char* name) {
  const int fd = ::openat(parentfd, name, kDirFlags | O_NOFOLLOW);
  if (fd >= 0) {
    if (DIR* dir = ::fdopendir(fd)) {
      while (const dirent* entry = ::readdir(dir)) {
        if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, "..")) continue;
        if (::unlinkat(fd, entry->d_name, 0) != 0 && (errno == EISDIR || errno == EPERM)) {
          RemoveTreeAt(fd, entry->d_name);
        }
      }
      ::closedir(dir);
    } else {
      ::close(fd);
    }
  }
  ::unlinkat(parentfd, name, AT_REMOVEDIR);
}

// What a summary holds: the start alone, which orders the runs, or every field.
enum class SummaryFields { Start, All };

std::optional<RunSummary> SummaryOf(int runsfd, const std::string& id, SummaryFields wanted) {
  const int fd = ::openat(runsfd, id.c_str(), kDirFlags | O_NOFOLLOW);
  if (fd < 0) return std::nullopt;
  std::string header;
  if (!ReadSmallFile(fd, kRunFile, header)) {
    ::close(fd);
    return std::nullopt;
  }
  RunSummary run;
  run.id = id;
  size_t at = 0;
  for (size_t end; (end = header.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::vector<std::string> fields = Fields(header.substr(at, end - at));
    if (fields.size() >= 2 && fields[0] == "start") run.startSec = Number(fields[1]);
    if (fields.size() >= 2 && fields[0] == "settings") run.settingsFile = Unescaped(fields[1]);
  }
  if (wanted == SummaryFields::Start) {
    ::close(fd);
    return run;
  }
  std::set<std::string> cancelled;
  const std::vector<std::vector<std::string>> records = RecordLines(fd);
  for (const auto& record : records) {
    if (record.size() >= 3 && record[0] == "X") cancelled.insert(record[2]);
  }
  for (const auto& record : records) {
    if (record.size() >= 2 && (record[0] == "R" || record[0] == "C") && !cancelled.count(record[1])) {
      ++run.filesWritten;
    }
  }
  struct stat st;
  run.undone = ::fstatat(fd, kUndoneFile, &st, AT_SYMLINK_NOFOLLOW) == 0;
  ::close(fd);
  return run;
}

std::vector<RunSummary> RunsIn(const std::string& runs, SummaryFields wanted) {
  std::vector<RunSummary> list;
  if (runs.empty()) return list;
  const int fd = ::open(runs.c_str(), kDirFlags);
  if (fd < 0) return list;
  const int listed = ::dup(fd);
  if (DIR* dir = listed >= 0 ? ::fdopendir(listed) : nullptr) {
    while (const dirent* entry = ::readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      if (std::optional<RunSummary> run = SummaryOf(fd, entry->d_name, wanted)) {
        list.push_back(*run);
      }
    }
    ::closedir(dir);
  }
  ::close(fd);
  // Ids start with the start time, so they break ties of the same second in order.
  std::sort(list.begin(), list.end(), [](const RunSummary& a, const RunSummary& b) {
    return a.startSec != b.startSec ? a.startSec > b.startSec : a.id > b.id;
  });
  return list;
}

// "20240521-142233-017": the local start time to the millisecond.
std::string IdFor(const struct timespec& now) {
  struct tm local;
  const time_t seconds = now.tv_sec;
  ::localtime_r(&seconds, &local);
  char text[40];
  const size_t n = std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  std::snprintf(text + n, sizeof text - n, "-%03ld", long(now.tv_nsec / 1000000));
  return text;
}

bool WriteNewFile(int dirfd, const char* name, const std::string& content) {
  const int fd = ::openat(dirfd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool ok = WriteAll(fd, content.data(), content.size()) && ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

// Copies an open file into a new one at name in dirfd with the mode, owner, attributes
// and last-write time of st; the copy is synced.
bool KeepCopy(int from, const struct stat& st, int dirfd, const std::string& name) {
  const int to = ::openat(dirfd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (to < 0) return false;
  bool ok = CopyRange(from, to, int64_t(st.st_size));
  if (ok) {
    (void)::fchown(to, st.st_uid, st.st_gid);
    (void)::fchmod(to, st.st_mode & 07777);
    (void)CopyAttributes(from, to);
    const struct timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
    (void)::futimens(to, times);
    ok = ::fdatasync(to) == 0;
  }
  ok = ::close(to) == 0 && ok;
  if (!ok) ::unlinkat(dirfd, name.c_str(), 0);
  return ok;
}

}  // namespace

std::string RunsDirectory() {
  std::string base;
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && state[0] == '/') {
    base = state;
  } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
    base = std::string(home) + "/.local/state";
  } else {
    return {};
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return JoinPath(base, "quorvel/runs");
}

void SetJournalCopiesForTesting(bool copies) { g_copies = copies; }

// ---- RunJournal ----

RunJournal::RunJournal(std::string settingsFile)
    : runs_(RunsDirectory()), settingsFile_(std::move(settingsFile)) {}

RunJournal::~RunJournal() {
  if (recordsFd_ >= 0) ::close(recordsFd_);
  if (oldFd_ >= 0) ::close(oldFd_);
}

bool RunJournal::start() {
  if (recordsFd_ >= 0) return true;
  if (failed_ || !MakeLevels(runs_)) {
    failed_ = true;
    return false;
  }
  // Room for this one among the kept; their records need not be read for that.
  const std::vector<RunSummary> kept = RunsIn(runs_, SummaryFields::Start);
  const int runsfd = ::open(runs_.c_str(), kDirFlags);
  if (runsfd < 0) {
    failed_ = true;
    return false;
  }
  for (size_t i = kRunsKept - 1; i < kept.size(); ++i) RemoveTreeAt(runsfd, kept[i].id.c_str());

  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  std::string id = IdFor(now);
  for (int n = 2; ::mkdirat(runsfd, id.c_str(), 0700) != 0; ++n) {
    if (errno != EEXIST || n > 1000) {
      ::close(runsfd);
      failed_ = true;
      return false;
    }
    id = IdFor(now) + "-" + std::to_string(n);
  }
  folder_ = JoinPath(runs_, id);
  const int fd = ::openat(runsfd, id.c_str(), kDirFlags | O_NOFOLLOW);
  ::close(runsfd);
  bool ok = fd >= 0 && ::mkdirat(fd, kOldFolder, 0700) == 0;
  if (ok) oldFd_ = ::openat(fd, kOldFolder, kDirFlags | O_NOFOLLOW);
  ok = ok && oldFd_ >= 0 &&
       WriteNewFile(fd, kRunFile,
                    "start\t" + std::to_string(now.tv_sec) + "\t" + std::to_string(now.tv_nsec) +
                        "\nsettings\t" + Escaped(settingsFile_) + "\n");
  if (ok) {
    recordsFd_ = ::openat(fd, kRecordsFile,
                          O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_DSYNC | O_NOFOLLOW | O_CLOEXEC,
                          0600);
    ok = recordsFd_ >= 0;
  }
  if (fd >= 0) ::close(fd);
  failed_ = !ok;
  return ok;
}

uint64_t RunJournal::append(const std::string& line) {
  if (!start()) return 0;
  // The records file is written with O_DSYNC: each record is on disk when the write
  // returns.
  const std::string whole = line + "\n";
  if (!WriteAll(recordsFd_, whole.data(), whole.size())) return 0;
  return next_++;
}

std::string RunJournal::absolutePath(int dirfd, const std::string& name) {
  if (dirfd != AT_FDCWD) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    if (n <= 0) return {};
    return JoinPath(std::string(target, size_t(n)), name);
  }
  std::string dir, own;
  SplitPath(name, dir, own);
  if (dir != cachedDir_ || cachedReal_.empty()) {
    cachedDir_ = dir;
    cachedReal_ = RealPath(dir);
  }
  return cachedReal_.empty() ? std::string() : JoinPath(cachedReal_, own);
}

uint64_t RunJournal::keepReplaced(int dirfd, const std::string& name, const std::string& known,
                                  const struct stat& old, const FileIdentity& left, bool inPlace) {
  if (!enabled()) return 0;
  const std::string path = known.empty() ? absolutePath(dirfd, name) : known;
  if (path.empty() || !start()) return 0;
  const std::string kept = std::to_string(next_);
  bool linked = false;
  // What the link keeps is whatever has the name now, the file the rename replaces.
  if (!inPlace && !g_copies) linked = ::linkat(dirfd, name.c_str(), oldFd_, kept.c_str(), 0) == 0;
  if (!linked) {
    const int from = ::openat(dirfd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (from < 0) return 0;
    struct stat st;
    const bool same = ::fstat(from, &st) == 0 && st.st_dev == old.st_dev && st.st_ino == old.st_ino;
    const bool copied = same && KeepCopy(from, old, oldFd_, kept);
    ::close(from);
    if (!copied) return 0;
  }
  const uint64_t record =
      append("R\t" + kept + "\t" + Escaped(path) + "\t" + (linked ? "L" : "C") + "\t" +
                 IdentityFields(IdentityOf(old)) + "\t" + std::to_string(old.st_mode & 07777) +
                 "\t" + std::to_string(old.st_uid) + "\t" + std::to_string(old.st_gid) + "\t" +
                 IdentityFields(left) + "\t" + (inPlace ? "1" : "0"));
  if (!record) ::unlinkat(oldFd_, kept.c_str(), 0);
  return record;
}

uint64_t RunJournal::recordCreated(int dirfd, const std::string& name, const std::string& known,
                                   const FileIdentity& left) {
  if (!enabled()) return 0;
  const std::string path = known.empty() ? absolutePath(dirfd, name) : known;
  if (path.empty() || !start()) return 0;
  return append("C\t" + std::to_string(next_) + "\t" + Escaped(path) + "\t" + IdentityFields(left));
}

void RunJournal::cancel(uint64_t record) {
  if (record == 0 || recordsFd_ < 0) return;
  append("X\t" + std::to_string(next_) + "\t" + std::to_string(record));
}

void RunJournal::recordDirectory(int parentfd, const std::string& level) {
  if (!enabled()) return;
  const std::string path = absolutePath(parentfd, level);
  if (!path.empty() && start()) append("D\t" + std::to_string(next_) + "\t" + Escaped(path));
}

void RunJournal::recordDirectory(const std::string& path) {
  if (!enabled()) return;
  const std::string real = RealPath(path);
  if (!real.empty() && start()) append("D\t" + std::to_string(next_) + "\t" + Escaped(real));
}

bool RunJournal::recordMode(const std::string& path, const struct stat& now, uint32_t after) {
  if (!enabled()) return true;
  const std::string real = RealPath(path);
  if (real.empty() || !start()) return false;
  return append("M\t" + std::to_string(next_) + "\t" + Escaped(real) + "\t" +
                    std::to_string(now.st_mode & 07777) + "\t" + std::to_string(after) + "\t" +
                    IdentityFields(IdentityOf(now))) != 0;
}

// ---- Listing and undo ----

std::vector<RunSummary> ListRuns() { return RunsIn(RunsDirectory(), SummaryFields::All); }

namespace {

std::optional<FileIdentity> CurrentIdentity(const std::string& path, struct stat& st) {
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return IdentityOf(st);
}

// Puts the bytes and metadata of the kept copy back at path: in place where the run
// rewrote the inode (its other names see the old bytes again), otherwise through a
// staged file renamed over it.
bool RestoreCopy(int keptfd, const struct stat& kept, const std::string& path, uint32_t mode,
                 uid_t uid, gid_t gid, const struct timespec& mtime, bool inPlace) {
  const struct timespec times[2] = {{0, UTIME_OMIT}, mtime};
  if (inPlace) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = CopyRange(keptfd, fd, int64_t(kept.st_size)) && ::ftruncate(fd, kept.st_size) == 0;
    (void)::fchmod(fd, mode);
    (void)::futimens(fd, times);
    return ::close(fd) == 0 && ok;
  }
  std::string dir, own;
  SplitPath(path, dir, own);
  const std::string staged =
      JoinPath(dir, "." + own.substr(0, 200) + ".undo" + std::to_string(::getpid()));
  const int fd = ::open(staged.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = CopyRange(keptfd, fd, int64_t(kept.st_size));
  (void)::fchown(fd, uid, gid);
  (void)::fchmod(fd, mode);
  (void)CopyAttributes(keptfd, fd);
  (void)::futimens(fd, times);
  ok = ::close(fd) == 0 && ok && ::rename(staged.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(staged.c_str());
  return ok;
}

}  // namespace

UndoOutcome UndoRun(const std::string& id) {
  UndoOutcome outcome;
  const std::string runs = RunsDirectory();
  if (runs.empty() || id.empty() || id[0] == '.' || id.find('/') != std::string::npos) {
    outcome.status = UndoOutcome::Status::NotFound;
    return outcome;
  }
  const std::string folder = JoinPath(runs, id);
  const int runfd = ::open(folder.c_str(), kDirFlags | O_NOFOLLOW);
  struct stat st;
  if (runfd < 0 || ::fstatat(runfd, kRunFile, &st, 0) != 0 ||
      ::fstatat(runfd, kUndoneFile, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (runfd >= 0) ::close(runfd);
    outcome.status = UndoOutcome::Status::NotFound;
    return outcome;
  }
  const int oldfd = ::openat(runfd, kOldFolder, kDirFlags | O_NOFOLLOW);
  const std::vector<std::vector<std::string>> records = RecordLines(runfd);
  std::set<std::string> cancelled;
  for (const auto& record : records) {
    if (record.size() >= 3 && record[0] == "X") cancelled.insert(record[2]);
  }
  std::set<std::string> named;
  // Files this undo put back from a copy: a new inode that stands for the old file, for
  // the records before its replacement.
  std::map<std::string, FileIdentity> restoredAs;
  auto leave = [&](const std::string& path) {
    if (named.insert(path).second) outcome.leftChanged.push_back(path);
  };
  auto fail = [&](const std::string& path) {
    if (!outcome.problem.empty()) outcome.problem += "\n";
    outcome.problem += path + ": " + std::strerror(errno);
  };

  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    const std::vector<std::string>& r = *it;
    if (r.size() < 3 || cancelled.count(r[1])) continue;
    const std::string path = Unescaped(r[2]);
    struct stat now;
    const std::optional<FileIdentity> current = CurrentIdentity(path, now);
    if (r[0] == "R" && r.size() >= 18) {
      const FileIdentity old = IdentityAt(r, 4);
      const FileIdentity left = IdentityAt(r, 12);
      if (current && SameFile(*current, old)) continue;  // the write never happened
      if (!current || !SameFile(*current, left)) {
        leave(path);
        continue;
      }
      const bool inPlace = r[17] == "1";
      bool restored = r[3] == "L" && oldfd >= 0 &&
                      ::renameat(oldfd, r[1].c_str(), AT_FDCWD, path.c_str()) == 0;
      if (!restored) {
        const int kept = oldfd >= 0 ? ::openat(oldfd, r[1].c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC) : -1;
        struct stat keptSt;
        if (kept >= 0 && ::fstat(kept, &keptSt) == 0) {
          const struct timespec mtime = {time_t(old.mtimeSec), long(old.mtimeNsec)};
          restored = RestoreCopy(kept, keptSt, path, uint32_t(Number(r[9])), uid_t(Number(r[10])),
                                 gid_t(Number(r[11])), mtime, inPlace);
        }
        if (kept >= 0) ::close(kept);
      }
      if (restored) {
        restoredAs[path] = old;
        ++outcome.restored;
      } else {
        fail(path);
      }
    } else if (r[0] == "C" && r.size() >= 8) {
      if (!current) continue;  // gone already
      if (!SameFile(*current, IdentityAt(r, 3))) {
        leave(path);
      } else if (::unlink(path.c_str()) == 0) {
        ++outcome.removed;
      } else {
        fail(path);
      }
    } else if (r[0] == "D") {
      ::rmdir(path.c_str());  // only when empty; one still holding files stays
    } else if (r[0] == "M" && r.size() >= 10) {
      // Only the file the run marked, still marked so.
      const FileIdentity marked = IdentityAt(r, 5);
      const auto back = restoredAs.find(path);
      if (current &&
          (SameFile(*current, marked) || (back != restoredAs.end() && SameFile(back->second, marked))) &&
          uint32_t(now.st_mode & 07777) == uint32_t(Number(r[4]))) {
        if (::chmod(path.c_str(), mode_t(Number(r[3]))) != 0) fail(path);
      }
    }
  }
  if (oldfd >= 0) ::close(oldfd);
  if (!outcome.problem.empty()) {
    outcome.status = UndoOutcome::Status::Failed;
  } else if (!WriteNewFile(runfd, kUndoneFile, "")) {
    outcome.status = UndoOutcome::Status::Failed;
    outcome.problem = folder + ": " + std::strerror(errno);
  }
  ::close(runfd);
  return outcome;
}

}  // namespace quorvel::platform
