// The query text the dialogs' choices become. What the dialogs load, store and
// say is driven through their widgets in report_dialogs_ui_test.cc.
#include <gtest/gtest.h>

#include "report_custom.h"
#include "report_ip.h"

namespace vantry::analyser {
namespace {

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

TEST(AddressDialog, ConditionWildcardsAndAnOrderThatIsNoSql) {
  EXPECT_EQ(DefIPDialogSelection(500).value(), 99u);  // the number 100
  EXPECT_EQ(DefIPDialogSelection(7).value(), 6u);     // shorter list: its last number
  ReportParams p;
  p.ReportIP = "10.0.0.1";
  p.DateOrder = " DESC";
  EXPECT_EQ(AddressListingQuery(p, 10),
            "select top 10 * from tbl_log where ip1 = '10.0.0.1' order by connectdate  DESC");
  p.SearchHost = true;
  p.ReportHost = "o'brien.example";
  p.WildPrefix = p.WildSuffix = true;
  p.DateOrder = "; drop table tbl_log";
  EXPECT_EQ(AddressListingQuery(p, 1),
            "select top 1 * from tbl_log where host like '%o''brien.example%' order by "
            "connectdate ");
}

}  // namespace
}  // namespace vantry::analyser
