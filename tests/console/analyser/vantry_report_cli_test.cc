#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>

#include "analyser_fixture.h"
#include "child_process.h"
#include "gateway_fixture.h"
#include "tcp_client.h"
#include "temp_dir.h"

namespace vantry::analyser {
namespace {

using testing::CrLf;
using testing::LogLine;
using ::vantry::testing::BuiltProgram;
using ::vantry::testing::CountOccurrences;
using ::vantry::testing::GatewayFixture;
using ::vantry::testing::ReadFileText;
using ::vantry::testing::RunCommand;
using ::vantry::testing::SmtpSink;
using ::vantry::testing::TcpClient;
using ::vantry::testing::TempDir;
using ::vantry::testing::WriteFileText;

int Cli(std::vector<std::string> args, std::string* output) {
  args.insert(args.begin(), BuiltProgram("vantry-report"));
  return RunCommand(args, {}, output);
}

class VantryReportCli : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<std::string> lines = {"255|0|START|||||||2003-06-14|09:00"};
    for (int i = 0; i < 260; ++i) lines.push_back(LogLine("BL", "10.0.0.1", "2003-06-14", "09:05"));
    lines.push_back(LogLine("OK", "10.0.0.2", "2003-06-15", "10:00", "mx.example"));
    lines.push_back(LogLine("OK", "10.0.0.3", "2003-13-15", "10:00"));
    WriteFileText(log, CrLf(lines));
  }
  TempDir dir;
  std::string log = dir.File("vantry.log");
  std::string db = dir.File("report.dpr");
};

TEST_F(VantryReportCli, ImportThenEveryReportKind) {
  std::string out;
  ASSERT_EQ(Cli({"--db", db, "import", log}, &out), 0) << out;
  EXPECT_NE(out.find("Entries 261\nConnects: 1\nBanned: 260\nIP's: 2\n"), std::string::npos) << out;
  EXPECT_NE(out.find("1 line was not imported: 1 with a date that is not yyyy-mm-dd."),
            std::string::npos);

  ASSERT_EQ(Cli({"--db", db, "hits", "--limit", "1", "--out", dir.File("hits.htm")}, &out), 0)
      << out;
  std::string hits = ReadFileText(dir.File("hits.htm"));
  EXPECT_TRUE(hits.ends_with("</body>\n</html>\n\r\n"));
  EXPECT_NE(hits.find("Most frequent IP Address is 10.0.0.1 with 260 hits.<BR>"),
            std::string::npos);
  EXPECT_EQ(hits.find("10.0.0.2</font></td>"), std::string::npos);  // limit 1

  ASSERT_EQ(Cli({"--db", db, "ip", "--host", "MX.", "--wild-suffix"}, &out), 0) << out;
  EXPECT_NE(out.find("Report based on specific Host Name:<B>MX.</B>"), std::string::npos);
  EXPECT_NE(out.find("Total Number of hits:1<"), std::string::npos);

  for (auto [answer, rows] : {std::pair{"--first-250", 251}, std::pair{"", 261}}) {
    std::vector<std::string> args = {"--db", db, "date", "--start", "6/14/2003"};
    if (*answer) args.push_back(answer);
    ASSERT_EQ(Cli(args, &out), 0) << out;
    EXPECT_NE(out.find("Date range of: <B>06/14/2003 to 06/14/2003</B>"), std::string::npos);
    EXPECT_EQ(CountOccurrences(out, "     <tr>\n"), rows);
  }

  ASSERT_EQ(Cli({"--db", db, "date", "--start", "06/15/2003", "--time-start", "9:00 am",
                 "--time-end", "10:00 AM"},
                &out),
            0)
      << out;
  EXPECT_NE(out.find("Time range of :<B>9:00 AM to 10:00 AM on 06/15/2003</B>"), std::string::npos);
  EXPECT_NE(out.find("Total Number of hits:1<"), std::string::npos);

  ASSERT_EQ(Cli({"--db", db, "custom", "--where", "Connection IP", "like", "0.0.2", "--where",
                 "ConnectDate", "between", "06/01/2003", "06/30/2003"},
                &out),
            0)
      << out;
  EXPECT_NE(out.find("Total Number of hits:1<"), std::string::npos);
  ASSERT_EQ(
      Cli({"--db", db, "custom", "--preview", "--where", "StatusCode", "not-like", "BL"}, &out), 0);
  EXPECT_NE(out.find("        (StatusCode NOT LIKE '%BL%')\r\n"), std::string::npos);
  EXPECT_NE(out.find("LogFile = (UNDEFINED)"), std::string::npos);
}

TEST_F(VantryReportCli, FailuresAreMessagesWithExitCodes) {
  std::string out;
  EXPECT_EQ(Cli({"--help"}, &out), 0);
  EXPECT_NE(out.find("Usage: vantry-report"), std::string::npos);
  EXPECT_EQ(Cli({"--db", db, "hits"}, &out), 1);  // no database yet
  EXPECT_NE(out.find("does not exist"), std::string::npos);
  EXPECT_EQ(Cli({"--db", db, "import", dir.File("missing.log")}, &out), 1);
  EXPECT_NE(out.find("Cannot read the log file"), std::string::npos);
  EXPECT_EQ(Cli({"--db", db, "frobnicate"}, &out), 2);
  EXPECT_EQ(Cli({"--db", db, "date", "--start", "31/12/2003"}, &out), 2);
  EXPECT_NE(out.find("Please correct the Starting Date parameter as shown."), std::string::npos);
  ASSERT_EQ(Cli({"--db", db, "import", log}, &out), 0);
  EXPECT_EQ(Cli({"--db", db, "custom", "--sql", "select * from nowhere"}, &out), 1);
  EXPECT_NE(out.find("no such table"), std::string::npos);
  EXPECT_EQ(Cli({"--db", db, "custom", "--sql", "delete from tbl_log"}, &out), 1);
  ASSERT_EQ(Cli({"--db", db, "totals"}, &out), 0);
  EXPECT_NE(out.find("Banned: 260"), std::string::npos);
  EXPECT_EQ(Cli({"--db", db, "hits", "--out", dir.File("no/such/dir/x.htm")}, &out), 1);
  EXPECT_NE(out.find("Cannot save the report"), std::string::npos);
}

// The log the analyser reads is the one the real gateway writes: one pass and
// three manual-block refusals go through both programs, including the local
// date the gateway stamps and the report's date filter reads back.
TEST(VantryReportOnGatewayLog, VerdictsOfARealGatewayAreCountedAndReported) {
  SmtpSink sink;
  ASSERT_TRUE(sink.ready());
  auto options = ::vantry::testing::RelayOnlyOptions(sink.port());
  options.manual = {"127.0.0.2"};
  GatewayFixture gateway(options);
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();

  TcpClient passed;
  ASSERT_TRUE(passed.Connect(gateway.port(), "127.0.0.1"));
  ASSERT_NE(passed.ReadUntil("220 ").find("220 "), std::string::npos) << gateway.Trace();
  ASSERT_TRUE(passed.SendAll("QUIT\r\n"));
  passed.ReadToEnd();
  for (int i = 0; i < 3; ++i) {
    TcpClient refused;
    ASSERT_TRUE(refused.Connect(gateway.port(), "127.0.0.2"));
    EXPECT_NE(refused.ReadToEnd().find("550 "), std::string::npos);
  }
  ASSERT_TRUE(gateway.WaitForTraceCount("|BL|", 3)) << gateway.Trace();
  ASSERT_TRUE(gateway.WaitForTrace("|CLOSED|")) << gateway.Trace();

  TempDir dir;
  const std::string db = dir.File("report.dpr");
  std::string out;
  ASSERT_EQ(Cli({"--db", db, "import", gateway.folder() + "/vantry.log"}, &out), 0) << out;
  EXPECT_NE(out.find("Entries 4\nConnects: 1\nBanned: 3\nIP's: 2\n"), std::string::npos)
      << out << gateway.LogText();
  EXPECT_EQ(out.find("not imported"), std::string::npos) << out;

  ASSERT_EQ(Cli({"--db", db, "hits"}, &out), 0) << out;
  EXPECT_NE(out.find("Most frequent IP Address is 127.0.0.2 with 3 hits.<BR>"), std::string::npos)
      << out;

  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char today[40];
  std::snprintf(today, sizeof today, "%02d/%02d/%04d", local.tm_mon + 1, local.tm_mday,
                local.tm_year + 1900);
  ASSERT_EQ(Cli({"--db", db, "date", "--start", today}, &out), 0) << out;
  // A run that spans midnight stamps some lines with the next day.
  if (out.find("Total Number of hits:4<") == std::string::npos) {
    ASSERT_EQ(Cli({"--db", db, "date", "--start", today, "--end", "12/31/9999"}, &out), 0) << out;
  }
  EXPECT_NE(out.find("Total Number of hits:4<"), std::string::npos) << out << gateway.LogText();
}

}  // namespace
}  // namespace vantry::analyser
