// The dialogs' decision logic, validation messages and texts, without windows.
#include <gtest/gtest.h>

#include "report_custom.h"
#include "report_date.h"
#include "report_ip.h"

namespace vantry::analyser {
namespace {

TEST(DateDialog, RewritesAndRefusesInOrder) {
  DateDialogFields f;
  f.txtDateStart = "5/1/2003";
  f.txtDateEnd = "05/7/2003";
  DateDialogCheck check = CheckDateDialog(f);
  ASSERT_TRUE(check.ok);
  EXPECT_EQ(check.fields.txtDateStart, "05/01/2003");
  EXPECT_EQ(check.fields.txtDateEnd, "05/07/2003");

  f.txtDateStart = "  ";
  check = CheckDateDialog(f);
  EXPECT_FALSE(check.ok);
  EXPECT_EQ(check.focus, DateDialogField::kDateStart);
  EXPECT_EQ(check.message, "Please correct the Starting Date parameter as shown.");

  f.txtDateStart = "5/1/2003";
  f.txtDateEnd = "yesterday";
  check = CheckDateDialog(f);
  EXPECT_EQ(check.focus, DateDialogField::kDateEnd);
  EXPECT_EQ(check.message, "Please correct the Ending Date parameter as shown.");
  EXPECT_EQ(check.fields.txtDateStart, "05/01/2003");  // rewritten before the failure

  // Time boxes are checked only with the box ticked.
  f.txtDateEnd = "5/2/2003";
  f.txtTimeStart = "noon";
  EXPECT_TRUE(CheckDateDialog(f).ok);
  ApplyTimeCheck(f, true);
  EXPECT_EQ(f.txtDateEnd, "5/1/2003");  // ticking copies the start date
  check = CheckDateDialog(f);
  EXPECT_EQ(check.focus, DateDialogField::kTimeStart);
  EXPECT_EQ(check.message, "Please correct the Starting Time parameter as shown.");
  f.txtTimeStart = "9:5 am";
  EXPECT_EQ(CheckDateDialog(f).message, "Please correct the Starting Time parameter as shown.");
  f.txtTimeStart = "09:05am";
  f.txtTimeEnd = "25:00";
  check = CheckDateDialog(f);
  EXPECT_EQ(check.message, "Please correct the Ending Time parameter as shown.");
  EXPECT_EQ(check.fields.txtTimeStart, "9:05 AM");
  f.txtTimeEnd = "17:30";
  check = CheckDateDialog(f);
  ASSERT_TRUE(check.ok);
  EXPECT_EQ(check.fields.txtTimeEnd, "5:30 PM");

  ReportParams params;
  StoreDateDialog(check.fields, params);
  DateDialogFields reopened = LoadDateDialog(params);
  EXPECT_TRUE(reopened.chkTime);
  EXPECT_EQ(reopened.txtDateStart, "05/01/2003");
  EXPECT_EQ(reopened.txtTimeEnd, "5:30 PM");
  EXPECT_EQ(LoadDateDialog(ReportParams{}).txtTimeStart, "12:00 AM");
  EXPECT_EQ(LoadDateDialog(ReportParams{}).txtTimeEnd, "12:00 PM");
}

TEST(DateDialog, QueriesAsWritten) {
  ReportParams p;
  p.DateStart = "05/01/2003";
  p.DateEnd = "05/07/2003";
  EXPECT_EQ(DateReportQuery(p),
            "select * from tbl_log where connectdate between #05/01/2003# and #05/07/2003# "
            "order by connectdate");
  p.TimeBased = true;
  p.TimeStart = "12:00 AM";
  p.TimeEnd = "12:00 PM";
  EXPECT_EQ(DateReportQuery(p),
            "select * from tbl_log where (connectdate=#05/01/2003#) and (connecttime between "
            "#12:00 AM# and #12:00 PM#) order by connecttime");
}

TEST(AddressDialogs, ChoicesSelectionAndCondition) {
  EXPECT_FALSE(MaxIPDialogSelection(0));
  EXPECT_EQ(DefIPDialogSelection(500).value(), 99u);  // the number 100
  EXPECT_EQ(DefIPDialogSelection(7).value(), 6u);     // shorter list: its last number
  EXPECT_FALSE(DefIPDialogSelection(0));

  ReportParams p;
  p.MaxResults = 42;
  DefIPDialogFields f;
  f.txtIP = "  10.0.0.1 ";
  f.txtHost = " o'brien.example ";
  f.reverse_chronological = true;
  StoreDefIPDialog(f, p);
  EXPECT_EQ(p.ReportIP, "10.0.0.1");
  EXPECT_EQ(p.ReportHost, "o'brien.example");
  EXPECT_EQ(p.MaxResults, 42);  // no selection keeps the previous limit
  EXPECT_EQ(p.DateOrder, " DESC");
  EXPECT_EQ(AddressCondition(p), "ip1 = '10.0.0.1'");
  EXPECT_EQ(AddressListingQuery(p, 10),
            "select top 10 * from tbl_log where ip1 = '10.0.0.1' order by connectdate  DESC");
  p.SearchHost = true;
  p.WildPrefix = true;
  EXPECT_EQ(AddressCondition(p), "host like '%o''brien.example'");
  p.WildPrefix = false;
  p.WildSuffix = true;
  EXPECT_EQ(AddressCondition(p), "host like 'o''brien.example%'");
  p.WildPrefix = true;
  EXPECT_EQ(AddressCondition(p), "host like '%o''brien.example%'");
  p.DateOrder = "; drop table tbl_log";
  EXPECT_EQ(AddressListingQuery(p, 1),
            "select top 1 * from tbl_log where host like '%o''brien.example%' order by "
            "connectdate ");
}

TEST(CustomBuilder, ClausesAsDescribed) {
  std::string clause;
  ASSERT_TRUE(BuildClause(2, 2, "10.1.", "", &clause).ok);
  EXPECT_EQ(clause, "(IP1 LIKE '%10.1.%')");
  ASSERT_TRUE(BuildClause(0, 3, "05/01/2003", "05/31/2003", &clause).ok);
  EXPECT_EQ(clause, "(ConnectDate BETWEEN #05/01/2003# AND #05/31/2003#)");
  ASSERT_TRUE(BuildClause(5, 4, "BL", "", &clause).ok);
  EXPECT_EQ(clause, "(StatusCode NOT LIKE '%BL%')");
  ASSERT_TRUE(BuildClause(1, 1, "9:00 AM", "", &clause).ok);
  EXPECT_EQ(clause, "(ConnectTime <> #9:00 AM#)");
  ASSERT_TRUE(BuildClause(7, 0, " x' OR '1'='1 ", "", &clause).ok);  // untrimmed, quotes doubled
  EXPECT_EQ(clause, "(BLInfo = ' x'' OR ''1''=''1 ')");
  ASSERT_TRUE(BuildClause(3, 3, "a", "m'", &clause).ok);
  EXPECT_EQ(clause, "(Host BETWEEN 'a' AND 'm''')");
}

TEST(CustomBuilder, RefusalsLeaveNothingToAdd) {
  std::string clause = "unchanged";
  Status s = BuildClause(2, 0, "   ", "", &clause);
  EXPECT_EQ(s.message, "You must have criteria to compare to.");
  s = BuildClause(2, 3, "a", " ", &clause);
  EXPECT_EQ(s.message, "You must have criteria to compare to with the BETWEEN operator.");
  // A "#" would end the date literal early and let the rest become SQL.
  EXPECT_FALSE(BuildClause(0, 0, "05/01/2003# OR 1=1 OR #05/01/2003", "", &clause).ok);
  EXPECT_FALSE(BuildClause(0, 3, "05/01/2003", "tomorrow", &clause).ok);
  EXPECT_FALSE(BuildClause(0, 2, "05/01", "", &clause).ok);  // LIKE on a date
  EXPECT_EQ(clause, "unchanged");
}

TEST(CustomBuilder, PreviewAndQuery) {
  std::vector<std::string> clauses = {"(IP1 LIKE '%10.1.%')", "(StatusCode = 'BL')"};
  EXPECT_EQ(CustomPreviewText(clauses, "/var/log/vantry.log"),
            "VANTRY: Create Report (\r\n"
            "    Display All From LogFile = (/var/log/vantry.log)\r\n"
            "    Where\r\n"
            "        (IP1 LIKE '%10.1.%')\r\n"
            "    AND\r\n"
            "        (StatusCode = 'BL')\r\n"
            ") End Report\r\n");
  EXPECT_NE(CustomPreviewText({clauses.data(), 1}, "  ")
                .find("    Display All From LogFile = (UNDEFINED)\r\n"),
            std::string::npos);
  EXPECT_EQ(CustomPreviewText({}, "x"), "");
  EXPECT_EQ(CustomQuery(clauses),
            "select * from tbl_log Where (IP1 LIKE '%10.1.%') AND (StatusCode = 'BL')");
  EXPECT_EQ(CustomQuery({}), "");
}

}  // namespace
}  // namespace vantry::analyser
