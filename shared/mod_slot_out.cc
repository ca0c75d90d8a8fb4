#include "mod_slot_out.h"

#include <errno.h>
#include <fcntl.h>
#include <stddef.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "service_user.h"
#include "text_trim.h"

namespace vantry {
namespace {

constexpr std::string_view kDefaultMailslot = "\\\\.\\mailslot\\korvane\\daskvantry";
constexpr std::string_view kMailslotTail = "\\mailslot\\korvane\\daskvantry";
constexpr std::string_view kServiceDirectory = "/run/vantry";

bool SocketAddress(const std::string& path, sockaddr_un& addr, socklen_t& len) {
  if (path.empty() || path.size() + 1 > sizeof(addr.sun_path)) return false;
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.data(), path.size());
  len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
  return true;
}

bool IsServiceIdentity(uid_t uid) {
  if (uid == 0) return true;
  std::optional<ServiceUser> user = LookUpServiceUser();
  return user && user->uid == uid;
}

// The folder must exist, be a real folder of ours and closed to everyone but
// its owner and, for the service folder, the service account's group: a
// socket inside it is then out of reach of every other user, whatever its mode.
bool PrepareDirectory(const std::string& folder) {
  const bool service = folder == kServiceDirectory;
  mkdir(folder.c_str(), service ? 0750 : 0700);
  struct stat st {};
  if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
    return false;
  std::optional<ServiceUser> user = service ? LookUpServiceUser() : std::nullopt;
  if (user && st.st_gid != user->gid && chown(folder.c_str(), static_cast<uid_t>(-1), user->gid))
    return false;
  return chmod(folder.c_str(), service ? 0750 : 0700) == 0;
}

// A folder another user controls could hold that user's socket under the
// channel's name: frames are sent only into one of root's or our own that
// nobody else may write to.
bool TrustedDirectory(const std::string& folder) {
  struct stat st {};
  return lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         (st.st_uid == 0 || st.st_uid == geteuid()) && (st.st_mode & 022) == 0;
}

}  // namespace

std::string MailslotName() {
  const char* env = std::getenv("VANTRY_MAILSLOT");
  return env && *env ? std::string(env) : std::string(kDefaultMailslot);
}

std::optional<std::string> ConsoleMailslotName(std::string_view gateway) {
  const char* env = std::getenv("VANTRY_MAILSLOT");
  if (env && *env) return std::string(env);
  if (gateway != "\\\\.") return std::nullopt;
  return std::string(gateway) + std::string(kMailslotTail);
}

std::string MailslotDirectory() {
  if (IsServiceIdentity(geteuid())) return std::string(kServiceDirectory);
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') return std::string(runtime) + "/vantry";
  return "/tmp/vantry-" + std::to_string(geteuid());
}

std::string MailslotPath(std::string_view name) {
  if (name.starts_with('/')) return std::string(name);
  std::string file(name);
  std::replace(file.begin(), file.end(), '/', '_');
  return MailslotDirectory() + "/" + file;
}

SlotWriter::SlotWriter(std::string name)
    : name_(name.empty() ? std::string() : MailslotPath(name)),
      folder_(name.empty() || name.starts_with('/') ? std::string() : MailslotDirectory()) {}
SlotWriter::~SlotWriter() { SlotClose(); }

void SlotWriter::SlotOpen() {
  SlotClose();
  sockaddr_un addr;
  socklen_t len;
  if (!SocketAddress(name_, addr, len)) return;
  if (!folder_.empty() && !TrustedDirectory(folder_)) return;
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
    close(fd);
    return;
  }
  fd_ = fd;
}

SlotWriteResult SlotWriter::SlotWrite(std::string_view message) {
  if (TrimBlanks(message).empty()) return SlotWriteResult::kEmpty;
  if (fd_ < 0) return SlotWriteResult::kNoReader;
  ssize_t n;
  do {
    n = send(fd_, message.data(), message.size(), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n == static_cast<ssize_t>(message.size())) return SlotWriteResult::kSent;
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return SlotWriteResult::kWouldBlock;
  if (n < 0 && (errno == ECONNREFUSED || errno == ENOTCONN)) return SlotWriteResult::kNoReader;
  return SlotWriteResult::kFailed;
}

void SlotWriter::SlotClose() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

SlotReader::~SlotReader() { SlotClose(); }

bool SlotReader::SlotCreate(std::string_view name) {
  SlotClose();
  if (name.empty()) return false;
  const std::string path = MailslotPath(name);
  sockaddr_un addr;
  socklen_t len;
  if (!SocketAddress(path, addr, len)) return false;
  if (!name.starts_with('/') && !PrepareDirectory(MailslotDirectory())) return false;
  // The lock, not the socket file, says who owns the name: a console that
  // died leaves its socket file behind, and the next one takes it over.
  const std::string lock_path = path + ".lock";
  int lock_fd = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lock_fd < 0) return false;
  if (flock(lock_fd, LOCK_EX | LOCK_NB) != 0) {
    close(lock_fd);
    return false;
  }
  unlink(path.c_str());
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
    if (fd >= 0) close(fd);
    close(lock_fd);
    return false;
  }
  // The service account writes to the socket; its folder keeps others out.
  std::optional<ServiceUser> user = LookUpServiceUser();
  if (user && geteuid() == 0) chown(path.c_str(), static_cast<uid_t>(-1), user->gid);
  chmod(path.c_str(), 0660);
  // Each datagram then carries its sender's credentials.
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &on, sizeof on);
  // A larger receive buffer rides out bursts between two drains.
  int size = 4 * 1024 * 1024;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  senders_ = {0, geteuid()};
  if (user) senders_.push_back(user->uid);
  fd_ = fd;
  lock_fd_ = lock_fd;
  path_ = path;
  return true;
}

std::string SlotReader::SlotRead() {
  std::string text;
  if (fd_ < 0) return text;
  std::vector<char> buf(65536);
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
  for (;;) {
    iovec io{.iov_base = buf.data(), .iov_len = buf.size()};
    msghdr msg{};
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n = recvmsg(fd_, &msg, MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    bool allowed = false;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
      if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_CREDENTIALS) continue;
      ucred sender{};
      std::memcpy(&sender, CMSG_DATA(c), sizeof sender);
      allowed = std::find(senders_.begin(), senders_.end(), sender.uid) != senders_.end();
    }
    if (!allowed) {
      ++refused_;
      continue;
    }
    if (n == 0) break;
    text.append(buf.data(), static_cast<size_t>(n));
  }
  return text;
}

void SlotReader::SlotClose() {
  if (fd_ >= 0) {
    unlink(path_.c_str());
    unlink((path_ + ".lock").c_str());
    close(fd_);
  }
  if (lock_fd_ >= 0) close(lock_fd_);
  fd_ = -1;
  lock_fd_ = -1;
}

}  // namespace vantry
