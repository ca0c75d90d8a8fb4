#include "access_dialect.h"

#include <gtest/gtest.h>

#include <utility>

#include "date_time_text.h"

namespace vantry::analyser {
namespace {

TEST(AccessDialect, TranslatesDatesTopAndQuotesAndLeavesTheRestAlone) {
  for (auto [access, sqlite] : std::vector<std::pair<std::string_view, std::string_view>>{
           {"select * from tbl_log where connectdate between #05/01/2003# and #05/07/2003#",
            "select * from tbl_log where connectdate between '2003-05-01' and '2003-05-07'"},
           {"(connectdate=#12/31/2003#) and (connecttime between #12:00 AM# and #12:00 PM#)",
            "(connectdate='2003-12-31') and (connecttime between '00:00:00' and '12:00:00')"},
           {"x = #9:05 pm#", "x = '21:05:00'"},
           {"x = #5/1/2003 1:30 PM#", "x = '2003-05-01 13:30:00'"},
           {"select top 10 * from tbl_log where ip1 = '10.0.0.1' order by connectdate  DESC",
            "select * from tbl_log where ip1 = '10.0.0.1' order by connectdate  DESC LIMIT 10"},
           {"SELECT TOP 250 * from tbl_log Where (IP1 LIKE '%10.%');",
            "SELECT * from tbl_log Where (IP1 LIKE '%10.%') LIMIT 250"},
           {"select distinct top 3 ip1 from tbl_log", "select distinct ip1 from tbl_log LIMIT 3"},
           // "top" as a column name or inside text is no row limit.
           {"select topic from t where a = 'select top 5'",
            "select topic from t where a = 'select top 5'"},
           {"select count(*) as TotalOK from tbl_log where statuscode='ok'",
            "select count(*) as TotalOK from tbl_log where statuscode='ok'"},
           {"select * from t where (Host NOT LIKE '%x%') AND (a <> 'b')",
            "select * from t where (Host NOT LIKE '%x%') AND (a <> 'b')"},
           // A "#" or a keyword inside quotes is data, with doubled quotes kept.
           {"select * from t where host = '#05/01/2003# or ''top'' 1'",
            "select * from t where host = '#05/01/2003# or ''top'' 1'"},
           // Access's double-quoted text becomes a single-quoted literal.
           {"select * from t where host = \"o'brien \"\"x\"\"\"",
            "select * from t where host = 'o''brien \"x\"'"},
       }) {
    std::string out;
    Status s = TranslateAccessSql(access, &out);
    EXPECT_TRUE(s.ok) << s.message;
    EXPECT_EQ(out, sqlite);
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
  EXPECT_EQ(LogDateToStored("2004-3-5").value_or("-"), "2004-03-05");
  EXPECT_EQ(LogDateToStored("2004-02-29").value_or("-"), "2004-02-29");
  for (std::string_view bad : {"2003-02-29", "2003-13-01", "2003-00-10", "03-05-2004", "",
                               "2003-1-1x", "99999-01-01", "2003/01/01"}) {
    EXPECT_FALSE(LogDateToStored(bad)) << bad;
  }
  EXPECT_EQ(LogTimeToStored("9:05").value_or("-"), "09:05:00");
  for (std::string_view bad : {"24:00", "12:60", "12:5", "", "1205", "12:05 PM", "123:00"}) {
    EXPECT_FALSE(LogTimeToStored(bad)) << bad;
  }
  EXPECT_EQ(FormatDialogDate(ParseUserDate("5/1/2003").value()), "05/01/2003");
  EXPECT_FALSE(ParseUserDate("5/1/03"));
  EXPECT_FALSE(ParseUserDate("02/30/2003"));
  EXPECT_EQ(ParseUserTime("12:00 PM").value().hour, 12);
  EXPECT_EQ(ParseUserTime("12:00am").value().hour, 0);
  EXPECT_EQ(FormatDialogTime(ParseUserTime("21:07").value()), "9:07 PM");
  EXPECT_EQ(FormatDialogTime(ParseUserTime("9 am").value()), "9:00 AM");
  EXPECT_FALSE(ParseUserTime("13:00 PM"));
  EXPECT_FALSE(ParseUserTime("0:30 AM"));
}

}  // namespace
}  // namespace vantry::analyser
