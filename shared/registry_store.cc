#include "registry_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace vantry {
namespace {

// Holds an flock on "<settings file>.lock". A separate lock file is needed
// because the settings file itself is replaced by rename on every write.
class FileLock {
 public:
  FileLock(const std::string& settings_path, int operation) {
    std::string lock_path = settings_path + ".lock";
    fd_ = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0 && operation == LOCK_SH) fd_ = open(lock_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ >= 0) {
      while (flock(fd_, operation) != 0 && errno == EINTR) {
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

bool ReadWholeFile(const std::string& path, std::string& out) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[65536];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0) out.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return n == 0;
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

void SetError(std::string* error, const std::string& what, const std::string& path) {
  if (error) *error = what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

std::string RegistryFilePath() {
  const char* env = std::getenv("VANTRY_REGISTRY");
  if (env != nullptr && *env != '\0') return env;
  return "/etc/vantry/registry.reg";
}

RegistryDocument LoadRegistry() {
  std::string path = RegistryFilePath();
  FileLock lock(path, LOCK_SH);
  std::string text;
  if (!ReadWholeFile(path, text)) return RegistryDocument{};
  return RegistryDocument::Parse(text);
}

bool UpdateRegistry(const std::function<void(RegistryDocument&)>& edit, std::string* error) {
  std::string path = RegistryFilePath();
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
  }
  FileLock lock(path, LOCK_EX);
  if (!lock.held()) {
    SetError(error, "cannot lock", path + ".lock");
    return false;
  }
  std::string text;
  ReadWholeFile(path, text);
  RegistryDocument doc = RegistryDocument::Parse(text);
  edit(doc);
  std::string data = doc.Serialize();

  std::string temp = path + ".tmp-" + std::to_string(getpid());
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    SetError(error, "cannot create", temp);
    return false;
  }
  if (!WriteAll(fd, data) || fsync(fd) != 0) {
    SetError(error, "cannot write", temp);
    close(fd);
    unlink(temp.c_str());
    return false;
  }
  close(fd);
  if (rename(temp.c_str(), path.c_str()) != 0) {
    SetError(error, "cannot replace", path);
    unlink(temp.c_str());
    return false;
  }
  int dir_fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    fsync(dir_fd);
    close(dir_fd);
  }
  return true;
}

}  // namespace vantry
