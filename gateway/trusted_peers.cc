#include "trusted_peers.h"

#include <algorithm>
#include <charconv>

#include "peer_address.h"
#include "text_trim.h"

namespace vantry {
namespace {

// The address's bytes, IPv4 in the first four.
std::array<unsigned char, 16> BytesOf(const asio::ip::address& a) {
  std::array<unsigned char, 16> out{};
  if (a.is_v4()) {
    const auto v4 = a.to_v4().to_bytes();
    std::copy(v4.begin(), v4.end(), out.begin());
  } else {
    out = a.to_v6().to_bytes();
  }
  return out;
}

bool SamePrefix(const std::array<unsigned char, 16>& a, const std::array<unsigned char, 16>& b,
                unsigned bits) {
  std::size_t i = 0;
  for (; bits >= 8; bits -= 8, ++i) {
    if (a[i] != b[i]) return false;
  }
  if (bits == 0) return true;
  const auto mask = static_cast<unsigned char>(0xFF << (8 - bits));
  return (a[i] & mask) == (b[i] & mask);
}

}  // namespace

TrustedPeers TrustedPeers::Parse(std::string_view text, std::vector<std::string>& rejected) {
  TrustedPeers peers;
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string_view entry = TrimBlanks(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    if (entry.empty()) continue;
    const std::size_t slash = entry.find('/');
    asio::error_code ec;
    const asio::ip::address parsed =
        asio::ip::make_address(std::string(entry.substr(0, slash)), ec);
    if (ec || (parsed.is_v6() && parsed.to_v6().scope_id() != 0)) {
      rejected.emplace_back(entry);
      continue;
    }
    const asio::ip::address plain = Unmapped(parsed);
    const bool mapped = plain.is_v4() && parsed.is_v6();
    const unsigned width = plain.is_v4() ? 32 : 128;
    unsigned bits = width;
    if (slash != std::string_view::npos) {
      const std::string_view digits = entry.substr(slash + 1);
      const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), bits);
      // A mapped address's block counts its bits in IPv6, 96 of them before the IPv4 part.
      if (mapped && bits >= 96) bits -= 96;
      if (error != std::errc() || end != digits.data() + digits.size() || digits.empty() ||
          bits > width || (mapped && bits > 32)) {
        rejected.emplace_back(entry);
        continue;
      }
    }
    peers.blocks_.push_back({.v4 = plain.is_v4(), .bytes = BytesOf(plain), .bits = bits});
  }
  return peers;
}

bool TrustedPeers::Contains(const asio::ip::address& peer) const {
  const asio::ip::address plain = Unmapped(peer);
  const auto bytes = BytesOf(plain);
  return std::any_of(blocks_.begin(), blocks_.end(), [&](const Block& block) {
    return block.v4 == plain.is_v4() && SamePrefix(block.bytes, bytes, block.bits);
  });
}

}  // namespace vantry
