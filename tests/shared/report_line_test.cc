#include "report_line.h"

#include <gtest/gtest.h>

namespace vantry {
namespace {

std::tm At(int year, int month, int day, int hour, int minute) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = 59;
  return t;
}

TEST(ReportLine, TenFieldsWithPaddedDateAndTwentyFourHourTime) {
  ReportFields f{.slot_limit = 255,
                 .slot = 7,
                 .action = "BL",
                 .ip = "192.0.2.1",
                 .alt_ip = "192.0.2.1",
                 .host_name = "h.example.test",
                 .block_type = "Type 2",
                 .block_source = "bl.example.test"};
  EXPECT_EQ(FormatReportLine(f, At(2004, 3, 5, 21, 7)),
            "255|7|BL|192.0.2.1|192.0.2.1|h.example.test|Type 2|bl.example.test|2004-03-05|21:07");
  f.host_name = f.block_type = f.block_source = "";
  EXPECT_EQ(FormatReportLine(f, At(2003, 6, 14, 9, 5)),
            "255|7|BL|192.0.2.1|192.0.2.1||||2003-06-14|09:05");
}

TEST(ReportLine, BlockCodesBecomeNamesAndOtherTextStays) {
  const std::pair<const char*, const char*> cases[] = {
      {"127.0.0.2", "Type 2"},
      {"127.0.0.9", "Type 9"},
      {"127.0.0.10", "Type 10"},
      {"127.0.0.20", "Exception"},
      {"127.0.0.200", "Exception"},
      {"127.0.0.100", "Manual Block"},
      {"127.0.0.150", "No Hostname"},
      {"127.0.0.155", "Alt IP"},
      {"127.0.0.1", "127.0.0.1"},
      {"127.0.0.11", "127.0.0.11"},
      {"", ""},
      // Applying the table twice changes nothing (a CLOSED after a BL line).
      {"Alt IP", "Alt IP"},
  };
  for (const auto& [code, name] : cases) EXPECT_EQ(BlockTypeName(code), name) << code;
}

TEST(ReportLine, FramesAndNeutralisedFields) {
  EXPECT_EQ(FrameReport("255|0|START||||||2003-06-14|09:00"),
            "+++255|0|START||||||2003-06-14|09:00***");
  // Markers inside a field, as a hostile reverse zone could publish, never end the frame.
  EXPECT_EQ(FrameReport("255|3|BL|192.0.2.9|192.0.2.9|***.x+++.test|No Host|n|2003-06-14|09:00"),
            "+++255|3|BL|192.0.2.9|192.0.2.9|.x.test|No Host|n|2003-06-14|09:00***");
  EXPECT_EQ(NeutraliseField("evil|host\r\nname\x01."), "evil_host__name_.");
  EXPECT_EQ(NeutraliseField("mail-1.example.test"), "mail-1.example.test");
  EXPECT_EQ(NeutraliseField(std::string("x\0y\x7f", 4)), "x_y_");
}

TEST(ReportLine, StoredLinesSplitAtEveryBarWithoutATrailingEmptyField) {
  ReportFieldViews f;
  EXPECT_EQ(SplitReportLine("a|b|", f), 2);
  EXPECT_EQ(SplitReportLine("||x", f), 3);
  EXPECT_EQ(f[1], "");
  EXPECT_EQ(f[3], "x");
  EXPECT_EQ(SplitReportLine("no separator", f), 1);
  EXPECT_EQ(SplitReportLine("1|2|3|4|5|6|7|8|9|10|11|12|13|14", f), 14);
  EXPECT_EQ(f[12], "12");  // fields past the table are counted, not stored
}

TEST(MonitorFrame, AWrittenFrameIsTakenBackFieldByField) {
  ReportFields f{.slot_limit = 255,
                 .slot = 3,
                 .action = "BL",
                 .ip = "192.0.2.9",
                 .alt_ip = "",
                 .host_name = "",
                 .block_type = "Type 2",
                 .block_source = "zen.test"};
  const std::string line = FormatReportLine(f, At(2026, 6, 14, 9, 5));
  std::string received = "  |09:07***" + FrameReport(line) + FrameReport(line) + "   ";
  AlignMonitorBuffer(received);
  std::string_view buffer = received;
  auto first = TakeMonitorMessage(buffer);
  ASSERT_TRUE(first);
  EXPECT_EQ(*first, (MonitorFields{"255", "3", "BL", "192.0.2.9", "", "", "Type 2", "zen.test",
                                   "2026-06-14", "09:05"}));
  ASSERT_TRUE(TakeMonitorMessage(buffer));
  EXPECT_TRUE(buffer.empty());
}

TEST(MonitorFrame, IncompleteFramesAreDroppedWithoutTheFramesBehindThem) {
  std::string_view buffer = "+++255|2|OK|9.9.9.9";  // no end marker: dropped whole
  EXPECT_FALSE(TakeMonitorMessage(buffer));
  EXPECT_TRUE(buffer.empty());
  buffer = "+++255|2|OK|9.9+++255|3|CLOSED|***";
  EXPECT_FALSE(TakeMonitorMessage(buffer));
  auto next = TakeMonitorMessage(buffer);
  ASSERT_TRUE(next);
  EXPECT_EQ(*next, (MonitorFields{"255", "3", "CLOSED", ""}));  // a trailing "|" counts here
  buffer = "+++255|4|BL|we*ird+zone***";  // markers a sender let through are dropped
  EXPECT_EQ(TakeMonitorMessage(buffer)->at(3), "weirdzone");
  std::string tail = "   tail only ";
  AlignMonitorBuffer(tail);
  EXPECT_TRUE(tail.empty());
}

}  // namespace
}  // namespace vantry
