// The real-time monitor fed by a real writer end of the channel: the socket
// table, the status bar, and the poll tick's ordering.
#include <QCoreApplication>
#include <QTimer>
#include <QTreeWidget>

#include "console_fixture.h"
#include "mod_slot_out.h"

namespace vantry::console::testing {
namespace {

class MonitorTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    WriteDefaultSettings();
    LoadedWindow();
    writer_ = std::make_unique<SlotWriter>(mailslot_);
    table_ = Find<QTreeWidget>("lvData");
  }
  /// Sends raw bytes as one write of the gateway's writer end; a full socket is
  /// waited out, as the gateway does, here by running the console's event loop.
  void Send(std::string_view bytes) {
    writer_->SlotOpen();
    SlotWriteResult result;
    while ((result = writer_->SlotWrite(bytes)) == SlotWriteResult::kWouldBlock) {
      QCoreApplication::processEvents();
    }
    ASSERT_EQ(result, SlotWriteResult::kSent);
    writer_->SlotClose();
  }
  /// One framed report: limit|slot|action|ip|alt ip|host|type|source|date|time.
  void Report(int slot, const std::string& action_to_source, const std::string& time = "09:05") {
    Send("+++255|" + std::to_string(slot) + "|" + action_to_source + "|2026-06-14|" + time + "***");
  }
  /// Runs polls until the window has interpreted `n` more messages.
  bool Shown(std::size_t n) {
    std::size_t target = base_ + n;
    bool ok = WaitFor([&] { return window_->monitor_messages_shown() >= target; });
    base_ = window_->monitor_messages_shown();
    return ok;
  }
  QStringList Row(int row) {
    QStringList cells;
    QTreeWidgetItem* item = table_->topLevelItem(row - 1);
    for (int c = 0; item && c < 7; ++c) cells << item->text(c);
    return cells;
  }

  std::unique_ptr<SlotWriter> writer_;
  QTreeWidget* table_ = nullptr;
  std::size_t base_ = 0;
};

TEST_F(MonitorTest, AFirstSlotMessageSizesTheTableAndARefusalFillsItsRow) {
  Report(255, "BL|198.51.100.7|198.51.100.8|h.example|Type 3|zen.spamhaus.org", "09:06");
  ASSERT_TRUE(Shown(1));
  ASSERT_EQ(table_->topLevelItemCount(), 256);  // slots 0 ... 255
  EXPECT_EQ(Row(1), (QStringList{"1", "Closed", "", "", "", "", ""}));
  const QString info = "Type 3 reported by zen.spamhaus.org";
  EXPECT_EQ(Row(256), (QStringList{"256", "BL", "198.51.100.7", "h.example", "198.51.100.8", info,
                                   "2026-06-14 - 09:06"}));
  // At the default size the information fits, with the cell's margins and room to spare.
  EXPECT_GE(table_->columnWidth(5), table_->fontMetrics().horizontalAdvance(info) + 24);
  EXPECT_EQ(table_->topLevelItem(255)->toolTip(5), info);
  EXPECT_EQ(window_->PanelText(2), "Socket 256 refused");
  EXPECT_TRUE(window_->PanelText(1).startsWith("Dask Vantry Connected at "));
}

TEST_F(MonitorTest, StartClosedWaitKeywordCaseAndTableSize) {
  Send("+++100|0|Start||||||2026-06-14|09:00***");
  Report(7, "Ok|192.0.2.7|192.0.2.7|seven.example||src");
  Report(7, "CLOSED|other|other|other|other|other", "09:59");
  ASSERT_TRUE(Shown(3));
  EXPECT_EQ(table_->topLevelItemCount(), 101);
  EXPECT_EQ(Row(8), (QStringList{"8", "Closed", "192.0.2.7", "seven.example", "192.0.2.7", "src",
                                 "2026-06-14 - 09:05"}));  // only the action changes
  Report(7, "WAIT|||||", "10:00");
  ASSERT_TRUE(Shown(1));
  EXPECT_EQ(Row(8), (QStringList{"8", "Waiting", "", "", "", "", "2026-06-14 - 10:00"}));
  EXPECT_EQ(window_->PanelText(2), "Socket 8 WAITING");
  // A slot beyond the table rebuilds it empty for the gateway's new size; an
  // unknown keyword and a message missing fields change nothing.
  Send("+++300|250|OK|192.0.2.250|||||2026-06-14|10:01***");
  Send("+++300|250|PING|x|x|x|x|x|d|t***");
  Send("+++300|250|OK|only-four***");
  ASSERT_TRUE(Shown(3));
  EXPECT_EQ(table_->topLevelItemCount(), 301);
  EXPECT_EQ(Row(8)[1], "Closed");
  EXPECT_EQ(Row(251)[2], "192.0.2.250");
  // A hostile slot count is capped instead of building billions of rows.
  Send("+++99999999999999999999|0|START||||||d|t***");
  ASSERT_TRUE(Shown(1));
  EXPECT_EQ(table_->topLevelItemCount(), FrmMain::kMaxSocketRows);
}

TEST_F(MonitorTest, AFrameCutInTwoIsDroppedAndTheNextOneShown) {
  Report(1, "OK|192.0.2.1||||");
  ASSERT_TRUE(Shown(1));
  window_->MonitorStop();
  Send("+++255|1|BL|203.0.113.1|203.0.113.1||Type 2|zo");
  window_->MonitorStart();
  QTest::qWait(400);  // a tick reads the first half alone
  Send("ne.test|2026-06-14|09:10***");
  Report(2, "OK|192.0.2.2||||", "09:11");
  ASSERT_TRUE(Shown(1));
  EXPECT_EQ(Row(2)[2], "192.0.2.1");  // the cut message changed nothing
  EXPECT_EQ(Row(3)[2], "192.0.2.2");
}

TEST_F(MonitorTest, ANestedTickLeavesTheNewestFrameAndAStopInsideATickHolds) {
  window_->MonitorStop();
  for (int minute = 1; minute <= 5; ++minute) {
    Report(5, "OK|192.0.2.5||||", "09:0" + std::to_string(minute));
  }
  QTest::qWait(30);
  // While the running tick shows its first frame, a newer refusal arrives and
  // the timer fires again (as after the analyser's stop and start).
  QTimer::singleShot(0, [&] {
    Report(5, "BL|192.0.2.5|192.0.2.5||Type 2|z.test", "09:07");
    window_->TmrTick();
  });
  window_->MonitorStart();
  window_->TmrTick();
  ASSERT_TRUE(Shown(6));
  EXPECT_EQ(Row(6)[1], "BL");
  EXPECT_EQ(Row(6)[6], "2026-06-14 - 09:07");

  window_->MonitorStop();
  for (int i = 0; i < 20; ++i) Report(i, "OK|192.0.2.9||||");
  QTest::qWait(30);
  // The first row update happens inside the tick; Stop is issued right there.
  bool stopped_inside = false;
  auto once = QObject::connect(table_->model(), &QAbstractItemModel::dataChanged, [&] {
    if (!std::exchange(stopped_inside, true)) window_->MonitorStop();
  });
  window_->MonitorStart();
  ASSERT_TRUE(Shown(20));  // the tick still finishes its buffer
  QObject::disconnect(once);
  EXPECT_FALSE(window_->watching());
  Report(30, "OK|192.0.2.30||||");
  QTest::qWait(300);
  EXPECT_EQ(window_->monitor_messages_shown(), base_);  // nothing polled since
}

}  // namespace
}  // namespace vantry::console::testing
