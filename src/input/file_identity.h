// Which file a name stands for: the device and inode of what it resolves to,
// so that two names of one file (a repeated name, a hard link, another path,
// standard input redirected from a named file) are known to be the same.
#pragma once

#include <compare>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  auto operator<=>(const FileIdentity&) const = default;
};

// The identity of the file at `path` (links followed); none when it cannot be
// looked up (it does not exist, a folder on the way is unreadable).
std::optional<FileIdentity> identityOfPath(const std::string& path);

// The identity of what an open stream reads; none for a stream without a
// descriptor (a memory stream) or one the system cannot describe.
std::optional<FileIdentity> identityOfStream(FILE* stream);
