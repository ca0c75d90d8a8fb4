#include "log_entry.h"

#include <gtest/gtest.h>

namespace vantry::analyser {
namespace {

TEST(SplitLine, SeparatorRules) {
  LineFields f;
  EXPECT_EQ(SplitLine("a|b|", f), 2);  // a trailing "|" gives no empty field
  EXPECT_EQ(f[1], "a");
  EXPECT_EQ(f[2], "b");
  EXPECT_EQ(SplitLine("a|b|c", f), 3);  // one character after the last "|" is a field
  EXPECT_EQ(f[3], "c");
  EXPECT_EQ(SplitLine("||x", f), 3);  // consecutive separators give empty fields
  EXPECT_EQ(f[1], "");
  EXPECT_EQ(f[2], "");
  EXPECT_EQ(f[3], "x");
  EXPECT_EQ(SplitLine("no separator", f), 1);
  // More than twelve fields: counted, the first twelve kept.
  EXPECT_EQ(SplitLine("1|2|3|4|5|6|7|8|9|10|11|12|13|14", f), 14);
  EXPECT_EQ(f[12], "12");
  EXPECT_EQ(f[10], "10");
}

TEST(ParseLogLine, FieldsInTableOrderAndSkippedKinds) {
  LogEntry e;
  ASSERT_EQ(
      ParseLogLine("  255|8|BL|10.0.0.5|10.0.0.6|h.example|Type 2|zen.test|2003-06-15|21:07 ", e),
      LineKind::kEntry);
  // The time's trailing blank is trimmed with the line.
  EXPECT_EQ((std::vector<std::string>{e.MaxSocket, e.Socket, e.StatusCode, e.IP1, e.IP2, e.Host,
                                      e.BLType, e.BLInfo, e.connectdate, e.ConnectTime}),
            (std::vector<std::string>{"255", "8", "BL", "10.0.0.5", "10.0.0.6", "h.example",
                                      "Type 2", "zen.test", "2003-06-15", "21:07"}));

  ASSERT_EQ(ParseLogLine("255|1|OK|1.2.3.4", e), LineKind::kEntry);
  EXPECT_EQ(e.ConnectTime, "");  // missing fields stay empty
  EXPECT_EQ(ParseLogLine("255|0|Start|||||||2003-06-14|09:00", e), LineKind::kStartOrClosed);
  EXPECT_EQ(ParseLogLine("255|3|cLoSeD|1.2.3.4||||||2003-06-14|09:00", e),
            LineKind::kStartOrClosed);
  EXPECT_EQ(ParseLogLine("garbage without separator", e), LineKind::kNoSeparator);
  EXPECT_EQ(ParseLogLine("", e), LineKind::kNoSeparator);
}

}  // namespace
}  // namespace vantry::analyser
