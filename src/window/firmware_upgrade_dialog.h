// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Firmware Upgrade": the target switch's address and MAC, the firmware file ("Browse"), the
// switch's password, the upgrade's state and progress, "Start" and "Cancel". The widgets show
// what the toolkit-free dialog logic (CFirmware_Upgrade) tells them and hand it the user's
// actions, the ticks of the dialog's timers and the readable TFTP socket.

#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSocketNotifier>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "window/qt_timer_host.h"
#include "operations/firmware_upgrade.h"

namespace sd::gui {

struct FirmwareUpgradeDialogWiring {
  // The target: entry `index` of the table the switch was chosen in.
  const DeviceTable& list;
  int index;
  IUpgradeNetwork& network;
  // The TFTP socket; nullptr for a UDP socket of the dialog's own, watched while it is open.
  ITftpTransport* transport = nullptr;
  IMessages& messages;
  IFileDialogs& file_dialogs;
  // Called when the transfer is complete, just before the dialog closes.
  std::function<void()> start_reboot_watch;
  FirmwareUpgradeSettings settings;
};

class FirmwareUpgradeDialog : public QDialog, public IFirmwareUpgradeView {
  Q_OBJECT

 public:
  // Everything in the wiring must outlive the dialog. The boxes are filled at once.
  explicit FirmwareUpgradeDialog(FirmwareUpgradeDialogWiring wiring, QWidget* parent = nullptr);
  ~FirmwareUpgradeDialog() override;

  void OnBrowse();
  // The typed password and path go to the dialog logic; the password box keeps its text.
  void OnStart();
  // The TFTP socket has a datagram to read.
  void OnTftpReadable();

  // The controls by their numbers: 1120 "Device Information", 1115 and 1060 Device IP, 1116 and
  // 1061 Device MAC, 1121 "Upgrade Setting", 1117 and 1045 Firmware Path, 1074 "Browse", 1118
  // and 1070 Password, 1119 and 1073 Upgrade State, 1015 "Start", 2 "Cancel", and the empty
  // panels 1094-1097, 1099-1102, 1105, 1106, 1124 and 1125.
  QWidget* Control(int id) const;
  QLineEdit* DeviceIp() const { return device_ip_; }
  QLineEdit* DeviceMac() const { return device_mac_; }
  QLineEdit* FirmwarePath() const { return firmware_path_; }
  QLineEdit* Password() const { return password_; }
  QLineEdit* UpgradeState() const { return upgrade_state_; }
  QPushButton* BrowseButton() const { return browse_; }
  QPushButton* StartButton() const { return start_; }
  QPushButton* CancelButton() const { return cancel_; }
  QGroupBox* DeviceInformation() const { return device_group_; }
  QGroupBox* UpgradeSetting() const { return setting_group_; }
  // The labelled rows of each group and of the dialog: a label in column 0 with its box beside it
  // in column 1 ("Browse" in column 2); in the groups the label column is one grey panel, the
  // labels joined by empty panels in the rows between them.
  QGridLayout* DeviceRows() const { return device_rows_; }
  QGridLayout* SettingRows() const { return setting_rows_; }
  QGridLayout* StateRow() const { return state_row_; }

  CFirmware_Upgrade& Logic() { return *logic_; }
  // How the dialog ended; nothing while it is open.
  std::optional<DialogEnd> Ended() const { return ended_; }

  // What the dialog logic shows.
  void ShowDeviceIp(std::string_view text) override;
  void ShowDeviceMac(std::string_view text) override;
  void ShowFirmwarePath(std::string_view text) override;
  void ShowUpgradeState(std::string_view text) override;
  void StartRebootWatch() override;
  void FocusRefusedField(UpgradeField field) override;
  void EndDialog(DialogEnd how) override;

 public slots:
  // "Cancel" and the close box (never Escape): the logic closes the transfer, the dialog ends.
  void reject() override;

 protected:
  // Enter and Escape press no button and do not close the dialog.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  template <typename W>
  W* Add(W* widget, int id);
  QLabel* Panel(int id);
  void WatchSocket(int fd);
  void UnwatchSocket();

  FirmwareUpgradeDialogWiring wiring_;
  std::map<int, QWidget*> controls_;
  QLineEdit* device_ip_ = nullptr;
  QLineEdit* device_mac_ = nullptr;
  QLineEdit* firmware_path_ = nullptr;
  QLineEdit* password_ = nullptr;
  QLineEdit* upgrade_state_ = nullptr;
  QPushButton* browse_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QGroupBox* device_group_ = nullptr;
  QGroupBox* setting_group_ = nullptr;
  QGridLayout* device_rows_ = nullptr;
  QGridLayout* setting_rows_ = nullptr;
  QGridLayout* state_row_ = nullptr;
  QPointer<QSocketNotifier> notifier_;
  std::unique_ptr<ITftpTransport> own_transport_;
  std::unique_ptr<QtTimerHost> timers_;
  std::unique_ptr<CFirmware_Upgrade> logic_;
  std::optional<DialogEnd> ended_;
};

}  // namespace sd::gui
