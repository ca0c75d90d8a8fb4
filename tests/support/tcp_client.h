#pragma once

#include <netinet/in.h>

#include <chrono>
#include <string>
#include <string_view>

namespace vantry::testing {

using namespace std::chrono_literals;

// Loopback networking for tests: free ports, waiting for a listener, and a blocking client.

/// 127.0.0.1:port as a socket address.
sockaddr_in LoopbackAddress(int port);
/// A loopback port that was free for both TCP and UDP at the time of the call.
int FreePort();
/// True once something accepts TCP connections on host (an address text):port.
bool WaitForTcpPort(int port, std::chrono::milliseconds timeout,
                    const std::string& host = "127.0.0.1");

/// Whether this machine has ::1 (some run with IPv6 switched off).
bool HasIpv6Loopback();

/// A blocking TCP client for tests, optionally bound to a chosen loopback
/// source address (127.0.0.x, ::1, or an IPv6 address a test put on its own
/// loopback) so the gateway sees different peers.
class TcpClient {
 public:
  TcpClient() = default;
  ~TcpClient();
  TcpClient(TcpClient&& other) noexcept;

  /// An empty destination is 127.0.0.1, or ::1 for an IPv6 source.
  bool Connect(int port, std::string_view source_address = "127.0.0.1",
               std::string_view destination = {});
  /// Takes over a connected socket, such as one a test server accepted.
  void Adopt(int fd);
  bool SendAll(std::string_view bytes);
  /// Reads until the text contains needle, EOF or the timeout.
  std::string ReadUntil(std::string_view needle, std::chrono::milliseconds timeout = 10s);
  /// Reads until the peer closes; "[still open]" follows what came if it has not by the timeout.
  std::string ReadToEnd(std::chrono::milliseconds timeout = 10s);
  /// Reads exactly n bytes unless EOF or timeout comes first.
  std::string ReadExactly(std::size_t n, std::chrono::milliseconds timeout = 30s);
  void Close();
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

/// Deterministic pseudo-random binary data in which every byte value occurs.
std::string BinaryPayload(std::size_t size, unsigned seed);

}  // namespace vantry::testing
