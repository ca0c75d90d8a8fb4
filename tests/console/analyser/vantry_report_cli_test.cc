#include <gtest/gtest.h>

#include <ctime>
#include <tuple>

#include "analyser_fixture.h"
#include "child_process.h"
#include "gateway_fixture.h"
#include "tcp_client.h"
#include "temp_dir.h"

namespace vantry::analyser {
namespace {

using testing::CrLf;
using testing::LogLine;
namespace vt = ::vantry::testing;

using Args = std::vector<std::string>;

int Cli(Args args, std::string* output) {
  args.insert(args.begin(), vt::BuiltProgram("vantry-report"));
  return vt::RunCommand(args, {}, output);
}

class VantryReportCli : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<std::string> lines = {"255|0|START|||||||2003-06-14|09:00"};
    for (int i = 0; i < 260; ++i) lines.push_back(LogLine("BL", "10.0.0.1", "2003-06-14", "09:05"));
    lines.push_back(LogLine("OK", "10.0.0.2", "2003-06-15", "10:00", "mx.example"));
    lines.push_back(LogLine("OK", "10.0.0.3", "2003-13-15", "10:00"));
    vt::WriteFileText(log, CrLf(lines));
  }
  /// Output of a command on the database that must succeed.
  std::string Ok(Args args) {
    std::string out;
    args.insert(args.begin(), {"--db", db});
    EXPECT_EQ(Cli(args, &out), 0) << out;
    return out;
  }
  vt::TempDir dir;
  std::string log = dir.File("vantry.log");  // a log of 260 blocks, a pass and a bad date
  std::string db = dir.File("report.dpr");
};

TEST_F(VantryReportCli, ImportThenEveryReportKind) {
  std::string out = Ok({"import", log});
  EXPECT_NE(out.find("Entries 261\nConnects: 1\nBanned: 260\nIP's: 2\n"), std::string::npos) << out;
  EXPECT_NE(out.find("1 line was not imported: 1 with a date that is not yyyy-mm-dd."),
            std::string::npos);

  Ok({"hits", "--limit", "1", "--out", dir.File("hits.htm")});
  std::string hits = vt::ReadFileText(dir.File("hits.htm"));
  EXPECT_TRUE(hits.ends_with("</body>\n</html>\n\r\n"));
  EXPECT_NE(hits.find("Most frequent IP Address is 10.0.0.1 with 260 hits.<BR>"),
            std::string::npos);
  EXPECT_EQ(hits.find("10.0.0.2</font></td>"), std::string::npos);  // limit 1

  out = Ok({"ip", "--host", "MX.", "--wild-suffix"});
  EXPECT_NE(out.find("Report based on specific Host Name:<B>MX.</B>"), std::string::npos);
  EXPECT_NE(out.find("Total Number of hits:1<"), std::string::npos);

  for (auto [answer, rows] : {std::pair{"--first-250", 251}, std::pair{"", 261}}) {
    std::vector<std::string> args = {"date", "--start", "6/14/2003"};
    if (*answer) args.push_back(answer);
    out = Ok(args);
    EXPECT_NE(out.find("Date range of: <B>06/14/2003 to 06/14/2003</B>"), std::string::npos);
    EXPECT_EQ(vt::CountOccurrences(out, "     <tr>\n"), rows);
  }

  out = Ok({"date", "--start", "06/15/2003", "--time-start", "9:00 am", "--time-end", "10:00 AM"});
  EXPECT_NE(out.find("Time range of :<B>9:00 AM to 10:00 AM on 06/15/2003</B>"), std::string::npos);
  EXPECT_NE(out.find("Total Number of hits:1<"), std::string::npos);

  out = Ok({"custom", "--where", "Connection IP", "like", "0.0.2", "--where", "ConnectDate",
            "between", "06/01/2003", "06/30/2003"});
  EXPECT_NE(out.find("Total Number of hits:1<"), std::string::npos);
  EXPECT_NE(Ok({"custom", "--preview", "--where", "StatusCode", "not-like", "BL"})
                .find("        (StatusCode NOT LIKE '%BL%')\r\n"),
            std::string::npos);
}

TEST_F(VantryReportCli, FailuresAreMessagesWithExitCodes) {
  std::string out;
  // 1 for what went wrong, 2 for a command line that is no command.
  for (const auto& [args, status, says] : std::vector<std::tuple<Args, int, std::string>>{
           {{"hits"}, 1, "does not exist"},  // no database yet
           {{"import", dir.File("missing.log")}, 1, "Cannot read the log file"},
           {{"frobnicate"}, 2, ""},
           {{"append"}, 2, "append needs at least one log file"},
           {{"totals", "--gateway", ""}, 2, "--gateway needs a name"},
           {{"date", "--start", "31/12/2003"}, 2, "Please correct the Starting Date parameter"},
           {{"import", log}, 0, "Banned: 260"},
           {{"custom", "--sql", "select * from nowhere"}, 1, "no such table"},
           {{"custom", "--sql", "delete from tbl_log"}, 1, ""},
           {{"hits", "--out", dir.File("no/such/dir/x.htm")}, 1, "Cannot save the report"}}) {
    Args line = {"--db", db};
    line.insert(line.end(), args.begin(), args.end());
    EXPECT_EQ(Cli(line, &out), status) << args[0] << out;
    EXPECT_NE(out.find(says), std::string::npos) << out;
  }
}

// The log the analyser reads is the one the real gateway writes: one pass and
// three manual-block refusals go through both programs, including the local
// date the gateway stamps and the report's date filter reads back.
TEST_F(VantryReportCli, VerdictsOfARealGatewayAreCountedAndReported) {
  vt::SmtpSink sink;
  ASSERT_TRUE(sink.ready());
  auto options = vt::RelayOnlyOptions(sink.port());
  options.manual = {"127.0.0.2"};
  vt::GatewayFixture gateway(options);
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();

  vt::TcpClient passed;
  ASSERT_TRUE(passed.Connect(gateway.port(), "127.0.0.1"));
  ASSERT_NE(passed.ReadUntil("220 ").find("220 "), std::string::npos) << gateway.Trace();
  ASSERT_TRUE(passed.SendAll("QUIT\r\n"));
  passed.ReadToEnd();
  for (int i = 0; i < 3; ++i) {
    vt::TcpClient refused;
    ASSERT_TRUE(refused.Connect(gateway.port(), "127.0.0.2"));
    EXPECT_NE(refused.ReadToEnd().find("550 "), std::string::npos);
  }
  ASSERT_TRUE(gateway.WaitForTraceCount("|BL|", 3)) << gateway.Trace();
  ASSERT_TRUE(gateway.WaitForTrace("|CLOSED|")) << gateway.Trace();

  std::string out = Ok({"import", gateway.folder() + "/vantry.log"});
  EXPECT_NE(out.find("Entries 4\nConnects: 1\nBanned: 3\nIP's: 2\n"), std::string::npos)
      << out << gateway.LogText();
  EXPECT_EQ(out.find("not imported"), std::string::npos) << out;
  EXPECT_NE(Ok({"hits"}).find("Most frequent IP Address is 127.0.0.2 with 3 hits.<BR>"),
            std::string::npos);

  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char today[16];
  std::strftime(today, sizeof today, "%m/%d/%Y", localtime_r(&now, &local));
  out = Ok({"date", "--start", today});
  // A run that spans midnight stamps some lines with the next day.
  if (out.find("Total Number of hits:4<") == std::string::npos) {
    out = Ok({"date", "--start", today, "--end", "12/31/9999"});
  }
  EXPECT_NE(out.find("Total Number of hits:4<"), std::string::npos) << out << gateway.LogText();
}

}  // namespace
}  // namespace vantry::analyser
