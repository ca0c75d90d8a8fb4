#include "frm_splash.h"

#include <QCoreApplication>
#include <QLabel>
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
    tmr_->setInterval(1000);
    if (show_main_) show_main_();
    return;
  }
  tmr_->stop();
  close();
}

}  // namespace vantry::console
