#include "activity_report.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <asio/io_context.hpp>

#include "mod_slot_out.h"
#include "monitor_channel.h"
#include "temp_dir.h"
#include "trace_capture.h"

namespace vantry {
namespace {

std::tm Evening() {
  std::tm t{};
  strptime("2004-03-05 21:07", "%Y-%m-%d %H:%M", &t);
  return t;
}

class ActivityReport : public ::testing::Test {
 protected:
  ActivityReport() { settings_.PathEXE = dir_.path().string(); }
  ActivityReporter Reporter(MonitorChannel* channel = nullptr) {
    return ActivityReporter(settings_, capture_.trace(), channel, Evening);
  }
  std::string Log() const { return testing::ReadFileText(dir_.path() / "vantry.log"); }

  testing::TempDir dir_;
  testing::TraceCapture capture_;
  ConfigSettings settings_;
};

TEST_F(ActivityReport, VerdictsReachAllThreeOutputsAndNamesAreWrittenBack) {
  asio::io_context io;
  std::string name = testing::UniqueName("slot");
  SlotReader reader;
  ASSERT_TRUE(reader.SlotCreate(name));
  MonitorChannel channel(io, name);
  ActivityReporter reporter = Reporter(&channel);

  SocketInfo info{"192.0.2.9", "", "h.test", "ALT IP", "127.0.0.155"};
  reporter.ReportConnection(12, "BL", info);
  EXPECT_EQ(info.BLType, "Alt IP");
  reporter.ReportConnection(12, "CLOSED", info);

  const std::string bl = "255|12|BL|192.0.2.9||h.test|Alt IP|ALT IP|2004-03-05|21:07";
  const std::string closed = "255|12|CLOSED|192.0.2.9||h.test|Alt IP|ALT IP|2004-03-05|21:07";
  EXPECT_EQ(reader.SlotRead(), "+++" + bl + "***+++" + closed + "***");
  EXPECT_EQ(capture_.Text(), bl + "\n" + closed + "\n");
  EXPECT_EQ(Log(), bl + "\r\n");  // CLOSED lines never reach the file
}

// Only the verdicts are logged, as the flags say ("greater than 0" for OK, "not 0" for BL),
// whatever the fields hold: a peer named "OK" or "BL" logs nothing more than any other.
TEST_F(ActivityReport, TheLogTakesTheVerdictsItsFlagsAskFor) {
  const SocketInfo named_ok{"192.0.2.1", "192.0.2.1", "OK", "BL", ""};
  const std::string line = "|192.0.2.1|192.0.2.1|OK||BL|2004-03-05|21:07\r\n";
  struct Flags {
    std::int16_t log_ok, log_bl;
    std::string logged;
  };
  for (const Flags& flags :
       {Flags{1, 1, "255|1|OK" + line + "255|1|BL" + line}, Flags{-1, -1, "255|1|BL" + line},
        Flags{1, 0, "255|1|OK" + line}, Flags{0, 0, ""}}) {
    std::filesystem::remove(dir_.path() / "vantry.log");
    settings_.LogOK = flags.log_ok;
    settings_.LogBL = flags.log_bl;
    ActivityReporter reporter = Reporter();
    for (std::string_view action : {"START", "OK", "BL", "CLOSED", "SHUT"}) {
      SocketInfo info = named_ok;
      reporter.ReportConnection(1, action, info);
    }
    EXPECT_EQ(Log(), flags.logged) << flags.log_ok << " " << flags.log_bl;
  }
}

TEST_F(ActivityReport, ALineCutByAFullDiskIsTakenBackSoTheNextStaysWhole) {
  ActivityReporter reporter = Reporter();
  SocketInfo info{"192.0.2.1", "", "", "", ""};
  reporter.ReportConnection(1, "OK", info);
  const std::string first = Log();
  // A file size limit stands in for the full disk: the next line fits only in part.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  signal(SIGXFSZ, SIG_IGN);
  rlimit tight = saved;
  tight.rlim_cur = first.size() + 10;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  reporter.ReportConnection(2, "OK", info);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
  EXPECT_EQ(Log(), first);
  reporter.ReportConnection(3, "OK", info);
  EXPECT_EQ(Log(), first + "255|3|OK|192.0.2.1|||||2004-03-05|21:07\r\n");
  // The failure was noticed (its own trace line met the same limit).
  EXPECT_NE(capture_.Text().find("is writable again"), std::string::npos);
  // A log deleted meanwhile starts again as a new file.
  std::filesystem::remove(dir_.path() / "vantry.log");
  reporter.ReportConnection(4, "OK", info);
  EXPECT_EQ(Log(), "255|4|OK|192.0.2.1|||||2004-03-05|21:07\r\n");
}

}  // namespace
}  // namespace vantry
