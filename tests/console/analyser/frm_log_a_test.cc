// The analysis window on real logs and a real report database: import, list,
// cancel, failures; reports compared with the generator's own document.
#include "frm_log_a.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableView>
#include <QThreadPool>
#include <QTimer>
#include <functional>
#include <memory>

#include "analyser_ui_fixture.h"
#include "log_append.h"
#include "log_table_model.h"
#include "log_table_view.h"
#include "postgres_fixture.h"
#include "report_run.h"
#include "report_schema.h"
#include "temp_dir.h"

namespace vantry::console::testing {
namespace {

/// The analysis window in its own world: a temporary program folder (home of
/// report.dpr), console folder, scripted dialogs and recorded monitor calls.
class AnalyserUiFixture : public ::testing::Test {
 protected:
  AnalyserUiFixture() {
    std::filesystem::create_directories(program_folder_);
    std::filesystem::create_directories(console_folder_);
  }
  ~AnalyserUiFixture() override {
    if (window_) window_->close();
  }
  QString OnlyMessage(QMessageBox::Icon icon) { return testing::OnlyMessage(services_, icon); }

  FrmLogAOptions Options() {
    FrmLogAOptions options;
    options.report_db = report_db_;
    options.program_folder = QString::fromStdString(program_folder_.string());
    options.console_folder = QString::fromStdString(console_folder_.string());
    return options;
  }
  void NewWindow() {
    FrmLogAOptions options = Options();
    options.monitor_stop = [this] { monitor_calls_.push_back("stop"); };
    options.monitor_start = [this] { monitor_calls_.push_back("start"); };
    window_ = std::make_unique<FrmLogA>(services_, params_, options);
    window_->show();
  }
  QString WriteLog(const char* name, const std::vector<std::string>& lines) {
    vantry::testing::WriteFileText(dir_.path() / name, CrLf(lines));
    return QString::fromStdString((dir_.path() / name).string());
  }
  /// "&Open Log" with the given file chosen, then waits for the import to end.
  void Import(const QString& log_path) {
    services_.file_names.push_back(log_path);
    Click("cmdOpen");
    ASSERT_TRUE(WaitFor([&] { return !window_->importing(); })) << "import did not end";
  }

  template <typename T>
  T* Find(const char* name) {
    return Child<T>(window_.get(), name);
  }
  bool Enabled(const char* name) { return Find<QWidget>(name)->isEnabled(); }
  /// The enabled ones among the named controls, in the order given.
  QString EnabledOf(std::initializer_list<const char*> names) {
    QStringList on;
    for (const char* name : names) {
      if (Enabled(name)) on << name;
    }
    return on.join(' ');
  }
  void Click(const char* name) { Press(window_.get(), name); }
  /// Runs `act` on the modal dialog that `open` shows, polling from inside its
  /// event loop (one that never comes up fails the test instead of hanging it).
  void WithModal(const std::function<void()>& open, const std::function<void(QWidget*)>& act) {
    QElapsedTimer clock;
    clock.start();
    std::function<void()> poll = [&] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        act(modal);
      } else if (clock.elapsed() < 5000) {
        QTimer::singleShot(10, poll);
      }
    };
    QTimer::singleShot(0, poll);
    open();
  }
  static bool WaitFor(const std::function<bool()>& condition, int timeout_ms = 10000) {
    return QTest::qWaitFor(condition, timeout_ms);
  }

  vantry::testing::TempDir dir_;
  std::filesystem::path program_folder_ = dir_.path() / "program";
  std::filesystem::path console_folder_ = dir_.path() / "console";
  ScriptedDesktopServices services_;
  analyser::ReportParams params_;
  std::vector<std::string> monitor_calls_;
  QString report_db_;  // the ReportDB setting
  std::unique_ptr<FrmLogA> window_;
};

class FrmLogATest : public AnalyserUiFixture {
 protected:
  void SetUp() override { NewWindow(); }
  std::vector<std::string> SampleLog() {
    return {
        LogLine("OK", "10.0.0.2", "2003-05-01", "10:05", "b.example", "10.0.0.2"),
        LogLine("BL", "10.0.0.1", "2003-05-02", "09:00", "", "10.0.0.1", "Type 2", "zen.test"),
        LogLine("ok", "10.0.0.2", "2003-05-03", "23:59", "b.example", "10.0.0.2"),
        LogLine("Ok", "10.0.0.3", "2003-05-01", "08:00", "a.example", "10.0.0.30"),
        LogLine("OK", "10.0.0.4", "2003-13-01", "08:00"),  // no such month
        LogLine("OK", "10.0.0.4", "2003-05-01", "8h00"),
    };
  }
  QStringList Texts(int row, int column, int rows, int columns) {
    QStringList cells;
    for (int r = row; r < row + rows; ++r) {
      for (int c = column; c < column + columns; ++c) {
        cells << window_->model().index(r, c).data().toString();
      }
    }
    return cells;
  }
  std::int64_t TableRows() {
    analyser::LogTableView view;
    EXPECT_TRUE(view.Open(window_->db_file()).ok);
    std::int64_t count = -1;
    EXPECT_TRUE(view.RowCount(&count).ok);
    return count;
  }
  /// The four status panels, "|"-separated.
  QString Panels() {
    QStringList texts;
    for (const char* key : {"Entries", "OKs", "BLs", "IPs"}) texts << window_->PanelText(key);
    return texts.join('|');
  }
  void ExpectNoLogOpen() {
    EXPECT_EQ(EnabledOf({"cmdOpen", "cmdClose", "cmdReport"}), "cmdOpen");
    EXPECT_EQ(window_->model().rowCount(), 0);
    EXPECT_EQ(Panels(), "|||");
  }
};

TEST_F(FrmLogATest, FailuresSayWhyThenARealLogShowsTotalsAndSkippedLines) {
  ExpectNoLogOpen();
  EXPECT_EQ(EnabledOf({"cmdReportDef", "cmdSave", "cmdView", "cmdPrint"}), "cmdReportDef");
  services_.file_names.push_back("");  // dialog cancelled
  Click("cmdOpen");
  services_.file_names.push_back(QString::fromStdString(dir_.File("*.log")));
  Click("cmdOpen");
  EXPECT_TRUE(services_.messages.isEmpty());
  Import(QString::fromStdString(dir_.File("missing.log")));
  EXPECT_TRUE(OnlyMessage(QMessageBox::Critical).startsWith("Cannot read the log file"));
  ExpectNoLogOpen();
  EXPECT_TRUE(params_.LogFile.empty());

  services_.messages.clear();
  QString log = WriteLog("vantry.log", SampleLog());
  Import(log);
  EXPECT_EQ(Panels(), "Entries 4|Connects: 3|Banned: 1|IP's: 3");
  EXPECT_EQ(params_.LogFile, log.toStdString());
  EXPECT_EQ(params_.LogIPs, 3);
  EXPECT_EQ(EnabledOf({"cmdOpen", "cmdClose", "cmdReport"}), "cmdClose cmdReport");
  ASSERT_EQ(window_->model().rowCount(), 4);
  EXPECT_EQ(Texts(1, 0, 1, 7), QStringList({"2003-05-02 09:00", "10.0.0.1", "10.0.0.1", "", "BL",
                                            "zen.test", "Type 2"}));
  // The two unreadable lines are named, not silently lost.
  EXPECT_EQ(OnlyMessage(QMessageBox::Information),
            "2 lines were not imported: 1 with a date that is not yyyy-mm-dd, 1 with a time that "
            "is not hh:mm.");
}

TEST_F(FrmLogATest, ImportRunsWithoutBlockingACancelKeepsThePreviousStateAClosedWindowStopsIt) {
  QString first = WriteLog("first.log", SampleLog());
  Import(first);
  services_.messages.clear();
  Click("cmdClose");
  ExpectNoLogOpen();

  std::vector<std::string> lines(5000, LogLine("BL", "192.168.0.1", "2004-01-01", "00:00"));
  services_.file_names.push_back(WriteLog("second.log", lines));
  Click("cmdOpen");
  // The click has returned while the import runs: the window is loading.
  EXPECT_TRUE(window_->importing());
  EXPECT_FALSE(Enabled("cmdOpen"));
  EXPECT_TRUE(Find<QTableView>("lvMain")->isVisible());
  EXPECT_FALSE(Enabled("lvMain"));
  EXPECT_TRUE(Find<QProgressBar>("prgLoad")->isVisible());
  Click("cmdCancelLoad");
  ASSERT_TRUE(WaitFor([&] { return !window_->importing(); }));

  EXPECT_TRUE(services_.messages.isEmpty()) << "a cancel is no failure";
  EXPECT_EQ(Find<QStatusBar>("sBar")->currentMessage(),
            "Import cancelled: no log is open, the report database is unchanged");
  ExpectNoLogOpen();
  EXPECT_TRUE(Enabled("lvMain"));
  EXPECT_FALSE(Find<QPushButton>("cmdCancelLoad")->isVisible());
  EXPECT_EQ(params_.LogFile, first.toStdString());
  EXPECT_EQ(params_.LogIPs, 3);
  EXPECT_EQ(TableRows(), 4) << "the first log's rows are still in the table";

  // And the window imports again afterwards; rows far from the first page are fetched on demand.
  lines.clear();
  for (int i = 0; i < 3000; ++i) {
    lines.push_back(LogLine("OK", "10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250),
                            "2003-05-01", "10:00"));
  }
  Import(WriteLog("third.log", lines));
  EXPECT_EQ(window_->PanelText("Entries"), "Entries 3000");
  ASSERT_EQ(window_->model().rowCount(), 3000);
  EXPECT_EQ(window_->model().index(2999, 1).data().toString(), "10.1.11.249");

  // Closing the window mid-import neither hangs nor crashes, and empties the table.
  Click("cmdClose");
  services_.file_names.push_back(WriteLog("big.log", std::vector(20000, lines[0])));
  Click("cmdOpen");
  window_->close();
  EXPECT_FALSE(window_->importing());
  EXPECT_EQ(TableRows(), 0);
}

TEST_F(FrmLogATest, CopyEverySelectedEntryInListOrderThenHeaderClicksSortBySql) {
  auto* list = Find<QTableView>("lvMain");
  auto* popup = Find<QMenu>("mnuPopup");
  emit list->customContextMenuRequested(QPoint(5, 5));
  EXPECT_FALSE(popup->isVisible()) << "no menu on an empty list";
  Import(WriteLog("vantry.log", SampleLog()));
  for (int row : {3, 0}) {
    list->selectionModel()->select(window_->model().index(row, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  emit list->customContextMenuRequested(QPoint(5, 5));
  ASSERT_TRUE(popup->isVisible());
  Find<QAction>("mnuPopupCopy")->trigger();
  popup->hide();
  EXPECT_EQ(services_.clipboard,
            QStringList{"2003-05-01 10:05 10.0.0.2 10.0.0.2 b.example OK   \r\n"
                        "2003-05-01 08:00 10.0.0.3 10.0.0.30 a.example Ok   \r\n"});

  auto* header = list->horizontalHeader();
  auto click = [&](int section) {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(section) + 4, header->height() / 2));
  };
  click(1);
  EXPECT_EQ(Texts(0, 1, 4, 1), QStringList({"10.0.0.1", "10.0.0.2", "10.0.0.2", "10.0.0.3"}));
  click(1);
  EXPECT_EQ(Texts(0, 1, 4, 1), QStringList({"10.0.0.3", "10.0.0.2", "10.0.0.2", "10.0.0.1"}));
  click(0);  // another column: the order flips again, to ascending
  EXPECT_EQ(Texts(0, 0, 4, 1), QStringList({"2003-05-01 08:00", "2003-05-01 10:05",
                                            "2003-05-02 09:00", "2003-05-03 23:59"}));

  // The sort's indexes do not stand in the way of the next import.
  Click("cmdClose");
  Import(WriteLog("again.log", {SampleLog()[0]}));
  EXPECT_EQ(window_->PanelText("Entries"), "Entries 1");
}

// Two consoles on one machine share the program folder and its report
// database: the second window may neither replace nor empty the first one's table.
TEST_F(FrmLogATest, ASecondWindowOnTheSameFolderLeavesTheFirstOnesTableAlone) {
  const QString log = WriteLog("vantry.log", SampleLog());
  Import(log);
  analyser::ReportParams other_params;
  FrmLogA other(services_, other_params, Options());
  other.show();
  services_.messages.clear();
  services_.file_names.push_back(WriteLog("other.log", {SampleLog()[0]}));
  Press(&other, "cmdOpen");
  EXPECT_FALSE(other.importing());
  EXPECT_TRUE(OnlyMessage(QMessageBox::Critical).contains("open in another console"));
  EXPECT_TRUE(Child<QPushButton>(&other, "cmdOpen")->isEnabled());
  other.close();
  EXPECT_EQ(TableRows(), 4);

  // Once the first window is gone, the database is free again.
  window_->close();
  NewWindow();
  services_.messages.clear();
  Import(WriteLog("other.log", {SampleLog()[0]}));
  EXPECT_TRUE(services_.messages.isEmpty());
  EXPECT_EQ(TableRows(), 1);
}

// An import that replaces many rows, and closing the window, give the space
// back; the list is usable meanwhile. At its first size every column shows.
TEST_F(FrmLogATest, TheDatabaseShrinksAfterAReplacingImportAndOnCloseAndEveryColumnFits) {
  auto size = [&] {
    EXPECT_TRUE(WaitFor([&] { return !window_->compacting(); }));
    return std::filesystem::file_size(window_->db_file());
  };
  Import(WriteLog("big.log", std::vector(20000, SampleLog()[1])));
  auto big = size();
  Click("cmdClose");
  Import(WriteLog("small.log", SampleLog()));
  EXPECT_EQ(window_->model().rowCount(), 4);
  EXPECT_LT(size(), big / 4);

  Click("cmdClose");
  Import(WriteLog("big.log", std::vector(200, SampleLog()[1])));
  auto* list = Find<QTableView>("lvMain");
  ASSERT_TRUE(WaitFor([&] { return list->verticalScrollBar()->isVisible(); }));
  EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0) << "the last column is cut off";

  std::filesystem::path file = window_->db_file();
  window_->close();
  QThreadPool::globalInstance()->waitForDone();
  EXPECT_LT(std::filesystem::file_size(file), 64u * 1024);
}

// A fleet's shared PostgreSQL database: Open Log adds this machine's lines,
// the gateway box limits the list, the totals and the reports, and closing
// the window leaves every row where it was.
TEST_F(AnalyserUiFixture, ASharedDatabaseListsAndReportsEachGatewayAndIsNeverEmptied) {
  vantry::testing::PostgresServer& server = vantry::testing::PostgresServer::Shared();
  ASSERT_EQ(server.failure(), "");
  report_db_ = QString::fromStdString(server.CreateDatabase("window_fleet"));
  analyser::ImportOptions mx2;
  mx2.gateway = "mx2";
  WriteLog("mx2.log", {LogLine("BL", "10.9.0.1", "2003-05-01", "10:00")});
  ASSERT_TRUE(
      analyser::AppendLog(dir_.path() / "mx2.log", report_db_.toStdString(), mx2).status.ok);
  NewWindow();
  Import(WriteLog("vantry.log", {LogLine("OK", "10.0.0.1", "2003-05-01", "10:00"),
                                 LogLine("OK", "10.0.0.2", "2003-05-01", "10:01")}));
  EXPECT_EQ(window_->PanelText("IPs"), "IP's: 3");
  auto* box = Find<QComboBox>("cbGateway");
  ASSERT_EQ(box->count(), 3);
  EXPECT_EQ(box->itemText(0), "All gateways");
  int mx2_index = box->findText("mx2");
  ASSERT_GE(mx2_index, 1);
  box->setCurrentIndex(mx2_index);
  emit box->activated(mx2_index);
  EXPECT_EQ(window_->model().rowCount(), 1);
  EXPECT_EQ(window_->PanelText("BLs"), "Banned: 1");
  EXPECT_EQ(window_->PanelText("OKs"), "Connects: 0");
  params_.MaxResults = 10;
  Press(window_.get(), "cmdReport");
  EXPECT_NE(window_->document().text().find("Total IP Addresses: 1<BR>"), std::string::npos);
  window_->close();
  EXPECT_EQ(server.Query("window_fleet", "SELECT count(*) FROM tbl_log"), "3");
}

class FrmLogAReportTest : public AnalyserUiFixture {
 protected:
  void SetUp() override {
    NewWindow();
    Import(WriteLog("vantry.log",
                    {LogLine("BL", "10.0.0.1", "2003-05-01", "10:00", "", "", "Type 2", "zen"),
                     LogLine("OK", "10.0.0.2", "2003-05-02", "11:00", "<b>evil</b>"),
                     LogLine("OK", "10.0.0.2", "2003-05-02", "11:01", "<b>evil</b>")}));
  }
  void SelectKind(int kind) { Find<QComboBox>("cbReportSpec")->setCurrentIndex(kind); }
  std::string Document() const { return window_->document().text(); }
  /// The generator's own document for the current parameters and answer.
  std::string Expected(analyser::ReportKind kind, bool first_250 = false) {
    analyser::ReportParams copy = params_;
    analyser::ReportDocument document;
    analyser::RunReport(kind, copy, {window_->db_file(), [=] { return first_250; }, {}}, document);
    return document.text();
  }
  void ExpectSkeletonOnly() {
    analyser::ReportDocument skeleton;
    skeleton.ReportCreate();
    EXPECT_EQ(Document(), skeleton.text());
  }
  /// "Report" and the state every ending restores.
  void Report() {
    monitor_calls_.clear();
    services_.messages.clear();
    Click("cmdReport");
    EXPECT_EQ(monitor_calls_, (std::vector<std::string>{"stop", "start"}));
    EXPECT_TRUE(Find<QTableView>("lvMain")->isVisible());
    EXPECT_FALSE(Find<QLabel>("lblReportGen")->isVisible());
    EXPECT_EQ(EnabledOf({"cbReportSpec", "cmdReportDef"}), "cbReportSpec cmdReportDef");
  }
  QString Save(const std::string& name) {
    services_.messages.clear();
    services_.file_names.push_back(QString::fromStdString(dir_.File(name)));
    Click("cmdSave");
    return QString::fromStdString(dir_.File(name));
  }
};

TEST_F(FrmLogAReportTest, HitsReportIsProducedSavedViewedAndPrinted) {
  EXPECT_EQ(EnabledOf({"cmdSave", "cmdView", "cmdPrint"}), "");
  WithModal([&] { Click("cmdReportDef"); },
            [](QWidget* dialog) {
              SelectNumber(dialog, 2);
              Press(dialog, "cmdOK");
            });
  EXPECT_EQ(params_.MaxResults, 2);
  const std::string expected = Expected(analyser::ReportKind::kAllHosts);
  Report();
  EXPECT_TRUE(services_.messages.isEmpty());
  EXPECT_EQ(params_.MaxResults, 0) << "the limit is used up by the report";
  EXPECT_EQ(Document(), expected);
  EXPECT_EQ(EnabledOf({"cmdSave", "cmdView", "cmdPrint"}), "cmdSave");

  // No extension typed, and a report of that name already there: the dialog
  // never saw the name with ".htm", so the window asks before replacing it.
  const std::string saved = dir_.File("hits.htm");
  vantry::testing::WriteFileText(saved, "older report");
  services_.answers.push_back(QMessageBox::No);
  Save("hits");
  EXPECT_EQ(OnlyMessage(QMessageBox::Warning),
            "hits.htm already exists.\nDo you want to replace it?");
  EXPECT_EQ(vantry::testing::ReadFileText(saved), "older report");
  EXPECT_TRUE(window_->report_path().isEmpty());
  services_.answers.push_back(QMessageBox::Yes);
  Save("hits");
  EXPECT_EQ(window_->report_path().toStdString(), saved);
  EXPECT_EQ(vantry::testing::ReadFileText(saved), expected + "\r\n");
  EXPECT_EQ(EnabledOf({"cmdSave", "cmdView", "cmdPrint"}), "cmdSave cmdView cmdPrint");

  services_.messages.clear();
  Click("cmdView");
  EXPECT_EQ(services_.opened_urls, QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(saved))});
  // Print reads the saved file, not the document in memory.
  vantry::testing::WriteFileText(saved, "<html>edited</html>");
  Click("cmdPrint");
  EXPECT_EQ(services_.printed_texts, QStringList{"<html>edited</html>"});
  EXPECT_EQ(services_.printed, QStringList{"hits.htm"});
  EXPECT_TRUE(services_.messages.isEmpty());

  // Close Log: View off, Print still prints the saved file, Save keeps its state.
  Click("cmdClose");
  EXPECT_EQ(EnabledOf({"cmdSave", "cmdView", "cmdPrint"}), "cmdSave cmdPrint");
  Click("cmdPrint");
  EXPECT_EQ(services_.printed_texts.size(), 2);
}

TEST_F(FrmLogAReportTest, RefusalsAndFailuresShowWhyWithMonitorRestartedAndSaveAsItWas) {
  params_.MaxResults = 1;
  SelectKind(0);
  Report();
  const char* rejected = "select * from tbl_log Where (NoSuchColumn = 'x')";
  for (auto [kind, sql, icon, text] :
       {std::tuple{0, "", QMessageBox::Warning, "Please define your report limit"},  // used up
        std::tuple{1, "", QMessageBox::Warning, "Please define your report IP and/or Host"},
        std::tuple{3, "", QMessageBox::Warning, "Please define your custom report"},
        // A query the database rejects: its own words, so it can be mended.
        std::tuple{3, rejected, QMessageBox::Critical, "no such column"}}) {
    SelectKind(kind);
    if (kind) params_.MaxResults = 10;
    params_.CustomSQL = sql;
    Report();
    EXPECT_TRUE(OnlyMessage(icon).contains(text)) << services_.messages[0].text.toStdString();
    EXPECT_EQ(services_.messages[0].title, "Vantry Report");
    ExpectSkeletonOnly();
    // Saving the skeleton would replace the last good report with an empty page.
    EXPECT_FALSE(Enabled("cmdSave"));
  }
  SelectKind(0);
  params_.MaxResults = 1;
  Report();
  EXPECT_TRUE(Enabled("cmdSave"));
}

TEST_F(FrmLogAReportTest, LargeResultQuestionLimitsToTheFirst250OnYes) {
  Click("cmdClose");
  std::vector<std::string> lines;
  for (int i = 0; i < 260; ++i) {
    lines.push_back(LogLine("OK", "10.2.0." + std::to_string(i % 200), "2003-05-01",
                            (i < 100 ? "10:" : "11:") + std::to_string(10 + i % 50)));
  }
  Import(WriteLog("many.log", lines));
  params_.DateStart = params_.DateEnd = "05/01/2003";
  SelectKind(2);
  services_.answers = {QMessageBox::Yes, QMessageBox::No};
  Report();
  EXPECT_TRUE(OnlyMessage(QMessageBox::Question).startsWith("There are over 250 records"));
  EXPECT_EQ(services_.messages[0].buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(Document(), Expected(analyser::ReportKind::kDateRange, true));
  Report();
  EXPECT_EQ(Document(), Expected(analyser::ReportKind::kDateRange, false));
  EXPECT_NE(Document(), Expected(analyser::ReportKind::kDateRange, true));
}

TEST_F(FrmLogAReportTest, AFailedSaveSaysSoAndEnablesNothing) {
  params_.MaxResults = 1;
  Report();
  Save("no-such-folder/report.htm");
  EXPECT_TRUE(OnlyMessage(QMessageBox::Critical).startsWith("The report was not saved"));
  EXPECT_EQ(EnabledOf({"cmdView", "cmdPrint"}), "");
  EXPECT_TRUE(window_->report_path().isEmpty());
  Save("*.htm");  // the dialog cancelled
  EXPECT_TRUE(services_.messages.isEmpty());

  // A saved report deleted behind the window's back, and no printer.
  std::filesystem::remove(Save("r.htm").toStdString());
  Click("cmdView");
  EXPECT_TRUE(services_.opened_urls.isEmpty());
  EXPECT_EQ(services_.messages.size(), 1);
  Save("r.htm");
  services_.printer_available = false;
  Click("cmdPrint");
  EXPECT_TRUE(OnlyMessage(QMessageBox::Critical).contains("could not be printed"));
}

}  // namespace
}  // namespace vantry::console::testing
