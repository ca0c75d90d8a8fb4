#include "slot_table.h"

namespace vantry {

SlotTable::SlotTable(std::int32_t max_socks) : slots_(static_cast<std::size_t>(max_socks) + 1) {}

std::int32_t SlotTable::FindFreeSocket() {
  std::int32_t first_finished = -1;
  for (std::int32_t i = 0; i <= max_socks(); ++i) {
    Slot& s = slot(i);
    if (s.reserved) continue;
    if (s.in_state == SocketState::kError || s.in_state == SocketState::kClosing) {
      s.wsIn.reset();
      s.in_state = SocketState::kClosed;
      if (first_finished < 0) first_finished = i;
      continue;
    }
    if (s.in_state == SocketState::kClosed) return i;
  }
  // Only when no slot was free at all does a slot this search just finished
  // serve: refusing a client while slots are idle would be plainly wrong.
  return first_finished;
}

void SlotTable::ClearSocket(std::int32_t index) {
  Slot& s = slot(index);
  s.info = SocketInfo{};
  s.rbl = RBLResult{};
  s.early_bytes.clear();
}

void SlotTable::Reserve(std::int32_t index, const asio::ip::address& peer) {
  Slot& s = slot(index);
  if (s.reserved) Release(index);
  s.reserved = true;
  s.peer = peer;
  ++held_[peer];
}

void SlotTable::Release(std::int32_t index) {
  Slot& s = slot(index);
  if (!s.reserved) return;
  s.reserved = false;
  auto found = held_.find(s.peer);
  if (found != held_.end() && --found->second <= 0) held_.erase(found);
}

std::int32_t SlotTable::HeldBy(const asio::ip::address& peer) const {
  auto found = held_.find(peer);
  return found == held_.end() ? 0 : found->second;
}

RBLResult* SlotTable::rbl_result(std::int32_t index) {
  if (index < 0 || index > max_socks()) return nullptr;
  return &slot(index).rbl;
}

}  // namespace vantry
