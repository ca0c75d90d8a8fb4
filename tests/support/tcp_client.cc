#include "tcp_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string>
#include <utility>

#include "free_port.h"

namespace vantry::testing {
namespace {

// Reads until `done` says so, the peer closes, or the deadline passes.
template <typename Done>
std::string ReadWhile(int fd, std::chrono::milliseconds timeout, bool* closed, Done done) {
  std::string text;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  std::string buf(65536, '\0');
  if (closed) *closed = false;
  while (fd >= 0 && !done(text)) {
    pollfd p{fd, POLLIN, 0};
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    ssize_t n = recv(fd, buf.data(), buf.size(), 0);
    if (n <= 0) {
      if (closed) *closed = true;
      break;
    }
    text.append(buf.data(), static_cast<size_t>(n));
  }
  return text;
}

}  // namespace

TcpClient::~TcpClient() { Close(); }

TcpClient::TcpClient(TcpClient&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TcpClient& TcpClient::operator=(TcpClient&& other) noexcept {
  if (this != &other) Adopt(std::exchange(other.fd_, -1));
  return *this;
}

void TcpClient::Adopt(int fd) {
  Close();
  fd_ = fd;
}

bool TcpClient::Connect(int port, std::string_view source_address) {
  Close();
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in local = LoopbackAddress(0);
  sockaddr_in remote = LoopbackAddress(port);
  if (fd_ < 0 || inet_pton(AF_INET, std::string(source_address).c_str(), &local.sin_addr) != 1 ||
      bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      connect(fd_, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
    Close();
    return false;
  }
  int one = 1;
  setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return true;
}

bool TcpClient::SendAll(std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string TcpClient::ReadUntil(std::string_view needle, std::chrono::milliseconds timeout) {
  return ReadWhile(fd_, timeout, nullptr,
                   [&](const std::string& text) { return text.find(needle) != std::string::npos; });
}

std::string TcpClient::ReadToEnd(std::chrono::milliseconds timeout, bool* closed) {
  return ReadWhile(fd_, timeout, closed, [](const std::string&) { return false; });
}

std::string TcpClient::ReadExactly(std::size_t n, std::chrono::milliseconds timeout) {
  // Whole chunks may overshoot n only if the peer sends more than asked for.
  return ReadWhile(fd_, timeout, nullptr,
                   [n](const std::string& text) { return text.size() >= n; });
}

void TcpClient::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

std::string BinaryPayload(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i < 256 ? i : rng() & 0xff);
  return data;
}

}  // namespace vantry::testing
