#pragma once

#include <QString>
#include <initializer_list>

class QLabel;
class QWidget;

namespace vantry::console {

/// Gives a new control its system name and hands it back.
template <typename W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

/// A wrapped italic hint under a group of controls.
QLabel* Note(const QString& text);

/// Disables the controls of a list whose file could not be read at load: the
/// save leaves that file alone, so whatever the user typed would be lost.
void LockUnreadList(bool unread, std::initializer_list<QWidget*> controls);

}  // namespace vantry::console
