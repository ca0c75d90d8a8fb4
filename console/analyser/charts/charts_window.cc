#include "charts_window.h"

#include <QChart>
#include <QChartView>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "desktop_services.h"

namespace vantry::analyser {

ChartsWindow::ChartsWindow(console::DesktopServices& services, QWidget* parent)
    : QWidget(parent, Qt::Window), services_(services) {
  setObjectName("frmCharts");
  setWindowTitle("Vantry Log Charts");
  auto* layout = new QVBoxLayout(this);
  tabs_ = new QTabWidget;
  tabs_->setObjectName("tabCharts");
  const ChartCounts none;
  for (ChartKind kind : kChartKinds) {
    auto* view = new QChartView(BuildChart(kind, none).release());
    view->setObjectName("chart" + QString::fromUtf8(ChartKindName(kind).data()));
    view->setRenderHint(QPainter::Antialiasing);
    tabs_->addTab(view, ChartTitle(kind, none));
    views_.push_back(view);
  }
  layout->addWidget(tabs_, 1);
  auto* row = new QHBoxLayout;
  status_ = new QLabel("No log loaded.");
  status_->setObjectName("lblChartsStatus");
  cmdSaveChart_ = new QPushButton("Save Chart...");
  cmdSaveChart_->setObjectName("cmdSaveChart");
  cmdSaveChart_->setEnabled(false);
  row->addWidget(status_, 1);
  row->addWidget(cmdSaveChart_);
  layout->addLayout(row);
  connect(cmdSaveChart_, &QPushButton::clicked, this, &ChartsWindow::SaveCurrent);
  connect(&watcher_, &QFutureWatcher<std::optional<ChartCounts>>::finished, this,
          &ChartsWindow::CountFinished);
  resize(900, 560);
}

ChartsWindow::~ChartsWindow() {
  Cancel();
  watcher_.waitForFinished();
}

void ChartsWindow::Cancel() {
  if (cancel_) cancel_->store(true);
}

ChartKind ChartsWindow::current_kind() const { return kChartKinds[tabs_->currentIndex()]; }

void ChartsWindow::ShowLog(const QString& log_path) {
  Cancel();
  watcher_.waitForFinished();  // an abandoned count stops at its next block of lines
  log_path_ = log_path;
  cancel_ = std::make_shared<std::atomic<bool>>(false);
  cmdSaveChart_->setEnabled(false);
  status_->setText("Counting " + QFileInfo(log_path).fileName() + "...");
  watcher_.setFuture(QtConcurrent::run([path = log_path.toStdString(), cancel = cancel_] {
    return CountLogFile(path, cancel.get());
  }));
}

void ChartsWindow::CountFinished() {
  if (cancel_ && cancel_->load()) return;
  counts_ = watcher_.result();
  if (!counts_) {
    status_->setText("Cannot read " + log_path_ + ".");
    emit Counted();
    return;
  }
  for (std::size_t i = 0; i < views_.size(); ++i) {
    views_[i]->setChart(BuildChart(kChartKinds[i], *counts_).release());  // the old one is deleted
    tabs_->setTabText(static_cast<int>(i), ChartTitle(kChartKinds[i], *counts_));
  }
  status_->setText(QString("%1: %2 passed, %3 refused.")
                       .arg(QFileInfo(log_path_).fileName())
                       .arg(counts_->passed)
                       .arg(counts_->refused));
  cmdSaveChart_->setEnabled(true);
  emit Counted();
}

void ChartsWindow::SaveCurrent() {
  if (!counts_) return;
  const ChartKind kind = current_kind();
  const QString name = services_.GetSaveFileName(
      this, "Save Chart", QString::fromUtf8(ChartKindName(kind).data()) + ".png",
      "PNG image (*.png);;SVG drawing (*.svg)");
  if (name.isEmpty()) return;
  QString error;
  if (!SaveChart(kind, *counts_, name, &error)) {
    services_.ShowMessage(this, QMessageBox::Warning, "Vantry Log Charts",
                          "The chart was not saved: " + error, QMessageBox::Ok);
  }
}

}  // namespace vantry::analyser
