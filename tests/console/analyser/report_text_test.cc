// The analyser's text rules: the Access dialect of the reports, the dates and
// times of the log and the dialogs, query text and the report document's lines.
#include <gtest/gtest.h>

#include <utility>

#include "access_dialect.h"
#include "date_time_text.h"
#include "report_custom.h"
#include "report_document.h"
#include "report_ip.h"

namespace vantry::analyser {
namespace {

TEST(AccessDialect, TranslatesDatesTopAndQuotesAndLeavesTheRestAlone) {
  struct Case {
    std::string_view access, sqlite;
    std::string_view postgres = {};  // empty: as for SQLite
  };
  for (const Case& c : std::vector<Case>{
           // Whole rows of tbl_log end in stored order, so ties list alike on both backends.
           {"select * from tbl_log where connectdate between #05/01/2003# and #05/07/2003#",
            "select * from tbl_log where connectdate between '2003-05-01' and '2003-05-07' "
            "ORDER BY rowid"},
           {"(connectdate=#12/31/2003#) and (connecttime between #12:00 AM# and #12:00 PM#)",
            "(connectdate='2003-12-31') and (connecttime between '00:00:00' and '12:00:00')"},
           {"x = #9:05 pm#", "x = '21:05:00'"},
           {"x = #5/1/2003 1:30 PM#", "x = '2003-05-01 13:30:00'"},
           {"select top 10 * from tbl_log where ip1 = '10.0.0.1' order by connectdate  DESC",
            "select * from tbl_log where ip1 = '10.0.0.1' order by connectdate  DESC, rowid "
            "LIMIT 10"},
           // LIKE ignores case on both; a backslash in its pattern is a plain character.
           {"SELECT TOP 250 * from tbl_log Where (IP1 LIKE '%10.%');",
            "SELECT * from tbl_log Where (IP1 LIKE '%10.%') ORDER BY rowid LIMIT 250",
            "SELECT * from tbl_log Where (IP1 ILIKE '%10.%' ESCAPE '') ORDER BY rowid LIMIT 250"},
           {"select distinct top 3 ip1 from tbl_log", "select distinct ip1 from tbl_log LIMIT 3"},
           {"select * from tbl_log group by ip1", "select * from tbl_log group by ip1"},
           // "top" as a column name or inside text is no row limit.
           {"select topic from t where a = 'select top 5'",
            "select topic from t where a = 'select top 5'"},
           {"select * from t where (Host NOT LIKE \"%x%\" escape '!') AND (a <> 'b')",
            "select * from t where (Host NOT LIKE '%x%' escape '!') AND (a <> 'b')",
            "select * from t where (Host NOT ILIKE '%x%' escape '!') AND (a <> 'b')"},
           // A "#" or a keyword inside quotes is data, with doubled quotes kept.
           {"select * from t where host = '#05/01/2003# or ''top'' 1'",
            "select * from t where host = '#05/01/2003# or ''top'' 1'"},
           // Access's double-quoted text becomes a single-quoted literal.
           {"select * from t where host = \"o'brien \"\"x\"\"\"",
            "select * from t where host = 'o''brien \"x\"'"},
       }) {
    std::string out;
    Status s = TranslateAccessSql(c.access, &out);
    EXPECT_TRUE(s.ok) << s.message;
    EXPECT_EQ(out, c.sqlite);
    s = TranslateAccessSql(c.access, &out, SqlTarget::kPostgres);
    EXPECT_TRUE(s.ok) << s.message;
    EXPECT_EQ(out, c.postgres.empty() ? c.sqlite : c.postgres);
  }
  std::string out;
  for (std::string_view bad :
       {"select * from t where d = #13/45/2003#", "select * from t where d = #05/01/2003",
        "select * from t where h = 'open", "select top x * from t",
        "select * from t where a in (select top 2 b from t)"}) {
    Status s = TranslateAccessSql(bad, &out);
    EXPECT_FALSE(s.ok) << bad;
    EXPECT_FALSE(s.message.empty()) << bad;
  }
}

TEST(DateTimeText, LogFieldsAndUserInput) {
  for (std::string_view bad : {"2003-02-29", "2003-13-01", "2003-00-10", "03-05-2004", "",
                               "2003-1-1x", "99999-01-01", "2003/01/01"}) {
    EXPECT_FALSE(LogDateToStored(bad)) << bad;
  }
  for (std::string_view bad : {"24:00", "12:60", "12:5", "", "1205", "12:05 PM", "123:00"}) {
    EXPECT_FALSE(LogTimeToStored(bad)) << bad;
  }
  for (const char* bad : {"5/1/03", "02/30/2003"}) EXPECT_FALSE(ParseUserDate(bad)) << bad;
  EXPECT_EQ(ParseUserTime("12:00 PM").value().hour, 12);
  EXPECT_EQ(ParseUserTime("12:00am").value().hour, 0);
  EXPECT_EQ(FormatDialogTime(ParseUserTime("21:07").value()), "9:07 PM");
  EXPECT_EQ(FormatDialogTime(ParseUserTime("9 am").value()), "9:00 AM");
  for (const char* bad : {"13:00 PM", "0:30 AM"}) EXPECT_FALSE(ParseUserTime(bad)) << bad;
}

TEST(CustomBuilder, ClausesQuoteByFieldAndRefuseWhatWouldNotStayData) {
  struct Case {
    int field, op;
    std::string criteria, and_criteria, clause;  // clause "" = refused
  };
  for (const Case& c : std::vector<Case>{
           {2, 2, "10.1.", "", "(IP1 LIKE '%10.1.%')"},
           {0, 3, "05/01/2003", "05/31/2003",
            "(ConnectDate BETWEEN #05/01/2003# AND #05/31/2003#)"},
           {5, 4, "BL", "", "(StatusCode NOT LIKE '%BL%')"},
           {1, 1, "9:00 AM", "", "(ConnectTime <> #9:00 AM#)"},
           {7, 0, " x' OR '1'='1 ", "", "(BLInfo = ' x'' OR ''1''=''1 ')"},  // untrimmed
           {3, 3, "a", "m'", "(Host BETWEEN 'a' AND 'm''')"},
           {2, 0, " \t ", "", ""},  // a tab is as blank as a space
           {2, 3, "a", " ", ""},
           {0, 0, "05/01/2003# OR 1=1 OR #05/01/2003", "", ""},  // "#" would end the literal
           {0, 3, "05/01/2003", "tomorrow", ""},
           {0, 2, "05/01", "", ""},  // LIKE on a date
       }) {
    std::string clause = "unchanged";
    Status s = BuildClause(c.field, c.op, c.criteria, c.and_criteria, &clause);
    EXPECT_EQ(s.ok, !c.clause.empty()) << c.criteria;
    EXPECT_EQ(clause, c.clause.empty() ? "unchanged" : c.clause) << c.criteria;
  }
}

// The condition and limit are run by the generators' test; the window offers 100.
TEST(AddressDialog, ShorterListOffersItsLastNumberAndAnOrderThatIsNoSqlIsDropped) {
  EXPECT_EQ(DefIPDialogSelection(7).value(), 6u);
  ReportParams p;
  p.SearchHost = true;
  p.ReportHost = "o'brien.example";
  p.WildPrefix = p.WildSuffix = true;
  p.DateOrder = "; drop table tbl_log";
  EXPECT_EQ(AddressListingQuery(p, 1),
            "select top 1 * from tbl_log where host like '%o''brien.example%' order by "
            "connectdate ");
}

TEST(ReportDocument, SkeletonLinesEndInLf) {
  ReportDocument document;
  document.ReportAdd("stale");
  document.ReportCreate();
  document.ReportAdd("middle");
  document.ReportEnd();
  const std::string expected =
      "<html><head><title>Korvane Vantry Gateway</title></head>\n"
      "<body>\n"
      "<center>\n"
      "     <font face=verdana size=5>\n"
      "         <B><U>Korvane Industries Incorporated</U></B><BR>\n"
      "     </font>\n"
      "     <font face=verdana size=3>\n"
      "         <B>Vantry Usage Report</B><BR>\n"
      "     </font>\n"
      "</center>\n"
      "middle\n"
      "</body>\n"
      "</html>\n";
  EXPECT_EQ(document.text(), expected);
}

}  // namespace
}  // namespace vantry::analyser
