#pragma once

#include <QWidget>
#include <array>
#include <string>
#include <vector>

#include "console_config.h"

class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace vantry::console {

class ConsoleCheckBox;

/// The Blocking/Exceptions tab: the exception and manual block lists with
/// their switches, the blocking types, logging, the refusal message and the
/// IP checks. The Server Configuration menu mirrors its boxes: the tab says
/// what the marks must show and carries out the menu's commands.
class BlockingTab : public QWidget {
  Q_OBJECT

 public:
  explicit BlockingTab(QWidget* parent = nullptr);

  /// Copies the loaded values into the controls and runs every cascade once.
  void Show(const ConsoleConfig& config);
  /// Copies the (corrected) controls back into `config`.
  void CopyTo(ConsoleConfig& config) const;
  void FillLists(const ConsoleLists& lists);
  std::vector<std::string> Exceptions() const;
  std::vector<std::string> ManualBlocks() const;

  // Server Configuration menu commands.
  void FocusExceptions();
  void FocusManualBlock();
  void MenuNoMessage();
  void MenuUseMessage();
  /// `now_checked` is the entry's mark as Qt has already flipped it.
  void MenuBlockType(int type, bool now_checked);
  void MenuBlockAll();
  void MenuLogAll();
  void MenuLogSuccess(bool now_checked);
  void MenuLogBlacklist(bool now_checked);

  // The controls ApplyConfig checks and corrects.
  ConsoleCheckBox* chkUseExceptions() const { return chkUseExceptions_; }
  ConsoleCheckBox* chkUseManBlock() const { return chkUseManBlock_; }
  QListWidget* lbExcept() const { return lbExcept_; }
  QListWidget* lbManBlock() const { return lbManBlock_; }

 signals:
  /// A setting or list entry was edited.
  void Changed();
  /// The mark of Blocking Types > Type `type` must show `on`.
  void BlockTypeMarked(int type, bool on);
  /// The marks of Logging Options must show these states.
  void LoggingMarked(bool successes, bool blacklisted);

 private:
  void ChkUseExceptionsClick();
  void ChkUseManBlockClick();
  void ChkBlkClick(int type);
  void ChkBlkAllClick();
  void ChkLogClick();
  void OptBlockMsgClick();
  void MenuLogEntry(ConsoleCheckBox* box, bool now_checked);

  ConsoleCheckBox* chkUseExceptions_ = nullptr;
  QGroupBox* frExceptions_ = nullptr;
  QLineEdit* txtExclude_ = nullptr;
  QPushButton* cmdAddExclude_ = nullptr;
  QListWidget* lbExcept_ = nullptr;
  QPushButton* cmdDelExcept_ = nullptr;
  ConsoleCheckBox* chkUseManBlock_ = nullptr;
  QGroupBox* frManBLock_ = nullptr;
  QLineEdit* txtManBlock_ = nullptr;
  QPushButton* cmdAddManBlock_ = nullptr;
  QListWidget* lbManBlock_ = nullptr;
  QPushButton* cmdDelManBlock_ = nullptr;
  ConsoleCheckBox* chkBlkAll_ = nullptr;
  std::array<ConsoleCheckBox*, 8> chkBlk_{};
  ConsoleCheckBox* chkLogBL_ = nullptr;
  ConsoleCheckBox* chkLogOK_ = nullptr;
  std::array<QRadioButton*, 2> optBlockMsg_{};
  QLineEdit* txtBlockMsg_ = nullptr;
  ConsoleCheckBox* chkBlkAltIP_ = nullptr;
  ConsoleCheckBox* chkBlkNoRev_ = nullptr;
};

}  // namespace vantry::console
