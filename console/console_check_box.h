#pragma once

#include <QCheckBox>

namespace vantry::console {

/// A check box whose third state is set only by code: the All commands set it
/// to mean "on by All", drawn as checked (a half-checked box reads as "partly
/// on"); a user's click on such a box or a checked one turns it off, on an
/// unchecked box turns it on.
class ConsoleCheckBox : public QCheckBox {
  Q_OBJECT

 public:
  explicit ConsoleCheckBox(const QString& text, QWidget* parent = nullptr);

  /// The state as the editor stores it: 0 off, 1 on, 2 grayed.
  int Value() const;
  /// Sets 0, 1 or 2; a change raises the same handler as a click.
  void SetValue(int value);

 protected:
  void nextCheckState() override;
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace vantry::console
