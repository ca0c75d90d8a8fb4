#include "slot_table.h"

#include <gtest/gtest.h>

namespace vantry {
namespace {

TEST(SlotTable, TheLowestFreeSlotWinsOverReservedBusyAndJustFinishedOnes) {
  SlotTable table(255);
  EXPECT_EQ(table.FindFreeSocket(), 0);
  // A screening in progress leaves the inbound socket closed: it must not be handed out again.
  table.slot(0).reserved = true;
  table.slot(1).in_state = SocketState::kConnected;
  table.slot(2).in_state = SocketState::kBusy;
  table.slot(3).in_state = SocketState::kClosing;
  table.slot(4).in_state = SocketState::kError;
  EXPECT_EQ(table.FindFreeSocket(), 5);
  // The finished ones were freed for the next search.
  EXPECT_EQ(table.slot(3).in_state, SocketState::kClosed);
  EXPECT_EQ(table.slot(4).in_state, SocketState::kClosed);
  EXPECT_EQ(table.FindFreeSocket(), 3);
  table.slot(0).reserved = false;
  EXPECT_EQ(table.FindFreeSocket(), 0);
}

// What MaxPerIP is compared with: a slot counts for its address from Reserve to its one Release.
TEST(SlotTable, ReservedSlotsAreCountedPerAddress) {
  SlotTable table(7);
  const auto a = asio::ip::make_address("127.0.0.2");
  const auto b = asio::ip::make_address("2001:db8::3");
  for (std::int32_t i : {0, 1, 2}) table.Reserve(i, a);
  table.Reserve(3, b);
  EXPECT_EQ(table.HeldBy(a), 3);
  EXPECT_EQ(table.HeldBy(b), 1);
  EXPECT_EQ(table.FindFreeSocket(), 4);
  table.Release(1);
  table.Release(1);  // a second release of the same slot changes nothing
  EXPECT_EQ(table.HeldBy(a), 2);
  EXPECT_EQ(table.FindFreeSocket(), 1);
  // A slot taken again by another address moves its count along.
  table.Reserve(0, b);
  EXPECT_EQ(table.HeldBy(a), 1);
  EXPECT_EQ(table.HeldBy(b), 2);
  for (std::int32_t i : {0, 2, 3}) table.Release(i);
  EXPECT_EQ(table.HeldBy(a), 0);
  EXPECT_EQ(table.HeldBy(b), 0);
}

TEST(SlotTable, EachSlotKeepsItsOwnRecordsAndClearingBlanksBoth) {
  SlotTable table(3);
  table.info(2) = SocketInfo{
      "1.2.3.4", "5.6.7.8", "h", "zone", "Type 2", true, ScreeningStatus::kBlacklisted, 99};
  *table.rbl_result(2) = RBLResult{"1.2.3.4", "127.0.0.2", "zone"};
  EXPECT_EQ(table.rbl_result(1)->IP, "");
  EXPECT_EQ(table.rbl_result(4), nullptr);
  table.ClearSocket(2);
  const SocketInfo& info = table.info(2);
  EXPECT_EQ(info.IP + info.AltIP + info.HostName + info.BLHost + info.BLType, "");
  EXPECT_TRUE(!info.Blacklisted && info.Status == ScreeningStatus::kUnchecked && !info.RequestID);
  EXPECT_EQ(table.rbl_result(2)->IP + table.rbl_result(2)->Response + table.rbl_result(2)->BLHost,
            "");
}

TEST(RequestID, CountsUpFromOneAndStartsAgainAfterTheLargest) {
  EXPECT_EQ(NextRequestID(0), 1);
  EXPECT_EQ(NextRequestID(INT32_MAX), 1);
}

}  // namespace
}  // namespace vantry
