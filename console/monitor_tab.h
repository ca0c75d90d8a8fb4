#pragma once

#include <QWidget>
#include <optional>
#include <string_view>

#include "mod_slot_out.h"
#include "report_line.h"

class QTreeWidget;

namespace vantry::console {

/// The Server Activity tab: one row per gateway socket slot (lvData).
class MonitorTab : public QWidget {
  Q_OBJECT

 public:
  /// Upper bound of rows a monitor message may ask for: the most slots a
  /// gateway serves. A count beyond it is hostile.
  static constexpr int kMaxSocketRows = kMaxSlotCount;

  explicit MonitorTab(QWidget* parent = nullptr);

  /// Rebuilds the table with `count` rows (leading-number rule), all "Closed".
  void InitSocketRows(std::string_view count);
  /// Empties the table (the gateway shut down).
  void Clear();
  /// Writes an ok, bl, wait or closed report (`keyword` lower-cased) into its
  /// slot's row and returns the status text "Socket N ...", or nothing when
  /// the slot has no row.
  std::optional<QString> ShowSlotReport(const QString& keyword, const MonitorFields& f);

 private:
  QTreeWidget* lvData_ = nullptr;
};

}  // namespace vantry::console
