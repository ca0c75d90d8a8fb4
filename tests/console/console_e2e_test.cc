// The real gateway in front of a real mail server, a real client, and the
// console's table showing the connection pass and close.
#include <QTreeWidget>
#include <filesystem>

#include "child_process.h"
#include "console_fixture.h"
#include "free_port.h"
#include "gateway_fixture.h"
#include "mod_rbl_registry.h"
#include "tcp_client.h"

namespace vantry::console::testing {
namespace {

using vantry::testing::BuiltProgram;
using vantry::testing::ChildProcess;
using vantry::testing::FreePort;
using vantry::testing::ReadFileText;
using vantry::testing::TcpClient;
using vantry::testing::WaitForTcpPort;
using vantry::testing::WriteFileText;
using namespace std::chrono_literals;

class ConsoleEndToEnd : public ConsoleFixture {};

TEST_F(ConsoleEndToEnd, GatewayRelaysAClientAndTheTableShowsOkThenClosed) {
  const std::string gateway = BuiltProgram("vantrysvc");
  if (!std::filesystem::exists(gateway)) GTEST_SKIP() << "vantrysvc not built: " << gateway;
  if (!std::filesystem::exists("/usr/sbin/smtp-sink")) GTEST_SKIP() << "smtp-sink missing";

  WriteDefaultSettings();
  const int mail_port = FreePort();
  SetRegValue("SMTPHost", std::string("127.0.0.1"), 1);
  SetRegValue("SMTPPort", std::to_string(mail_port), 1);
  for (const char* flag : {"BlockNoHost", "BlockAltIP", "UseExceptions", "UseManual"}) {
    SetRegValue(flag, std::int64_t{0}, 4);
  }
  WriteFileText(ProgramFile("rbl.cfg"), "");  // no DNS needed at all

  FrmMain& w = LoadedWindow();  // the console owns the channel before the gateway starts
  auto* table = Find<QTreeWidget>("lvData");

  ChildProcess sink({vantry::testing::SmtpSinkCommand(mail_port), {}, File("sink.out"), {}});
  ASSERT_TRUE(WaitForTcpPort(mail_port, 5s));
  // A free port can be taken by a parallel test before the gateway binds it: try a few.
  int gateway_port = 0;
  std::unique_ptr<ChildProcess> svc;
  for (int attempt = 0; attempt < 5 && !svc; ++attempt) {
    gateway_port = FreePort();
    SetRegValue("LocalPort", std::to_string(gateway_port), 1);
    auto started = std::make_unique<ChildProcess>(ChildProcess::Options{
        {gateway, "-debug"},
        {{"VANTRY_REGISTRY", File("registry.reg")}, {"VANTRY_MAILSLOT", mailslot_}},
        File("svc.out"),
        program_folder_});
    bool listening =
        WaitFor([&] { return WaitForTcpPort(gateway_port, 100ms) || !started->Running(); }, 10000);
    if (listening && started->Running()) svc = std::move(started);
  }
  ASSERT_TRUE(svc) << ReadFileText(File("svc.out"));
  ASSERT_TRUE(WaitFor([&] { return w.PanelText(1).startsWith("Dask Vantry Started at "); }))
      << svc->Output();

  // Seeing the port open took a connection of its own; its OK and CLOSED come
  // first, or a late CLOSED of it would be the last word in the status bar.
  ASSERT_TRUE(WaitFor([&] { return w.PanelText(2).endsWith(" closed"); })) << svc->Output();

  TcpClient client;
  ASSERT_TRUE(client.Connect(gateway_port));
  EXPECT_EQ(client.ReadUntil("\r\n", 5s).substr(0, 4), "220 ");  // the mail server's, relayed
  int row = -1;
  ASSERT_TRUE(WaitFor([&] {
    for (int r = 0; r < table->topLevelItemCount() && row < 0; ++r) {
      if (table->topLevelItem(r)->text(1) == "Ok") row = r;
    }
    return row >= 0;
  })) << svc->Output();
  EXPECT_EQ(table->topLevelItem(row)->text(2), "127.0.0.1");
  EXPECT_EQ(w.PanelText(2), QString("Socket %1 connected").arg(row + 1));

  client.SendAll("QUIT\r\n");
  client.ReadUntil("\r\n", 5s);
  client.Close();
  ASSERT_TRUE(WaitFor([&] { return table->topLevelItem(row)->text(1) == "Closed"; }))
      << svc->Output();
  EXPECT_EQ(table->topLevelItem(row)->text(2), "127.0.0.1");  // "closed" changes only Action
  EXPECT_EQ(w.PanelText(2), QString("Socket %1 closed").arg(row + 1));

  svc->Terminate(SIGTERM);
  EXPECT_TRUE(WaitFor([&] { return w.PanelText(1).startsWith("Dask Vantry shutdown at "); }));
  EXPECT_EQ(table->topLevelItemCount(), 0);
}

}  // namespace
}  // namespace vantry::console::testing
