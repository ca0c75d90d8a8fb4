#include "mod_slot_out.h"

#include "text_trim.h"

#include <errno.h>
#include <stddef.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace vantry {
namespace {

constexpr std::string_view kDefaultMailslot = "\\\\.\\mailslot\\korvane\\daskvantry";
constexpr std::string_view kMailslotTail = "\\mailslot\\korvane\\daskvantry";

// Abstract names start with a NUL byte and are exactly as long as the name:
// sizeof(sockaddr_un) would name a different socket.
bool AbstractAddress(std::string_view name, sockaddr_un& addr, socklen_t& len) {
  if (name.empty() || name.size() + 1 > sizeof(addr.sun_path)) return false;
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path + 1, name.data(), name.size());
  len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  return true;
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

SlotWriter::SlotWriter(std::string name) : name_(std::move(name)) {}
SlotWriter::~SlotWriter() { SlotClose(); }

void SlotWriter::SlotOpen() {
  SlotClose();
  sockaddr_un addr;
  socklen_t len;
  if (!AbstractAddress(name_, addr, len)) return;
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
  sockaddr_un addr;
  socklen_t len;
  if (!AbstractAddress(name, addr, len)) return false;
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
    close(fd);
    return false;
  }
  // A larger receive buffer rides out bursts between two drains.
  int size = 4 * 1024 * 1024;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  fd_ = fd;
  return true;
}

std::string SlotReader::SlotRead() {
  std::string text;
  if (fd_ < 0) return text;
  std::vector<char> buf(65536);
  for (;;) {
    ssize_t n = recv(fd_, buf.data(), buf.size(), MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buf.data(), static_cast<size_t>(n));
  }
  return text;
}

void SlotReader::SlotClose() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

}  // namespace vantry
