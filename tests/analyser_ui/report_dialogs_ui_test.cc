// The four report dialogs through their widgets: captions, controls, the
// parameters they store, their messages.
#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "analyser_ui_fixture.h"
#include "frm_report_custom.h"
#include "frm_report_date.h"
#include "frm_report_def_ip.h"
#include "frm_report_max_ip.h"
#include "report_custom.h"
#include "report_messages.h"

namespace vantry::console::testing {
namespace {

class ReportDialogsTest : public ::testing::Test {
 protected:
  template <typename T>
  static T* Child(QWidget* dialog, const char* name) {
    T* found = dialog->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  static void Type(QWidget* dialog, const char* name, const QString& text) {
    auto* box = Child<QLineEdit>(dialog, name);
    box->clear();
    QTest::keyClicks(box, text);
  }
  static void Press(QWidget* dialog, const char* name) {
    Child<QAbstractButton>(dialog, name)->click();
  }
  static QString Selected(QListView* list) {
    QModelIndexList rows = list->selectionModel()->selectedIndexes();
    return rows.isEmpty() ? QString() : rows.first().data().toString();
  }
  static void SelectNumber(QListView* list, int number) {
    QModelIndex index = list->model()->index(number - 1, 0);
    list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  }

  ScriptedDesktopServices services_;
  analyser::ReportParams params_;
};

TEST_F(ReportDialogsTest, MaxIPOffersOneToLogIPsAndStoresTheChoice) {
  params_.LogIPs = 7;
  params_.MaxResults = 0;
  FrmReportMaxIP dialog(services_, params_);
  EXPECT_EQ(dialog.windowTitle(), "Define Report");
  EXPECT_TRUE(services_.messages.isEmpty());
  auto* list = Child<QListView>(&dialog, "lbMax");
  ASSERT_EQ(list->model()->rowCount(), 7);
  EXPECT_EQ(list->model()->index(6, 0).data().toString(), "7");
  EXPECT_EQ(Selected(list), "1");
  EXPECT_EQ(Child<QPushButton>(&dialog, "cmdOK")->text(), "&Ok");
  EXPECT_TRUE(Child<QPushButton>(&dialog, "cmdOK")->isDefault());
  SelectNumber(list, 5);
  Press(&dialog, "cmdOK");
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(params_.MaxResults, 5);

  FrmReportMaxIP again(services_, params_);
  SelectNumber(Child<QListView>(&again, "lbMax"), 2);
  Press(&again, "cmdCancel");
  EXPECT_EQ(params_.MaxResults, 5) << "Cancel stores nothing";
}

TEST_F(ReportDialogsTest, MaxIPWithoutALoadedLogSaysSoAndKeepsTheLimit) {
  params_.LogIPs = 0;
  params_.MaxResults = 3;
  FrmReportMaxIP dialog(services_, params_);
  ASSERT_EQ(services_.messages.size(), 1);
  EXPECT_EQ(services_.messages[0].icon, QMessageBox::Information);
  EXPECT_EQ(services_.messages[0].title, "Vantry Report");
  EXPECT_EQ(services_.messages[0].text,
            "It would be more helpful to preload a log file into the analyzer before attempting "
            "to define any report parameters.");
  EXPECT_EQ(Child<QListView>(&dialog, "lbMax")->model()->rowCount(), 0);
  Press(&dialog, "cmdOK");
  EXPECT_EQ(params_.MaxResults, 3);
}

TEST_F(ReportDialogsTest, DefIPLoadsParametersAndSelectsTheHundredthLimit) {
  params_.LogIPs = 150;
  params_.ReportIP = "10.0.0.9";
  params_.ReportHost = "mail.example";
  FrmReportDefIP dialog(services_, params_);
  EXPECT_EQ(dialog.windowTitle(), "Define Report IP");
  EXPECT_EQ(Child<QRadioButton>(&dialog, "optType0")->text(), "IP Address");
  EXPECT_TRUE(Child<QRadioButton>(&dialog, "optType0")->isChecked());
  EXPECT_EQ(Child<QRadioButton>(&dialog, "optType1")->text(), "Host Name");
  EXPECT_TRUE(Child<QLineEdit>(&dialog, "txtIP")->isEnabled());
  EXPECT_FALSE(Child<QLineEdit>(&dialog, "txtHost")->isEnabled());
  EXPECT_EQ(Child<QLineEdit>(&dialog, "txtIP")->text(), "10.0.0.9");
  EXPECT_EQ(Child<QLineEdit>(&dialog, "txtHost")->text(), "mail.example");
  EXPECT_EQ(Child<QCheckBox>(&dialog, "chkWildPre")->text(), "Wildcard prefix");
  EXPECT_EQ(Child<QCheckBox>(&dialog, "chkWildSuf")->text(), "Wildcard prefix suffix");
  EXPECT_EQ(Selected(Child<QListView>(&dialog, "lbMax")), "100");
  auto* order = Child<QComboBox>(&dialog, "cbxOrder");
  ASSERT_EQ(order->count(), 2);
  EXPECT_EQ(order->itemText(0), "Chronological");
  EXPECT_EQ(order->itemText(1), "Reverse Chronological");
  EXPECT_EQ(order->currentIndex(), 0);
  EXPECT_EQ(Child<QPushButton>(&dialog, "cmdOK")->text(), "OK");

  params_.LogIPs = 20;
  FrmReportDefIP shorter(services_, params_);
  EXPECT_EQ(Selected(Child<QListView>(&shorter, "lbMax")), "20") << "the last when fewer than 100";
}

TEST_F(ReportDialogsTest, DefIPHostOptionActsAtOnceAndOkStoresTrimmedValues) {
  params_.LogIPs = 30;
  FrmReportDefIP dialog(services_, params_);
  dialog.show();
  QTest::mouseClick(Child<QRadioButton>(&dialog, "optType1"), Qt::LeftButton);
  EXPECT_TRUE(params_.SearchHost) << "the option takes effect before OK";
  EXPECT_FALSE(Child<QLineEdit>(&dialog, "txtIP")->isEnabled());
  EXPECT_TRUE(Child<QLineEdit>(&dialog, "txtHost")->isEnabled());
  Type(&dialog, "txtHost", "  relay.example  ");
  Child<QCheckBox>(&dialog, "chkWildSuf")->setChecked(true);
  Child<QComboBox>(&dialog, "cbxOrder")->setCurrentIndex(1);
  SelectNumber(Child<QListView>(&dialog, "lbMax"), 12);
  Press(&dialog, "cmdOK");
  EXPECT_EQ(params_.ReportHost, "relay.example");
  EXPECT_TRUE(params_.SearchHost);
  EXPECT_EQ(params_.MaxResults, 12);
  EXPECT_EQ(params_.DateOrder, " DESC");
  EXPECT_FALSE(params_.WildPrefix);
  EXPECT_TRUE(params_.WildSuffix);

  // Reopened, it shows the host search in force.
  FrmReportDefIP again(services_, params_);
  EXPECT_TRUE(Child<QRadioButton>(&again, "optType1")->isChecked());
  EXPECT_TRUE(Child<QLineEdit>(&again, "txtHost")->isEnabled());
  again.show();
  QTest::mouseClick(Child<QRadioButton>(&again, "optType0"), Qt::LeftButton);
  Press(&again, "cmdCancel");
  EXPECT_FALSE(params_.SearchHost) << "the option's effect outlives Cancel";
  EXPECT_EQ(params_.MaxResults, 12);
}

TEST_F(ReportDialogsTest, DateDialogInitialStateAndTimeCheck) {
  FrmReportDate dialog(services_, params_);
  EXPECT_EQ(dialog.windowTitle(), "Define Report Date/Time");
  EXPECT_EQ(Child<QLineEdit>(&dialog, "txtDateStart")->text(), "");
  EXPECT_TRUE(Child<QLineEdit>(&dialog, "txtDateEnd")->isEnabled());
  EXPECT_EQ(Child<QLineEdit>(&dialog, "txtTimeStart")->text(), "12:00 AM");
  EXPECT_EQ(Child<QLineEdit>(&dialog, "txtTimeEnd")->text(), "12:00 PM");
  EXPECT_FALSE(Child<QLineEdit>(&dialog, "txtTimeStart")->isEnabled());
  EXPECT_FALSE(Child<QLineEdit>(&dialog, "txtTimeEnd")->isEnabled());
  auto* check = Child<QCheckBox>(&dialog, "chkTime");
  EXPECT_EQ(check->text(), "Use this date for a time-based report");
  EXPECT_EQ(Child<QPushButton>(&dialog, "cmdOk")->text(), "&Ok");
  EXPECT_EQ(Child<QPushButton>(&dialog, "cmdCancel")->text(), "&Cancel");

  dialog.show();
  Type(&dialog, "txtDateStart", "5/3/2003");
  Type(&dialog, "txtDateEnd", "5/9/2003");
  QTest::mouseClick(check, Qt::LeftButton);
  EXPECT_TRUE(check->isChecked());
  EXPECT_EQ(Child<QLineEdit>(&dialog, "txtDateEnd")->text(), "5/3/2003");
  EXPECT_FALSE(Child<QLineEdit>(&dialog, "txtDateEnd")->isEnabled());
  EXPECT_TRUE(Child<QLineEdit>(&dialog, "txtTimeStart")->isEnabled());
  QTest::mouseClick(check, Qt::LeftButton);
  EXPECT_TRUE(Child<QLineEdit>(&dialog, "txtDateEnd")->isEnabled());
  EXPECT_FALSE(Child<QLineEdit>(&dialog, "txtTimeEnd")->isEnabled());
}

TEST_F(ReportDialogsTest, DateDialogRefusesInOrderAndRewritesOnOk) {
  FrmReportDate dialog(services_, params_);
  dialog.show();
  QApplication::setActiveWindow(&dialog);
  Type(&dialog, "txtDateStart", "   ");
  Type(&dialog, "txtDateEnd", "not a date");
  Press(&dialog, "cmdOk");
  ASSERT_EQ(services_.messages.size(), 1);
  EXPECT_EQ(services_.messages[0].text, "Please correct the Starting Date parameter as shown.");
  EXPECT_EQ(services_.messages[0].icon, QMessageBox::Warning);
  EXPECT_EQ(services_.messages[0].title, "Vantry Report");
  EXPECT_TRUE(Child<QLineEdit>(&dialog, "txtDateStart")->hasFocus());
  EXPECT_NE(dialog.result(), QDialog::Accepted);

  Type(&dialog, "txtDateStart", "5/1/2003");
  Press(&dialog, "cmdOk");
  ASSERT_EQ(services_.messages.size(), 2);
  EXPECT_EQ(services_.messages[1].text, "Please correct the Ending Date parameter as shown.");
  EXPECT_EQ(Child<QLineEdit>(&dialog, "txtDateStart")->text(), "05/01/2003")
      << "fields before the failing one are rewritten";
  EXPECT_TRUE(Child<QLineEdit>(&dialog, "txtDateEnd")->hasFocus());

  Child<QCheckBox>(&dialog, "chkTime")->click();
  Type(&dialog, "txtTimeStart", "1:5 PM");
  Press(&dialog, "cmdOk");
  ASSERT_EQ(services_.messages.size(), 3);
  EXPECT_EQ(services_.messages[2].text, "Please correct the Starting Time parameter as shown.");
  Type(&dialog, "txtTimeStart", "1:05 pm");
  Type(&dialog, "txtTimeEnd", "25:00");
  Press(&dialog, "cmdOk");
  ASSERT_EQ(services_.messages.size(), 4);
  EXPECT_EQ(services_.messages[3].text, "Please correct the Ending Time parameter as shown.");
  EXPECT_TRUE(params_.DateStart.empty()) << "nothing stored before a clean Ok";

  Type(&dialog, "txtTimeEnd", "9:30 PM");
  Press(&dialog, "cmdOk");
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(params_.DateStart, "05/01/2003");
  EXPECT_EQ(params_.DateEnd, "05/01/2003");
  EXPECT_EQ(params_.TimeStart, "1:05 PM");
  EXPECT_EQ(params_.TimeEnd, "9:30 PM");
  EXPECT_TRUE(params_.TimeBased);

  FrmReportDate again(services_, params_);
  EXPECT_TRUE(Child<QCheckBox>(&again, "chkTime")->isChecked()) << "reopened as stored";
  EXPECT_EQ(Child<QLineEdit>(&again, "txtTimeStart")->text(), "1:05 PM");
  EXPECT_FALSE(Child<QLineEdit>(&again, "txtDateEnd")->isEnabled());
  Type(&again, "txtDateStart", "6/1/2003");
  Press(&again, "cmdCancel");
  EXPECT_EQ(params_.DateStart, "05/01/2003") << "Cancel stores nothing";
}

TEST_F(ReportDialogsTest, DateDialogLeavesTimesAloneWithoutTheCheck) {
  params_.TimeStart = "junk";
  FrmReportDate dialog(services_, params_);
  Type(&dialog, "txtDateStart", "05/01/2003");
  Type(&dialog, "txtDateEnd", "2003-05-07");
  Press(&dialog, "cmdOk");
  EXPECT_TRUE(services_.messages.isEmpty());
  EXPECT_EQ(params_.DateEnd, "05/07/2003");
  EXPECT_EQ(params_.TimeStart, "junk");
  EXPECT_FALSE(params_.TimeBased);
}

TEST_F(ReportDialogsTest, CustomDialogBuildsClausesAndTheQuery) {
  params_.LogFile = "";
  FrmReportCustom dialog(services_, params_);
  EXPECT_EQ(dialog.windowTitle(), "Vantry - Create Custom Report");
  EXPECT_TRUE(services_.messages.isEmpty());
  auto* field = Child<QComboBox>(&dialog, "cbxField");
  auto* op = Child<QComboBox>(&dialog, "cbxOp");
  ASSERT_EQ(field->count(), 8);
  EXPECT_EQ(field->itemText(7), "Block Information");
  ASSERT_EQ(op->count(), 5);
  EXPECT_EQ(op->itemText(4), "Is NOT LIKE");
  auto* and_box = Child<QLineEdit>(&dialog, "txtAnd");
  auto* del = Child<QPushButton>(&dialog, "cmdDel");
  EXPECT_FALSE(and_box->isEnabled());
  EXPECT_FALSE(del->isEnabled());

  // Refusals: information icon, title "Custom Report", nothing added.
  Press(&dialog, "cmdAdd");
  op->setCurrentIndex(analyser::kBetweenOperator);
  EXPECT_TRUE(and_box->isEnabled());
  Type(&dialog, "txtCri", "05/01/2003");
  Press(&dialog, "cmdAdd");
  ASSERT_EQ(services_.messages.size(), 2);
  EXPECT_EQ(services_.messages[0].text, "You must have criteria to compare to.");
  EXPECT_EQ(services_.messages[1].text,
            "You must have criteria to compare to with the BETWEEN operator.");
  EXPECT_EQ(services_.messages[1].icon, QMessageBox::Information);
  EXPECT_EQ(services_.messages[1].title, "Custom Report");
  EXPECT_TRUE(dialog.Clauses().empty());

  Type(&dialog, "txtAnd", "05/31/2003");
  Press(&dialog, "cmdAdd");
  EXPECT_EQ(field->currentIndex(), 0) << "field and operator go back to the first entries";
  EXPECT_EQ(op->currentIndex(), 0);
  EXPECT_FALSE(and_box->isEnabled());
  EXPECT_EQ(Child<QLineEdit>(&dialog, "txtCri")->text(), "");
  field->setCurrentIndex(5);
  op->setCurrentIndex(4);
  Type(&dialog, "txtCri", "BL");
  Press(&dialog, "cmdAdd");
  field->setCurrentIndex(2);
  op->setCurrentIndex(2);
  Type(&dialog, "txtCri", "10.1.");
  Press(&dialog, "cmdAdd");
  ASSERT_EQ(dialog.Clauses(),
            (std::vector<std::string>{"(ConnectDate BETWEEN #05/01/2003# AND #05/31/2003#)",
                                      "(StatusCode NOT LIKE '%BL%')", "(IP1 LIKE '%10.1.%')"}));

  Press(&dialog, "cmdPre");
  EXPECT_EQ(Child<QPlainTextEdit>(&dialog, "txtPre")->toPlainText(),
            "VANTRY: Create Report (\n"
            "    Display All From LogFile = (UNDEFINED)\n"
            "    Where\n"
            "        (ConnectDate BETWEEN #05/01/2003# AND #05/31/2003#)\n"
            "    AND\n"
            "        (StatusCode NOT LIKE '%BL%')\n"
            "    AND\n"
            "        (IP1 LIKE '%10.1.%')\n"
            ") End Report");

  // Delete needs a click on the list and a selected clause.
  auto* list = Child<QListWidget>(&dialog, "lbClause");
  dialog.show();
  QRect second = list->visualItemRect(list->item(1));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
  EXPECT_TRUE(del->isEnabled());
  del->click();
  EXPECT_EQ(dialog.Clauses().size(), 2u);
  del->click();
  EXPECT_EQ(dialog.Clauses().size(), 2u) << "nothing selected after a delete";
  EXPECT_TRUE(del->isEnabled());

  Press(&dialog, "cmdOk");
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(params_.CustomSQL,
            "select * from tbl_log Where (ConnectDate BETWEEN #05/01/2003# AND #05/31/2003#) AND "
            "(IP1 LIKE '%10.1.%')");
}

TEST_F(ReportDialogsTest, CustomDialogReopenCancelFrameAndCreateNew) {
  params_.CustomSQL = "select * from tbl_log Where (IP1 = '1.2.3.4')";
  params_.LogFile = "/var/log/vantry.log";
  {
    FrmReportCustom dialog(services_, params_);
    ASSERT_EQ(services_.messages.size(), 1);
    EXPECT_EQ(services_.messages[0].text,
              QString::fromUtf8(analyser::kAlreadyGeneratedMessage.data(),
                                analyser::kAlreadyGeneratedMessage.size()));
    EXPECT_EQ(services_.messages[0].buttons, QMessageBox::Ok);
    EXPECT_TRUE(dialog.Clauses().empty()) << "an earlier query is not shown as clauses";
    Press(&dialog, "cmdOk");
    EXPECT_NE(dialog.result(), QDialog::Accepted) << "Ok with no clauses does nothing";
    dialog.show();
    dialog.close();  // the window frame
    EXPECT_EQ(params_.CustomSQL, "select * from tbl_log Where (IP1 = '1.2.3.4')");
  }
  {
    FrmReportCustom dialog(services_, params_);
    Child<QComboBox>(&dialog, "cbxField")->setCurrentIndex(3);
    Type(&dialog, "txtCri", "o'brien.example");
    Press(&dialog, "cmdAdd");
    EXPECT_EQ(dialog.Clauses(), std::vector<std::string>{"(Host = 'o''brien.example')"});
    Press(&dialog, "cmdPre");
    EXPECT_TRUE(Child<QPlainTextEdit>(&dialog, "txtPre")
                    ->toPlainText()
                    .contains("Display All From LogFile = (/var/log/vantry.log)"));
    services_.answers.push_back(QMessageBox::No);
    Press(&dialog, "cmdNew");
    EXPECT_EQ(services_.messages.last().title, "Clear Custom Report");
    EXPECT_EQ(services_.messages.last().icon, QMessageBox::Question);
    EXPECT_EQ(dialog.Clauses().size(), 1u) << "No keeps the clauses";
    services_.answers.push_back(QMessageBox::Yes);
    Press(&dialog, "cmdNew");
    EXPECT_TRUE(dialog.Clauses().empty());
    EXPECT_TRUE(Child<QPlainTextEdit>(&dialog, "txtPre")->toPlainText().isEmpty());
    EXPECT_TRUE(params_.CustomSQL.empty()) << "Create New forgets the query at once";
  }
  params_.CustomSQL = "select * from tbl_log Where (IP1 = '1.2.3.4')";
  FrmReportCustom dialog(services_, params_);
  Press(&dialog, "cmdCancel");
  EXPECT_TRUE(params_.CustomSQL.empty()) << "Cancel discards the earlier query";
}

TEST_F(ReportDialogsTest, CustomDialogRefusesCriteriaThatWouldBreakTheQuery) {
  FrmReportCustom dialog(services_, params_);
  Child<QComboBox>(&dialog, "cbxField")->setCurrentIndex(0);
  Child<QComboBox>(&dialog, "cbxOp")->setCurrentIndex(2);  // LIKE on a date
  Type(&dialog, "txtCri", "2003");
  Press(&dialog, "cmdAdd");
  Child<QComboBox>(&dialog, "cbxOp")->setCurrentIndex(0);
  Type(&dialog, "txtCri", "05/01/2003# or 1=1 or #");
  Press(&dialog, "cmdAdd");
  EXPECT_TRUE(dialog.Clauses().empty());
  ASSERT_EQ(services_.messages.size(), 2);
  EXPECT_EQ(services_.messages[1].title, "Custom Report");
}

}  // namespace
}  // namespace vantry::console::testing
