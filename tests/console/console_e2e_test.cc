// The real gateway in front of a real mail server, a real client, and the
// console's table showing the connection pass and close.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTreeWidget>
#include <filesystem>

#include "child_process.h"
#include "console_fixture.h"
#include "free_port.h"
#include "frm_main.h"
#include "mod_rbl_registry.h"

namespace vantry::console::testing {
namespace {

using vantry::testing::BuiltProgram;
using vantry::testing::ChildProcess;
using vantry::testing::FreePort;
using vantry::testing::ReadFileText;
using vantry::testing::WaitForTcpPort;
using vantry::testing::WriteFileText;
using namespace std::chrono_literals;

int ConnectLoopback(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

std::string ReadSome(int fd) {
  timeval tv{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  char buf[512];
  ssize_t n = recv(fd, buf, sizeof buf, 0);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

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

  ChildProcess sink({{"/usr/sbin/smtp-sink", "-u", "nobody", "-c",
                      "127.0.0.1:" + std::to_string(mail_port), "1024"},
                     {},
                     File("sink.out"),
                     {}});
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

  int client = ConnectLoopback(gateway_port);
  ASSERT_GE(client, 0);
  EXPECT_EQ(ReadSome(client).substr(0, 4), "220 ");  // the mail server's greeting, relayed
  ASSERT_TRUE(WaitFor([&] {
    for (int r = 0; r < table->topLevelItemCount(); ++r) {
      if (table->topLevelItem(r)->text(1) == "Ok") return true;
    }
    return false;
  })) << svc->Output();
  int row = -1;
  for (int r = 0; r < table->topLevelItemCount(); ++r) {
    if (table->topLevelItem(r)->text(1) == "Ok") row = r;
  }
  EXPECT_EQ(table->topLevelItem(row)->text(2), "127.0.0.1");
  EXPECT_TRUE(w.PanelText(2).endsWith(" connected"));

  const char quit[] = "QUIT\r\n";
  send(client, quit, sizeof quit - 1, MSG_NOSIGNAL);
  ReadSome(client);
  close(client);
  ASSERT_TRUE(WaitFor([&] { return table->topLevelItem(row)->text(1) == "Closed"; }))
      << svc->Output();
  EXPECT_EQ(table->topLevelItem(row)->text(2), "127.0.0.1");  // "closed" changes only Action
  EXPECT_TRUE(w.PanelText(2).endsWith(" closed"));

  svc->Terminate(SIGTERM);
  EXPECT_TRUE(WaitFor([&] { return w.PanelText(1).startsWith("Dask Vantry shutdown at "); }));
  EXPECT_EQ(table->topLevelItemCount(), 0);
}

}  // namespace
}  // namespace vantry::console::testing
