#include "free_port.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <random>
#include <stdexcept>
#include <thread>

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

bool WaitForTcpPort(int port, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = LoopbackAddress(port);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    if (ok) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

}  // namespace vantry::testing
