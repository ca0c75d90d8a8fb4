// The log half of the analysis window: import through the window with real
// log files and a real report database, the list view model, sorting,
// copying, the enabled states, cancel and failures.
#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "analyser_ui_fixture.h"
#include "log_table_model.h"
#include "log_table_view.h"

namespace vantry::console::testing {
namespace {

class FrmLogATest : public AnalyserUiFixture {
 protected:
  std::vector<std::string> SampleLog() {
    return {
        "255|0|START||||||2003-05-01|10:00",
        LogLine("OK", "10.0.0.2", "2003-05-01", "10:05", "b.example", "10.0.0.2"),
        LogLine("BL", "10.0.0.1", "2003-05-02", "09:00", "", "10.0.0.1", "Type 2", "zen.test"),
        "255|3|closed||||||2003-05-02|09:01",
        LogLine("ok", "10.0.0.2", "2003-05-03", "23:59", "b.example", "10.0.0.2"),
        LogLine("Ok", "10.0.0.3", "2003-05-01", "08:00", "a.example", "10.0.0.30"),
        LogLine("OK", "10.0.0.4", "2003-13-01", "08:00"),  // no such month
        LogLine("OK", "10.0.0.4", "2003-05-01", "8h00"),
        "garbage without separators",
        "",
    };
  }
  QStringList RowTexts(int row) {
    QStringList cells;
    for (int c = 0; c < 7; ++c) cells << window_->model().index(row, c).data().toString();
    return cells;
  }
  std::int64_t TableRows() {
    analyser::LogTableView view;
    EXPECT_TRUE(view.Open(window_->db_file()).ok);
    std::int64_t count = -1;
    EXPECT_TRUE(view.RowCount(&count).ok);
    return count;
  }
  void ExpectNoLogOpen() {
    EXPECT_TRUE(Enabled("cmdOpen"));
    EXPECT_FALSE(Enabled("cmdClose"));
    EXPECT_FALSE(Enabled("cmdReport"));
    EXPECT_EQ(window_->model().rowCount(), 0);
    for (const char* key : {"Entries", "BLs", "OKs", "IPs"}) EXPECT_EQ(window_->PanelText(key), "");
  }
};

TEST_F(FrmLogATest, StartsWithNoLogAndOnlyTheDefineControlsEnabled) {
  NewWindow();
  ExpectNoLogOpen();
  EXPECT_TRUE(Enabled("cbReportSpec"));
  EXPECT_TRUE(Enabled("cmdReportDef"));
  for (const char* off : {"cmdSave", "cmdView", "cmdPrint"}) EXPECT_FALSE(Enabled(off)) << off;
  EXPECT_EQ(Find<QComboBox>("cbReportSpec")->count(), 4);
  EXPECT_FALSE(Find<QLabel>("lblReportGen")->isVisible());
}

TEST_F(FrmLogATest, ImportsARealLogAndShowsTotalsAndSkippedLines) {
  NewWindow();
  QString log = WriteLog("vantry.log", SampleLog());
  Import(log);

  EXPECT_EQ(window_->PanelText("Entries"), "Entries 4");
  EXPECT_EQ(window_->PanelText("OKs"), "Connects: 3");
  EXPECT_EQ(window_->PanelText("BLs"), "Banned: 1");
  EXPECT_EQ(window_->PanelText("IPs"), "IP's: 3");
  EXPECT_EQ(params_.LogFile, log.toStdString());
  EXPECT_EQ(params_.LogIPs, 3);
  EXPECT_FALSE(Enabled("cmdOpen"));
  EXPECT_TRUE(Enabled("cmdClose"));
  EXPECT_TRUE(Enabled("cmdReport"));
  EXPECT_TRUE(Find<QTableView>("lvMain")->isVisible());
  EXPECT_FALSE(Find<QProgressBar>("prgLoad")->isVisible());
  EXPECT_EQ(TableRows(), 4);

  ASSERT_EQ(window_->model().rowCount(), 4);
  EXPECT_EQ(RowTexts(0),
            QStringList({"2003-05-01 10:05", "10.0.0.2", "10.0.0.2", "b.example", "OK", "", ""}));
  EXPECT_EQ(RowTexts(1), QStringList({"2003-05-02 09:00", "10.0.0.1", "10.0.0.1", "", "BL",
                                      "zen.test", "Type 2"}));

  // The two unreadable lines are named, not silently lost.
  ASSERT_EQ(services_.messages.size(), 1);
  EXPECT_EQ(services_.messages[0].icon, QMessageBox::Information);
  EXPECT_EQ(services_.messages[0].text,
            "2 lines were not imported: 1 with a date that is not yyyy-mm-dd, 1 with a time that "
            "is not hh:mm.");
}

TEST_F(FrmLogATest, ImportRunsWithoutBlockingTheWindow) {
  NewWindow();
  std::vector<std::string> lines;
  for (int i = 0; i < 3000; ++i) {
    lines.push_back(LogLine("OK", "10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250),
                            "2003-05-01", "10:00"));
  }
  services_.file_names.push_back(WriteLog("big.log", lines));
  Click("cmdOpen");
  // The click has returned while the import runs: the window is loading.
  EXPECT_TRUE(window_->importing());
  EXPECT_FALSE(Enabled("cmdOpen"));
  EXPECT_FALSE(Find<QTableView>("lvMain")->isVisible());
  EXPECT_TRUE(Find<QProgressBar>("prgLoad")->isVisible());
  EXPECT_TRUE(Find<QPushButton>("cmdCancelLoad")->isVisible());
  ASSERT_TRUE(WaitFor([&] { return !window_->importing(); }));
  EXPECT_EQ(window_->PanelText("Entries"), "Entries 3000");
  EXPECT_EQ(window_->model().rowCount(), 3000);
  // Rows far from the first page are fetched on demand.
  EXPECT_EQ(window_->model().index(2999, 1).data().toString(), "10.1.11.249");
  EXPECT_FALSE(Find<QPushButton>("cmdCancelLoad")->isVisible());
}

TEST_F(FrmLogATest, CancelledImportKeepsThePreviousState) {
  NewWindow();
  QString first = WriteLog("first.log", SampleLog());
  Import(first);
  services_.messages.clear();
  Click("cmdClose");
  ExpectNoLogOpen();

  std::vector<std::string> lines;
  for (int i = 0; i < 5000; ++i)
    lines.push_back(LogLine("BL", "192.168.0.1", "2004-01-01", "00:00"));
  services_.file_names.push_back(WriteLog("second.log", lines));
  Click("cmdOpen");
  Click("cmdCancelLoad");
  ASSERT_TRUE(WaitFor([&] { return !window_->importing(); }));

  EXPECT_TRUE(services_.messages.isEmpty()) << "a cancel is no failure";
  ExpectNoLogOpen();
  EXPECT_TRUE(Find<QTableView>("lvMain")->isVisible());
  EXPECT_EQ(params_.LogFile, first.toStdString());
  EXPECT_EQ(params_.LogIPs, 3);
  EXPECT_EQ(TableRows(), 4) << "the first log's rows are still in the table";

  // And the window imports again afterwards.
  Import(WriteLog("third.log", {LogLine("OK", "1.2.3.4", "2003-01-01", "01:01")}));
  EXPECT_EQ(window_->PanelText("Entries"), "Entries 1");
}

TEST_F(FrmLogATest, FailuresSayWhyAndLeaveTheWindowUsable) {
  NewWindow();
  services_.file_names.push_back("");  // dialog cancelled
  Click("cmdOpen");
  services_.file_names.push_back(QString::fromStdString(dir_.File("*.log")));
  Click("cmdOpen");
  EXPECT_FALSE(window_->importing());
  EXPECT_TRUE(services_.messages.isEmpty());
  EXPECT_TRUE(params_.LogFile.empty());

  Import(QString::fromStdString(dir_.File("missing.log")));
  ASSERT_EQ(services_.messages.size(), 1);
  EXPECT_EQ(services_.messages[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(services_.messages[0].text.startsWith("Cannot read the log file"))
      << services_.messages[0].text.toStdString();
  ExpectNoLogOpen();
  EXPECT_TRUE(params_.LogFile.empty());
  Import(WriteLog("vantry.log", SampleLog()));
  EXPECT_EQ(window_->PanelText("Entries"), "Entries 4");
}

TEST_F(FrmLogATest, HeaderClicksSortBySqlAndFlipTheOrder) {
  NewWindow();
  Import(WriteLog("vantry.log", SampleLog()));
  auto* header = Find<QTableView>("lvMain")->horizontalHeader();
  auto click = [&](int section) {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(section) + 4, header->height() / 2));
  };
  auto column = [&](int c) {
    QStringList values;
    for (int r = 0; r < window_->model().rowCount(); ++r) {
      values << window_->model().index(r, c).data().toString();
    }
    return values;
  };
  click(1);
  EXPECT_EQ(column(1), QStringList({"10.0.0.1", "10.0.0.2", "10.0.0.2", "10.0.0.3"}));
  click(1);
  EXPECT_EQ(column(1), QStringList({"10.0.0.3", "10.0.0.2", "10.0.0.2", "10.0.0.1"}));
  click(0);  // another column: the order flips again, to ascending
  EXPECT_EQ(column(0), QStringList({"2003-05-01 08:00", "2003-05-01 10:05", "2003-05-02 09:00",
                                    "2003-05-03 23:59"}));
  EXPECT_EQ(header->sortIndicatorSection(), 0);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);

  // The sort's indexes do not stand in the way of the next import.
  Click("cmdClose");
  Import(WriteLog("again.log", {SampleLog()[1]}));
  EXPECT_EQ(window_->PanelText("Entries"), "Entries 1");
}

TEST_F(FrmLogATest, CopyThisEntryCopiesEverySelectedEntryInListOrder) {
  NewWindow();
  auto* list = Find<QTableView>("lvMain");
  auto* popup = Find<QMenu>("mnuPopup");
  emit list->customContextMenuRequested(QPoint(5, 5));
  EXPECT_FALSE(popup->isVisible()) << "no menu on an empty list";

  Import(WriteLog("vantry.log", SampleLog()));
  auto* selection = list->selectionModel();
  selection->select(window_->model().index(3, 0),
                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
  selection->select(window_->model().index(0, 0),
                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
  emit list->customContextMenuRequested(QPoint(5, 5));
  ASSERT_TRUE(popup->isVisible());
  Find<QAction>("mnuPopupCopy")->trigger();
  popup->hide();
  ASSERT_EQ(services_.clipboard.size(), 1);
  EXPECT_EQ(services_.clipboard[0],
            "2003-05-01 10:05 10.0.0.2 10.0.0.2 b.example OK   \r\n"
            "2003-05-01 08:00 10.0.0.3 10.0.0.30 a.example Ok   \r\n");
}

TEST_F(FrmLogATest, CloseLogAndWindowUnload) {
  NewWindow();
  Import(WriteLog("vantry.log", SampleLog()));
  Click("cmdClose");
  ExpectNoLogOpen();
  EXPECT_TRUE(window_->document().empty());
  EXPECT_EQ(TableRows(), 4) << "Close Log leaves the table for the next load to replace";
  window_->close();
  EXPECT_EQ(TableRows(), 0) << "closing the window empties the table";
}

TEST_F(FrmLogATest, ClosingTheWindowMidImportStopsIt) {
  NewWindow();
  QString log = WriteLog("vantry.log", SampleLog());
  Import(log);
  Click("cmdClose");
  std::vector<std::string> lines(20000, LogLine("OK", "10.9.9.9", "2005-01-01", "00:00"));
  services_.file_names.push_back(WriteLog("big.log", lines));
  Click("cmdOpen");
  window_->close();  // must neither hang nor crash, and leaves the table empty
  EXPECT_FALSE(window_->importing());
  EXPECT_EQ(TableRows(), 0);
}

// Two consoles on one machine share the program folder and its report
// database: the second window may neither replace nor empty the first one's table.
TEST_F(FrmLogATest, ASecondWindowOnTheSameFolderLeavesTheFirstOnesTableAlone) {
  NewWindow();
  const QString log = WriteLog("vantry.log", SampleLog());
  Import(log);
  ASSERT_EQ(TableRows(), 4);

  analyser::ReportParams other_params;
  FrmLogA other(services_, other_params, Options());
  other.show();
  services_.messages.clear();
  services_.file_names.push_back(WriteLog("other.log", {SampleLog()[1]}));
  Press(&other, "cmdOpen");
  EXPECT_FALSE(other.importing());
  ASSERT_EQ(services_.messages.size(), 1);
  EXPECT_EQ(services_.messages[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(services_.messages[0].text.contains("open in another console"));
  EXPECT_TRUE(Child<QPushButton>(&other, "cmdOpen")->isEnabled());
  other.close();
  EXPECT_EQ(TableRows(), 4);
  EXPECT_EQ(window_->model().rowCount(), 4);

  // Once the first window is gone, the database is free again.
  window_->close();
  services_.messages.clear();
  NewWindow();
  Import(log);
  EXPECT_TRUE(services_.messages.isEmpty() ||
              services_.messages[0].icon == QMessageBox::Information);  // skipped lines
  EXPECT_EQ(TableRows(), 4);
}

}  // namespace
}  // namespace vantry::console::testing
