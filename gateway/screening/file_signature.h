#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <ctime>
#include <string>

namespace vantry {

/// What tells one version of a file from the next. The modification time
/// alone can miss a rewrite: on a kernel with coarse timestamps a file emptied
/// and written again within one tick keeps it, while its size or change time
/// still moves.
struct FileSignature {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::time_t modified_seconds = 0;
  long modified_nanoseconds = 0;
  std::time_t changed_seconds = 0;
  long changed_nanoseconds = 0;
  bool operator==(const FileSignature&) const = default;
};

inline FileSignature SignatureOf(const std::string& path) {
  struct stat info {};
  if (path.empty() || stat(path.c_str(), &info) != 0) return {};
  return {true,
          info.st_dev,
          info.st_ino,
          info.st_size,
          info.st_mtim.tv_sec,
          info.st_mtim.tv_nsec,
          info.st_ctim.tv_sec,
          info.st_ctim.tv_nsec};
}

}  // namespace vantry
