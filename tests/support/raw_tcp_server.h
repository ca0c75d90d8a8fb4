#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>

namespace vantry::testing {

/// A one-connection TCP peer standing in for the far side of the relay when a
/// test needs exact bytes: it sends `to_send` as soon as a client connects,
/// collects what arrives until `expect_bytes` have come (or EOF), then closes.
class RawTcpServer {
 public:
  RawTcpServer(std::string to_send, std::size_t expect_bytes);
  ~RawTcpServer();
  int port() const { return port_; }
  /// Waits for the session to end; the bytes received.
  std::string Received();

 private:
  int listen_fd_ = -1;
  int port_ = 0;
  std::string to_send_;
  std::size_t expect_bytes_;
  std::string received_;
  std::thread thread_;
};

/// Deterministic pseudo-random binary data (every byte value occurs).
std::string BinaryPayload(std::size_t size, unsigned seed);

}  // namespace vantry::testing
