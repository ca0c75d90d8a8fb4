#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <chrono>
#include <ctime>
#include <string>
#include <utility>

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

/// A file looked at again at most once per interval, to see whether it
/// changed: a file that appears, is rewritten or goes away.
class FileWatch {
 public:
  FileWatch(std::string path, std::chrono::milliseconds interval)
      : path_(std::move(path)), interval_(interval) {}

  const std::string& path() const { return path_; }
  /// True when the interval since the last look has passed; the next look is
  /// then an interval away.
  bool Due() {
    const auto now = std::chrono::steady_clock::now();
    if (now < next_look_) return false;
    next_look_ = now + interval_;
    return true;
  }
  /// True when the file is not the version seen last, which it becomes.
  bool Changed() {
    const FileSignature now = SignatureOf(path_);
    if (now == seen_) return false;
    seen_ = now;
    return true;
  }

 private:
  std::string path_;
  std::chrono::milliseconds interval_;
  std::chrono::steady_clock::time_point next_look_{};
  FileSignature seen_{};
};

}  // namespace vantry
