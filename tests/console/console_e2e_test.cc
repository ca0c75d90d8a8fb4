// The real gateway in front of a real mail server, a real client, and the
// console's table showing the connection pass and close.
#include <QTreeWidget>
#include <filesystem>

#include "console_fixture.h"
#include "gateway_fixture.h"
#include "tcp_client.h"

namespace vantry::console::testing {
namespace {

using namespace std::chrono_literals;

class ConsoleEndToEnd : public ConsoleFixture {};

TEST_F(ConsoleEndToEnd, GatewayRelaysAClientAndTheTableShowsOkThenClosed) {
  if (!std::filesystem::exists(vantry::testing::BuiltProgram("vantrysvc"))) {
    GTEST_SKIP() << "vantrysvc not built";
  }
  if (!std::filesystem::exists("/usr/sbin/smtp-sink")) GTEST_SKIP() << "smtp-sink missing";
  vantry::testing::SmtpSink sink;
  ASSERT_TRUE(sink.ready());
  WriteDefaultSettings();
  FrmMain& w = LoadedWindow();  // the console owns the channel before the gateway starts
  auto* table = Find<QTreeWidget>("lvData");
  auto options = vantry::testing::RelayOnlyOptions(sink.port());
  options.mailslot = mailslot_;
  vantry::testing::GatewayFixture gateway(options);
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();
  ASSERT_TRUE(WaitFor([&] { return w.PanelText(1).startsWith("Dask Vantry Started at "); }))
      << gateway.Trace();

  vantry::testing::TcpClient client;
  ASSERT_TRUE(client.Connect(gateway.port()));
  EXPECT_EQ(client.ReadUntil("\r\n", 5s).substr(0, 4), "220 ");  // the mail server's, relayed
  // The only connection takes the first slot.
  auto action = [&] {
    return table->topLevelItem(0) ? table->topLevelItem(0)->text(1) : QString();
  };
  ASSERT_TRUE(WaitFor([&] { return action() == "Ok"; })) << gateway.Trace();
  EXPECT_EQ(table->topLevelItem(0)->text(2), "127.0.0.1");
  EXPECT_EQ(w.PanelText(2), "Socket 1 connected");

  client.SendAll("QUIT\r\n");
  client.ReadUntil("\r\n", 5s);
  client.Close();
  ASSERT_TRUE(WaitFor([&] { return action() == "Closed"; })) << gateway.Trace();
  EXPECT_EQ(w.PanelText(2), "Socket 1 closed");

  gateway.process().Terminate(SIGTERM);
  EXPECT_TRUE(WaitFor([&] { return w.PanelText(1).startsWith("Dask Vantry shutdown at "); }));
  EXPECT_EQ(table->topLevelItemCount(), 0);
}

}  // namespace
}  // namespace vantry::console::testing
