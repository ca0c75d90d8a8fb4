// Start-up, settings and shutdown of the real gateway binary.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <thread>

#include "child_process.h"
#include "gateway_fixture.h"
#include "mod_slot_out.h"
#include "tcp_client.h"

namespace vantry::testing {
namespace {

// The console's socket holds only a few frames; the rest wait in the gateway. A stop (SIGHUP is
// what closing the -debug terminal sends) sends them, SHUT last, to a console that goes on reading.
TEST(GatewayLifecycle, FramesFromStartToShutReachASlowReaderAndAStopExitsCleanly) {
  SmtpSink sink;
  ASSERT_TRUE(sink.ready());
  for (int stop : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(stop);
    // The reader exists before the gateway starts, as the console's does.
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
    ASSERT_EQ(kill(gateway.process().pid(), stop), 0);
    std::string frames;
    for (int i = 0; i < 500 && frames.find("|SHUT|") == std::string::npos;
         ++i, std::this_thread::sleep_for(10ms))
      frames += reader.SlotRead();
    EXPECT_TRUE(frames.starts_with("+++255|0|START||||")) << frames;
    EXPECT_EQ(CountOccurrences(frames, "|BL|"), kRefused);
    EXPECT_EQ(frames.rfind("+++"), frames.find("+++255|0|SHUT|")) << frames;
    EXPECT_TRUE(frames.ends_with("***")) << frames;
    EXPECT_EQ(gateway.process().Wait(), 0);
  }
}

// On the same settings a second gateway exits at once; on settings of its own but the same
// port, it says the port is taken.
TEST(GatewayLifecycle, ASecondGatewayExitsAtOnce) {
  GatewayFixture::Options options = RelayOnlyOptions(FreePort());
  GatewayFixture gateway(options);
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();
  std::string out;
  EXPECT_EQ(RunCommand({BuiltProgram("vantrysvc"), "-debug"}, gateway.Environment(), &out, 10s), 1);
  EXPECT_THAT(out, ::testing::HasSubstr("another gateway is already running"));
  EXPECT_TRUE(gateway.process().Running());
  // Whoever may open the lock file may hold it and keep the gateway from starting: it is private.
  struct stat lock {};
  ASSERT_EQ(stat((gateway.folder() + "/registry.reg.run.lock").c_str(), &lock), 0);
  EXPECT_EQ(lock.st_mode & 0077, 0u);

  const std::string port = std::to_string(gateway.port());
  options.settings["LocalPort"] = port;
  options.wait_until_listening = false;
  GatewayFixture second(options);
  EXPECT_EQ(second.process().Wait(10s), 1);
  EXPECT_THAT(second.Trace(),
              ::testing::HasSubstr("Cannot listen on port " + port + ": Address already in use"));
}

}  // namespace
}  // namespace vantry::testing
