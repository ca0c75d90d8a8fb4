#include "access_dialect.h"

#include <gtest/gtest.h>

#include "date_time_text.h"

namespace vantry::analyser {
namespace {

std::string Translate(std::string_view access) {
  std::string out;
  Status s = TranslateAccessSql(access, &out);
  EXPECT_TRUE(s.ok) << s.message;
  return out;
}

TEST(AccessDialect, DateAndTimeLiteralsBecomeComparableText) {
  EXPECT_EQ(Translate("select * from tbl_log where connectdate between #05/01/2003# and "
                      "#05/07/2003# order by connectdate"),
            "select * from tbl_log where connectdate between '2003-05-01' and '2003-05-07' "
            "order by connectdate");
  EXPECT_EQ(Translate("select * from tbl_log where (connectdate=#12/31/2003#) and (connecttime "
                      "between #12:00 AM# and #12:00 PM#) order by connecttime"),
            "select * from tbl_log where (connectdate='2003-12-31') and (connecttime between "
            "'00:00:00' and '12:00:00') order by connecttime");
  EXPECT_EQ(Translate("x = #9:05 pm#"), "x = '21:05:00'");
  EXPECT_EQ(Translate("x = #5/1/2003 1:30 PM#"), "x = '2003-05-01 13:30:00'");
}

TEST(AccessDialect, SelectTopBecomesLimitAtTheEnd) {
  EXPECT_EQ(Translate("select top 10 * from tbl_log where ip1 = '10.0.0.1' order by connectdate "
                      " DESC"),
            "select * from tbl_log where ip1 = '10.0.0.1' order by connectdate  DESC LIMIT 10");
  EXPECT_EQ(Translate("SELECT TOP 250 * from tbl_log Where (IP1 LIKE '%10.%');"),
            "SELECT * from tbl_log Where (IP1 LIKE '%10.%') LIMIT 250");
  EXPECT_EQ(Translate("select distinct top 3 ip1 from tbl_log"),
            "select distinct ip1 from tbl_log LIMIT 3");
  // "top" as a column name or inside text is no row limit.
  EXPECT_EQ(Translate("select topic from t where a = 'select top 5'"),
            "select topic from t where a = 'select top 5'");
}

TEST(AccessDialect, CommonSyntaxAndTextLiteralsPassUnchanged) {
  for (std::string_view q : {"select count(*) as TotalOK from tbl_log where statuscode='ok'",
                             "select distinct ip1 from tbl_log",
                             "select * from tbl_log Where (Host NOT LIKE '%x%') AND (a <> 'b')"}) {
    EXPECT_EQ(Translate(q), q);
  }
  // A "#" or a keyword inside quotes is data, with doubled quotes kept.
  EXPECT_EQ(Translate("select * from t where host = '#05/01/2003# or ''top'' 1'"),
            "select * from t where host = '#05/01/2003# or ''top'' 1'");
  // Access's double-quoted text becomes a single-quoted literal.
  EXPECT_EQ(Translate("select * from t where host = \"o'brien \"\"x\"\"\""),
            "select * from t where host = 'o''brien \"x\"'");
}

TEST(AccessDialect, MalformedQueriesAreRefusedWithAReason) {
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
  EXPECT_EQ(LogDateToStored("2004-03-05").value_or("-"), "2004-03-05");
  EXPECT_EQ(LogDateToStored("2004-3-5").value_or("-"), "2004-03-05");
  EXPECT_EQ(LogDateToStored("2004-02-29").value_or("-"), "2004-02-29");
  for (std::string_view bad : {"2003-02-29", "2003-13-01", "2003-00-10", "03-05-2004", "",
                               "2003-1-1x", "99999-01-01", "2003/01/01"}) {
    EXPECT_FALSE(LogDateToStored(bad)) << bad;
  }
  EXPECT_EQ(LogTimeToStored("21:07").value_or("-"), "21:07:00");
  EXPECT_EQ(LogTimeToStored("9:05").value_or("-"), "09:05:00");
  for (std::string_view bad : {"24:00", "12:60", "12:5", "", "1205", "12:05 PM", "123:00"}) {
    EXPECT_FALSE(LogTimeToStored(bad)) << bad;
  }
  auto date = ParseUserDate("5/1/2003");
  ASSERT_TRUE(date);
  EXPECT_EQ(FormatDialogDate(*date), "05/01/2003");
  EXPECT_FALSE(ParseUserDate("5/1/03"));
  EXPECT_FALSE(ParseUserDate("02/30/2003"));
  auto noon = ParseUserTime("12:00 PM");
  auto midnight = ParseUserTime("12:00am");
  ASSERT_TRUE(noon && midnight);
  EXPECT_EQ(noon->hour, 12);
  EXPECT_EQ(midnight->hour, 0);
  EXPECT_EQ(FormatDialogTime(*ParseUserTime("21:07")), "9:07 PM");
  EXPECT_EQ(FormatDialogTime(*ParseUserTime("9 am")), "9:00 AM");
  EXPECT_FALSE(ParseUserTime("13:00 PM"));
  EXPECT_FALSE(ParseUserTime("0:30 AM"));
  EXPECT_EQ(DisplayTime("21:07:00"), "21:07");
  EXPECT_EQ(DisplayDate("2003-06-14"), "2003-06-14");
}

}  // namespace
}  // namespace vantry::analyser
