#include "mod_slot_out.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "child_process.h"
#include "temp_dir.h"

namespace vantry {
namespace {

TEST(MonitorChannelEnds, FramesArriveWholeAndInOrderAndAFullQueueMakesTheWriterWait) {
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
  // A full reader queue makes the writer wait, not block.
  int sent = 0;
  SlotWriteResult last = SlotWriteResult::kSent;
  while (sent < 100000 && (last = writer.SlotWrite("+++frame***")) == SlotWriteResult::kSent)
    ++sent;
  EXPECT_EQ(last, SlotWriteResult::kWouldBlock);
  EXPECT_GT(sent, 0);
  EXPECT_EQ(reader.SlotRead().size(), static_cast<size_t>(sent) * 11);
  EXPECT_EQ(writer.SlotWrite("+++again***"), SlotWriteResult::kSent);
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

TEST(MonitorChannelEnds, NamesFollowTheGatewaySetting) {
  unsetenv("VANTRY_MAILSLOT");
  EXPECT_EQ(ConsoleMailslotName("\\\\."), MailslotName());
  EXPECT_EQ(ConsoleMailslotName("\\\\otherhost"), std::nullopt);
  EXPECT_EQ(MailslotPath("/var/x/slot"), "/var/x/slot");
  EXPECT_EQ(MailslotPath("a/b"), MailslotDirectory() + "/a_b");
  if (geteuid() == 0) {
    EXPECT_EQ(MailslotDirectory(), "/run/vantry");
  }
}

// Another user's process, as nobody: "listen" binds the channel's abstract
// name and its socket file and prints what arrives within a second; "send"
// sends a frame to both.
constexpr const char* kNobodyPeer = R"py(
import select, socket, sys
mode, name, path = sys.argv[1:4]
socks = []
for address in ("\0" + name, path):
    s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    try:
        if mode == "listen":
            s.bind(address)
        else:
            s.sendto(b"+++255|0|START||||||2003-06-14|09:00***", address)
        socks.append(s)
    except OSError:
        pass
print("ready", flush=True)
if mode == "listen":
    for s in select.select(socks, [], [], 1.0)[0]:
        print("got", s.recv(65536), flush=True)
)py";

std::vector<std::string> AsNobody(std::string_view mode, const std::string& name) {
  return {"setpriv",         "--reuid=65534",    "--regid=65534",
          "--clear-groups",  "/usr/bin/python3", "-c",
          kNobodyPeer,       std::string(mode),  name,
          MailslotPath(name)};
}

TEST(MonitorChannelEnds, OtherUsersNeitherReceiveNorFeedTheChannel) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a peer as nobody";
  const std::string name = testing::UniqueName("slot");
  {
    // No console runs: the name is there for the taking, but not for nobody.
    testing::ChildProcess listener({.argv = AsNobody("listen", name)});
    for (int i = 0; i < 200 && listener.Output().find("ready") == std::string::npos; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    SlotWriter writer(name);
    writer.SlotOpen();
    EXPECT_EQ(writer.SlotWrite("+++255|1|OK|1.2.3.4||||||***"), SlotWriteResult::kNoReader);
    EXPECT_EQ(listener.Wait(), 0);
    EXPECT_EQ(listener.Output(), "ready\n");
  }
  SlotReader reader;
  ASSERT_TRUE(reader.SlotCreate(name));
  std::string out;
  ASSERT_EQ(testing::RunCommand(AsNobody("send", name), {}, &out), 0) << out;
  EXPECT_EQ(reader.SlotRead(), "");

  // Even a socket other users may reach takes no frame of theirs.
  testing::TempDir open_dir;
  chmod(open_dir.path().c_str(), 0777);
  const std::string open_path = open_dir.File("slot");
  SlotReader open_reader;
  ASSERT_TRUE(open_reader.SlotCreate(open_path));
  chmod(open_path.c_str(), 0666);
  ASSERT_EQ(testing::RunCommand(AsNobody("send", open_path), {}, &out), 0) << out;
  SlotWriter own(open_path);
  own.SlotOpen();
  EXPECT_EQ(own.SlotWrite("+++own***"), SlotWriteResult::kSent);
  EXPECT_EQ(open_reader.SlotRead(), "+++own***");
  EXPECT_EQ(open_reader.refused(), 1u);
}

}  // namespace
}  // namespace vantry
