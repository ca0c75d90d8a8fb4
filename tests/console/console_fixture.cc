#include "console_fixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <cstdlib>
#include <filesystem>

#include "gateway_config.h"

namespace vantry::console::testing {

ConsoleFixture::ConsoleFixture() {
  program_folder_ = dir_.File("program");
  std::filesystem::create_directories(program_folder_);
  setenv("VANTRY_REGISTRY", dir_.File("registry.reg").c_str(), 1);
  mailslot_ = vantry::testing::UniqueName("vantry-console-test");
  setenv("VANTRY_MAILSLOT", mailslot_.c_str(), 1);
}

ConsoleFixture::~ConsoleFixture() {
  window_.reset();
  unsetenv("VANTRY_MAILSLOT");
  unsetenv("VANTRY_REGISTRY");
}

void ConsoleFixture::WriteDefaultSettings() {
  std::string error;
  ASSERT_TRUE(vantry::WriteDefaults(program_folder_, &error)) << error;
}

FrmMain& ConsoleFixture::NewWindow() {
  FrmMainOptions options;
  options.program_folder = program_folder_;
  options.end_program = [this] { ++end_program_calls_; };
  options.restart_pause_ms = restart_pause_ms_;
  window_ = std::make_unique<FrmMain>(services_, options);
  return *window_;
}

FrmMain& ConsoleFixture::LoadedWindow() {
  NewWindow();
  window_->Load();
  window_->show();
  return *window_;
}

QStringList ConsoleFixture::ListItems(const char* name) {
  QStringList items;
  auto* list = Find<QListWidget>(name);
  for (int i = 0; list && i < list->count(); ++i) items << list->item(i)->text();
  return items;
}

void ConsoleFixture::Type(const char* name, const QString& text) {
  auto* edit = Find<QLineEdit>(name);
  if (edit) edit->setText(text);
}

void ConsoleFixture::Click(const char* name) {
  auto* button = Find<QAbstractButton>(name);
  if (button) button->click();
}

void ConsoleFixture::Trigger(const char* action_name) {
  auto* action = Find<QAction>(action_name);
  if (action) action->trigger();
}

bool ConsoleFixture::WaitFor(const std::function<bool()>& condition, int timeout_ms) {
  return QTest::qWaitFor(condition, timeout_ms);
}

}  // namespace vantry::console::testing
