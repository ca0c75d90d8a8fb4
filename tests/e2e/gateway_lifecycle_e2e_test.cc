// Start-up, settings and shutdown of the real gateway binary.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <thread>

#include "child_process.h"
#include "free_port.h"
#include "gateway_fixture.h"
#include "mod_slot_out.h"
#include "tcp_client.h"

namespace vantry::testing {
namespace {

std::string DeadDns() { return "127.0.0.1:" + std::to_string(FreePort()); }

// SIGHUP is what closing the -debug terminal sends: a stop like the others.
TEST(GatewayLifecycle, StartAndShutFramesReachAReaderAndStopExitsCleanly) {
  SmtpSink sink;
  ASSERT_TRUE(sink.ready());
  for (int stop : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(stop);
    // The reader exists before the gateway starts, as the console's does.
    SlotReader reader;
    GatewayFixture::Options options = RelayOnlyOptions(sink.port());
    options.mailslot = UniqueName("vantry-test-slot");
    ASSERT_TRUE(reader.SlotCreate(options.mailslot));
    GatewayFixture gateway(options);
    ASSERT_TRUE(gateway.listening()) << gateway.Trace();
    std::string frames = reader.SlotRead();
    ASSERT_GE(frames.size(), 18u) << frames;
    EXPECT_EQ(frames.substr(0, 18), "+++255|0|START||||") << frames;
    EXPECT_EQ(frames.substr(frames.size() - 3), "***");
    EXPECT_EQ(gateway.process().Terminate(stop), 0);
    std::string after = reader.SlotRead();
    EXPECT_EQ(after.substr(0, 16), "+++255|0|SHUT|||") << after;
    EXPECT_NE(gateway.Trace().find("|SHUT|"), std::string::npos);
  }
}

// The console's socket holds only a few frames; the rest wait in the gateway.
// A stop sends them, SHUT last, to a console that goes on reading.
TEST(GatewayLifecycle, ReportsQueuedForASlowConsoleAreSentBeforeTheStop) {
  SmtpSink sink;
  ASSERT_TRUE(sink.ready());
  SlotReader reader;
  GatewayFixture::Options options = RelayOnlyOptions(sink.port());
  options.mailslot = UniqueName("vantry-test-slot");
  options.manual = {"127.0.0.1"};
  ASSERT_TRUE(reader.SlotCreate(options.mailslot));
  GatewayFixture gateway(options);
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();
  constexpr int kRefused = 40;
  for (int i = 0; i < kRefused; ++i) {
    TcpClient client;
    ASSERT_TRUE(client.Connect(gateway.port()));
    client.ReadToEnd();
  }
  ASSERT_TRUE(gateway.WaitForTraceCount("|BL|", kRefused)) << gateway.Trace();
  ASSERT_EQ(kill(gateway.process().pid(), SIGTERM), 0);
  std::string frames;
  for (int i = 0; i < 500 && frames.find("|SHUT|") == std::string::npos; ++i) {
    frames += reader.SlotRead();
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(CountOccurrences(frames, "|BL|"), kRefused);
  EXPECT_EQ(frames.rfind("+++"), frames.find("+++255|0|SHUT|")) << frames;
  EXPECT_EQ(gateway.process().Wait(), 0);
}

TEST(GatewayLifecycle, BadOrBusyPortsStopWithOneClearLine) {
  for (const char* bad : {"abc", "70000", "0", "-5"}) {
    GatewayFixture::Options options;
    options.settings = {{"LocalPort", std::string(bad)}, {"DNSServers", DeadDns()}};
    options.wait_until_listening = false;
    GatewayFixture gateway(options);
    EXPECT_EQ(gateway.process().Wait(10s), 1) << bad;
    EXPECT_NE(gateway.Trace().find("Cannot listen on port \"" + std::string(bad) +
                                   "\": LocalPort must be a port number from 1 to 65535"),
              std::string::npos)
        << gateway.Trace();
    EXPECT_EQ(gateway.Trace().find("|START|"), std::string::npos);
  }
  // A port somebody else already holds.
  int busy_fd = socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  setsockopt(busy_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  int port = FreePort();
  addr.sin_port = htons(static_cast<uint16_t>(port));
  ASSERT_EQ(bind(busy_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(busy_fd, 1), 0);
  GatewayFixture::Options options;
  options.settings = {{"LocalPort", std::to_string(port)}, {"DNSServers", DeadDns()}};
  options.wait_until_listening = false;
  GatewayFixture gateway(options);
  EXPECT_EQ(gateway.process().Wait(10s), 1);
  EXPECT_NE(gateway.Trace().find("Cannot listen on port " + std::to_string(port) +
                                 ": Address already in use"),
            std::string::npos)
      << gateway.Trace();
  close(busy_fd);
}

TEST(GatewayLifecycle, ASecondGatewayOnTheSameSettingsExitsAtOnce) {
  GatewayFixture::Options options;
  options.settings = {{"DNSServers", DeadDns()}};
  GatewayFixture gateway(options);
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();
  std::string out;
  EXPECT_EQ(RunCommand({BuiltProgram("vantrysvc"), "-debug"}, gateway.Environment(), &out, 10s), 1);
  EXPECT_NE(out.find("another gateway is already running"), std::string::npos) << out;
  EXPECT_TRUE(gateway.process().Running());
  // Whoever may open the lock file may hold it and keep the gateway from
  // starting: it is the gateway user's alone.
  std::string registry;
  for (const auto& [name, value] : gateway.Environment()) {
    if (name == "VANTRY_REGISTRY") registry = value;
  }
  struct stat lock {};
  ASSERT_EQ(stat((registry + ".run.lock").c_str(), &lock), 0) << registry;
  EXPECT_EQ(lock.st_mode & 0077, 0u);
}

}  // namespace
}  // namespace vantry::testing
