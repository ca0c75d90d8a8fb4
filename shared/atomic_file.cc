#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "write_all.h"

namespace vantry {
namespace {

bool Fail(const std::string& what, std::string* error) {
  if (error) *error = what + ": " + std::strerror(errno);
  return false;
}

// Follows symbolic links to the file they name, whether it exists or not.
std::string LinkTarget(const std::string& given_path) {
  namespace fs = std::filesystem;
  fs::path path = given_path;
  std::error_code ec;
  for (int hops = 0; hops < 40 && fs::is_symlink(path, ec); ++hops) {
    fs::path target = fs::read_symlink(path, ec);
    if (ec) break;
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  return path.lexically_normal().string();
}

}  // namespace

bool WriteFileAtomically(const std::string& given_path, std::string_view bytes,
                         std::string* error) {
  // A symbolic link stays one: its target is what gets replaced, also when
  // that target is yet to be made.
  const std::string path = LinkTarget(given_path);
  // The process id keeps two programs writing the same file from sharing a temporary.
  std::string temp = path + ".tmp-" + std::to_string(getpid());
  // Its name can be guessed: created only new and never through a link, so
  // whoever may write the folder cannot turn the write onto another file. A
  // leftover of a crashed write (or such a link) is removed first.
  constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = open(temp.c_str(), kFlags, 0644);
  if (fd < 0 && errno == EEXIST && unlink(temp.c_str()) == 0) fd = open(temp.c_str(), kFlags, 0644);
  if (fd < 0) return Fail(path, error);
  // The new file takes the old one's mode, and its owner where we may set it,
  // so a file an administrator made private stays private.
  struct stat replaced {};
  if (stat(path.c_str(), &replaced) == 0) {
    fchmod(fd, replaced.st_mode & 07777);
    if (geteuid() == 0 && fchown(fd, replaced.st_uid, replaced.st_gid) != 0) {
      // Still written, owned by root: better than not written.
    }
  }
  if (!WriteAll(fd, bytes) || fsync(fd) != 0) {
    Fail(path, error);
    close(fd);
    unlink(temp.c_str());
    return false;
  }
  if (close(fd) != 0) {
    Fail(path, error);
    unlink(temp.c_str());
    return false;
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    Fail(path, error);
    unlink(temp.c_str());
    return false;
  }
  // The rename itself must reach the disk too.
  std::string folder = std::filesystem::path(path).parent_path().string();
  int dir_fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    fsync(dir_fd);
    close(dir_fd);
  }
  return true;
}

}  // namespace vantry
