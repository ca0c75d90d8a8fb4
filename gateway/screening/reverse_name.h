#pragma once

#include <netinet/in.h>

#include <string>

namespace vantry {

/// The 32 nibbles of an IPv6 address, last first, each followed by a dot:
/// the start of its ip6.arpa name and of its DNSBL query names.
inline std::string ReversedNibbles(const in6_addr& address) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string nibbles;
  nibbles.reserve(64);
  for (int i = 15; i >= 0; --i) {
    nibbles += kHex[address.s6_addr[i] & 0x0F];
    nibbles += '.';
    nibbles += kHex[address.s6_addr[i] >> 4];
    nibbles += '.';
  }
  return nibbles;
}

}  // namespace vantry
