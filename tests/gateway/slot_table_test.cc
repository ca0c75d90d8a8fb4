#include "slot_table.h"

#include <gtest/gtest.h>

namespace vantry {
namespace {

TEST(SlotTable, LowestFreeSlotWinsAndReservedSlotsAreSkipped) {
  SlotTable table(255);
  EXPECT_EQ(table.max_socks(), 255);
  EXPECT_EQ(table.Sockets.size(), 256u);
  EXPECT_EQ(table.FindFreeSocket(), 0);
  table.slot(0).reserved = true;
  // A screening in progress leaves the inbound socket closed: it must not be handed out again.
  EXPECT_EQ(table.FindFreeSocket(), 1);
  table.slot(1).in_state = SocketState::kConnected;
  table.slot(2).in_state = SocketState::kBusy;
  EXPECT_EQ(table.FindFreeSocket(), 3);
  table.slot(0).reserved = false;
  EXPECT_EQ(table.FindFreeSocket(), 0);
}

TEST(SlotTable, ClosingAndErrorSlotsAreFreedForTheNextSearchOnly) {
  SlotTable table(255);
  table.slot(0).in_state = SocketState::kClosing;
  table.slot(1).in_state = SocketState::kError;
  EXPECT_EQ(table.FindFreeSocket(), 2);
  EXPECT_EQ(table.slot(0).in_state, SocketState::kClosed);
  EXPECT_EQ(table.slot(1).in_state, SocketState::kClosed);
  EXPECT_EQ(table.FindFreeSocket(), 0);
}

TEST(SlotTable, ASlotJustFinishedServesWhenNoOtherIsFree) {
  SlotTable table(255);
  for (int i = 0; i <= 255; ++i) table.slot(i).reserved = true;
  table.slot(7).reserved = false;
  table.slot(7).in_state = SocketState::kClosing;
  table.slot(9).reserved = false;
  table.slot(9).in_state = SocketState::kError;
  EXPECT_EQ(table.FindFreeSocket(), 7);
  EXPECT_EQ(table.slot(9).in_state, SocketState::kClosed);
}

TEST(SlotTable, FullTableGivesMinusOne) {
  SlotTable table(255);
  for (int i = 0; i <= 255; ++i) table.slot(i).reserved = true;
  EXPECT_EQ(table.FindFreeSocket(), -1);
  table.slot(255).reserved = false;
  EXPECT_EQ(table.FindFreeSocket(), 255);
}

TEST(SlotTable, ClearSocketBlanksTheRecord) {
  SlotTable table(255);
  table.info(4) = SocketInfo{"1.2.3.4", "5.6.7.8", "h", "zone", "Type 2", true, 4, 99};
  table.ClearSocket(4);
  const SocketInfo& info = table.info(4);
  EXPECT_TRUE(info.IP.empty() && info.AltIP.empty() && info.HostName.empty() &&
              info.BLHost.empty() && info.BLType.empty());
  EXPECT_FALSE(info.Blacklisted);
  EXPECT_EQ(info.Status, 0);
  EXPECT_EQ(info.RequestID, 0);
}

TEST(RequestID, CountsUpFromOneAndStartsAgainAfterTheLargest) {
  EXPECT_EQ(NextRequestID(0), 1);
  EXPECT_EQ(NextRequestID(41), 42);
  EXPECT_EQ(NextRequestID(INT32_MAX - 1), INT32_MAX);
  EXPECT_EQ(NextRequestID(INT32_MAX), 1);
}

}  // namespace
}  // namespace vantry
