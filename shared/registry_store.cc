#include "registry_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "atomic_file.h"
#include "whole_file.h"

namespace vantry {
namespace {

// Holds an exclusive flock on "<settings file>.lock" while a value is saved. A
// separate lock file is needed because the settings file itself is replaced by
// rename on every write; readers need no lock for the same reason.
//
// Whoever may read the lock file may lock it too, so the wait is bounded: a
// process that holds it for good makes saves fail, never hang.
class WriteLock {
 public:
  static constexpr auto kPatience = std::chrono::seconds(3);

  explicit WriteLock(const std::string& settings_path) {
    std::string lock_path = settings_path + ".lock";
    // flock needs no write access: read-only, a lock file created by one user
    // (the gateway running as root) does not shut every other user out.
    fd_ = open(lock_path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return;
    const auto give_up = std::chrono::steady_clock::now() + kPatience;
    for (;;) {
      if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        held_ = true;
        return;
      }
      if (errno != EWOULDBLOCK && errno != EINTR) return;
      if (std::chrono::steady_clock::now() >= give_up) {
        timed_out_ = true;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  ~WriteLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;
  bool held() const { return held_; }
  bool timed_out() const { return timed_out_; }

 private:
  int fd_ = -1;
  bool held_ = false;
  bool timed_out_ = false;
};

void SetError(std::string* error, const std::string& what, const std::string& path) {
  if (error) *error = what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

std::string RegistryFilePath() {
  const char* env = std::getenv("VANTRY_REGISTRY");
  if (env != nullptr && *env != '\0') return env;
  return kDefaultRegistryPath;
}

RegistryDocument LoadRegistry() {
  std::string path = RegistryFilePath();
  std::string text;
  if (ReadWholeFile(path, text) != 0) return RegistryDocument{};
  return RegistryDocument::Parse(text);
}

bool UpdateRegistry(const std::function<void(RegistryDocument&)>& edit, std::string* error) {
  std::string path = RegistryFilePath();
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
  }
  WriteLock lock(path);
  if (lock.timed_out()) {
    if (error) {
      *error = "cannot lock " + path + ".lock: another process has held it for " +
               std::to_string(WriteLock::kPatience.count()) + " s";
    }
    return false;
  }
  if (!lock.held()) {
    SetError(error, "cannot lock", path + ".lock");
    return false;
  }
  std::string text;
  // Only a file that is not there yet starts empty: one that cannot be read
  // would otherwise be replaced by a file holding just this edit.
  if (int read_error = ReadWholeFile(path, text); read_error != 0 && read_error != ENOENT) {
    errno = read_error;
    SetError(error, "cannot read", path);
    return false;
  }
  RegistryDocument doc = RegistryDocument::Parse(text);
  edit(doc);
  return WriteFileAtomically(path, doc.Serialize(), error);
}

}  // namespace vantry
