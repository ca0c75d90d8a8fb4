#pragma once

#include <chrono>

namespace vantry::testing {

/// A loopback port that was free for both TCP and UDP at the time of the call.
int FreePort();
/// True once something accepts TCP connections on 127.0.0.1:port.
bool WaitForTcpPort(int port, std::chrono::milliseconds timeout);

}  // namespace vantry::testing
