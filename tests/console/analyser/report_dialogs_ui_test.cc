// The four report dialogs through their widgets: what they load, the
// parameters they store, and the checks and messages the user meets.
#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "analyser_ui_fixture.h"
#include "frm_report_custom.h"
#include "frm_report_date.h"
#include "frm_report_def_ip.h"
#include "frm_report_max_ip.h"
#include "report_custom.h"
#include "report_messages.h"

namespace vantry::console::testing {
namespace {

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), text.size()); }

class ReportDialogsTest : public ::testing::Test {
 protected:
  static QLineEdit* Edit(QWidget* dialog, const char* name) {
    return Child<QLineEdit>(dialog, name);
  }
  static QString Selected(QWidget* dialog) {
    QModelIndexList rows = Child<QListView>(dialog, "lbMax")->selectionModel()->selectedIndexes();
    return rows.isEmpty() ? QString() : rows.first().data().toString();
  }

  ScriptedDesktopServices services_;
  analyser::ReportParams params_;
};

TEST_F(ReportDialogsTest, MaxIPOffersOneToLogIPsAndStoresOnlyOnOk) {
  params_.LogIPs = 7;
  FrmReportMaxIP dialog(services_, params_);
  EXPECT_TRUE(services_.messages.isEmpty());
  EXPECT_EQ(Child<QListView>(&dialog, "lbMax")->model()->rowCount(), 7);
  EXPECT_EQ(Selected(&dialog), "1");
  SelectNumber(&dialog, 5);
  Press(&dialog, "cmdOK");
  EXPECT_EQ(params_.MaxResults, 5);

  // No log loaded: says so, offers nothing, and Ok keeps the limit.
  params_.LogIPs = 0;
  FrmReportMaxIP empty(services_, params_);
  EXPECT_EQ(OnlyMessage(services_, QMessageBox::Information), Q(analyser::kPreloadMessage));
  EXPECT_EQ(Child<QListView>(&empty, "lbMax")->model()->rowCount(), 0);
  Press(&empty, "cmdOK");
  EXPECT_EQ(params_.MaxResults, 5);
}

TEST_F(ReportDialogsTest, DefIPLoadsActsOnTheOptionAtOnceAndStoresTrimmedValues) {
  params_.LogIPs = 150;
  params_.ReportIP = "10.0.0.9";
  params_.ReportHost = "mail.example";
  FrmReportDefIP dialog(services_, params_);
  EXPECT_TRUE(Child<QRadioButton>(&dialog, "optType0")->isChecked());
  EXPECT_EQ(Edit(&dialog, "txtIP")->text(), "10.0.0.9");
  EXPECT_EQ(Edit(&dialog, "txtHost")->text(), "mail.example");
  EXPECT_EQ(Selected(&dialog), "100");

  dialog.show();
  QTest::mouseClick(Child<QRadioButton>(&dialog, "optType1"), Qt::LeftButton);
  EXPECT_TRUE(params_.SearchHost) << "the option takes effect before OK";
  EXPECT_FALSE(Edit(&dialog, "txtIP")->isEnabled());
  EXPECT_TRUE(Edit(&dialog, "txtHost")->isEnabled());
  Type(&dialog, "txtHost", "  relay.example  ");
  Child<QCheckBox>(&dialog, "chkWildSuf")->setChecked(true);
  Child<QComboBox>(&dialog, "cbxOrder")->setCurrentIndex(1);
  SelectNumber(&dialog, 12);
  Press(&dialog, "cmdOK");
  EXPECT_EQ(params_.ReportHost, "relay.example");
  EXPECT_EQ(params_.MaxResults, 12);
  EXPECT_EQ(params_.DateOrder, " DESC");
  EXPECT_TRUE(params_.WildSuffix && !params_.WildPrefix);

  // Reopened, it shows the host search in force; the option outlives Cancel.
  FrmReportDefIP again(services_, params_);
  EXPECT_TRUE(Child<QRadioButton>(&again, "optType1")->isChecked());
  EXPECT_EQ(Child<QComboBox>(&again, "cbxOrder")->currentIndex(), 0);
  again.show();
  QTest::mouseClick(Child<QRadioButton>(&again, "optType0"), Qt::LeftButton);
  SelectNumber(&again, 3);
  Press(&again, "cmdCancel");
  EXPECT_FALSE(params_.SearchHost);
  EXPECT_EQ(params_.MaxResults, 12);
}

TEST_F(ReportDialogsTest, DateDialogRefusesFieldByFieldThenStoresAndReopens) {
  FrmReportDate dialog(services_, params_);
  EXPECT_EQ(Edit(&dialog, "txtTimeStart")->text(), "12:00 AM");
  EXPECT_EQ(Edit(&dialog, "txtTimeEnd")->text(), "12:00 PM");
  EXPECT_FALSE(Edit(&dialog, "txtTimeStart")->isEnabled());
  dialog.show();
  QApplication::setActiveWindow(&dialog);
  auto* check = Child<QCheckBox>(&dialog, "chkTime");
  Type(&dialog, "txtDateStart", "5/3/2003");
  Type(&dialog, "txtDateEnd", "5/9/2003");
  QTest::mouseClick(check, Qt::LeftButton);
  EXPECT_EQ(Edit(&dialog, "txtDateEnd")->text(), "5/3/2003") << "ticking copies the start date";
  EXPECT_FALSE(Edit(&dialog, "txtDateEnd")->isEnabled());
  EXPECT_TRUE(Edit(&dialog, "txtTimeStart")->isEnabled());
  QTest::mouseClick(check, Qt::LeftButton);
  EXPECT_TRUE(Edit(&dialog, "txtDateEnd")->isEnabled());

  // Each refusal names its field and puts the focus there; nothing is stored.
  struct Refusal {
    bool ticked;
    const char *field, *bad, *good, *name;
  };
  for (const Refusal& r : {Refusal{false, "txtDateEnd", "not a date", "5/1/2003", "Ending Date"},
                           Refusal{false, "txtDateStart", "   ", "5/1/2003", "Starting Date"},
                           Refusal{true, "txtTimeStart", "1:5 PM", "1:05 pm", "Starting Time"},
                           Refusal{true, "txtTimeEnd", "25:00", "9:30 PM", "Ending Time"}}) {
    if (r.ticked != check->isChecked()) check->click();
    Type(&dialog, r.field, r.bad);
    services_.messages.clear();
    Press(&dialog, "cmdOk");
    EXPECT_EQ(OnlyMessage(services_, QMessageBox::Warning),
              QString("Please correct the %1 parameter as shown.").arg(r.name));
    EXPECT_TRUE(Edit(&dialog, r.field)->hasFocus()) << r.field;
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    Type(&dialog, r.field, r.good);
  }
  EXPECT_EQ(Edit(&dialog, "txtTimeStart")->text(), "1:05 PM") << "rewritten before the failure";
  EXPECT_TRUE(params_.DateStart.empty());

  Press(&dialog, "cmdOk");
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(
      params_.DateStart + "|" + params_.DateEnd + "|" + params_.TimeStart + "|" + params_.TimeEnd,
      "05/01/2003|05/01/2003|1:05 PM|9:30 PM");
  EXPECT_TRUE(params_.TimeBased);

  FrmReportDate again(services_, params_);
  EXPECT_TRUE(Child<QCheckBox>(&again, "chkTime")->isChecked()) << "reopened as stored";
  EXPECT_EQ(Edit(&again, "txtTimeStart")->text(), "1:05 PM");
  EXPECT_FALSE(Edit(&again, "txtDateEnd")->isEnabled());
  // Unticked, the times are neither checked nor rewritten, and a date may be yyyy-mm-dd.
  Child<QCheckBox>(&again, "chkTime")->click();
  Edit(&again, "txtTimeStart")->setText("junk");
  Type(&again, "txtDateEnd", "2003-05-07");
  services_.messages.clear();
  Press(&again, "cmdOk");
  EXPECT_TRUE(services_.messages.isEmpty());
  EXPECT_EQ(params_.DateEnd + "|" + params_.TimeStart, "05/07/2003|junk");
  EXPECT_FALSE(params_.TimeBased);
}

TEST_F(ReportDialogsTest, CustomDialogBuildsClausesAndTheQuery) {
  FrmReportCustom dialog(services_, params_);
  EXPECT_TRUE(services_.messages.isEmpty());
  auto* field = Child<QComboBox>(&dialog, "cbxField");
  auto* op = Child<QComboBox>(&dialog, "cbxOp");
  auto* and_box = Edit(&dialog, "txtAnd");
  auto* del = Child<QPushButton>(&dialog, "cmdDel");
  EXPECT_FALSE(del->isEnabled());

  // Refusals are shown and add nothing.
  Press(&dialog, "cmdAdd");
  op->setCurrentIndex(analyser::kBetweenOperator);
  EXPECT_TRUE(and_box->isEnabled());
  Type(&dialog, "txtCri", "05/01/2003");
  Press(&dialog, "cmdAdd");
  ASSERT_EQ(services_.messages.size(), 2);
  EXPECT_EQ(services_.messages[0].text, Q(analyser::kNeedCriteriaMessage));
  EXPECT_EQ(services_.messages[1].text, Q(analyser::kNeedBetweenMessage));
  EXPECT_TRUE(dialog.Clauses().empty());

  Type(&dialog, "txtAnd", "05/31/2003");
  Press(&dialog, "cmdAdd");
  EXPECT_EQ(field->currentIndex(), 0) << "field and operator go back to the first entries";
  EXPECT_EQ(op->currentIndex(), 0);
  EXPECT_FALSE(and_box->isEnabled());
  EXPECT_EQ(Edit(&dialog, "txtCri")->text(), "");
  field->setCurrentIndex(2);
  op->setCurrentIndex(2);
  Type(&dialog, "txtCri", "10.1.");
  Press(&dialog, "cmdAdd");
  ASSERT_EQ(dialog.Clauses(),
            (std::vector<std::string>{"(ConnectDate BETWEEN #05/01/2003# AND #05/31/2003#)",
                                      "(IP1 LIKE '%10.1.%')"}));

  Press(&dialog, "cmdPre");
  QString preview = Child<QPlainTextEdit>(&dialog, "txtPre")->toPlainText();
  EXPECT_TRUE(preview.contains("LogFile = (UNDEFINED)\n")) << preview.toStdString();
  EXPECT_TRUE(preview.endsWith("    AND\n        (IP1 LIKE '%10.1.%')\n) End Report"))
      << preview.toStdString();

  // Delete needs a click on the list and a selected clause.
  auto* list = Child<QListWidget>(&dialog, "lbClause");
  dialog.show();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(0)).center());
  EXPECT_TRUE(del->isEnabled());
  del->click();
  del->click();
  EXPECT_EQ(dialog.Clauses().size(), 1u) << "nothing selected after a delete";
  Press(&dialog, "cmdOk");
  EXPECT_EQ(params_.CustomSQL, "select * from tbl_log Where (IP1 LIKE '%10.1.%')");
}

TEST_F(ReportDialogsTest, CustomDialogReopenCancelFrameAndCreateNew) {
  const std::string earlier = "select * from tbl_log Where (IP1 = '1.2.3.4')";
  params_.CustomSQL = earlier;
  params_.LogFile = "/var/log/vantry.log";
  {
    FrmReportCustom dialog(services_, params_);
    EXPECT_EQ(OnlyMessage(services_, QMessageBox::NoIcon), Q(analyser::kAlreadyGeneratedMessage));
    EXPECT_TRUE(dialog.Clauses().empty()) << "an earlier query is not shown as clauses";
    Press(&dialog, "cmdOk");
    EXPECT_NE(dialog.result(), QDialog::Accepted) << "Ok with no clauses does nothing";
    dialog.show();
    dialog.close();  // the window frame
    EXPECT_EQ(params_.CustomSQL, earlier);
  }
  {
    FrmReportCustom dialog(services_, params_);
    Child<QComboBox>(&dialog, "cbxField")->setCurrentIndex(3);
    Type(&dialog, "txtCri", "o'brien.example");
    Press(&dialog, "cmdAdd");
    Press(&dialog, "cmdPre");
    EXPECT_TRUE(Child<QPlainTextEdit>(&dialog, "txtPre")
                    ->toPlainText()
                    .contains("Display All From LogFile = (/var/log/vantry.log)"));
    services_.answers = {QMessageBox::No, QMessageBox::Yes};
    Press(&dialog, "cmdNew");
    EXPECT_EQ(services_.messages.last().icon, QMessageBox::Question);
    EXPECT_EQ(dialog.Clauses().size(), 1u) << "No keeps the clauses";
    Press(&dialog, "cmdNew");
    EXPECT_TRUE(dialog.Clauses().empty());
    EXPECT_TRUE(Child<QPlainTextEdit>(&dialog, "txtPre")->toPlainText().isEmpty());
    EXPECT_TRUE(params_.CustomSQL.empty()) << "Create New forgets the query at once";
  }
  params_.CustomSQL = earlier;
  FrmReportCustom dialog(services_, params_);
  Press(&dialog, "cmdCancel");
  EXPECT_TRUE(params_.CustomSQL.empty()) << "Cancel discards the earlier query";
}

}  // namespace
}  // namespace vantry::console::testing
