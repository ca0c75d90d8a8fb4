#pragma once

#include <QWidget>
#include <utility>
#include <vector>

#include "console_config.h"

class QLineEdit;

namespace vantry::console {

struct AdvancedRow;

/// The Advanced tab: every setting the gateway (or the log analyser) reads
/// that no other tab shows, one box each, in the settings schema's order.
class AdvancedTab : public QWidget {
  Q_OBJECT

 public:
  explicit AdvancedTab(QWidget* parent = nullptr);

  void Show(const ConsoleConfig& config);
  /// Copies the (corrected) boxes back into `config`.
  void CopyTo(ConsoleConfig& config) const;
  /// Puts the default into every box whose text the gateway would not take;
  /// returns the save summary's lines for them, in the tab's order.
  QString Correct();

 signals:
  /// A value was edited.
  void Changed();

 private:
  struct Box {
    const AdvancedRow* row;
    QString default_text;
    QLineEdit* edit;
  };
  std::vector<Box> boxes_;
};

}  // namespace vantry::console
