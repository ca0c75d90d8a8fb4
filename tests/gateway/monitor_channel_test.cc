#include "monitor_channel.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <thread>

#include "temp_dir.h"

namespace vantry {
namespace {

std::string Frame(int i) { return "+++255|" + std::to_string(i) + "|OK|||||||***"; }

TEST(GatewayMonitorChannel, NoReaderDropsAndALaterReaderIsFound) {
  asio::io_context io;
  std::string name = testing::UniqueName("slot");
  MonitorChannel channel(io, name);
  channel.Send(Frame(1));
  EXPECT_EQ(channel.queued(), 0u);
  SlotReader reader;
  ASSERT_TRUE(reader.SlotCreate(name));
  channel.Send(Frame(2));  // asked again too soon after the refusal: lost
  EXPECT_EQ(reader.SlotRead(), "");
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  channel.Send(Frame(2));
  EXPECT_EQ(reader.SlotRead(), Frame(2));
  // The console restarts: the old connection is dead, the new reader still gets frames.
  reader.SlotClose();
  SlotReader restarted;
  ASSERT_TRUE(restarted.SlotCreate(name));
  channel.Send(Frame(3));
  EXPECT_EQ(restarted.SlotRead(), Frame(3));
}

TEST(GatewayMonitorChannel, FramesLeftWithoutAWaitGoOutWithTheNextReport) {
  asio::io_context io;
  std::string name = testing::UniqueName("slot");
  SlotReader reader;
  ASSERT_TRUE(reader.SlotCreate(name));
  MonitorChannel channel(io, name);
  channel.Send(Frame(0));  // connects while descriptors are still to be had
  std::string expected = Frame(0);
  // No descriptor left: the wait for room, which needs one, cannot be set up.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  const int lowest_free = dup(0);
  ASSERT_GE(lowest_free, 0);
  close(lowest_free);
  rlimit none_left = saved;
  none_left.rlim_cur = static_cast<rlim_t>(lowest_free);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none_left), 0);
  int sent = 1;
  for (; channel.queued() == 0 && sent < 1000; ++sent) {
    channel.Send(Frame(sent));
    expected += Frame(sent);
  }
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
  ASSERT_GT(channel.queued(), 0u);

  // The console catches up; the next report takes the waiting frames along.
  std::string received = reader.SlotRead();
  channel.Send(Frame(sent));
  expected += Frame(sent);
  for (int round = 0; round < 10000 && received.size() < expected.size(); ++round) {
    received += reader.SlotRead();
    io.run_for(std::chrono::milliseconds(1));
  }
  received += reader.SlotRead();
  EXPECT_EQ(received, expected);
  EXPECT_EQ(channel.dropped(), 0u);
}

}  // namespace
}  // namespace vantry
