#pragma once

#include <QString>
#include <string>
#include <vector>

class QLineEdit;
class QListWidget;

namespace vantry::console {

/// The editor's three lists differ in how they take an entry: the zone list
/// keeps the order the user gave (zones are asked in turn), the two address
/// lists stay sorted, and the manual list compares the text as typed.
enum class ListKind { kZones, kExceptions, kManual };

/// Inserts `text` where a case-insensitive order puts it (case-sensitive among equals).
void InsertSorted(QListWidget* list, const QString& text);

/// The Add button: moves the trimmed text of `text_box` into `list` unless it
/// is empty or already there. True when the list changed.
bool AddListEntry(ListKind kind, QLineEdit* text_box, QListWidget* list);

/// The Delete button: the selected entry goes back into `text_box`, selected,
/// for a quick correction. True when the list changed.
bool DeleteListEntry(QLineEdit* text_box, QListWidget* list);

/// The entries of `list`, top to bottom.
std::vector<std::string> ListEntries(const QListWidget* list);

}  // namespace vantry::console
