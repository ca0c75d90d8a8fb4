#pragma once

#include <array>
#include <asio/ip/address.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace vantry {

/// The load balancers whose connections start with a PROXY header: addresses
/// and CIDR blocks, IPv4 and IPv6.
class TrustedPeers {
 public:
  /// Reads "addr[/bits], ..." (blanks around entries allowed). Entries that are
  /// not an address or a block are left out and listed in `rejected`.
  static TrustedPeers Parse(std::string_view text, std::vector<std::string>& rejected);

  bool empty() const { return blocks_.empty(); }
  /// Whether `peer` (an IPv4 address mapped into IPv6 counts as IPv4) is listed.
  bool Contains(const asio::ip::address& peer) const;

 private:
  struct Block {
    bool v4 = false;
    std::array<unsigned char, 16> bytes{};
    unsigned bits = 0;
  };
  std::vector<Block> blocks_;
};

}  // namespace vantry
