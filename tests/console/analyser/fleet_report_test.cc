// Reports for a fleet: the report database on a private PostgreSQL cluster
// against the SQLite file, incremental append, and what goes wrong on the way.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <fstream>
#include <thread>
#include <tuple>

#include "analyser_fixture.h"
#include "child_process.h"
#include "log_append.h"
#include "log_totals.h"
#include "postgres_fixture.h"
#include "report_db.h"
#include "report_run.h"
#include "report_schema.h"
#include "tcp_client.h"
#include "temp_dir.h"

namespace vantry::analyser {
namespace {

using testing::CrLf;
using testing::LogLine;
namespace vt = ::vantry::testing;

vt::PostgresServer& Server() {
  vt::PostgresServer& server = vt::PostgresServer::Shared();
  EXPECT_EQ(server.failure(), "");
  return server;
}

// Mixed case, ties on date and time, and text COPY must escape.
std::string SharedLog() {
  std::vector<std::string> lines = {
      "255|0|START|||||||2003-06-14|09:00",
      LogLine("OK", "10.0.0.1", "2003-06-14", "09:05", "Mail.Example", "10.0.0.1"),
      LogLine("BL", "10.0.0.2", "2003-06-14", "09:05", "", "", "Type 2", "zen\\test"),
      LogLine("bl", "10.0.0.2", "2003-06-14", "09:05", "x.example", "", "Type 3", "a\tb"),
      LogLine("Ok", "10.0.0.3", "2003-06-15", "23:59", "mx.EXAMPLE", "10.0.0.33"),
      LogLine("OK", "10.0.0.1", "2003-06-15", "00:00", "mail.example", "10.0.0.1"),
      LogLine("BL", "10.0.0.4", "2003-06-16", "12:00", "o'brien.example", "", "Type 1", "50%"),
      LogLine("OK", "10.0.0.5", "2003-13-01", "12:00"),
  };
  for (int i = 0; i < 30; ++i) {
    lines.push_back(LogLine(i % 3 ? "BL" : "OK", "10.0.1." + std::to_string(i % 7), "2003-06-15",
                            i % 2 ? "10:00" : "09:00", "h" + std::to_string(i % 5) + ".example"));
  }
  return CrLf(lines);
}

struct ReportCase {
  ReportKind kind;
  ReportParams params;
};

std::vector<ReportCase> EveryKind() {
  std::vector<ReportCase> cases;
  auto add = [&](ReportKind kind, auto fill) {
    ReportParams p;
    fill(p);
    cases.push_back({kind, p});
  };
  add(ReportKind::kAllHosts, [](ReportParams& p) { p.MaxResults = 5; });
  add(ReportKind::kSpecificHost, [](ReportParams& p) {
    p.ReportIP = "10.0.0.2";
    p.MaxResults = 100;
  });
  add(ReportKind::kSpecificHost, [](ReportParams& p) {
    p.ReportHost = "EXAMPLE";
    p.SearchHost = p.WildPrefix = true;
    p.DateOrder = " DESC";
    p.MaxResults = 20;
  });
  add(ReportKind::kDateRange, [](ReportParams& p) {
    p.DateStart = "06/14/2003";
    p.DateEnd = "06/15/2003";
  });
  add(ReportKind::kDateRange, [](ReportParams& p) {
    p.DateStart = p.DateEnd = "06/15/2003";
    p.TimeBased = true;
    p.TimeStart = "9:00 AM";
    p.TimeEnd = "10:00 AM";
  });
  for (const char* sql :
       {"select * from tbl_log Where (StatusCode = 'bl') AND (BLInfo NOT LIKE '%zen%')",
        "select * from tbl_log Where (Host LIKE '%EXAMPLE%') AND (ConnectDate BETWEEN "
        "#06/14/2003# AND #06/15/2003#)",
        "select top 4 * from tbl_log where BLInfo like 'zen\\%' or host = \"O'BRIEN.example\" "
        "order by connecttime desc",
        "select * from tbl_log where ConnectTime = #9:05 AM#"}) {
    add(ReportKind::kCustom, [sql](ReportParams& p) { p.CustomSQL = sql; });
  }
  return cases;
}

std::string Html(ReportKind kind, ReportParams params, const std::filesystem::path& db,
                 const std::string& gateway = {}) {
  ReportDocument document;
  ReportContext context{db, {}, gateway};
  ReportOutcome outcome = RunReport(kind, params, context, document);
  EXPECT_EQ(outcome.result, ReportOutcome::Result::kDone) << outcome.message;
  return document.text();
}

/// The same tests run on a SQLite file in `dir` and on a fresh PostgreSQL database.
std::vector<std::filesystem::path> BothBackends(const vt::TempDir& dir, const std::string& name) {
  return {dir.File("report.dpr"), Server().CreateDatabase(name)};
}

std::int64_t Rows(const std::filesystem::path& db, const std::string& gateway = {}) {
  LogTotals totals;
  EXPECT_TRUE(ShowTotals(db, &totals, gateway).ok);
  return totals.oks + totals.bls;
}

TEST(FleetReports, TheSameLogGivesTheSameHtmlOnBothBackendsForEveryKind) {
  vt::TempDir dir;
  vt::WriteFileText(dir.File("vantry.log"), SharedLog());
  const std::vector<std::filesystem::path> dbs = BothBackends(dir, "same_html");
  const std::filesystem::path &lite = dbs[0], &pg = dbs[1];
  for (const auto& db : dbs) {
    ImportResult loaded = LoadLog(dir.File("vantry.log"), db);
    ASSERT_TRUE(loaded.status.ok) << loaded.status.message;
    EXPECT_EQ(loaded.stored, 36);
  }
  for (const ReportCase& c : EveryKind()) {
    std::string expected = Html(c.kind, c.params, lite);
    EXPECT_NE(expected.find("</table>"), std::string::npos) << c.params.CustomSQL;
    EXPECT_EQ(Html(c.kind, c.params, pg), expected) << c.params.CustomSQL;
  }
  LogTotals a, b;
  ASSERT_TRUE(ShowTotals(lite, &a).ok);
  ASSERT_TRUE(ShowTotals(pg, &b).ok);
  EXPECT_EQ(std::tie(a.oks, a.bls, a.ips), std::tie(b.oks, b.bls, b.ips));
  EXPECT_EQ(a.ips, 11);
}

// Two gateways' logs in one database: the filter shows each alone, the
// fleet sees both, alike on both backends.
TEST(FleetReports, GatewayFilterOnEveryReport) {
  vt::TempDir dir;
  vt::WriteFileText(dir.File("a.log"), SharedLog());
  vt::WriteFileText(dir.File("b.log"), CrLf({LogLine("BL", "10.9.9.9", "2003-06-15", "09:30")}));
  const std::vector<std::filesystem::path> dbs = BothBackends(dir, "gateways");
  for (const auto& db : dbs) {
    for (auto [log, gateway] : {std::pair{"a.log", "mx1"}, std::pair{"b.log", "mx2"}}) {
      ImportOptions options;
      options.gateway = gateway;
      ASSERT_TRUE(AppendLog(dir.File(log), db, options).status.ok);
    }
    EXPECT_EQ(Rows(db), 37);
    EXPECT_EQ(Rows(db, "mx2"), 1);
    EXPECT_EQ(Rows(db, "MX1"), 36);  // host names ignore case
    std::vector<std::string> names;
    ASSERT_TRUE(ListGateways(db, &names).ok);
    EXPECT_EQ(names, (std::vector<std::string>{"mx1", "mx2"}));
  }
  for (const ReportCase& c : EveryKind()) {
    EXPECT_EQ(Html(c.kind, c.params, dbs[1], "mx1"), Html(c.kind, c.params, dbs[0], "mx1"));
  }
}

TEST(FleetAppend, GrowthHalfLinesRotationTruncationAndBinaryOnBothBackends) {
  vt::TempDir dir;
  std::string log = dir.File("vantry.log");
  auto line = [](int n) {
    return LogLine("OK", "10.0.0." + std::to_string(n), "2003-06-14", "09:00") + "\r\n";
  };
  for (const std::filesystem::path& db : BothBackends(dir, "append_cases")) {
    struct Step {
      std::string content;  // the file after this step
      bool replace;         // the old file moved aside, a new one at the path
      std::int64_t stored;
      AppendStart start;
      std::int64_t total;
    };
    std::string half = line(3).substr(0, 20);
    for (const Step& step : std::vector<Step>{
             {line(1) + line(2) + half, true, 2, AppendStart::kFirstTime, 2},
             {line(1) + line(2) + line(3) + line(4), false, 2, AppendStart::kResumed, 4},
             {line(1) + line(2) + line(3) + line(4), false, 0, AppendStart::kResumed, 4},
             {line(5), true, 1, AppendStart::kNewFile, 5},  // rotated
             {line(5) + line(6) + line(7), false, 2, AppendStart::kResumed, 7},
             {line(8), false, 1, AppendStart::kShrunk, 8},  // truncated
             {std::string("\x7f"
                          "ELF\0\x01|\xff\xfe",
                          9),
              true, 0, AppendStart::kNewFile, 8},
         }) {
      if (step.replace && std::filesystem::exists(log)) {
        std::filesystem::rename(log, log + ".1");  // as logrotate does
      }
      {
        // Rewriting in place keeps the inode, as a writer or copytruncate does.
        std::FILE* f = std::fopen(log.c_str(), "r+b");
        if (!f) f = std::fopen(log.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(step.content.data(), 1, step.content.size(), f);
        ASSERT_EQ(ftruncate(fileno(f), static_cast<off_t>(step.content.size())), 0);
        std::fclose(f);
      }
      AppendResult result = AppendLog(log, db);
      ASSERT_TRUE(result.status.ok) << result.status.message;
      EXPECT_EQ(result.stored, step.stored) << db << " " << step.content;
      EXPECT_EQ(result.start, step.start) << db << " " << step.content;
      EXPECT_EQ(Rows(db), step.total) << db;
    }
  }
}

// Lines the gateway wrote between the last append and the rotation are only
// in the rotated file; they must be stored once, before the new file's.
TEST(FleetAppend, TheRotatedFilesUnreadRestIsStoredBeforeTheNewFile) {
  vt::TempDir dir;
  const std::string log = dir.File("vantry.log");
  auto lines = [](int from, int to) {
    std::vector<std::string> out;
    for (int n = from; n <= to; ++n) {
      out.push_back(LogLine("OK", "10.0.0." + std::to_string(n), "2003-06-14", "09:00"));
    }
    return CrLf(out);
  };
  for (const std::filesystem::path& db : BothBackends(dir, "rotated_rest")) {
    std::filesystem::remove(log + ".1");
    vt::WriteFileText(log, lines(1, 2));
    ASSERT_EQ(AppendLog(log, db).stored, 2);
    std::ofstream(log, std::ios::app | std::ios::binary) << lines(3, 4);
    std::filesystem::rename(log, log + ".1");
    vt::WriteFileText(log, lines(5, 5));
    AppendResult result = AppendLog(log, db);
    ASSERT_TRUE(result.status.ok) << result.status.message;
    EXPECT_EQ(result.start, AppendStart::kNewFile);
    EXPECT_EQ(result.stored, 3) << db;
    EXPECT_EQ(Rows(db), 5) << db;
    // A PATH.1 that is not the file read before is none of this log's business.
    vt::WriteFileText(log + ".1", lines(6, 8));
    std::filesystem::remove(log);
    vt::WriteFileText(log, lines(9, 9));
    EXPECT_EQ(AppendLog(log, db).stored, 1) << db;
    EXPECT_EQ(Rows(db), 6) << db;
  }
}

TEST(FleetAppend, TwoAppendersOfOneFileAtOnceStoreEveryLineOnce) {
  vt::TempDir dir;
  std::vector<std::string> lines;
  for (int i = 0; i < 20000; ++i) {
    lines.push_back(LogLine("BL", "10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250),
                            "2003-06-14", "09:00"));
  }
  vt::WriteFileText(dir.File("vantry.log"), CrLf(lines));
  for (const std::filesystem::path& db : BothBackends(dir, "two_appenders")) {
    AppendResult first, second;
    std::thread other([&] { second = AppendLog(dir.File("vantry.log"), db); });
    first = AppendLog(dir.File("vantry.log"), db);
    other.join();
    ASSERT_TRUE(first.status.ok) << first.status.message;
    ASSERT_TRUE(second.status.ok) << second.status.message;
    EXPECT_EQ(first.stored + second.stored, 20000) << db;
    EXPECT_EQ(Rows(db), 20000) << db;
  }
}

// A connection cut mid-COPY rolls the whole append back; the next run stores
// every line once.
TEST(FleetAppend, NetworkDropRollsBackAndTheNextRunStoresEachLineOnce) {
  vt::TempDir dir;
  std::vector<std::string> lines;
  for (int i = 0; i < 20000; ++i) lines.push_back(LogLine("OK", "10.2.0.1", "2003-06-14", "09:00"));
  vt::WriteFileText(dir.File("vantry.log"), CrLf(lines));
  std::string uri = Server().CreateDatabase("network_drop");
  ReportDb created;  // the tables exist before the relay cuts anything
  ASSERT_TRUE(created.Open(uri, ReportDb::Mode::kReadWrite).ok);
  created.Close();
  vt::DroppingRelay relay(Server().port(), 200 * 1024);
  std::string through_relay = uri;
  through_relay.replace(through_relay.rfind(std::to_string(Server().port())),
                        std::to_string(Server().port()).size(), std::to_string(relay.port()));
  AppendResult cut = AppendLog(dir.File("vantry.log"), through_relay);
  EXPECT_FALSE(cut.status.ok);
  EXPECT_TRUE(relay.dropped());
  EXPECT_EQ(Rows(uri), 0);
  AppendResult again = AppendLog(dir.File("vantry.log"), uri);
  ASSERT_TRUE(again.status.ok) << again.status.message;
  EXPECT_EQ(again.start, AppendStart::kFirstTime);
  EXPECT_EQ(Rows(uri), 20000);
}

TEST(FleetCli, BadDatabaseAddressesSayWhyWithStatusOne) {
  vt::TempDir dir;
  vt::WriteFileText(dir.File("vantry.log"), SharedLog());
  std::string good = Server().CreateDatabase("cli_db");
  std::string down = "postgresql://vantry@127.0.0.1:" + std::to_string(vt::FreePort()) + "/x";
  for (const auto& [db, says] : std::vector<std::pair<std::string, std::string>>{
           {"postgresql://vantry@[::1/x", "does not parse"},
           {down, "Cannot connect to the report database"},
           {Server().Uri("cli_db", "wrong"), "password authentication failed"},
       }) {
    for (const char* command : {"append", "import"}) {
      std::string out;
      int status = vt::RunCommand(
          {vt::BuiltProgram("vantry-report"), "--db", db, command, dir.File("vantry.log")}, {},
          &out);
      EXPECT_EQ(status, 1) << out;
      EXPECT_NE(out.find(says), std::string::npos) << out;
      EXPECT_EQ(out.find("wrong@"), std::string::npos) << "the password is shown: " << out;
    }
  }
  EXPECT_EQ(Server().Query("cli_db", "SELECT count(*) FROM pg_tables WHERE tablename='tbl_log'"),
            "0");
  // And the working address: append, then the gateway filter on totals.
  std::string out;
  ASSERT_EQ(vt::RunCommand({vt::BuiltProgram("vantry-report"), "--db", good, "--gateway", "mx9",
                            "append", dir.File("vantry.log")},
                           {}, &out),
            0)
      << out;
  EXPECT_NE(out.find("Entries 36 (read for the first time)"), std::string::npos) << out;
  ASSERT_EQ(vt::RunCommand(
                {vt::BuiltProgram("vantry-report"), "--db", good, "--gateway", "mx8", "totals"}, {},
                &out),
            0);
  EXPECT_EQ(out, "Connects: 0\nBanned: 0\nIP's: 0\n");
}

// A report.dpr from before gateways keeps its rows; they read as this host's.
TEST(FleetSchema, AnOlderReportDatabaseIsBroughtUpToDateWithoutLosingRows) {
  vt::TempDir dir;
  std::string file = dir.File("report.dpr");
  sqlite3* old = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &old), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(old,
                         "CREATE TABLE tbl_log (MaxSocket INTEGER, Socket INTEGER, StatusCode TEXT "
                         "COLLATE NOCASE, IP1 TEXT COLLATE NOCASE, IP2 TEXT COLLATE NOCASE, Host "
                         "TEXT COLLATE NOCASE, BLType TEXT COLLATE NOCASE, BLInfo TEXT COLLATE "
                         "NOCASE, connectdate TEXT, ConnectTime TEXT);"
                         "INSERT INTO tbl_log VALUES (255, 1, 'OK', '10.0.0.1', '', '', '', '', "
                         "'2003-06-14', '09:00:00');",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(old);
  vt::WriteFileText(dir.File("vantry.log"), SharedLog());
  ImportOptions options;
  options.gateway = "mx2";
  ASSERT_TRUE(AppendLog(dir.File("vantry.log"), file, options).status.ok);
  EXPECT_EQ(Rows(file), 37);
  EXPECT_EQ(Rows(file, LocalGatewayName()), 1);
}

}  // namespace
}  // namespace vantry::analyser
