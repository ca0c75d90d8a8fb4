#include "instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "registry_store.h"

namespace vantry {

bool AcquireInstanceLock(std::string* lock_path) {
  std::string path = RegistryFilePath() + ".run.lock";
  if (lock_path) *lock_path = path;
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  // Deliberately never closed: the lock lasts until the process ends.
  // Private: whoever may open the lock file may lock it, and another user
  // holding it would keep the gateway from starting.
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return true;  // a read-only settings folder must not stop the gateway
  struct stat made {};
  if (fstat(fd, &made) == 0 && made.st_uid == geteuid()) fchmod(fd, 0600);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return false;
  }
  return true;
}

}  // namespace vantry
