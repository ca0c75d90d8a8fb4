#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <ostream>

#include "analyser_fixture.h"
#include "scripted_desktop_services.h"

/// Readable QString values in GoogleTest failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace vantry::console::testing {

using analyser::testing::CrLf;
using analyser::testing::LogLine;

/// The control of that name inside a window or dialog; fails the test when missing.
template <typename T>
T* Child(QWidget* root, const char* name) {
  T* found = root->findChild<T*>(name);
  EXPECT_NE(found, nullptr) << name;
  return found;
}
/// Replaces a line edit's text with key presses, as a person types it.
inline void Type(QWidget* root, const char* name, const QString& text) {
  auto* box = Child<QLineEdit>(root, name);
  box->clear();
  QTest::keyClicks(box, text);
}
/// Clicks a button that must be enabled.
inline void Press(QWidget* root, const char* name) {
  auto* button = Child<QAbstractButton>(root, name);
  ASSERT_TRUE(button && button->isEnabled()) << name << " is disabled";
  button->click();
}
/// The text of the only message shown since the last clear, which has this icon.
inline QString OnlyMessage(const ScriptedDesktopServices& services, QMessageBox::Icon icon) {
  EXPECT_EQ(services.messages.size(), 1);
  if (services.messages.isEmpty()) return {};
  EXPECT_EQ(services.messages[0].icon, icon);
  return services.messages[0].text;
}
/// Selects a number in a report dialog's limit list.
inline void SelectNumber(QWidget* dialog, int number) {
  auto* list = Child<QListView>(dialog, "lbMax");
  list->selectionModel()->setCurrentIndex(list->model()->index(number - 1, 0),
                                          QItemSelectionModel::ClearAndSelect);
}

}  // namespace vantry::console::testing
