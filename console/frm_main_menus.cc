// The window's menus and its four tabs, and the wiring between them: menu
// entries that act on a tab's controls, and the marks that follow its boxes.
#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QTabWidget>

#include "about_tab.h"
#include "advanced_tab.h"
#include "blocking_tab.h"
#include "frm_main.h"
#include "redirect_tab.h"

namespace vantry::console {
namespace {

enum TabIndex { kActivityTab, kRedirectTab, kBlockingTab, kAdvancedTab, kAboutTab };

}  // namespace

QAction* FrmMain::NewAction(const char* name, const QString& caption, const QKeySequence& shortcut,
                            bool checkable) {
  auto* action = new QAction(caption, this);
  action->setObjectName(name);
  action->setShortcut(shortcut);
  action->setCheckable(checkable);
  return action;
}

void FrmMain::CreateActions() {
  mnuFileOpenLog_ = NewAction("mnuFileOpenLog", "&Open Log File", QKeySequence("Ctrl+O"));
  connect(mnuFileOpenLog_, &QAction::triggered, this, &FrmMain::FileOpenLog);
  mnuFileLogAnalyze_ = NewAction("mnuFileLogAnalyze", "Log &Analyzer", QKeySequence("Ctrl+A"));
  connect(mnuFileLogAnalyze_, &QAction::triggered, this, &FrmMain::FileLogAnalyze);
  mnuFilePrintLog_ = NewAction("mnuFilePrintLog", "&Print Log", QKeySequence("Ctrl+P"));
  connect(mnuFilePrintLog_, &QAction::triggered, this, &FrmMain::FilePrintLog);
  mnuFileExit_ = NewAction("mnuFileExit", "E&xit", QKeySequence("Ctrl+Q"));
  connect(mnuFileExit_, &QAction::triggered, this, &FrmMain::FileExit);

  mnuMonitorStop_ =
      NewAction("mnuMonitorStop", "Stop Real Time Watching", QKeySequence("F11"), true);
  connect(mnuMonitorStop_, &QAction::triggered, this, &FrmMain::MonitorStop);
  mnuMonitorStart_ =
      NewAction("mnuMonitorStart", "Start Real Time Watching", QKeySequence("F12"), true);
  mnuMonitorStart_->setChecked(true);
  connect(mnuMonitorStart_, &QAction::triggered, this, &FrmMain::MonitorStart);
  mnuMonitorSelectServer_ = NewAction("mnuMonitorSelectServer", "Select Server");
  mnuMonitorSelectServer_->setEnabled(false);

  mnuServerConfigShowActivity_ = NewAction("mnuServerConfigShowActivity", "Show Activity");
  connect(mnuServerConfigShowActivity_, &QAction::triggered, this,
          [this] { ShowTab(kActivityTab); });
  mnuServerConfigBLDB_ = NewAction("mnuServerConfigBLDB", "Blacklist Databases");
  mnuServerConfigSMTP_ = NewAction("mnuServerConfigSMTP", "SMTP Redirect");
  mnuServerConfigMaxSocks_ = NewAction("mnuServerConfigMaxSocks", "Maximum Sockets Usage");
  mnuServerConfigExceptions_ = NewAction("mnuServerConfigExceptions", "Connection Exceptions");
  mnuServerConfigManualBlock_ = NewAction("mnuServerConfigManualBlock", "Manual Blocking");
  mnuServerConfigBlockMsgsNoMsg_ =
      NewAction("mnuServerConfigBlockMsgsNoMsg", "Do not use messages");
  mnuServerConfigBlockMsgsUseMsgs_ =
      NewAction("mnuServerConfigBlockMsgsUseMsgs", "Use Blocking Messages");
  mnuServerConfigBlockTypesAll_ =
      NewAction("mnuServerConfigBlockTypesAll", "Block All Types", {}, true);
  for (int type = 2; type <= 9; ++type) {
    std::string name = "mnuServerConfigBlockTypes" + std::to_string(type);
    mnuServerConfigBlockTypes_[type - 2] =
        NewAction(name.c_str(), QString("Type %1").arg(type), {}, true);
  }
  mnuServerConfigLogAll_ = NewAction("mnuServerConfigLogAll", "Log All");
  mnuServerConfigLogSuccess_ =
      NewAction("mnuServerConfigLogSuccess", "Log Successful Connections", {}, true);
  mnuServerConfigLogBlacklist_ =
      NewAction("mnuServerConfigLogBlacklist", "Log Blacklisted Attempts", {}, true);
  mnuServerConfigRestart_ =
      NewAction("mnuServerConfigRestart", "Restart Vantry Service", QKeySequence("Ctrl+R"));
  connect(mnuServerConfigRestart_, &QAction::triggered, this, &FrmMain::RestartService);
  mnuServerConfigSaveSettings_ = NewAction("mnuServerConfigSaveSettings",
                                           "Save Configuration Changes", QKeySequence("Ctrl+S"));
  connect(mnuServerConfigSaveSettings_, &QAction::triggered, this, [this] { ApplyConfig(); });

  mnuHelpContents_ = NewAction("mnuHelpContents", "&Contents", QKeySequence("F1"));
  connect(mnuHelpContents_, &QAction::triggered, this, &FrmMain::HelpContents);
  mnuHelpKorvane_ = NewAction("mnuHelpKorvane", "Vantry on the &Web", QKeySequence("F9"));
  connect(mnuHelpKorvane_, &QAction::triggered, this, &FrmMain::HelpMakerPage);
  mnuHelpAbout_ = NewAction("mnuHelpAbout", "About Vantry");
  connect(mnuHelpAbout_, &QAction::triggered, this, [this] { ShowTab(kAboutTab); });
}

void FrmMain::CreateMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("mnuFile");
  file->addAction(mnuFileOpenLog_);
  file->addAction(mnuFileLogAnalyze_);
  file->addSeparator();
  file->addAction(mnuFilePrintLog_);
  file->addSeparator();
  file->addAction(mnuFileExit_);

  QMenu* monitor = menuBar()->addMenu("Monitor");
  monitor->setObjectName("mnuMonitor");
  monitor->addAction(mnuMonitorStop_);
  monitor->addAction(mnuMonitorStart_);
  monitor->addSeparator();
  monitor->addAction(mnuMonitorSelectServer_);

  QMenu* config = menuBar()->addMenu("Server Configuration");
  config->setObjectName("mnuServerConfig");
  config->addAction(mnuServerConfigShowActivity_);
  config->addSeparator();
  config->addAction(mnuServerConfigBLDB_);
  config->addAction(mnuServerConfigSMTP_);
  config->addAction(mnuServerConfigMaxSocks_);
  config->addSeparator();
  config->addAction(mnuServerConfigExceptions_);
  config->addAction(mnuServerConfigManualBlock_);
  QMenu* msgs = config->addMenu("Blocking Messages");
  msgs->setObjectName("mnuServerConfigBlockMsgs");
  msgs->addAction(mnuServerConfigBlockMsgsNoMsg_);
  msgs->addAction(mnuServerConfigBlockMsgsUseMsgs_);
  QMenu* types = config->addMenu("Blocking Types");
  types->setObjectName("mnuServerConfigBlockTypes");
  types->addAction(mnuServerConfigBlockTypesAll_);
  types->addSeparator();
  for (QAction* action : mnuServerConfigBlockTypes_) types->addAction(action);
  QMenu* log = config->addMenu("Logging Options");
  log->setObjectName("mnuServerConfigLog");
  log->addAction(mnuServerConfigLogAll_);
  log->addSeparator();
  log->addAction(mnuServerConfigLogSuccess_);
  log->addAction(mnuServerConfigLogBlacklist_);
  config->addSeparator();
  config->addAction(mnuServerConfigRestart_);
  config->addSeparator();
  config->addAction(mnuServerConfigSaveSettings_);

  QMenu* help = menuBar()->addMenu("Help");
  help->setObjectName("mnuHelp");
  help->addAction(mnuHelpContents_);
  help->addSeparator();
  help->addAction(mnuHelpKorvane_);
  help->addSeparator();
  help->addAction(mnuHelpAbout_);
}

void FrmMain::CreateTabs() {
  tabMon_ = new QTabWidget(this);
  tabMon_->setObjectName("tabMon");
  monitor_tab_ = new MonitorTab;
  tabMon_->addTab(monitor_tab_, "Server Activity");
  redirect_tab_ = new RedirectTab(services_);
  tabMon_->addTab(redirect_tab_, "BLDNS/Redirect");
  blocking_tab_ = new BlockingTab;
  tabMon_->addTab(blocking_tab_, "Blocking/Exceptions");
  advanced_tab_ = new AdvancedTab;
  tabMon_->addTab(advanced_tab_, "Advanced");
  tabMon_->addTab(new AboutTab, "About Dask Vantry");
  setCentralWidget(tabMon_);
}

void FrmMain::ShowTab(int index) const { tabMon_->setCurrentIndex(index); }

void FrmMain::ConnectTabs() {
  connect(redirect_tab_, &RedirectTab::Changed, this, &FrmMain::MarkChanged);
  connect(redirect_tab_->txtLocalPort(), &QLineEdit::textChanged, this,
          [this](const QString& text) { config_.LocalPort = text.toStdString(); });
  connect(blocking_tab_, &BlockingTab::Changed, this, &FrmMain::MarkChanged);
  connect(advanced_tab_, &AdvancedTab::Changed, this, &FrmMain::MarkChanged);
  connect(blocking_tab_, &BlockingTab::BlockTypeMarked, this,
          [this](int type, bool on) { mnuServerConfigBlockTypes_[type - 2]->setChecked(on); });
  connect(blocking_tab_, &BlockingTab::LoggingMarked, this,
          [this](bool successes, bool blacklisted) {
            mnuServerConfigLogSuccess_->setChecked(successes);
            mnuServerConfigLogBlacklist_->setChecked(blacklisted);
          });

  connect(mnuServerConfigBLDB_, &QAction::triggered, this, [this] {
    ShowTab(kRedirectTab);
    redirect_tab_->FocusNewZone();
  });
  connect(mnuServerConfigSMTP_, &QAction::triggered, this, [this] {
    ShowTab(kRedirectTab);
    redirect_tab_->FocusSMTPServer();
  });
  connect(mnuServerConfigMaxSocks_, &QAction::triggered, this, [this] {
    ShowTab(kRedirectTab);
    redirect_tab_->FocusSockets();
  });
  connect(mnuServerConfigExceptions_, &QAction::triggered, this, [this] {
    ShowTab(kBlockingTab);
    blocking_tab_->FocusExceptions();
  });
  connect(mnuServerConfigManualBlock_, &QAction::triggered, this, [this] {
    ShowTab(kBlockingTab);
    blocking_tab_->FocusManualBlock();
  });
  connect(mnuServerConfigBlockMsgsNoMsg_, &QAction::triggered, blocking_tab_,
          &BlockingTab::MenuNoMessage);
  connect(mnuServerConfigBlockMsgsUseMsgs_, &QAction::triggered, blocking_tab_,
          &BlockingTab::MenuUseMessage);
  connect(mnuServerConfigBlockTypesAll_, &QAction::triggered, this, [this] {
    mnuServerConfigBlockTypesAll_->setChecked(true);  // only ever checked
    blocking_tab_->MenuBlockAll();
  });
  for (int type = 2; type <= 9; ++type) {
    connect(mnuServerConfigBlockTypes_[type - 2], &QAction::triggered, this,
            [this, type](bool checked) { blocking_tab_->MenuBlockType(type, checked); });
  }
  connect(mnuServerConfigLogAll_, &QAction::triggered, blocking_tab_, &BlockingTab::MenuLogAll);
  connect(mnuServerConfigLogSuccess_, &QAction::triggered, blocking_tab_,
          &BlockingTab::MenuLogSuccess);
  connect(mnuServerConfigLogBlacklist_, &QAction::triggered, blocking_tab_,
          &BlockingTab::MenuLogBlacklist);

  // Last: the window now hears the edit the first count makes.
  redirect_tab_->FillSocketCounts();
}

}  // namespace vantry::console
