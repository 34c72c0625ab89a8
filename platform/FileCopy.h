#pragma once
// Byte and attribute copies between open files, and the identity of a file, for the
// write path and the run journal.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "platform/FileTransaction.h"

namespace quorvel::platform {

FileIdentity IdentityOf(const struct stat& st);

// Writes every byte, at the current position or, with at given, from there on.
bool WriteAll(int fd, const char* data, size_t size, off_t at = -1);

// Copies size bytes from the start of one file over the start of another.
bool CopyRange(int from, int to, int64_t size);

// Carries every extended attribute (POSIX ACLs among them) from one file to another.
// True when all were carried or the file system has none.
bool CopyAttributes(int from, int to);

}  // namespace quorvel::platform
