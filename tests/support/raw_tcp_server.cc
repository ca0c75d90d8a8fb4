#include "raw_tcp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>

namespace vantry::testing {

RawTcpServer::RawTcpServer(std::string to_send, std::size_t expect_bytes)
    : to_send_(std::move(to_send)), expect_bytes_(expect_bytes) {
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  listen(listen_fd_, 4);
  thread_ = std::thread([this] {
    pollfd p{listen_fd_, POLLIN, 0};
    if (poll(&p, 1, 30000) <= 0) return;
    int fd = accept(listen_fd_, nullptr, nullptr);
    if (fd < 0) return;
    // Send and receive at once, as a real peer would, so neither side's
    // buffers can deadlock the exchange.
    std::thread writer([this, fd] {
      size_t done = 0;
      while (done < to_send_.size()) {
        ssize_t n = send(fd, to_send_.data() + done, to_send_.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
      }
    });
    std::string buf(65536, '\0');
    while (received_.size() < expect_bytes_) {
      pollfd q{fd, POLLIN, 0};
      if (poll(&q, 1, 30000) <= 0) break;
      ssize_t n = recv(fd, buf.data(), buf.size(), 0);
      if (n <= 0) break;
      received_.append(buf.data(), static_cast<size_t>(n));
    }
    writer.join();
    close(fd);
  });
}

RawTcpServer::~RawTcpServer() {
  if (thread_.joinable()) thread_.join();
  close(listen_fd_);
}

std::string RawTcpServer::Received() {
  if (thread_.joinable()) thread_.join();
  return received_;
}

std::string BinaryPayload(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(rng() & 0xff);
  for (size_t i = 0; i < 256 && i < size; ++i) data[i] = static_cast<char>(i);
  return data;
}

}  // namespace vantry::testing
