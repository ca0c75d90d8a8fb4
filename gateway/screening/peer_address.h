#pragma once

#include <asio/ip/address.hpp>
#include <string>

namespace vantry {

/// `a` with an IPv4 address mapped into IPv6 (as a listener taking both
/// families reports IPv4 clients) turned back into plain IPv4.
inline asio::ip::address Unmapped(const asio::ip::address& a) {
  if (a.is_v6() && a.to_v6().is_v4_mapped()) {
    return asio::ip::make_address_v4(asio::ip::v4_mapped, a.to_v6());
  }
  return a;
}

/// The text a client's address is shown, logged, listed and compared by:
/// dotted IPv4, or IPv6 in its canonical short form ("2001:db8::1").
inline std::string PeerText(const asio::ip::address& a) { return Unmapped(a).to_string(); }

}  // namespace vantry
