// The real-time monitor: the poll tick, message interpretation and the socket table.
#include <QCoreApplication>
#include <QDate>
#include <QLocale>
#include <QTime>
#include <QTimer>
#include <QTreeWidget>

#include "console_number.h"
#include "frm_main.h"
#include "monitor_frame.h"

namespace vantry::console {
namespace {

enum Column { kSocket, kAction, kIp, kHost, kReverseIp, kInformation, kDateTime };

QString Text(const std::string& s) { return QString::fromLocal8Bit(s.data(), qsizetype(s.size())); }

}  // namespace

QString FrmMain::NowText() {
  QLocale locale = QLocale::system();
  return locale.toString(QDate::currentDate(), QLocale::ShortFormat) + " - " +
         locale.toString(QTime::currentTime(), QLocale::LongFormat);
}

void FrmMain::TmrTick() {
  // The timer can fire again inside processEvents below (a Start re-arms it);
  // a nested tick would show newer frames that this one then overwrites with
  // older ones. The running tick polls again when it ends.
  if (ticking_) return;
  ticking_ = true;
  tmr_->stop();
  std::string received = channel_->SlotRead();
  AlignMonitorBuffer(received);
  std::string_view buffer = received;
  while (buffer.starts_with("+++")) {
    ShowMonitorMessage(buffer);
    // Menu commands and repaints may run between messages; the buffer is ours alone.
    QCoreApplication::processEvents();
  }
  ticking_ = false;
  // A Stop issued while the tick ran keeps watching off; a Start re-armed the timer already.
  if (watching_ && !tmr_->isActive()) tmr_->start(10);
}

void FrmMain::InitSocketRows(std::string_view count) {
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

void FrmMain::ConnectedCheck() {
  if (PanelText(1).startsWith("Wait")) SetPanel(1, "Dask Vantry Connected at " + NowText());
}

void FrmMain::ShowMonitorMessage(std::string_view& buffer) {
  std::optional<MonitorFields> taken = TakeMonitorMessage(buffer);
  if (!taken) return;
  const MonitorFields& f = *taken;
  const int count = static_cast<int>(f.size());
  if (count < 3) return;
  ++monitor_messages_shown_;
  const QString keyword = Text(f[2]).toLower();

  if (keyword == "start") {
    InitSocketRows(std::to_string(std::int64_t{ConsoleWholeNumber(f[0])} + 1));
    SetPanel(1, "Dask Vantry Started at " + NowText());
    return;
  }
  if (keyword == "shut") {
    lvData_->clear();
    SetPanel(1, "Dask Vantry shutdown at " + NowText());
    return;
  }
  int needed = keyword == "ok" || keyword == "bl" || keyword == "wait" ? 10
               : keyword == "closed"                                   ? 2
                                                                       : -1;
  if (needed < 0 || count < needed) return;

  // The gateway has slots 0 ... field 1, so the table needs field 1 + 1 rows;
  // one row fewer would wipe the whole table when the last slot reports.
  const std::int64_t size = std::int64_t{ConsoleWholeNumber(f[0])} + 1;
  if (lvData_->topLevelItemCount() == 0) InitSocketRows(std::to_string(size));
  const std::int64_t row = std::int64_t{ConsoleWholeNumber(f[1])} + 1;
  if (row > lvData_->topLevelItemCount()) InitSocketRows(std::to_string(size));
  if (row < 1 || row > lvData_->topLevelItemCount()) return;
  QTreeWidgetItem* item = lvData_->topLevelItem(static_cast<int>(row - 1));
  const QString date_time = count >= 10 ? Text(f[8]) + " - " + Text(f[9]) : QString();
  QString ending;
  if (keyword == "ok") {
    item->setText(kAction, "Ok");
    item->setText(kIp, Text(f[3]));
    item->setText(kHost, Text(f[5]));
    item->setText(kReverseIp, Text(f[4]));
    item->setText(kInformation, Text(f[7]));
    item->setText(kDateTime, date_time);
    ending = " connected";
  } else if (keyword == "bl") {
    item->setText(kAction, "BL");
    item->setText(kIp, Text(f[3]));
    item->setText(kHost, Text(f[5]));
    item->setText(kReverseIp, Text(f[4]));
    item->setText(kInformation, Text(f[6]) + " reported by " + Text(f[7]));
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
  SetPanel(2, QString("Socket %1%2").arg(row).arg(ending));
  ConnectedCheck();
}

}  // namespace vantry::console
