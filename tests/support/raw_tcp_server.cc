#include "raw_tcp_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>

#include "free_port.h"
#include "tcp_client.h"

namespace vantry::testing {

RawTcpServer::RawTcpServer(std::string to_send, std::size_t expect_bytes)
    : to_send_(std::move(to_send)), expect_bytes_(expect_bytes) {
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr = LoopbackAddress(0);
  socklen_t len = sizeof addr;
  bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  listen(listen_fd_, 4);
  thread_ = std::thread([this] {
    pollfd p{listen_fd_, POLLIN, 0};
    if (poll(&p, 1, 30000) <= 0) return;
    TcpClient peer;
    peer.Adopt(accept(listen_fd_, nullptr, nullptr));
    // Send and receive at once, as a real peer would, so neither side's
    // buffers can deadlock the exchange.
    std::thread writer([&] { peer.SendAll(to_send_); });
    received_ = peer.ReadExactly(expect_bytes_);
    writer.join();
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
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i < 256 ? i : rng() & 0xff);
  return data;
}

}  // namespace vantry::testing
