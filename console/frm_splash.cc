#include "frm_splash.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

namespace vantry::console {

FrmSplash::FrmSplash(std::function<void()> show_main, int first_interval_ms, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint),
      show_main_(std::move(show_main)) {
  setObjectName("frmSplash");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(40, 30, 40, 30);
  lblProductName_ = new QLabel("Vantry", this);
  lblProductName_->setObjectName("lblProductName");
  QFont big = lblProductName_->font();
  big.setPointSize(big.pointSize() * 3);
  big.setBold(true);
  lblProductName_->setFont(big);
  lblVersion_ = new QLabel("Gateway Monitor - Version 1", this);
  lblVersion_->setObjectName("lblVersion");
  lblStat_ = new QLabel("Setting Service Information", this);
  lblStat_->setObjectName("lblStat");
  for (QLabel* label : {lblProductName_, lblVersion_, lblStat_}) {
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
  }
  setStyleSheet("QWidget#frmSplash { border: 2px solid palette(mid); }");
  tmr_ = new QTimer(this);
  tmr_->setObjectName("tmr");
  tmr_->setInterval(first_interval_ms);
  connect(tmr_, &QTimer::timeout, this, &FrmSplash::TmrTick);
  tmr_->start();
}

void FrmSplash::TmrTick() {
  ++ticks_;
  if (ticks_ == 1) {
    lblStat_->setText("Loading Configuration Data");
    QCoreApplication::processEvents();
    // Loading may open a message box, whose event loop runs while we wait in
    // here: the timer must not close the splash under it, and the splash may
    // be gone when it returns, so the callback is called from a copy.
    tmr_->stop();
    QPointer<FrmSplash> alive(this);
    const std::function<void()> show_main = show_main_;
    if (show_main) show_main();
    if (!alive) return;
    tmr_->setInterval(1000);
    tmr_->start();
    return;
  }
  tmr_->stop();
  close();
}

}  // namespace vantry::console
