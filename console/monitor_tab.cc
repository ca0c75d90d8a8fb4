#include "monitor_tab.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>
#include <string>

#include "console_number.h"

namespace vantry::console {
namespace {

enum Column { kSocket, kAction, kIp, kHost, kReverseIp, kInformation, kDateTime };

QString Text(const std::string& s) { return QString::fromLocal8Bit(s.data(), qsizetype(s.size())); }

}  // namespace

MonitorTab::MonitorTab(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  lvData_ = new QTreeWidget;
  lvData_->setObjectName("lvData");
  lvData_->setColumnCount(7);
  lvData_->setHeaderLabels(
      {"Socket", "Action", "IP Address", "Host Name", "Reverse IP", "Information", "Date/Time"});
  lvData_->setRootIsDecorated(false);
  lvData_->setUniformRowHeights(true);  // keeps thousands of rows cheap to lay out
  lvData_->setAlternatingRowColors(true);
  lvData_->setSelectionMode(QAbstractItemView::SingleSelection);
  // Host names are mostly short; the Information column ("Type 3 reported by
  // zen.spamhaus.org") takes what the window has left.
  static constexpr int kWidths[7] = {60, 70, 120, 170, 120, 0, 130};
  for (int c = 0; c < 7; ++c) {
    if (c != kInformation) lvData_->setColumnWidth(c, kWidths[c]);
  }
  lvData_->header()->setStretchLastSection(false);
  lvData_->header()->setSectionResizeMode(kInformation, QHeaderView::Stretch);
  layout->addWidget(lvData_);
}

void MonitorTab::InitSocketRows(std::string_view count) {
  int n = std::clamp(ConsoleWholeNumber(count), 0, kMaxSocketRows);
  lvData_->clear();
  QList<QTreeWidgetItem*> rows;
  rows.reserve(n);
  for (int r = 1; r <= n; ++r) {
    auto* item = new QTreeWidgetItem;
    item->setData(kSocket, Qt::UserRole, QString("sock%1").arg(r));
    item->setText(kSocket, QString::number(r));
    item->setText(kAction, "Closed");
    rows.append(item);
  }
  lvData_->addTopLevelItems(rows);
}

void MonitorTab::Clear() { lvData_->clear(); }

std::optional<QString> MonitorTab::ShowSlotReport(const QString& keyword, const MonitorFields& f) {
  const int count = static_cast<int>(f.size());
  // The gateway has slots 0 ... field 1, so the table needs field 1 + 1 rows;
  // one row fewer would wipe the whole table when the last slot reports.
  const std::int64_t size = std::int64_t{ConsoleWholeNumber(FrameField(f, kSlotLimitField))} + 1;
  if (lvData_->topLevelItemCount() == 0) InitSocketRows(std::to_string(size));
  const std::int64_t row = std::int64_t{ConsoleWholeNumber(FrameField(f, kSlotField))} + 1;
  if (row > lvData_->topLevelItemCount()) InitSocketRows(std::to_string(size));
  if (row < 1 || row > lvData_->topLevelItemCount()) return std::nullopt;
  QTreeWidgetItem* item = lvData_->topLevelItem(static_cast<int>(row - 1));
  const QString date_time = count >= kTimeField ? Text(FrameField(f, kDateField)) + " - " +
                                                      Text(FrameField(f, kTimeField))
                                                : QString();
  QString ending;
  if (keyword == "ok") {
    item->setText(kAction, "Ok");
    item->setText(kIp, Text(FrameField(f, kIpField)));
    item->setText(kHost, Text(FrameField(f, kHostField)));
    item->setText(kReverseIp, Text(FrameField(f, kAltIpField)));
    item->setText(kInformation, Text(FrameField(f, kBlockSourceField)));
    item->setText(kDateTime, date_time);
    ending = " connected";
  } else if (keyword == "bl") {
    item->setText(kAction, "BL");
    item->setText(kIp, Text(FrameField(f, kIpField)));
    item->setText(kHost, Text(FrameField(f, kHostField)));
    item->setText(kReverseIp, Text(FrameField(f, kAltIpField)));
    item->setText(kInformation, Text(FrameField(f, kBlockTypeField)) + " reported by " +
                                    Text(FrameField(f, kBlockSourceField)));
    item->setToolTip(kInformation, item->text(kInformation));  // a long zone name still shows
    item->setText(kDateTime, date_time);
    ending = " refused";
  } else if (keyword == "wait") {
    item->setText(kAction, "Waiting");
    for (int c : {kIp, kHost, kReverseIp, kInformation}) item->setText(c, QString());
    item->setText(kDateTime, date_time);
    ending = " WAITING";
  } else {
    item->setText(kAction, "Closed");
    ending = " closed";
  }
  return QString("Socket %1%2").arg(row).arg(ending);
}

}  // namespace vantry::console
