#pragma once

#include <asio/ip/tcp.hpp>
#include <string>

namespace vantry {

/// The header that tells a mail server behind the gateway which client it is
/// really talking to: `version` 1 is the text form ("PROXY TCP4 ...\r\n"), 2
/// the binary one. `client` is the client's end of its connection to the
/// gateway, `local` the gateway's end of it. An IPv4 address mapped into IPv6
/// counts as IPv4. Empty for any other version.
std::string BuildProxyHeader(int version, const asio::ip::tcp::endpoint& client,
                             const asio::ip::tcp::endpoint& local);

}  // namespace vantry
