#pragma once

#include <QMainWindow>
#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "console_config.h"
#include "desktop_services.h"
#include "monitor_channel.h"
#include "monitor_tab.h"

class QAction;
class QLabel;
class QTabWidget;
class QTimer;

namespace vantry::console {

class AdvancedTab;
class BlockingTab;
class RedirectTab;

/// Where the console finds its files and how it ends.
struct FrmMainOptions {
  /// The console program's folder: PathEXE of the defaults it offers to write,
  /// and home of help/index.htm.
  std::string program_folder;
  /// Ends the program at once (File > Exit). Default: QCoreApplication::exit(0).
  std::function<void()> end_program;
  /// Pause between stopping and starting the service.
  int restart_pause_ms = 5000;
  /// Bound of the monitor channel's in-memory queue.
  std::size_t max_queued_bytes = MonitorChannel::kDefaultMaxQueuedBytes;
};

/// The console's main window: the four tabs (each a widget of its own that
/// owns its controls), the menus, the status bar, the monitor channel and its
/// poll timer, and the configuration copy the editor tabs show and save.
/// Controls and menu entries carry their system names as objectName.
class FrmMain : public QMainWindow {
  Q_OBJECT

 public:
  /// The maker's page (Help menu).
  static constexpr std::string_view kMakerPage = "https://www.vantry.example/";
  /// Upper bound of rows a monitor message may ask for; a count beyond it is hostile.
  static constexpr int kMaxSocketRows = MonitorTab::kMaxSocketRows;

  FrmMain(DesktopServices& services, FrmMainOptions options, QWidget* parent = nullptr);
  ~FrmMain() override;

  /// Start-up: loads the configuration, shows it, opens the monitor channel
  /// (or enters channel-less mode with its message), clears ConfigChanged.
  /// `unload_splash` is called where the splash window goes away.
  void Load(const std::function<void()>& unload_splash = {});

  /// Stop Real Time Watching: polling and the Save entry's timer stop.
  void MonitorStop();
  /// Start Real Time Watching: first poll after 250 ms, Save entry timer on.
  void MonitorStart();

  /// Checks and corrects the controls (one summary message), copies them back
  /// and saves. False, with a critical message, when the save failed; then
  /// ConfigChanged stays set.
  bool ApplyConfig();
  /// Copies the loaded configuration into the controls.
  void ShowConfig();

  /// What File > Log Analyzer does; the log analyser plugs its window in here.
  /// Without one the entry says that no analyser is available.
  void SetLogAnalyzerOpener(std::function<void()> opener) {
    log_analyzer_opener_ = std::move(opener);
  }

  /// The services every window of the console uses for dialogs and the shell.
  DesktopServices& services() { return services_; }
  /// The configuration as loaded or last saved.
  const ConsoleConfig& config() const { return config_; }
  /// The folder of the list files and vantry.log (PathEXE).
  QString LogFolder() const;
  bool config_changed() const { return config_changed_; }
  /// Text of status bar panel 1 ... 5.
  QString PanelText(int panel) const;
  /// True while real-time watching is on.
  bool watching() const { return watching_; }
  /// Monitor messages interpreted since start (benchmarks and tests).
  std::size_t monitor_messages_shown() const { return monitor_messages_shown_; }
  MonitorChannel& channel() { return *channel_; }

  /// One poll: reads the channel and shows every complete message.
  void TmrTick();
  /// Interprets the first message of `buffer` (which begins with "+++") and removes it.
  void ShowMonitorMessage(std::string_view& buffer);
  /// Rebuilds the socket table with `count` rows (leading-number rule).
  void InitSocketRows(std::string_view count);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Construction, in named steps (menus and tabs: frm_main_menus.cc).
  void CreateActions();
  void CreateMenus();
  void CreateStatusBar();
  void CreateTabs();
  void ConnectTabs();
  QAction* NewAction(const char* name, const QString& caption, const QKeySequence& shortcut = {},
                     bool checkable = false);
  void ShowTab(int index) const;

  // Menu commands of the frame.
  void FileOpenLog();
  void FileLogAnalyze();
  void FilePrintLog();
  void FileExit();
  void RestartService();
  void FinishRestart();
  /// Runs "systemctl <verb> <unit>"; `next` follows a zero exit status, a
  /// message box and the status bar any other.
  void RunSystemctl(const QString& verb, std::function<void()> next);
  void RestartFailed(const QString& verb, const DesktopServices::ProgramResult& result);
  void EndRestart();
  /// Says in a message box that `what` could not be opened, and why.
  void OpenFailed(const QString& what, const QString& why);
  void HelpContents();
  void HelpMakerPage();
  void TmrConfigTick();
  void UpdateClock();
  void SetPanel(int panel, const QString& text);

  // Configuration (frm_main_config.cc).
  /// An edit: the save entry is enabled at once, so a save right after it keeps it.
  void MarkChanged();
  /// The settings file is missing: offers the gateway's defaults. True when they were written.
  bool OfferDefaults();
  /// Checks the editor's controls and corrects what cannot be saved; returns
  /// the summary of the corrections, empty when there were none.
  QString CorrectControls();
  void FillLists(const ConsoleLists& lists);
  ConsoleLists CollectLists() const;

  // Monitor (frm_main_monitor.cc).
  void ConnectedCheck();
  static QString NowText();

  DesktopServices& services_;
  FrmMainOptions options_;
  ConsoleConfig config_;
  UnreadLists unread_lists_;  // lists whose file could not be read at load
  bool config_changed_ = false;
  bool watching_ = false;
  bool ticking_ = false;  // a poll tick is running
  bool channel_less_ = false;
  bool exiting_now_ = false;
  bool restarting_ = false;
  QString restart_unit_;
  std::size_t monitor_messages_shown_ = 0;
  std::function<void()> log_analyzer_opener_;
  std::unique_ptr<MonitorChannel> channel_;

  QTimer* tmr_ = nullptr;
  QTimer* tmrConfig_ = nullptr;
  QTimer* clock_ = nullptr;
  QTimer* restart_timer_ = nullptr;

  QTabWidget* tabMon_ = nullptr;
  MonitorTab* monitor_tab_ = nullptr;
  RedirectTab* redirect_tab_ = nullptr;
  BlockingTab* blocking_tab_ = nullptr;
  AdvancedTab* advanced_tab_ = nullptr;
  std::array<QLabel*, 5> panels_{};

  QAction* mnuFileOpenLog_ = nullptr;
  QAction* mnuFileLogAnalyze_ = nullptr;
  QAction* mnuFilePrintLog_ = nullptr;
  QAction* mnuFileExit_ = nullptr;
  QAction* mnuMonitorStop_ = nullptr;
  QAction* mnuMonitorStart_ = nullptr;
  QAction* mnuMonitorSelectServer_ = nullptr;
  QAction* mnuServerConfigShowActivity_ = nullptr;
  QAction* mnuServerConfigBLDB_ = nullptr;
  QAction* mnuServerConfigSMTP_ = nullptr;
  QAction* mnuServerConfigMaxSocks_ = nullptr;
  QAction* mnuServerConfigExceptions_ = nullptr;
  QAction* mnuServerConfigManualBlock_ = nullptr;
  QAction* mnuServerConfigBlockMsgsNoMsg_ = nullptr;
  QAction* mnuServerConfigBlockMsgsUseMsgs_ = nullptr;
  QAction* mnuServerConfigBlockTypesAll_ = nullptr;
  std::array<QAction*, 8> mnuServerConfigBlockTypes_{};
  QAction* mnuServerConfigLogAll_ = nullptr;
  QAction* mnuServerConfigLogSuccess_ = nullptr;
  QAction* mnuServerConfigLogBlacklist_ = nullptr;
  QAction* mnuServerConfigRestart_ = nullptr;
  QAction* mnuServerConfigSaveSettings_ = nullptr;
  QAction* mnuHelpContents_ = nullptr;
  QAction* mnuHelpKorvane_ = nullptr;
  QAction* mnuHelpAbout_ = nullptr;
};

}  // namespace vantry::console
