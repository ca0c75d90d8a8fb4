#pragma once

#include <netinet/in.h>

#include <chrono>

namespace vantry::testing {

/// 127.0.0.1:port as a socket address.
sockaddr_in LoopbackAddress(int port);
/// A loopback port that was free for both TCP and UDP at the time of the call.
int FreePort();
/// True once something accepts TCP connections on 127.0.0.1:port.
bool WaitForTcpPort(int port, std::chrono::milliseconds timeout);

}  // namespace vantry::testing
