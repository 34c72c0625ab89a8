#include "platform/FileTransaction.h"

#include "platform/FileCopy.h"
#include "platform/PathParts.h"
#include "platform/RunJournal.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <iterator>
#include <vector>

namespace quorvel::platform {

namespace {

constexpr size_t kCopyBlock = 8192;
constexpr size_t kTempNameKeep = 200;  // bytes of the target's name kept in a temporary name
constexpr size_t kTempNameExtra = 8;    // the point before it, the point and six letters after
constexpr int kDirFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

TransactionHook g_hook = nullptr;

void CallHook(TransactionPoint point, const std::string& path) {
  if (g_hook) g_hook(point, path);
}

bool SameInode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// umask() can only be read by setting it for a moment; files are created from one
// thread only, so nothing is created under the passing value.
mode_t CurrentUmask() {
  mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path;
}

// ---- Temporary names that a terminating signal removes ----
//
// A fixed table, as the handler may touch nothing else: a slot is filled before it is
// marked used, and only the one thread that writes files changes it.

struct LiveTemp {
  volatile sig_atomic_t used;
  int dirfd;
  char name[PATH_MAX];
};
LiveTemp g_live[8];

const int kEndSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void OnEndSignal(int sig) {
  for (LiveTemp& t : g_live) {
    if (t.used) ::unlinkat(t.dirfd, t.name, 0);
  }
  // SA_RESETHAND has put back the default action and SA_NODEFER lets it act now.
  ::raise(sig);
}

extern "C" void OnLeaseBreak(int, siginfo_t* info, void*) {
  // Letting go at once spares the other program the wait for the lease to time out;
  // the lease found gone before the write is what tells the file was taken.
  if (info && info->si_code > 0 && info->si_fd >= 0) {
    const int saved = errno;
    ::fcntl(info->si_fd, F_SETLEASE, F_UNLCK);
    errno = saved;
  }
}

void InstallLeaseHandler() {
  static bool done = false;
  if (done) return;
  done = true;
  struct sigaction old;
  if (::sigaction(SIGIO, nullptr, &old) != 0) return;
  // A handler of someone else's stays; only the default, which ends the program, goes.
  if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler != SIG_DFL) return;
  if ((old.sa_flags & SA_SIGINFO) && old.sa_sigaction != nullptr) return;
  struct sigaction sa = {};
  sa.sa_sigaction = OnLeaseBreak;
  sa.sa_flags = SA_SIGINFO | SA_RESTART;
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGIO, &sa, nullptr);
}

// Holds SIGTERM, SIGINT and SIGHUP back for a scope: no temporary name is created
// without being registered, and no rewrite in place is cut off half-way.
class EndSignalsHeld {
 public:
  EndSignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kEndSignals) sigaddset(&set, sig);
    ::pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  ~EndSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  EndSignalsHeld(const EndSignalsHeld&) = delete;
  EndSignalsHeld& operator=(const EndSignalsHeld&) = delete;

 private:
  sigset_t old_;
};

int RegisterTemp(int dirfd, const std::string& name) {
  for (int i = 0; i < int(std::size(g_live)); ++i) {
    LiveTemp& t = g_live[i];
    if (t.used) continue;
    t.dirfd = dirfd;
    std::memcpy(t.name, name.c_str(), name.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    t.used = 1;
    return i;
  }
  return -1;  // more live writes than slots: this one is not cleaned up by a signal
}

void UnregisterTemp(int& slot) {
  if (slot >= 0) g_live[slot].used = 0;
  slot = -1;
}

// Six random letters and digits for a temporary name.
std::string RandomSuffix() {
  static uint64_t state = 0;
  if (state == 0) {
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    state = uint64_t(now.tv_nsec) ^ (uint64_t(now.tv_sec) << 20) ^ (uint64_t(::getpid()) << 40);
    state |= 1;
  }
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string suffix(6, 'x');
  for (char& c : suffix) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    c = kChars[state % (sizeof kChars - 1)];
  }
  return suffix;
}

// Creates a hidden file (0600, exclusive) beside the file called name, in dirfd after
// prefix; its name, relative to dirfd, in tempName. With track, a terminating signal
// removes it: the name is registered before the file exists, so no moment is left in
// which it exists unregistered (a signal just after a clash on a name would remove the
// other file of that name, a hidden temporary file of another run, with odds of one in
// 62 to the 6th for every clash).
int CreateTemp(int dirfd, const std::string& prefix, std::string_view name, bool track,
               std::string& tempName, int& slot) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempName = prefix + "." + std::string(name.substr(0, kTempNameKeep)) + "." + RandomSuffix();
    if (track) slot = RegisterTemp(dirfd, tempName);
    int fd = ::openat(dirfd, tempName.c_str(),
                      O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    const int err = errno;
    UnregisterTemp(slot);
    if (err != EEXIST) return -1;
  }
  return -1;
}

}  // namespace

// ---- DirHandle ----

DirHandle::~DirHandle() {
  if (fd_ >= 0) ::close(fd_);
}

DirHandle& DirHandle::operator=(DirHandle&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

// ---- WriteTree ----

std::optional<WriteTree> WriteTree::Open(const std::string& root) {
  const std::string real = RealPath(root.empty() ? "." : root);
  if (real.empty()) return std::nullopt;
  WriteTree tree;
  tree.resolved_ = WithoutTrailingSlashes(real);
  tree.given_ = WithoutTrailingSlashes(root);
  tree.root_ = DirHandle(::open(tree.resolved_.empty() ? "/" : tree.resolved_.c_str(), kDirFlags));
  if (!tree.root_.valid()) return std::nullopt;
  return tree;
}

std::optional<std::string> WriteTree::relativeOf(const std::string& path) const {
  return RelativeBelow(given_, path);
}

std::optional<std::string> WriteTree::RelativeBelow(const std::string& givenRoot,
                                                    const std::string& path) {
  const std::string root = WithoutTrailingSlashes(givenRoot);
  std::string rest;
  if (path == root) {
    rest.clear();
  } else if (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
             path[root.size()] == '/') {
    rest = path.substr(root.size() + 1);
  } else {
    return std::nullopt;
  }
  for (size_t at = 0; at <= rest.size();) {
    size_t end = rest.find('/', at);
    if (end == std::string::npos) end = rest.size();
    std::string_view level(rest.data() + at, end - at);
    if (level == "..") return std::nullopt;
    at = end + 1;
  }
  return rest;
}

namespace {

// Opens a directory of more than one level below rootfd in one call, following no link
// and never leaving it; -1 where that fails for any reason, the kernel's refusal of the
// call among them.
int OpenBeneath(int rootfd, std::string_view relative) {
#if defined(SYS_openat2)
  if (relative.find('/') == std::string_view::npos) return -1;
  struct open_how how = {};
  how.flags = uint64_t(kDirFlags);
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
  const std::string path(relative);
  return int(::syscall(SYS_openat2, rootfd, path.c_str(), &how, sizeof how));
#else
  (void)rootfd;
  (void)relative;
  return -1;
#endif
}

// Opens the levels of relative below rootfd, never following a link: where every level
// exists, in one call; otherwise one by one, making the missing ones when asked to.
WriteTree::DirStatus OpenLevels(int rootfd, std::string_view relative, bool create,
                                DirHandle& out, RunJournal* journal = nullptr) {
  if (const int fd = OpenBeneath(rootfd, relative); fd >= 0) {
    out = DirHandle(fd);
    return WriteTree::DirStatus::Ok;
  }
  // The first level is opened from the root itself; only the root alone is duplicated.
  DirHandle current;
  int base = rootfd;
  for (size_t at = 0; at <= relative.size();) {
    size_t end = relative.find('/', at);
    if (end == std::string_view::npos) end = relative.size();
    const std::string level(relative.substr(at, end - at));
    at = end + 1;
    if (level.empty() || level == ".") continue;
    if (level == "..") return WriteTree::DirStatus::NotADirectory;
    int fd = ::openat(base, level.c_str(), kDirFlags | O_NOFOLLOW);
    if (fd < 0 && errno == ENOENT && create) {
      const bool made = ::mkdirat(base, level.c_str(), 0777) == 0;
      if (!made && errno != EEXIST) return WriteTree::DirStatus::Failed;
      if (made && journal) journal->recordDirectory(base, level);
      fd = ::openat(base, level.c_str(), kDirFlags | O_NOFOLLOW);
    }
    if (fd < 0) {
      if (errno == ENOENT) return WriteTree::DirStatus::Missing;
      if (errno == ENOTDIR || errno == ELOOP) return WriteTree::DirStatus::NotADirectory;
      return WriteTree::DirStatus::Failed;
    }
    current = DirHandle(fd);
    base = current.fd();
  }
  if (!current.valid()) {
    current = DirHandle(::fcntl(rootfd, F_DUPFD_CLOEXEC, 0));
    if (!current.valid()) return WriteTree::DirStatus::Failed;
  }
  out = std::move(current);
  return WriteTree::DirStatus::Ok;
}

}  // namespace

WriteTree::DirStatus WriteTree::openDirectory(const std::string& path, bool create,
                                              DirHandle& out, RunJournal* journal) const {
  std::optional<std::string> relative = relativeOf(WithoutTrailingSlashes(path));
  if (!relative) return DirStatus::NotADirectory;
  return OpenLevels(root_.fd(), *relative, create, out, journal);
}

bool WriteTree::leadsInside(const std::string& path) const {
  const std::string resolved = RealPath(path);
  if (resolved.empty()) return false;
  return resolved == resolved_ ||
         (resolved.size() > resolved_.size() &&
          resolved.compare(0, resolved_.size(), resolved_) == 0 &&
          resolved[resolved_.size()] == '/');
}

// ---- SourceFile ----

SourceFile::~SourceFile() { close(); }

void SourceFile::close() {
  if (fd_ < 0) return;
  ::close(fd_);  // lets go of the lease too
  fd_ = -1;
  leased_ = false;
}

SourceFile::Status SourceFile::open(const std::string& path) {
  close();
  InstallLeaseHandler();
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Status::CannotOpen;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Status::CannotOpen;
  }
  // The lease break names this descriptor, so the handler can let go of it.
  (void)::fcntl(fd, F_SETSIG, SIGIO);
  if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
    leased_ = true;
  } else if (errno == EAGAIN || errno == EBUSY) {
    ::close(fd);
    return Status::HeldForWriting;  // open for writing somewhere
  }
  // Any other refusal (another owner, no leases here) leaves the identity check.
  fd_ = fd;
  path_ = path;
  identity_ = IdentityOf(st);
  mode_ = uint32_t(st.st_mode & 07777);
  return Status::Ok;
}

ReadResult SourceFile::readAll(ByteBuffer& out) {
  if (fd_ < 0) return ReadResult::CannotOpen;
  // A length the machine cannot hold is running out of memory too.
  if (uint64_t(identity_.size) > uint64_t(PTRDIFF_MAX)) throw std::bad_alloc();
  out.resizeUninitialized(size_t(identity_.size));
  size_t done = 0;
  while (done < out.size()) {
    ssize_t n = ::pread(fd_, out.data() + done, out.size() - done, off_t(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return ReadResult::ReadError;
    }
    if (n == 0) break;
    done += size_t(n);
  }
  out.resizeUninitialized(done);
  return ReadResult::Ok;
}

int64_t SourceFile::read(char* to, size_t size) {
  for (;;) {
    ssize_t n = ::read(fd_, to, size);
    if (n < 0 && errno == EINTR) continue;
    return int64_t(n);
  }
}

int64_t SourceFile::readAt(char* to, size_t size, int64_t offset) {
  for (;;) {
    ssize_t n = ::pread(fd_, to, size, off_t(offset));
    if (n < 0 && errno == EINTR) continue;
    return int64_t(n);
  }
}

void SourceFile::acceptOwnMetadataChange() {
  struct stat st;
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return;
  FileIdentity now = IdentityOf(st);
  now.ctimeSec = identity_.ctimeSec;
  now.ctimeNsec = identity_.ctimeNsec;
  if (now != identity_) return;
  identity_ = IdentityOf(st);
  mode_ = uint32_t(st.st_mode & 07777);
}

bool SourceFile::unchanged() const {
  if (fd_ < 0) return false;
  if (leased_ && ::fcntl(fd_, F_GETLEASE) != F_RDLCK) return false;
  struct stat st;
  if (::fstat(fd_, &st) != 0 || IdentityOf(st) != identity_) return false;
  // Still the file at its path: not deleted, not replaced.
  struct stat named;
  return ::stat(path_.c_str(), &named) == 0 && SameInode(named, st);
}

// ---- FileTransaction ----

struct FileTransaction::State {
  std::string path;  // as the caller named it
  WriteRequest request;
  // The directory of the file written (a link's file, not the link): held open, or
  // for a short path outside any tree named by prefix relative to the current directory.
  DirHandle dir;
  int dirfd = AT_FDCWD;
  std::string prefix;  // before names relative to dirfd: empty, or the directory and '/'
  std::string own;     // the file's own name
  std::string name;    // prefix and own name: the file relative to dirfd
  std::string absolute;  // for the journal, where known
  bool exists = false;
  struct stat old = {};
  int tempFd = -1;
  std::string tempName;
  int slot = -1;
  int64_t written = 0;
  bool active = false;
};

FileTransaction::FileTransaction() : state_(new State) {}

FileTransaction::~FileTransaction() {
  abort();
  delete state_;
}

void FileTransaction::abort() {
  State& s = *state_;
  if (s.tempFd >= 0) ::close(s.tempFd);
  s.tempFd = -1;
  if (!s.tempName.empty()) ::unlinkat(s.dirfd, s.tempName.c_str(), 0);
  UnregisterTemp(s.slot);
  s.tempName.clear();
  s.active = false;
}

namespace {

// Where the file a write replaces lives.
struct Located {
  DirHandle dir;
  int borrowed = -1;    // the caller's open directory, when dir is not set
  std::string dirPath;  // without a tree: the directory as a path
  std::string own;
  std::string absolute;  // the file's absolute path where it is known without a look
  bool found = false;  // st holds the entry at the end (after a link)
  struct stat st = {};
};

// Finds the file a write replaces: its directory, opened, and its own name there.
// False for anything a write may not replace or create.
bool LocateTarget(const std::string& path, const WriteRequest& request, Located& at) {
  const WriteTree* tree = request.tree;
  std::string dirPart;
  SplitPath(WithoutTrailingSlashes(path), dirPart, at.own);
  if (at.own.empty() || at.own == "." || at.own == "..") return false;
  int dirfd = AT_FDCWD;
  std::string name = WithoutTrailingSlashes(path);
  if (tree) {
    std::optional<std::string> relative = tree->relativeOf(path);
    if (!relative || relative->empty()) return false;
    if (request.directory && request.directory->valid()) {
      // The caller has just opened it inside the tree, and holds it until the end.
      at.borrowed = request.directory->fd();
    } else {
      std::string relDir, ignored;
      SplitPath(*relative, relDir, ignored);
      if (OpenLevels(tree->fd(), relDir, false, at.dir) != WriteTree::DirStatus::Ok) {
        return false;
      }
    }
    dirfd = at.dir.valid() ? at.dir.fd() : at.borrowed;
    name = at.own;
    at.absolute = tree->resolvedRoot() + "/" + *relative;
  } else {
    at.dirPath = dirPart;
    if (!path.empty() && path[0] == '/') at.absolute = WithoutTrailingSlashes(path);
  }
  if (::fstatat(dirfd, name.c_str(), &at.st, AT_SYMLINK_NOFOLLOW) != 0) {
    // A missing directory shows when the temporary file cannot be made in it.
    return errno == ENOENT;
  }
  at.found = true;
  if (!S_ISLNK(at.st.st_mode)) return true;

  // Written through, the link kept: find the file it leads to, and inside a tree open
  // the way there afresh without following anything.
  const std::string realPath = RealPath(path);
  if (realPath.empty()) return false;  // leads nowhere
  at.absolute = realPath;
  if (tree) {
    if (!tree->leadsInside(realPath)) return false;
    const std::string& root = tree->resolvedRoot();
    std::string relative = realPath.substr(std::min(realPath.size(), root.size() + 1));
    std::string relDir;
    SplitPath(relative, relDir, at.own);
    if (OpenLevels(tree->fd(), relDir, false, at.dir) != WriteTree::DirStatus::Ok) return false;
    dirfd = at.dir.fd();
    name = at.own;
  } else {
    SplitPath(realPath, at.dirPath, at.own);
    name = realPath;
  }
  return ::fstatat(dirfd, name.c_str(), &at.st, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace

TransactionResult FileTransaction::begin(const std::string& path, const WriteRequest& request) {
  abort();
  State& s = *state_;
  s.path = path;
  s.request = request;
  s.exists = false;
  s.written = 0;
  Located at;
  if (!LocateTarget(path, request, at)) return TransactionResult::CannotCreate;
  s.own = std::move(at.own);
  s.absolute = std::move(at.absolute);
  if (at.dir.valid()) {
    s.dir = std::move(at.dir);
  } else if (at.borrowed >= 0) {
    s.dir = DirHandle();
  } else if (at.dirPath.size() + 1 + s.own.size() + kTempNameExtra < PATH_MAX &&
             at.dirPath.size() + 2 + kTempNameKeep + kTempNameExtra < PATH_MAX) {
    // Short enough to be named from here: spares opening the directory.
    s.dir = DirHandle();
  } else {
    s.dir = DirHandle(::open(at.dirPath.c_str(), kDirFlags));
    if (!s.dir.valid()) return TransactionResult::CannotCreate;
  }
  if (s.dir.valid() || at.borrowed >= 0) {
    s.dirfd = s.dir.valid() ? s.dir.fd() : at.borrowed;
    s.prefix.clear();
  } else {
    s.dirfd = AT_FDCWD;
    s.prefix = at.dirPath == "." ? std::string() : at.dirPath == "/" ? at.dirPath : at.dirPath + "/";
  }
  s.name = s.prefix + s.own;

  if (at.found) {
    s.old = at.st;
    // What creating the file in place would refuse: a directory, anything that is no
    // regular file (a link found at the end of a link, too), the read-only bit, which
    // root would ignore, a file the real user could not open for writing, and a hidden
    // name unless allowed.
    if (!S_ISREG(s.old.st_mode) || (s.old.st_mode & S_IWUSR) == 0) {
      return TransactionResult::CannotCreate;
    }
    if (HasHiddenName(path) && request.hidden == HiddenTarget::Refuse) {
      return TransactionResult::CannotCreate;
    }
    if (::faccessat(s.dirfd, s.name.c_str(), W_OK, AT_EACCESS) != 0) {
      return TransactionResult::CannotCreate;
    }
    s.exists = true;
  }

  if (request.replaces) {
    // Replaced or deleted since it was read: nothing goes in its place. Whether it was
    // changed or opened for writing meanwhile is asked just before the rename.
    if (!s.exists || IdentityOf(s.old) != request.replaces->identity()) {
      return TransactionResult::HeldForWriting;
    }
  }

  s.tempFd = CreateTemp(s.dirfd, s.prefix, s.own, true, s.tempName, s.slot);
  if (s.tempFd < 0) {
    s.tempName.clear();
    return TransactionResult::CannotCreate;
  }
  s.active = true;
  return TransactionResult::Ok;
}

TransactionResult FileTransaction::append(std::string_view bytes) {
  State& s = *state_;
  if (!s.active) return TransactionResult::WriteError;
  if (!WriteAll(s.tempFd, bytes.data(), bytes.size())) {
    abort();
    return TransactionResult::WriteError;
  }
  s.written += int64_t(bytes.size());
  return TransactionResult::Ok;
}

namespace {

// The file as it stands now must be the one found when the write began (and the one
// read, when the write replaces its source).
bool StillTheSame(int dirfd, const std::string& name, bool existed, const struct stat& old,
                  const SourceFile* replaces) {
  // A new file is put in place with RENAME_NOREPLACE, which checks this itself.
  if (!existed) return true;
  struct stat now;
  if (::fstatat(dirfd, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT && !existed;
  }
  if (!existed) return false;  // one appeared meanwhile
  if (IdentityOf(now) != IdentityOf(old)) return false;
  return !replaces || replaces->unchanged();
}

// Replaces the content of the one inode with the staged bytes, keeping every name, the
// owner, the mode and the attributes. The old bytes go to a journal file beside it
// first. A failure half-way puts them back; only when that fails too does the journal
// stay, as a hidden file beside the target that holds the old content, and the write is
// reported as failed. Signals that would end the program wait until the end.
TransactionResult RewriteInPlace(int dirfd, const std::string& prefix, const std::string& own,
                                 const std::string& name, const struct stat& old,
                                 int staged, int64_t newSize, const SourceFile* replaces,
                                 const std::optional<FileIdentity>& timeFrom,
                                 const std::string& path) {
  EndSignalsHeld held;
  // Opening for writing would break the lease held on the file while it was read.
  if (replaces && replaces->leased()) ::fcntl(replaces->fd(), F_SETLEASE, F_UNLCK);
  // Non-blocking: a lease of another program's makes it held for writing, not a wait.
  int fd = ::openat(dirfd, name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return errno == EWOULDBLOCK ? TransactionResult::HeldForWriting
                                : TransactionResult::CannotCreate;
  }
  struct stat now;
  if (::fstat(fd, &now) != 0 || IdentityOf(now) != IdentityOf(old)) {
    ::close(fd);
    return TransactionResult::HeldForWriting;
  }

  std::string journalName;
  int slot = -1;
  int journal = CreateTemp(dirfd, prefix, own, false, journalName, slot);
  if (journal < 0) {
    ::close(fd);
    return TransactionResult::CannotCreate;
  }
  auto dropJournal = [&] {
    ::close(journal);
    ::unlinkat(dirfd, journalName.c_str(), 0);
  };
  const int64_t oldSize = int64_t(old.st_size);
  if (!CopyRange(fd, journal, oldSize)) {
    dropJournal();
    ::close(fd);
    return TransactionResult::WriteError;
  }
  // Reserve the room first, so a full disk shows before any byte changes.
  if (newSize > oldSize && ::fallocate(fd, 0, 0, newSize) != 0 && errno != EOPNOTSUPP) {
    ::ftruncate(fd, oldSize);
    dropJournal();
    ::close(fd);
    return TransactionResult::WriteError;
  }
  CallHook(TransactionPoint::RewritingInPlace, path);
  if (!CopyRange(staged, fd, newSize) || ::ftruncate(fd, newSize) != 0) {
    const bool restored = CopyRange(journal, fd, oldSize) && ::ftruncate(fd, oldSize) == 0;
    if (restored) {
      dropJournal();
    } else {
      ::close(journal);  // the old content stays in it
    }
    ::close(fd);
    return TransactionResult::WriteError;
  }
  if (timeFrom) {
    struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(timeFrom->mtimeSec), long(timeFrom->mtimeNsec)}};
    (void)::futimens(fd, times);
  }
  if (::close(fd) != 0) {
    ::close(journal);  // a late error: whether the new bytes arrived is not known
    return TransactionResult::WriteError;
  }
  dropJournal();
  return TransactionResult::Ok;
}

}  // namespace

TransactionResult FileTransaction::commit() {
  State& s = *state_;
  if (!s.active) return TransactionResult::WriteError;
  CallHook(TransactionPoint::Staged, s.path);
  const WriteRequest& r = s.request;

  if (!StillTheSame(s.dirfd, s.name, s.exists, s.old, r.replaces)) {
    abort();
    return TransactionResult::HeldForWriting;
  }

  // A file with more names than this one, or whose owner or attributes a new file could
  // not carry, is rewritten in place; any other is replaced by rename.
  bool inPlace = s.exists && s.old.st_nlink > 1;
  if (s.exists && !inPlace) {
    if (::fchown(s.tempFd, s.old.st_uid, s.old.st_gid) != 0) {
      struct stat mine;
      inPlace = ::fstat(s.tempFd, &mine) != 0 || mine.st_uid != s.old.st_uid ||
                mine.st_gid != s.old.st_gid;
    }
    // After fchown, which may clear set-id bits.
    (void)::fchmod(s.tempFd, s.old.st_mode & 07777);
    // Most files have no attributes at all; one look by name tells, where the file is
    // named from here.
    const bool none = s.dirfd == AT_FDCWD && ::llistxattr(s.name.c_str(), nullptr, 0) == 0;
    if (!inPlace && !none && r.replaces && r.replaces->isOpen()) {
      // The file replaced is the source, still open and checked to be the same.
      inPlace = !CopyAttributes(r.replaces->fd(), s.tempFd);
    } else if (!inPlace && !none) {
      int oldFd = ::openat(s.dirfd, s.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      inPlace = oldFd < 0 || !CopyAttributes(oldFd, s.tempFd);
      if (oldFd >= 0) ::close(oldFd);
    }
  } else if (!s.exists) {
    const mode_t mask = CurrentUmask();
    const mode_t mode = r.sourceMode ? ((mode_t(*r.sourceMode) & 0777) | S_IWUSR) & ~mask
                                     : 0666 & ~mask;
    (void)::fchmod(s.tempFd, mode);
  }

  RunJournal* const journal = r.journal && r.journal->enabled() ? r.journal : nullptr;
  if (inPlace) {
    // With a journal the new last-write time is fixed beforehand, so the record can
    // say what the rewrite leaves.
    std::optional<FileIdentity> timeFrom = r.timeFrom;
    uint64_t record = 0;
    if (journal) {
      if (!timeFrom) {
        struct timespec now;
        ::clock_gettime(CLOCK_REALTIME, &now);
        timeFrom = FileIdentity{};
        timeFrom->mtimeSec = now.tv_sec;
        timeFrom->mtimeNsec = now.tv_nsec;
      }
      FileIdentity left = IdentityOf(s.old);
      left.size = s.written;
      left.mtimeSec = timeFrom->mtimeSec;
      left.mtimeNsec = timeFrom->mtimeNsec;
      record = journal->keepReplaced(s.dirfd, s.name, s.absolute, s.old, left, true);
      if (!record) {
        abort();
        return TransactionResult::WriteError;
      }
    }
    const TransactionResult result = RewriteInPlace(s.dirfd, s.prefix, s.own, s.name, s.old, s.tempFd,
                                                    s.written, r.replaces, timeFrom, s.path);
    if (result != TransactionResult::Ok && journal) journal->cancel(record);
    abort();  // the staged copy has served
    return result;
  }

  // None of these may fail the write: file systems such as FAT refuse them and still
  // keep the bytes.
  if (r.timeFrom) {
    struct timespec times[2] = {{0, UTIME_OMIT},
                                {time_t(r.timeFrom->mtimeSec), long(r.timeFrom->mtimeNsec)}};
    (void)::futimens(s.tempFd, times);
  }
  struct stat staged = {};
  if (journal && ::fstat(s.tempFd, &staged) != 0) {
    abort();
    return TransactionResult::WriteError;
  }
  // Closing reports late write errors (network file systems).
  const int fd = s.tempFd;
  s.tempFd = -1;
  if (::close(fd) != 0) {
    abort();
    return TransactionResult::WriteError;
  }
  uint64_t record = 0;
  if (journal) {
    record = s.exists
                 ? journal->keepReplaced(s.dirfd, s.name, s.absolute, s.old, IdentityOf(staged), false)
                 : journal->recordCreated(s.dirfd, s.name, s.absolute, IdentityOf(staged));
    if (!record) {
      abort();
      return TransactionResult::WriteError;
    }
  }
  // A new file must not take the place of one that appeared meanwhile.
  int renamed = ::renameat2(s.dirfd, s.tempName.c_str(), s.dirfd, s.name.c_str(),
                            s.exists ? 0 : RENAME_NOREPLACE);
  if (renamed != 0 && !s.exists && errno == EINVAL) {
    // No RENAME_NOREPLACE on this file system: look, then rename.
    struct stat now;
    if (::fstatat(s.dirfd, s.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0) {
      if (journal) journal->cancel(record);
      abort();
      return TransactionResult::HeldForWriting;
    }
    renamed = ::renameat(s.dirfd, s.tempName.c_str(), s.dirfd, s.name.c_str());
  }
  if (renamed != 0) {
    const bool appeared = errno == EEXIST;
    if (journal) journal->cancel(record);
    abort();
    return appeared ? TransactionResult::HeldForWriting : TransactionResult::CannotCreate;
  }
  UnregisterTemp(s.slot);
  s.tempName.clear();
  s.active = false;
  return TransactionResult::Ok;
}

TransactionResult WriteFileContent(const std::string& path, std::string_view content,
                                   const WriteRequest& request) {
  FileTransaction transaction;
  TransactionResult result = transaction.begin(path, request);
  if (result == TransactionResult::Ok) result = transaction.append(content);
  if (result == TransactionResult::Ok) result = transaction.commit();
  return result;
}

TransactionResult CopyFileContent(SourceFile& source, const std::string& destination,
                                  const WriteRequest& request) {
  if (!source.isOpen()) return TransactionResult::CannotOpenSource;
  WriteRequest copy = request;
  if (!copy.sourceMode) copy.sourceMode = source.mode();
  if (!copy.timeFrom) copy.timeFrom = source.identity();
  FileTransaction transaction;
  TransactionResult result = transaction.begin(destination, copy);
  if (result != TransactionResult::Ok) return result;
  if (::lseek(source.fd(), 0, SEEK_SET) != 0) return TransactionResult::ReadError;
  char block[kCopyBlock];
  for (;;) {
    const int64_t n = source.read(block, sizeof block);
    if (n < 0) return TransactionResult::ReadError;
    if (n == 0) break;
    result = transaction.append(std::string_view(block, size_t(n)));
    if (result != TransactionResult::Ok) return result;
  }
  if (!source.unchanged()) return TransactionResult::HeldForWriting;
  return transaction.commit();
}

void InstallWriteSignalHandlers() {
  InstallLeaseHandler();
  for (int sig : kEndSignals) {
    struct sigaction old;
    if (::sigaction(sig, nullptr, &old) == 0 && !(old.sa_flags & SA_SIGINFO) &&
        old.sa_handler == SIG_IGN) {
      continue;  // started under nohup, say
    }
    struct sigaction sa = {};
    sa.sa_handler = OnEndSignal;
    sa.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigemptyset(&sa.sa_mask);
    ::sigaction(sig, &sa, nullptr);
  }
}

void SetTransactionHook(TransactionHook hook) { g_hook = hook; }

}  // namespace quorvel::platform
