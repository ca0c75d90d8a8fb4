#include "mod_slot_out.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "temp_dir.h"

namespace vantry {
namespace {

TEST(MonitorChannelEnds, FramesArriveWholeAndInOrder) {
  std::string name = testing::UniqueName("slot");
  SlotReader reader;
  ASSERT_TRUE(reader.SlotCreate(name));
  SlotWriter writer(name);
  writer.SlotOpen();
  EXPECT_EQ(writer.SlotWrite("+++255|0|START||||||2003-06-14|09:00***"), SlotWriteResult::kSent);
  EXPECT_EQ(writer.SlotWrite("+++255|1|OK|1.2.3.4|1.2.3.4||||2003-06-14|09:01***"),
            SlotWriteResult::kSent);
  EXPECT_EQ(writer.SlotWrite("   "), SlotWriteResult::kEmpty);
  EXPECT_EQ(reader.SlotRead(),
            "+++255|0|START||||||2003-06-14|09:00***"
            "+++255|1|OK|1.2.3.4|1.2.3.4||||2003-06-14|09:01***");
  EXPECT_EQ(reader.SlotRead(), "");
}

TEST(MonitorChannelEnds, OnlyOneReaderAndNoReaderMeansLost) {
  std::string name = testing::UniqueName("slot");
  SlotWriter writer(name);
  writer.SlotOpen();
  EXPECT_EQ(writer.SlotWrite("+++x***"), SlotWriteResult::kNoReader);
  {
    SlotReader first;
    ASSERT_TRUE(first.SlotCreate(name));
    SlotReader second;
    EXPECT_FALSE(second.SlotCreate(name));
    EXPECT_EQ(second.fd(), -1);
  }
  // The name is free again once its owner is gone.
  SlotReader third;
  EXPECT_TRUE(third.SlotCreate(name));
  EXPECT_FALSE(third.SlotCreate(std::string(200, 'x')));
}

TEST(MonitorChannelEnds, FullReaderQueueMakesTheWriterWaitNotBlock) {
  std::string name = testing::UniqueName("slot");
  SlotReader reader;
  ASSERT_TRUE(reader.SlotCreate(name));
  SlotWriter writer(name);
  writer.SlotOpen();
  int sent = 0;
  SlotWriteResult last = SlotWriteResult::kSent;
  while (sent < 100000 && (last = writer.SlotWrite("+++frame***")) == SlotWriteResult::kSent)
    ++sent;
  EXPECT_EQ(last, SlotWriteResult::kWouldBlock);
  EXPECT_GT(sent, 0);
  EXPECT_EQ(reader.SlotRead().size(), static_cast<size_t>(sent) * 11);
  EXPECT_EQ(writer.SlotWrite("+++again***"), SlotWriteResult::kSent);
}

TEST(MonitorChannelEnds, NamesFollowTheEnvironmentAndTheGatewaySetting) {
  unsetenv("VANTRY_MAILSLOT");
  EXPECT_EQ(MailslotName(), "\\\\.\\mailslot\\korvane\\daskvantry");
  EXPECT_EQ(ConsoleMailslotName("\\\\."), "\\\\.\\mailslot\\korvane\\daskvantry");
  EXPECT_EQ(ConsoleMailslotName("\\\\otherhost"), std::nullopt);
  setenv("VANTRY_MAILSLOT", "test-slot", 1);
  EXPECT_EQ(MailslotName(), "test-slot");
  EXPECT_EQ(ConsoleMailslotName("\\\\otherhost"), "test-slot");
  unsetenv("VANTRY_MAILSLOT");
}

}  // namespace
}  // namespace vantry
