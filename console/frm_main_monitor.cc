// The real-time monitor: the poll tick and message interpretation; the
// socket table itself is the monitor tab's.
#include <QCoreApplication>
#include <QDate>
#include <QLocale>
#include <QTime>
#include <QTimer>
#include <cstdint>
#include <string>

#include "console_number.h"
#include "frm_main.h"
#include "report_line.h"

namespace vantry::console {
namespace {

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
  while (buffer.starts_with(kFrameStart)) {
    ShowMonitorMessage(buffer);
    // Menu commands and repaints may run between messages; the buffer is ours alone.
    QCoreApplication::processEvents();
  }
  ticking_ = false;
  // A Stop issued while the tick ran keeps watching off; a Start re-armed the timer already.
  if (watching_ && !tmr_->isActive()) tmr_->start(10);
}

void FrmMain::InitSocketRows(std::string_view count) { monitor_tab_->InitSocketRows(count); }

void FrmMain::ConnectedCheck() {
  if (PanelText(1).startsWith("Wait")) SetPanel(1, "Dask Vantry Connected at " + NowText());
}

void FrmMain::ShowMonitorMessage(std::string_view& buffer) {
  std::optional<MonitorFields> taken = TakeMonitorMessage(buffer);
  if (!taken) return;
  const MonitorFields& f = *taken;
  const int count = static_cast<int>(f.size());
  if (count < kActionField) return;
  ++monitor_messages_shown_;
  const QString keyword = Text(FrameField(f, kActionField)).toLower();

  if (keyword == "start") {
    monitor_tab_->InitSocketRows(
        std::to_string(std::int64_t{ConsoleWholeNumber(FrameField(f, kSlotLimitField))} + 1));
    SetPanel(1, "Dask Vantry Started at " + NowText());
    return;
  }
  if (keyword == "shut") {
    monitor_tab_->Clear();
    SetPanel(1, "Dask Vantry shutdown at " + NowText());
    return;
  }
  int needed = keyword == "ok" || keyword == "bl" || keyword == "wait" ? kTimeField
               : keyword == "closed"                                   ? kSlotField
                                                                       : -1;
  if (needed < 0 || count < needed) return;
  std::optional<QString> status = monitor_tab_->ShowSlotReport(keyword, f);
  if (!status) return;
  SetPanel(2, *status);
  ConnectedCheck();
}

}  // namespace vantry::console
