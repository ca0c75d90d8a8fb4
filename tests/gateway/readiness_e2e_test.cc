// systemd's readiness protocol, with a notification socket of the test's own in place of systemd.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>

#include "gateway_fixture.h"
#include "tcp_client.h"
#include "temp_dir.h"

namespace vantry::testing {
namespace {

// The next datagram on fd, or "" when none comes in time.
std::string NextMessage(int fd, std::chrono::milliseconds timeout) {
  pollfd ready{.fd = fd, .events = POLLIN, .revents = 0};
  if (poll(&ready, 1, static_cast<int>(timeout.count())) != 1) return "";
  char text[256];
  const ssize_t n = recv(fd, text, sizeof text, 0);
  return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : "";
}

TEST(Readiness, ReadyComesWhenThePortTakesConnectionsAndStoppingAtAStop) {
  TempDir dir;
  const std::string path = dir.File("notify");
  // The gateway may have changed to its own user by the time it notifies.
  chmod(dir.path().c_str(), 0755);
  const int notify = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(notify, 0);
  sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
  ASSERT_LT(path.size(), sizeof address.sun_path);
  path.copy(address.sun_path, path.size());
  ASSERT_EQ(bind(notify, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  chmod(path.c_str(), 0666);

  setenv("NOTIFY_SOCKET", path.c_str(), 1);
  GatewayFixture::Options options = RelayOnlyOptions(FreePort());
  options.wait_until_listening = false;
  GatewayFixture gateway(options);
  unsetenv("NOTIFY_SOCKET");

  EXPECT_EQ(NextMessage(notify, 10s), "READY=1") << gateway.Trace();
  // No wait here: READY=1 must not come before the port takes clients.
  TcpClient client;
  EXPECT_TRUE(client.Connect(gateway.port())) << gateway.Trace();
  EXPECT_EQ(gateway.process().Terminate(SIGTERM), 0);
  EXPECT_EQ(NextMessage(notify, 1s), "STOPPING=1");
  close(notify);
}

}  // namespace
}  // namespace vantry::testing
