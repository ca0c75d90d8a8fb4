// The report half of the analysis window: Define opens the kind's dialog,
// Report (with real-time watching stopped around it) shows what the generator
// makes of the parameters (its HTML is checked in tests/analyser), the
// refusals, the large-result question, Save, View and Print, enabled states.
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTableView>

#include "analyser_ui_fixture.h"
#include "report_messages.h"
#include "report_run.h"

namespace vantry::console::testing {
namespace {

using analyser::testing::Lines;

class FrmLogAReportTest : public AnalyserUiFixture {
 protected:
  void SetUp() override {
    NewWindow();
    std::vector<std::string> lines;
    // 10.0.0.1: 3 blocked; 10.0.0.2: 5 passed; 10.0.0.3: 1 passed, 1 blocked.
    for (int i = 0; i < 3; ++i) {
      lines.push_back(LogLine("BL", "10.0.0.1", "2003-05-01", "10:0" + std::to_string(i), "",
                              "10.0.0.1", "Type 2", "zen.test"));
    }
    for (int i = 0; i < 5; ++i) {
      lines.push_back(LogLine("OK", "10.0.0.2", "2003-05-02", "11:0" + std::to_string(i),
                              "mx.example", "10.0.0.2"));
    }
    lines.push_back(LogLine("OK", "10.0.0.3", "2003-05-03", "12:00", "<b>evil</b>", "10.0.0.3"));
    lines.push_back(LogLine("BL", "10.0.0.3", "2003-05-03", "12:01", "<b>evil</b>", "10.0.0.3",
                            "Manual Block", "local"));
    Import(WriteLog("vantry.log", lines));
    services_.messages.clear();
  }
  void SelectKind(int kind) { Find<QComboBox>("cbReportSpec")->setCurrentIndex(kind); }
  std::string Document() const { return window_->document().text(); }
  /// The generator's own document for the current parameters and answer.
  std::string Expected(analyser::ReportKind kind, bool first_250 = false) {
    analyser::ReportParams copy = params_;
    analyser::ReportDocument document;
    analyser::RunReport(kind, copy, {window_->db_file(), [=] { return first_250; }}, document);
    return document.text();
  }
  void ExpectSkeletonOnly() { EXPECT_EQ(Lines(Document()), analyser::testing::SkeletonLines()); }
  /// "Report" and the state every ending restores.
  void Report() {
    monitor_calls_.clear();
    Click("cmdReport");
    EXPECT_EQ(monitor_calls_, (std::vector<std::string>{"stop", "start"}));
    EXPECT_TRUE(Find<QTableView>("lvMain")->isVisible());
    EXPECT_FALSE(Find<QLabel>("lblReportGen")->isVisible());
    EXPECT_TRUE(Enabled("cbReportSpec"));
    EXPECT_TRUE(Enabled("cmdReportDef"));
  }
  QString Save(const std::string& name) {
    QString path = QString::fromStdString(dir_.File(name));
    services_.file_names.push_back(path);
    Click("cmdSave");
    return path;
  }
};

TEST_F(FrmLogAReportTest, DefineShowsTheSelectedKindsDialog) {
  const char* expected[] = {"frmReportMaxIP", "frmReportDefIP", "frmReportDate", "frmReportCustom"};
  for (int kind = 0; kind < 4; ++kind) {
    SelectKind(kind);
    QString shown = WithModal([&] { Click("cmdReportDef"); },
                              [](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); });
    EXPECT_EQ(shown, expected[kind]);
  }
}

TEST_F(FrmLogAReportTest, HitsReportIsProducedSavedViewedAndPrinted) {
  EXPECT_FALSE(Enabled("cmdSave"));
  WithModal([&] { Click("cmdReportDef"); },
            [](QWidget* dialog) {
              auto* list = dialog->findChild<QListView*>("lbMax");
              list->selectionModel()->setCurrentIndex(list->model()->index(1, 0),
                                                      QItemSelectionModel::ClearAndSelect);
              dialog->findChild<QPushButton*>("cmdOK")->click();
            });
  EXPECT_EQ(params_.MaxResults, 2);
  const std::string expected = Expected(analyser::ReportKind::kAllHosts);
  Report();
  EXPECT_TRUE(services_.messages.isEmpty());
  EXPECT_EQ(params_.MaxResults, 0) << "the limit is used up by the report";
  EXPECT_EQ(Document(), expected);
  EXPECT_TRUE(Enabled("cmdSave"));
  EXPECT_FALSE(Enabled("cmdView"));
  EXPECT_FALSE(Enabled("cmdPrint"));

  // No extension typed, and a report of that name already there: the dialog
  // never saw the name with ".htm", so the window asks before replacing it.
  vantry::testing::WriteFileText(dir_.File("hits.htm"), "older report");
  services_.answers.push_back(QMessageBox::No);
  QString path = Save("hits");
  ASSERT_EQ(services_.messages.size(), 1);
  EXPECT_EQ(services_.messages[0].text, "hits.htm already exists.\nDo you want to replace it?");
  EXPECT_EQ(vantry::testing::ReadFileText(dir_.File("hits.htm")), "older report");
  EXPECT_TRUE(window_->report_path().isEmpty());
  services_.messages.clear();
  services_.answers.push_back(QMessageBox::Yes);
  Save("hits");
  EXPECT_EQ(services_.messages.size(), 1);
  services_.messages.clear();
  EXPECT_EQ(window_->report_path(), path + ".htm");
  EXPECT_EQ(vantry::testing::ReadFileText((path + ".htm").toStdString()), expected + "\r\n");
  EXPECT_TRUE(Enabled("cmdView"));
  EXPECT_TRUE(Enabled("cmdPrint"));

  Click("cmdView");
  ASSERT_EQ(services_.opened_urls.size(), 1);
  EXPECT_EQ(services_.opened_urls[0], QUrl::fromLocalFile(path + ".htm"));
  // Print reads the saved file, not the document in memory.
  vantry::testing::WriteFileText((path + ".htm").toStdString(), "<html>edited</html>");
  Click("cmdPrint");
  ASSERT_EQ(services_.printed_texts.size(), 1);
  EXPECT_EQ(services_.printed_texts[0], "<html>edited</html>");
  EXPECT_EQ(services_.printed[0], "hits.htm");
  EXPECT_TRUE(services_.messages.isEmpty());

  // Close Log: View off, Print still prints the saved file, Save keeps its state.
  Click("cmdClose");
  EXPECT_FALSE(Enabled("cmdView"));
  EXPECT_TRUE(Enabled("cmdPrint"));
  EXPECT_TRUE(Enabled("cmdSave"));
  Click("cmdPrint");
  EXPECT_EQ(services_.printed_texts.size(), 2);
}

TEST_F(FrmLogAReportTest, MissingParametersAreRefusedWithMonitorRestartedAndSaveAsItWas) {
  params_.MaxResults = 3;
  SelectKind(0);
  Report();
  ASSERT_TRUE(Enabled("cmdSave"));
  for (auto [kind, max_results, text] :
       {std::tuple{0, 0, "Please define your report limit"},  // the run used the limit up
        std::tuple{1, 10, "Please define your report IP and/or Host"},
        std::tuple{3, 10, "Please define your custom report"}}) {
    SelectKind(kind);
    if (max_results) params_.MaxResults = max_results;
    Report();
    ASSERT_FALSE(services_.messages.isEmpty());
    EXPECT_EQ(services_.messages.last().text, text);
    EXPECT_EQ(services_.messages.last().title, "Vantry Report");
    EXPECT_EQ(services_.messages.last().icon, QMessageBox::Warning);
    ExpectSkeletonOnly();
    EXPECT_TRUE(Enabled("cmdSave")) << "a refusal leaves Save as it was";
  }
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
  ASSERT_EQ(services_.messages.size(), 1);
  EXPECT_EQ(services_.messages[0].icon, QMessageBox::Question);
  EXPECT_EQ(services_.messages[0].buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_TRUE(services_.messages[0].text.startsWith("There are over 250 records"));
  EXPECT_EQ(Document(), Expected(analyser::ReportKind::kDateRange, true));
  Report();
  EXPECT_EQ(Document(), Expected(analyser::ReportKind::kDateRange, false));
  EXPECT_NE(Document(), Expected(analyser::ReportKind::kDateRange, true));
}

TEST_F(FrmLogAReportTest, AQueryTheDatabaseRejectsShowsItsMessage) {
  params_.CustomSQL = "select * from tbl_log Where (NoSuchColumn = 'x')";
  SelectKind(3);
  Report();
  ASSERT_EQ(services_.messages.size(), 1);
  EXPECT_EQ(services_.messages[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(services_.messages[0].text.contains("no such column", Qt::CaseInsensitive))
      << services_.messages[0].text.toStdString();
  ExpectSkeletonOnly();
  EXPECT_FALSE(Enabled("cmdSave"));
  // Still usable: a good query right after works.
  params_.CustomSQL = "select * from tbl_log Where (StatusCode = 'bl')";
  Report();
  EXPECT_EQ(services_.messages.size(), 1);
  EXPECT_EQ(Document(), Expected(analyser::ReportKind::kCustom));
  EXPECT_TRUE(Enabled("cmdSave"));
}

TEST_F(FrmLogAReportTest, AFailedSaveSaysSoAndEnablesNothing) {
  params_.MaxResults = 1;
  Report();
  Save("no-such-folder/report.htm");
  ASSERT_EQ(services_.messages.size(), 1);
  EXPECT_EQ(services_.messages[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(services_.messages[0].text.startsWith("The report was not saved"));
  EXPECT_FALSE(Enabled("cmdView"));
  EXPECT_FALSE(Enabled("cmdPrint"));
  EXPECT_TRUE(window_->report_path().isEmpty());

  services_.file_names.push_back(QString::fromStdString(dir_.File("*.htm")));  // cancelled
  Click("cmdSave");
  EXPECT_EQ(services_.messages.size(), 1);

  // A saved report deleted behind the window's back, and no printer.
  QString path = Save("r.htm");
  std::filesystem::remove(path.toStdString());
  Click("cmdView");
  EXPECT_TRUE(services_.opened_urls.isEmpty());
  EXPECT_EQ(services_.messages.size(), 2);
  Save("r.htm");
  services_.printer_available = false;
  Click("cmdPrint");
  EXPECT_EQ(services_.messages.size(), 3);
  EXPECT_TRUE(services_.messages.last().text.contains("could not be printed"));
}

}  // namespace
}  // namespace vantry::console::testing
