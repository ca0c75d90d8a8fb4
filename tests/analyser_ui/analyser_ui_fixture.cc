#include "analyser_ui_fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

namespace vantry::console::testing {

AnalyserUiFixture::AnalyserUiFixture()
    : program_folder_(dir_.path() / "program"), console_folder_(dir_.path() / "console") {
  std::filesystem::create_directories(program_folder_);
  std::filesystem::create_directories(console_folder_);
}

AnalyserUiFixture::~AnalyserUiFixture() {
  if (window_) window_->close();
  window_.reset();
}

FrmLogA& AnalyserUiFixture::NewWindow() {
  FrmLogAOptions options;
  options.program_folder = QString::fromStdString(program_folder_.string());
  options.console_folder = QString::fromStdString(console_folder_.string());
  options.monitor_stop = [this] { monitor_calls_.push_back("stop"); };
  options.monitor_start = [this] { monitor_calls_.push_back("start"); };
  window_ = std::make_unique<FrmLogA>(services_, params_, options);
  window_->show();
  return *window_;
}

QString AnalyserUiFixture::WriteLog(const char* name, const std::vector<std::string>& lines) {
  std::filesystem::path file = dir_.path() / name;
  vantry::testing::WriteFileText(file, CrLf(lines));
  return QString::fromStdString(file.string());
}

void AnalyserUiFixture::Import(const QString& log_path) {
  services_.file_names.push_back(log_path);
  Click("cmdOpen");
  ASSERT_TRUE(WaitFor([&] { return !window_->importing(); })) << "import did not end";
}

void AnalyserUiFixture::Click(const char* name) {
  auto* button = Find<QAbstractButton>(name);
  ASSERT_NE(button, nullptr);
  ASSERT_TRUE(button->isEnabled()) << name << " is disabled";
  button->click();
}

QString AnalyserUiFixture::WithModal(const std::function<void()>& open,
                                     const std::function<void(QWidget*)>& act) {
  QString name;
  bool acted = false;
  // Polls from inside the dialog's own event loop; a dialog that never comes
  // up fails the test instead of hanging it.
  std::function<void()> poll;
  QElapsedTimer clock;
  clock.start();
  poll = [&] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      name = modal->objectName();
      acted = true;
      act(modal);
      return;
    }
    if (clock.elapsed() < 5000) QTimer::singleShot(10, poll);
  };
  QTimer::singleShot(0, poll);
  open();
  EXPECT_TRUE(acted) << "no modal dialog came up";
  return name;
}

bool AnalyserUiFixture::WaitFor(const std::function<bool()>& condition, int timeout_ms) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > timeout_ms) return false;
    QTest::qWait(5);
  }
  return true;
}

QStringList AnalyserUiFixture::MessageTexts() const {
  QStringList texts;
  for (const auto& m : services_.messages) texts << m.title + "|" + m.text;
  return texts;
}

}  // namespace vantry::console::testing
