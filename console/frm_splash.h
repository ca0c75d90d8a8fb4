#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QTimer;

namespace vantry::console {

/// The splash window. Its timer ticks twice: the first tick (after
/// `first_interval_ms`) says "Loading Configuration Data", lets the text
/// paint, shows the main window through `show_main` and re-arms at 1000 ms;
/// the next tick closes the splash.
class FrmSplash : public QWidget {
  Q_OBJECT

 public:
  FrmSplash(std::function<void()> show_main, int first_interval_ms = 3000,
            QWidget* parent = nullptr);

  /// Ticks seen so far.
  int ticks() const { return ticks_; }

 private:
  void TmrTick();

  std::function<void()> show_main_;
  QLabel* lblProductName_ = nullptr;
  QLabel* lblVersion_ = nullptr;
  QLabel* lblStat_ = nullptr;
  QTimer* tmr_ = nullptr;
  int ticks_ = 0;
};

}  // namespace vantry::console
