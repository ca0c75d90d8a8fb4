#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "console_config.h"
#include "desktop_services.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace vantry::console {

/// The BLDNS/Redirect tab: the zone list with its order, the gateway's
/// incoming port, the SMTP redirect target and the socket count.
class RedirectTab : public QWidget {
  Q_OBJECT

 public:
  explicit RedirectTab(DesktopServices& services, QWidget* parent = nullptr);

  /// Offers the counts 100 ... 5000. The first becomes the edit text, which
  /// is an edit: call it once the window listens to Changed.
  void FillSocketCounts();
  /// Copies the loaded values into the controls.
  void Show(const ConsoleConfig& config);
  /// Copies the (corrected) controls back into `config`.
  void CopyTo(ConsoleConfig& config) const;
  void FillZones(const std::vector<std::string>& zones, bool unread);
  std::vector<std::string> Zones() const;

  // Server Configuration menu targets.
  void FocusNewZone();
  void FocusSMTPServer();
  void FocusSockets();

  // The controls ApplyConfig checks and corrects.
  QListWidget* lbRBLDNS() const { return lbRBLDNS_; }
  QLineEdit* txtLocalPort() const { return txtLocalPort_; }
  QLineEdit* txtSMTPServer() const { return txtSMTPServer_; }
  QLineEdit* txtSMTPPort() const { return txtSMTPPort_; }
  QComboBox* txtSocks() const { return txtSocks_; }

 signals:
  /// A setting or list entry was edited.
  void Changed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void TxtSocksChange();
  void TxtSMTPPortLostFocus();
  void MoveZone(int step);

  DesktopServices& services_;
  QLineEdit* txtNewRBL_ = nullptr;
  QListWidget* lbRBLDNS_ = nullptr;
  QPushButton* cmdAddRBL_ = nullptr;
  QPushButton* cmdDelRBL_ = nullptr;
  QPushButton* cmdUpDB_ = nullptr;
  QPushButton* cmdDownDB_ = nullptr;
  QLineEdit* txtLocalPort_ = nullptr;
  QLineEdit* txtSMTPServer_ = nullptr;
  QLineEdit* txtSMTPPort_ = nullptr;
  QComboBox* txtSocks_ = nullptr;
};

}  // namespace vantry::console
