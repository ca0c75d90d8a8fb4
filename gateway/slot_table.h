#pragma once

#include <cstdint>
#include <vector>

#include "socket_info.h"
#include "unique_fd.h"

namespace vantry {

/// One connection slot: the inbound socket facing the client, the outbound
/// socket facing the mail server, and the state the slot search looks at.
struct Slot {
  SocketState in_state = SocketState::kClosed;
  /// Taken by a connection whose screening or relay is still running. The
  /// inbound socket stays "closed" until the hand-over accepts the client, so
  /// without this a second search could hand the same slot out twice.
  bool reserved = false;
  UniqueFd wsIn;
  UniqueFd wsOut;
};

/// The slots 0 .. MaxSocks and their records, owned for the process lifetime.
class SlotTable {
 public:
  explicit SlotTable(std::int32_t max_socks);

  /// Lowest free slot, or -1. A slot left closing or in error is closed by the
  /// search and handed out by a later one, unless no other slot is free.
  std::int32_t FindFreeSocket();
  /// Blanks the slot's record.
  void ClearSocket(std::int32_t index);

  std::int32_t max_socks() const { return static_cast<std::int32_t>(slots_.size()) - 1; }
  Slot& slot(std::int32_t index) { return slots_[static_cast<std::size_t>(index)]; }
  SocketInfo& info(std::int32_t index) { return Sockets[static_cast<std::size_t>(index)]; }

  /// The slot records, indexed by slot.
  std::vector<SocketInfo> Sockets;

 private:
  std::vector<Slot> slots_;
};

}  // namespace vantry
