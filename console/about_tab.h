#pragma once

#include <QWidget>

namespace vantry::console {

/// The About tab: product name, line and a one-sentence description.
class AboutTab : public QWidget {
  Q_OBJECT

 public:
  explicit AboutTab(QWidget* parent = nullptr);
};

}  // namespace vantry::console
