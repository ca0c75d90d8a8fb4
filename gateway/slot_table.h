#pragma once

#include <asio/ip/address.hpp>
#include <asio/ip/tcp.hpp>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "rbl_result.h"
#include "socket_info.h"
#include "unique_fd.h"

namespace vantry {

/// One connection slot: the inbound socket facing the client, the outbound
/// socket facing the mail server, the state the slot search looks at, and the
/// records the screening fills and the reports read.
struct Slot {
  SocketState in_state = SocketState::kClosed;
  /// Taken by a connection whose screening or relay is still running. The
  /// inbound socket stays "closed" until the hand-over accepts the client, so
  /// without this a second search could hand the same slot out twice.
  bool reserved = false;
  /// The client's address (IPv4 never in its IPv6-mapped form), counted while
  /// the slot is reserved.
  asio::ip::address peer;
  /// The client's end of the connection: its own, or the one a trusted load
  /// balancer's PROXY header named.
  asio::ip::tcp::endpoint client;
  /// What the client sent behind the load balancer's header, relayed first.
  std::string early_bytes;
  UniqueFd wsIn;
  UniqueFd wsOut;
  SocketInfo info;
  RBLResult rbl;
};

/// The slots 0 .. MaxSocks, owned for the process lifetime; they never move.
class SlotTable {
 public:
  explicit SlotTable(std::int32_t max_socks);

  /// Lowest free slot, or -1. A slot left closing or in error is closed by the
  /// search and handed out by a later one, unless no other slot is free.
  std::int32_t FindFreeSocket();
  /// Blanks the slot's records.
  void ClearSocket(std::int32_t index);
  /// Marks the slot taken by a connection from `peer` until Release.
  void Reserve(std::int32_t index, const asio::ip::address& peer);
  void Release(std::int32_t index);
  /// Reserved slots held by connections from `peer`.
  std::int32_t HeldBy(const asio::ip::address& peer) const;

  std::int32_t max_socks() const { return static_cast<std::int32_t>(slots_.size()) - 1; }
  Slot& slot(std::int32_t index) { return slots_[static_cast<std::size_t>(index)]; }
  SocketInfo& info(std::int32_t index) { return slot(index).info; }
  /// The slot's DNSBL record, or null when there is no such slot.
  RBLResult* rbl_result(std::int32_t index);

 private:
  std::vector<Slot> slots_;
  // Only addresses holding a slot have an entry, so a flood from many
  // addresses costs no more than the slots it holds.
  std::unordered_map<asio::ip::address, std::int32_t> held_;
};

}  // namespace vantry
