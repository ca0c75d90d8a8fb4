#pragma once

#include <QFutureWatcher>
#include <QWidget>
#include <atomic>
#include <memory>
#include <optional>

#include "chart_builder.h"
#include "chart_counts.h"

class QChartView;
class QLabel;
class QPushButton;
class QTabWidget;

namespace vantry::console {
class DesktopServices;
}

namespace vantry::analyser {

/// The analysis window's charts of a log: the counting runs in a worker
/// thread, so the window answers while a log of millions of lines is read.
class ChartsWindow : public QWidget {
  Q_OBJECT

 public:
  explicit ChartsWindow(console::DesktopServices& services, QWidget* parent = nullptr);
  ~ChartsWindow() override;

  /// Counts `log_path` anew (a count still running is abandoned).
  void ShowLog(const QString& log_path);
  /// True while a log is being counted.
  bool counting() const { return watcher_.isRunning(); }
  /// The counts on show; nullopt before the first count ends or when it failed.
  const std::optional<ChartCounts>& counts() const { return counts_; }
  ChartKind current_kind() const;

 signals:
  /// A count ended and the charts show it (or say why not).
  void Counted();

 private:
  void CountFinished();
  void SaveCurrent();
  void Cancel();

  console::DesktopServices& services_;
  QTabWidget* tabs_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* cmdSaveChart_ = nullptr;
  std::vector<QChartView*> views_;
  std::optional<ChartCounts> counts_;
  QString log_path_;
  std::shared_ptr<std::atomic<bool>> cancel_;
  QFutureWatcher<std::optional<ChartCounts>> watcher_;
};

}  // namespace vantry::analyser
