// Each generator's document compared line by line with the expected report.
#include <gtest/gtest.h>

#include "analyser_fixture.h"
#include "report_custom.h"
#include "report_date.h"
#include "report_hits.h"
#include "report_ip.h"
#include "report_messages.h"
#include "report_run.h"

namespace vantry::analyser {
namespace {

using testing::CrLf;
using testing::EntryTable;
using testing::ExpectLines;
using testing::LoadedDb;
using testing::LogLine;
using testing::SkeletonLines;

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<std::string> Generate(ReportKind kind, ReportParams& params, const LoadedDb& db,
                                  bool answer_yes = false, int* questions = nullptr) {
  ReportContext context{db.db_file(), [=] {
                          if (questions) ++*questions;
                          return answer_yes;
                        }};
  ReportDocument document;
  ReportOutcome outcome = RunReport(kind, params, context, document);
  EXPECT_EQ(outcome.result, ReportOutcome::Result::kDone) << outcome.message;
  return testing::Lines(document.text());
}

const std::vector<std::string> kEnd = {"</body>", "</html>"};

std::vector<std::string> HitsHead() {
  return {"<center><font size=2 face=verdana>Report based on IP Address Hits</font></center>",
          "<table cellspacing=2 cellpadding=5 border=1 align=center bodercolor=lightgrey>",
          "     <tr>",
          "         <td><B><font size=2 face=arial>IP Address</font></B></td>",
          "         <td><B><font size=2 face=arial>Host Name</font></B></td>",
          "         <td><B><font size=2 face=arial>Alt IP</font></B></td>",
          "         <td><B><font size=2 face=arial>Hits</font></B></td>",
          "         <td><B><font size=2 face=arial>Connected</font></B></td>",
          "         <td><B><font size=2 face=arial>Blocked</font></B></td>",
          "     </tr>"};
}

std::vector<std::string> HitsRow(std::string ip, std::string host, std::string alt, int hits,
                                 int passed, int blocked) {
  return {"     <tr>",
          "         <td><font size=2 face=arial>" + ip + "</font></td>",
          "         <td><font size=2 face=arial> " + host + " </font></td>",
          "         <td><font size=2 face=arial> " + alt + " </font></td>",
          "         <td><font size=2 face=arial>" + std::to_string(hits) + "</font></td>",
          "         <td><font size=2 face=arial> " + std::to_string(passed) + " </font></td>",
          "         <td><font size=2 face=arial> " + std::to_string(blocked) + " </font></td>",
          "     </tr>"};
}

// A: 3 OK + 2 BL, B: 9 BL, C: 5 OK; first seen in the order A, B, C.
std::string HitsLog() {
  std::vector<std::string> lines;
  lines.push_back(LogLine("OK", "10.0.0.1", "2003-06-14", "09:00", "<a>&.example", "10.0.0.11"));
  lines.push_back(LogLine("BL", "10.0.0.2", "2003-06-14", "09:01", "", "", "Type 2", "zen"));
  lines.push_back(LogLine("OK", "10.0.0.3", "2003-06-14", "09:02", "c.example", "10.0.0.3"));
  for (int i = 0; i < 2; ++i)
    lines.push_back(LogLine("ok", "10.0.0.1", "2003-06-14", "10:00", "later.example"));
  for (int i = 0; i < 2; ++i) lines.push_back(LogLine("BL", "10.0.0.1", "2003-06-14", "10:00"));
  for (int i = 0; i < 8; ++i) lines.push_back(LogLine("bl", "10.0.0.2", "2003-06-14", "11:00"));
  for (int i = 0; i < 4; ++i) lines.push_back(LogLine("OK", "10.0.0.3", "2003-06-14", "12:00"));
  return CrLf(lines);
}

TEST(GenReportHits, MostHitsFirstTiesInFirstSeenOrderAndTheLimit) {
  LoadedDb db(HitsLog());
  auto tail = [](int n) {
    return std::vector<std::string>{"</table>",
                                    "<BR>",
                                    "<center><font face=verdana size=2>",
                                    "Total IP Addresses: " + std::to_string(n) + "<BR>",
                                    "Most frequent IP Address is 10.0.0.2 with 9 hits.<BR>",
                                    "Total number of blocks: 11<BR>",
                                    "Total number of connections: 8<BR>",
                                    "</font></center>"};
  };
  auto b = HitsRow("10.0.0.2", "", "", 9, 0, 9);
  auto a = HitsRow("10.0.0.1", "&lt;a&gt;&amp;.example", "10.0.0.11", 5, 3, 2);
  auto c = HitsRow("10.0.0.3", "c.example", "10.0.0.3", 5, 5, 0);

  ReportParams params;
  params.MaxResults = 2;  // below n: exactly two rows, n still 3
  ExpectLines(Join(Join(Join(Join(Join(SkeletonLines(), HitsHead()), b), a), tail(3)), kEnd),
              Generate(ReportKind::kAllHosts, params, db));
  EXPECT_EQ(params.MaxResults, 0);  // the next run needs the dialog again

  params.MaxResults = 10;  // above n: every address
  ExpectLines(
      Join(Join(Join(Join(Join(Join(SkeletonLines(), HitsHead()), b), a), c), tail(3)), kEnd),
      Generate(ReportKind::kAllHosts, params, db));

  ReportDocument document;
  ReportOutcome again = RunReport(ReportKind::kAllHosts, params, {db.db_file(), {}}, document);
  EXPECT_EQ(again.result, ReportOutcome::Result::kRefused);
  EXPECT_EQ(again.message, "Please define your report limit");
  ExpectLines(SkeletonLines(), testing::Lines(document.text()));
}

std::string TwentyFiveDays() {
  std::vector<std::string> lines;
  for (int day = 1; day <= 25; ++day) {
    char date[16];
    std::snprintf(date, sizeof date, "2003-06-%02d", day);
    lines.push_back(
        LogLine(day % 2 ? "OK" : "BL", "192.0.2.7", date, "09:00", "mail.example", "192.0.2.7"));
  }
  lines.push_back(LogLine("OK", "192.0.2.8", "2003-06-01", "09:00", "mx.example"));
  return CrLf(lines);
}

std::vector<std::string> DayRow(int day) {
  char date[16];
  std::snprintf(date, sizeof date, "2003-06-%02d", day);
  return {date, "09:00", "192.0.2.7", "mail.example", day % 2 ? "OK" : "BL", "", ""};
}

TEST(GenReportIP, LimitBelowTheHitsNewestFirst) {
  LoadedDb db(TwentyFiveDays());
  ReportParams params;
  params.ReportIP = "192.0.2.7";
  params.MaxResults = 10;
  params.DateOrder = " DESC";
  std::vector<std::vector<std::string>> rows;
  for (int day = 25; day > 15; --day) rows.push_back(DayRow(day));
  std::vector<std::string> expected = SkeletonLines();
  for (std::string line :
       {"<center><font size=2 face=verdana>Report based on specific IP "
        "Address:<B>192.0.2.7</B></font></center>",
        "<center><font size=2 face=verdana>Total Number of hits:25</font></center>",
        "<center><font size=2 face=verdana>From 2003-06-25 - 09:00",
        " To 2003-06-16 - 09:00</font></center>"}) {
    expected.push_back(line);
  }
  ExpectLines(Join(Join(expected, EntryTable(rows)), kEnd),
              Generate(ReportKind::kSpecificHost, params, db));
  EXPECT_EQ(params.MaxResults, 10);  // only the hits kind resets the limit
}

TEST(GenReportIP, WildcardSuffixOnHostOldestFirstAndNoMatch) {
  LoadedDb db(TwentyFiveDays());
  ReportParams params;
  params.SearchHost = true;
  params.ReportHost = "MAIL.";
  params.ReportIP = "unused";
  params.WildSuffix = true;  // like 'MAIL.%', without case
  params.MaxResults = 100;   // above the hits: all 25
  std::vector<std::string> lines = Generate(ReportKind::kSpecificHost, params, db);
  ASSERT_GT(lines.size(), 16u);
  EXPECT_EQ(lines[10],
            "<center><font size=2 face=verdana>Report based on specific Host "
            "Name:<B>MAIL.</B></font></center>");
  EXPECT_EQ(lines[11], "<center><font size=2 face=verdana>Total Number of hits:25</font></center>");
  EXPECT_EQ(lines[12], "<center><font size=2 face=verdana>From 2003-06-01 - 09:00");
  EXPECT_EQ(lines[13], " To 2003-06-25 - 09:00</font></center>");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "     <tr>"), 26);

  params.WildSuffix = false;
  params.WildPrefix = true;  // like '%MAIL.' matches nothing
  params.ReportHost = "o'<b>";
  std::vector<std::string> expected = SkeletonLines();
  for (std::string line :
       {"<center><font size=2 face=verdana>Report based on specific IP Address/Host "
        "Name</font></center>",
        "<center><font size=2 face=verdana>IP Address:unused</font></center>",
        "<center><font size=2 face=verdana>Host Name:o&#39;&lt;b&gt;</font></center>", "<BR>",
        "<center><font size=2 face=verdana>There are no matches found for this IP address or host "
        "name!</font></center>"}) {
    expected.push_back(line);
  }
  ExpectLines(Join(expected, kEnd), Generate(ReportKind::kSpecificHost, params, db));
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
  });
}

TEST(GenReportDate, DateRangeIncludesBothEnds) {
  LoadedDb db(DateLog());
  ReportParams params;
  params.DateStart = "06/02/2003";
  params.DateEnd = "06/03/2003";
  std::vector<std::string> expected = SkeletonLines();
  expected.push_back(
      "<center><font size=2 face=verdana>Report based on Date range of: <B>06/02/2003 to "
      "06/03/2003</B></font></center>");
  expected.push_back("<center><font size=2 face=verdana>Total Number of hits:5</font></center>");
  ExpectLines(
      Join(Join(expected,
                EntryTable({
                    {"2003-06-02", "00:00", "10.0.0.2", "", "OK", "", ""},
                    {"2003-06-02", "12:01", "10.0.0.3", "h.example", "BL", "Type 3", "bl.test"},
                    {"2003-06-02", "12:00", "10.0.0.4", "", "OK", "", ""},
                    {"2003-06-02", "11:59", "10.0.0.5", "", "OK", "", ""},
                    {"2003-06-03", "23:59", "10.0.0.6", "", "OK", "", ""},
                })),
           kEnd),
      Generate(ReportKind::kDateRange, params, db));
}

TEST(GenReportDate, MorningTimeRangeOrderedByTime) {
  LoadedDb db(DateLog());
  ReportParams params;
  params.DateStart = "06/02/2003";
  params.DateEnd = "06/02/2003";
  params.TimeBased = true;
  params.TimeStart = "12:00 AM";
  params.TimeEnd = "12:00 PM";
  std::vector<std::string> expected = SkeletonLines();
  expected.push_back(
      "<center><font size=2 face=verdana>Report based on Time range of :<B>12:00 AM to 12:00 PM on "
      "06/02/2003</B></font></center>");
  expected.push_back("<center><font size=2 face=verdana>Total Number of hits:3</font></center>");
  ExpectLines(Join(Join(expected, EntryTable({
                                      {"2003-06-02", "00:00", "10.0.0.2", "", "OK", "", ""},
                                      {"2003-06-02", "11:59", "10.0.0.5", "", "OK", "", ""},
                                      {"2003-06-02", "12:00", "10.0.0.4", "", "OK", "", ""},
                                  })),
                   kEnd),
              Generate(ReportKind::kDateRange, params, db));
}

TEST(GenReportDate, NoMatchAndUncheckedParametersAreRefused) {
  LoadedDb db(DateLog());
  ReportParams params;
  params.DateStart = "01/01/2004";
  params.DateEnd = "12/31/2004";
  std::vector<std::string> expected = SkeletonLines();
  expected.push_back(
      "<center><font size=2 face=verdana>Report based on Date range of: <B>01/01/2004 to "
      "12/31/2004</B></font></center>");
  expected.push_back("<center><font size=2 face=verdana>Total Number of hits:0</font></center>");
  expected.push_back(
      "<center><font size=2 face=verdana>There are no matches found for the criteria "
      "specified!</font></center>");
  ExpectLines(Join(expected, kEnd), Generate(ReportKind::kDateRange, params, db));

  params.DateEnd = "12/31/2004# or 1=1 or connectdate=#01/01/2004";
  ReportDocument document;
  ReportOutcome outcome = RunReport(ReportKind::kDateRange, params, {db.db_file(), {}}, document);
  EXPECT_EQ(outcome.result, ReportOutcome::Result::kFailed);
  EXPECT_EQ(outcome.message, "Please correct the Ending Date parameter as shown.");
}

TEST(Listing, OverTwoHundredFiftyAsksAndObeysBothAnswers) {
  std::vector<std::string> lines;
  for (int i = 0; i < 300; ++i) lines.push_back(LogLine("BL", "10.9.0.1", "2003-06-14", "09:05"));
  lines.push_back(LogLine("OK", "10.9.0.2", "2003-06-15", "09:05"));
  LoadedDb db(CrLf(lines));
  ReportParams params;
  params.DateStart = "06/14/2003";
  params.DateEnd = "06/14/2003";
  for (bool yes : {true, false}) {
    int questions = 0;
    std::vector<std::string> doc = Generate(ReportKind::kDateRange, params, db, yes, &questions);
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(doc[11],
              "<center><font size=2 face=verdana>Total Number of hits:300</font></center>");
    EXPECT_EQ(std::count(doc.begin(), doc.end(), "     <tr>"), (yes ? 250 : 300) + 1);
  }
  params.DateStart = "06/15/2003";
  params.DateEnd = "06/15/2003";
  int questions = 0;
  Generate(ReportKind::kDateRange, params, db, true, &questions);
  EXPECT_EQ(questions, 0);  // one record: no question

  params.CustomSQL = "select * from tbl_log Where (StatusCode = 'BL')";
  std::vector<std::string> doc = Generate(ReportKind::kCustom, params, db, true, &questions);
  EXPECT_EQ(questions, 1);
  EXPECT_EQ(std::count(doc.begin(), doc.end(), "     <tr>"), 251);
}

TEST(GenReportCustom, BetweenAndNotLikeClauses) {
  LoadedDb db(DateLog());
  std::string between, not_like;
  ASSERT_TRUE(BuildClause(0, 3, "06/02/2003", "06/03/2003", &between).ok);
  ASSERT_TRUE(BuildClause(5, 4, "bl", "", &not_like).ok);
  std::vector<std::string> clauses = {between, not_like};
  ReportParams params;
  params.CustomSQL = CustomQuery(clauses);
  std::vector<std::string> expected = SkeletonLines();
  expected.push_back("<center><font size=2 face=verdana>Custom Report");
  expected.push_back("<center><font size=2 face=verdana>Total Number of hits:4</font></center>");
  ExpectLines(Join(Join(expected, EntryTable({
                                      {"2003-06-02", "00:00", "10.0.0.2", "", "OK", "", ""},
                                      {"2003-06-02", "12:00", "10.0.0.4", "", "OK", "", ""},
                                      {"2003-06-02", "11:59", "10.0.0.5", "", "OK", "", ""},
                                      {"2003-06-03", "23:59", "10.0.0.6", "", "OK", "", ""},
                                  })),
                   kEnd),
              Generate(ReportKind::kCustom, params, db));
}

TEST(GenReportCustom, HostileCriteriaStayData) {
  LoadedDb db(CrLf(
      {LogLine("OK", "10.0.0.1", "2003-06-01", "09:00", "<b>x' OR '1'='1</b>", "", "", "50% #1"),
       LogLine("OK", "10.0.0.2", "2003-06-01", "09:00")}));
  ReportParams params;
  for (auto [field, op, criteria, matches] : std::vector<std::tuple<int, int, std::string, int>>{
           {3, 0, "<b>x' OR '1'='1</b>", 1},  // quotes and HTML: exactly that host
           {3, 0, "x' OR '1'='1", 0},         // would match everything if it escaped
           {7, 2, "50% #", 1},                // "%" and "#" inside text criteria
           {7, 0, "'; delete from tbl_log; --", 0},
           {2, 2, "select", 0},
       }) {
    std::string clause;
    ASSERT_TRUE(BuildClause(field, op, criteria, "", &clause).ok);
    params.CustomSQL = CustomQuery(std::vector<std::string>{clause});
    std::vector<std::string> doc = Generate(ReportKind::kCustom, params, db);
    EXPECT_EQ(doc[11], "<center><font size=2 face=verdana>Total Number of hits:" +
                           std::to_string(matches) + "</font></center>")
        << criteria;
    if (matches) {
      EXPECT_NE(std::find(doc.begin(), doc.end(),
                          "         <td><B><font size=2 face=arial>&lt;b&gt;x&#39; OR "
                          "&#39;1&#39;=&#39;1&lt;/b&gt;</font></B></td>"),
                doc.end());
    }
  }
}

TEST(GenReportCustom, RefusalsAndDatabaseMessages) {
  LoadedDb db(DateLog());
  ReportParams params;
  ReportDocument document;
  ReportOutcome none = RunReport(ReportKind::kCustom, params, {db.db_file(), {}}, document);
  EXPECT_EQ(none.result, ReportOutcome::Result::kRefused);
  EXPECT_EQ(none.message, "Please define your custom report");

  for (std::string bad :
       {"select * from tbl_log Where (nosuchcolumn = 'x')",
        "select * from tbl_log Where (IP1 = 'x'", "select * from tbl_log; delete from tbl_log",
        "delete from tbl_log", "select * from tbl_log where connectdate = #31/31/2003#"}) {
    params.CustomSQL = bad;
    ReportOutcome outcome = RunReport(ReportKind::kCustom, params, {db.db_file(), {}}, document);
    EXPECT_EQ(outcome.result, ReportOutcome::Result::kFailed) << bad;
    EXPECT_FALSE(outcome.message.empty());
    ExpectLines(SkeletonLines(), testing::Lines(document.text()));
  }
  params.CustomSQL = "select * from tbl_log Where (nosuchcolumn = 'x')";
  EXPECT_NE(RunReport(ReportKind::kCustom, params, {db.db_file(), {}}, document)
                .message.find("no such column"),
            std::string::npos);
  // The table survived every attempt.
  params.CustomSQL = "select * from tbl_log where ip1 like '%'";
  std::vector<std::string> doc = Generate(ReportKind::kCustom, params, db);
  EXPECT_EQ(doc[11], "<center><font size=2 face=verdana>Total Number of hits:7</font></center>");
}

TEST(RunReport, AddressKindChecksTheLimitFirst) {
  LoadedDb db(DateLog());
  ReportParams params;
  ReportDocument document;
  EXPECT_EQ(RunReport(ReportKind::kSpecificHost, params, {db.db_file(), {}}, document).message,
            "Please define your report limit");
  params.MaxResults = 5;
  EXPECT_EQ(RunReport(ReportKind::kSpecificHost, params, {db.db_file(), {}}, document).message,
            "Please define your report IP and/or Host");
  ReportOutcome missing =
      RunReport(ReportKind::kDateRange, params, {db.dir.path() / "absent.dpr", {}}, document);
  EXPECT_EQ(missing.result, ReportOutcome::Result::kFailed);
}

}  // namespace
}  // namespace vantry::analyser
