#include "tcp_client.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

namespace vantry::testing {

sockaddr_in LoopbackAddress(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return addr;
}

namespace {

// The gateway listens on every local address, so a TCP port must be free there too.
bool CanBind(int type, int port, in_addr_t address = htonl(INADDR_LOOPBACK)) {
  int fd = socket(AF_INET, type, 0);
  if (fd < 0) return false;
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr = LoopbackAddress(port);
  addr.sin_addr.s_addr = address;
  bool ok = bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

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

int FreePort() {
  // Ports below the kernel's ephemeral range: the many outgoing connections of
  // tests running in parallel can never take them between check and use.
  int low = 32768;
  if (FILE* range = std::fopen("/proc/sys/net/ipv4/ip_local_port_range", "r")) {
    int lo = 0, hi = 0;
    if (std::fscanf(range, "%d %d", &lo, &hi) == 2 && lo > 12000) low = lo;
    std::fclose(range);
  }
  static std::mt19937 rng(static_cast<unsigned>(getpid()) * 7919u ^
                          static_cast<unsigned>(std::time(nullptr)));
  std::uniform_int_distribution<int> pick(10000, low - 1);
  for (int attempt = 0; attempt < 500; ++attempt) {
    int port = pick(rng);
    if (CanBind(SOCK_STREAM, port) && CanBind(SOCK_DGRAM, port) &&
        CanBind(SOCK_STREAM, port, htonl(INADDR_ANY))) {
      return port;
    }
  }
  throw std::runtime_error("no free loopback port");
}

bool WaitForTcpPort(int port, std::chrono::milliseconds timeout, const std::string& host) {
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  bool ok = false;
  for (auto deadline = std::chrono::steady_clock::now() + timeout;
       !ok && std::chrono::steady_clock::now() < deadline;) {
    int fd = socket(found->ai_family, SOCK_STREAM, 0);
    ok = connect(fd, found->ai_addr, found->ai_addrlen) == 0;
    close(fd);
    if (!ok) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  freeaddrinfo(found);
  return ok;
}

bool HasIpv6Loopback() {
  const int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in6 loopback{};
  loopback.sin6_family = AF_INET6;
  loopback.sin6_addr = in6addr_loopback;
  const bool ok = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&loopback), sizeof loopback) == 0;
  if (fd >= 0) close(fd);
  return ok;
}

TcpClient::~TcpClient() { Close(); }

TcpClient::TcpClient(TcpClient&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

void TcpClient::Adopt(int fd) {
  Close();
  fd_ = fd;
}

bool TcpClient::Connect(int port, std::string_view source_address, std::string_view destination) {
  Close();
  const bool v6 = source_address.find(':') != std::string_view::npos;
  sockaddr_storage local{};
  sockaddr_storage remote{};
  socklen_t size = 0;
  auto fill = [&](sockaddr_storage& out, std::string_view text, int at_port) {
    if (v6) {
      auto* in6 = reinterpret_cast<sockaddr_in6*>(&out);
      in6->sin6_family = AF_INET6;
      in6->sin6_port = htons(static_cast<std::uint16_t>(at_port));
      size = sizeof *in6;
      return inet_pton(AF_INET6, std::string(text).c_str(), &in6->sin6_addr) == 1;
    }
    auto* in4 = reinterpret_cast<sockaddr_in*>(&out);
    in4->sin_family = AF_INET;
    in4->sin_port = htons(static_cast<std::uint16_t>(at_port));
    size = sizeof *in4;
    return inet_pton(AF_INET, std::string(text).c_str(), &in4->sin_addr) == 1;
  };
  if (destination.empty()) destination = v6 ? "::1" : "127.0.0.1";
  fd_ = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0 || !fill(local, source_address, 0) || !fill(remote, destination, port) ||
      bind(fd_, reinterpret_cast<sockaddr*>(&local), size) != 0 ||
      connect(fd_, reinterpret_cast<sockaddr*>(&remote), size) != 0) {
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

std::string TcpClient::ReadToEnd(std::chrono::milliseconds timeout) {
  bool closed = false;
  std::string text = ReadWhile(fd_, timeout, &closed, [](const std::string&) { return false; });
  return closed ? text : text + "[still open]";
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
