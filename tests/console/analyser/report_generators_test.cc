// Each generator's document compared line by line with the expected report.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "analyser_fixture.h"
#include "report_custom.h"
#include "report_run.h"

namespace vantry::analyser {
namespace {

using testing::CrLf;
using testing::ExpectLines;
using testing::LoadedDb;
using testing::LogLine;
using Doc = std::vector<std::string>;
using Row = std::vector<std::string>;
using Rows = std::vector<Row>;

std::string Center(const std::string& text) {
  return "<center><font size=2 face=verdana>" + text + "</font></center>";
}
std::string Hits(int n) { return Center("Total Number of hits:" + std::to_string(n)); }

/// The skeleton, the given parts in order, and the document's end.
Doc Expected(std::initializer_list<Doc> parts) {
  Doc lines = testing::SkeletonLines();
  for (const Doc& part : parts) lines.insert(lines.end(), part.begin(), part.end());
  lines.insert(lines.end(), {"</body>", "</html>"});
  return lines;
}

/// A run that must finish; no listing here is large enough to ask.
Doc Generate(ReportKind kind, ReportParams& params, const LoadedDb& db) {
  ReportDocument document;
  ReportOutcome outcome = RunReport(kind, params, {db.db_file(), {}, {}}, document);
  EXPECT_EQ(outcome.result, ReportOutcome::Result::kDone) << outcome.message;
  return testing::Lines(document.text());
}

/// A run that must not finish; what it leaves is the bare skeleton.
ReportOutcome NotDone(ReportKind kind, ReportParams& params, const std::filesystem::path& db) {
  ReportDocument document;
  ReportOutcome outcome = RunReport(kind, params, {db, {}, {}}, document);
  EXPECT_NE(outcome.result, ReportOutcome::Result::kDone);
  ExpectLines(testing::SkeletonLines(), testing::Lines(document.text()));
  return outcome;
}

/// A report table: bold headings, then one row per record. The hits table's
/// cells are not bold and all but the address and the count are padded.
Doc Table(std::initializer_list<const char*> headings, const Rows& rows, bool hits) {
  const std::string bold = "         <td><B><font size=2 face=arial>";
  Doc lines = {"<table cellspacing=2 cellpadding=5 border=1 align=center bodercolor=lightgrey>",
               "     <tr>"};
  for (const char* h : headings) lines.push_back(bold + h + "</font></B></td>");
  lines.push_back("     </tr>");
  for (const auto& row : rows) {
    lines.push_back("     <tr>");
    for (size_t i = 0; i < row.size(); ++i) {
      const std::string pad = hits && i != 0 && i != 3 ? " " : "";
      lines.push_back(hits ? "         <td><font size=2 face=arial>" + pad + row[i] + pad +
                                 "</font></td>"
                           : bold + row[i] + "</font></B></td>");
    }
    lines.push_back("     </tr>");
  }
  lines.push_back("</table>");
  return lines;
}
Doc EntryTable(const Rows& rows) {
  return Table({"Date", "Time", "IP Address", "Host", "Status", "DNSBL", "Information"}, rows,
               false);
}
Doc HitsTable(const Rows& rows) {
  Doc lines =
      Table({"IP Address", "Host Name", "Alt IP", "Hits", "Connected", "Blocked"}, rows, true);
  lines.insert(lines.begin(), Center("Report based on IP Address Hits"));
  return lines;
}

TEST(GenReportHits, MostHitsFirstTiesInFirstSeenOrderAndTheLimit) {
  // A: 3 OK + 2 BL, B: 9 BL, C: 5 OK; first seen in the order A, B, C.
  Doc log = {LogLine("OK", "10.0.0.1", "2003-06-14", "09:00", "<a>&\".example", "10.0.0.11"),
             LogLine("BL", "10.0.0.2", "2003-06-14", "09:01", "", "", "Type 2", "zen"),
             LogLine("OK", "10.0.0.3", "2003-06-14", "09:02", "c.example", "10.0.0.3")};
  for (int i = 0; i < 2; ++i) log.push_back(LogLine("ok", "10.0.0.1", "2003-06-14", "10:00", "x"));
  for (int i = 0; i < 2; ++i) log.push_back(LogLine("BL", "10.0.0.1", "2003-06-14", "10:00"));
  for (int i = 0; i < 8; ++i) log.push_back(LogLine("bl", "10.0.0.2", "2003-06-14", "11:00"));
  for (int i = 0; i < 4; ++i) log.push_back(LogLine("OK", "10.0.0.3", "2003-06-14", "12:00"));
  LoadedDb db(CrLf(log));
  const Doc tail = {"<BR>",
                    "<center><font face=verdana size=2>",
                    "Total IP Addresses: 3<BR>",
                    "Most frequent IP Address is 10.0.0.2 with 9 hits.<BR>",
                    "Total number of blocks: 11<BR>",
                    "Total number of connections: 8<BR>",
                    "</font></center>"};
  const Row b = {"10.0.0.2", "", "", "9", "0", "9"};
  const Row a = {"10.0.0.1", "&lt;a&gt;&amp;&quot;.example", "10.0.0.11", "5", "3", "2"};
  const Row c = {"10.0.0.3", "c.example", "10.0.0.3", "5", "5", "0"};

  ReportParams params;
  params.MaxResults = 2;  // below n: exactly two rows, n still 3
  ExpectLines(Expected({HitsTable({b, a}), tail}), Generate(ReportKind::kAllHosts, params, db));
  params.MaxResults = 10;  // above n: every address
  ExpectLines(Expected({HitsTable({b, a, c}), tail}), Generate(ReportKind::kAllHosts, params, db));
}

TEST(GenReportIP, LimitOrderAndNoMatch) {
  Doc log;
  for (int day = 1; day <= 25; ++day) {
    char date[16];
    std::snprintf(date, sizeof date, "2003-06-%02d", day);
    log.push_back(
        LogLine(day % 2 ? "OK" : "BL", "192.0.2.7", date, "09:00", "mail.example", "192.0.2.7"));
  }
  log.push_back(LogLine("OK", "192.0.2.8", "2003-06-01", "09:00", "mx.example"));
  LoadedDb db(CrLf(log));
  ReportParams params;
  params.ReportIP = "192.0.2.7";
  params.MaxResults = 10;  // below the hits, newest first
  params.DateOrder = " DESC";
  Rows rows;
  for (int day = 25; day > 15; --day) {
    rows.push_back({"2003-06-" + std::to_string(day), "09:00", "192.0.2.7", "mail.example",
                    day % 2 ? "OK" : "BL", "", ""});
  }
  ExpectLines(Expected({{Center("Report based on specific IP Address:<B>192.0.2.7</B>"), Hits(25),
                         "<center><font size=2 face=verdana>From 2003-06-25 - 09:00",
                         " To 2003-06-16 - 09:00</font></center>"},
                        EntryTable(rows)}),
              Generate(ReportKind::kSpecificHost, params, db));

  // A host search that matches nothing (wildcards and case: the report tool's test).
  params.SearchHost = true;
  params.WildPrefix = true;
  params.ReportIP = "unused";
  params.ReportHost = "o'<b>";
  ExpectLines(Expected({{Center("Report based on specific IP Address/Host Name"),
                         Center("IP Address:unused"), Center("Host Name:o&#39;&lt;b&gt;"), "<BR>",
                         Center("There are no matches found for this IP address or host name!")}}),
              Generate(ReportKind::kSpecificHost, params, db));
}

std::string DateLog() {
  return CrLf({
      LogLine("OK", "10.0.0.1", "2003-06-01", "09:00"),
      LogLine("OK", "10.0.0.2", "2003-06-02", "00:00"),
      LogLine("BL", "10.0.0.3", "2003-06-02", "12:01", "h.example", "", "Type 3", "bl.test"),
      LogLine("OK", "10.0.0.4", "2003-06-02", "12:00"),
      LogLine("OK", "10.0.0.5", "2003-06-02", "11:59"),
      LogLine("OK", "10.0.0.6", "2003-06-03", "23:59"),
      LogLine("OK", "10.0.0.7", "2003-06-04", "00:00"),
      LogLine("OK", "10.0.0.8", "2003-06-05", "09:00", "<b>x' OR '1'='1</b>", "", "", "50% #1"),
  });
}

std::vector<std::string> Ok(const char* date, const char* time, const char* ip) {
  return {date, time, ip, "", "OK", "", ""};
}

TEST(GenReportDate, DateRangeIncludesBothEndsTimeRangeOrdersByTimeAndNoMatch) {
  LoadedDb db(DateLog());
  ReportParams params;
  params.DateStart = "06/02/2003";
  params.DateEnd = "06/03/2003";
  ExpectLines(
      Expected(
          {{Center("Report based on Date range of: <B>06/02/2003 to 06/03/2003</B>"), Hits(5)},
           EntryTable({Ok("2003-06-02", "00:00", "10.0.0.2"),
                       {"2003-06-02", "12:01", "10.0.0.3", "h.example", "BL", "Type 3", "bl.test"},
                       Ok("2003-06-02", "12:00", "10.0.0.4"),
                       Ok("2003-06-02", "11:59", "10.0.0.5"),
                       Ok("2003-06-03", "23:59", "10.0.0.6")})}),
      Generate(ReportKind::kDateRange, params, db));

  params.DateEnd = "06/02/2003";
  params.TimeBased = true;
  params.TimeStart = "12:00 AM";
  params.TimeEnd = "12:00 PM";
  ExpectLines(Expected({{Center("Report based on Time range of :<B>12:00 AM to 12:00 PM on "
                                "06/02/2003</B>"),
                         Hits(3)},
                        EntryTable({Ok("2003-06-02", "00:00", "10.0.0.2"),
                                    Ok("2003-06-02", "11:59", "10.0.0.5"),
                                    Ok("2003-06-02", "12:00", "10.0.0.4")})}),
              Generate(ReportKind::kDateRange, params, db));

  params = {};
  params.DateStart = "01/01/2004";
  params.DateEnd = "12/31/2004";
  ExpectLines(
      Expected({{Center("Report based on Date range of: <B>01/01/2004 to 12/31/2004</B>"), Hits(0),
                 Center("There are no matches found for the criteria specified!")}}),
      Generate(ReportKind::kDateRange, params, db));
}

TEST(GenReportCustom, ClausesSelectAndHostileCriteriaStayData) {
  LoadedDb db(DateLog());
  ReportParams params;
  auto run = [&](const std::vector<std::tuple<int, int, std::string, std::string>>& clauses) {
    std::vector<std::string> sql;
    for (const auto& [field, op, criteria, and_criteria] : clauses) {
      EXPECT_TRUE(BuildClause(field, op, criteria, and_criteria, &sql.emplace_back()).ok);
    }
    params.CustomSQL = CustomQuery(sql);
    return Generate(ReportKind::kCustom, params, db);
  };
  ExpectLines(Expected({{"<center><font size=2 face=verdana>Custom Report", Hits(4)},
                        EntryTable({Ok("2003-06-02", "00:00", "10.0.0.2"),
                                    Ok("2003-06-02", "12:00", "10.0.0.4"),
                                    Ok("2003-06-02", "11:59", "10.0.0.5"),
                                    Ok("2003-06-03", "23:59", "10.0.0.6")})}),
              run({{0, 3, "06/02/2003", "06/03/2003"}, {5, 4, "bl", ""}}));

  for (auto [field, op, criteria, matches] : std::vector<std::tuple<int, int, std::string, int>>{
           {3, 0, "<b>x' OR '1'='1</b>", 1},  // quotes and HTML: exactly that host
           {3, 0, "x' OR '1'='1", 0},         // would match everything if it escaped
           {7, 2, "50% #", 1},                // "%" and "#" inside text criteria
           {7, 0, "'; delete from tbl_log; --", 0},
       }) {
    Doc doc = run({{field, op, criteria, ""}});
    EXPECT_EQ(doc[11], Hits(matches)) << criteria;
    EXPECT_EQ(std::count(doc.begin(), doc.end(),
                         "         <td><B><font size=2 face=arial>&lt;b&gt;x&#39; OR "
                         "&#39;1&#39;=&#39;1&lt;/b&gt;</font></B></td>"),
              matches);
  }
}

TEST(RunReport, RefusalsAndFailuresLeaveOnlyTheSkeleton) {
  LoadedDb db(DateLog());
  ReportParams params;

  params.DateStart = "01/01/2004";
  params.DateEnd = "12/31/2004# or 1=1 or connectdate=#01/01/2004";
  EXPECT_EQ(NotDone(ReportKind::kDateRange, params, db.db_file()).message,
            "Please correct the Ending Date parameter as shown.");
  EXPECT_EQ(NotDone(ReportKind::kDateRange, params, db.dir.path() / "absent.dpr").result,
            ReportOutcome::Result::kFailed);

  for (std::string bad :
       {"select * from tbl_log Where (nosuchcolumn = 'x')",
        "select * from tbl_log Where (IP1 = 'x'", "select * from tbl_log; delete from tbl_log",
        "delete from tbl_log", "select * from tbl_log where connectdate = #31/31/2003#"}) {
    params.CustomSQL = bad;
    ReportOutcome outcome = NotDone(ReportKind::kCustom, params, db.db_file());
    EXPECT_EQ(outcome.result, ReportOutcome::Result::kFailed) << bad;
    EXPECT_FALSE(outcome.message.empty());
  }
  // The table survived every attempt.
  params.CustomSQL = "select * from tbl_log where ip1 like '%'";
  EXPECT_EQ(Generate(ReportKind::kCustom, params, db)[11], Hits(8));
}

}  // namespace
}  // namespace vantry::analyser
