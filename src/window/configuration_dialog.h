// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Configuration setting": one switch's IP settings, names, trap receiver, password, DHCP mode
// and group interval. The widgets show the form's view and hand what the user does to the form,
// which checks, sends and decides when the dialog closes.

#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <map>

#include "window/ip_address_edit.h"
#include "operations/operation_dialogs.h"

namespace sd::gui {

class CConfiguration_Set : public QDialog {
  Q_OBJECT

 public:
  // The form must outlive the dialog.
  explicit CConfiguration_Set(ConfigurationForm& form, QWidget* parent = nullptr);

  // "Set": the typed values go to the form; the dialog closes when the form has sent the
  // request, and then the password edit is emptied. A refusal leaves the fields as typed and,
  // once its message is closed, puts the focus on the refused field with its text selected.
  void OnSet();
  // The radio buttons: the form decides, the radios and the address controls follow.
  void OnDhcpEnable();
  void OnDhcpDisable();

  // The controls, by the numbers the rest of the program knows them by (1024 product name,
  // 1028 MAC address, 1033 IP address, 1036 subnet mask, 1034 gateway, 1035 trap receiver,
  // 1027 system name, 1031 location, 1022 password, 1130 "Enable", 1131 "Disable", 1032 group
  // interval, 1011 "Set", 1015 "Cancel", and the labels 1115-1122, 1127, 1128 and 1138).
  QWidget* Control(int id) const;
  QLineEdit* ProductName() const { return product_name_; }
  QLineEdit* MacAddress() const { return mac_address_; }
  IpAddressEdit* IpAddress() const { return ip_; }
  IpAddressEdit* SubnetMask() const { return subnet_mask_; }
  IpAddressEdit* Gateway() const { return gateway_; }
  IpAddressEdit* TrapIp() const { return trap_ip_; }
  QLineEdit* SystemName() const { return system_name_; }
  QLineEdit* Location() const { return location_; }
  QLineEdit* Password() const { return password_; }
  QRadioButton* DhcpEnable() const { return dhcp_enable_; }
  QRadioButton* DhcpDisable() const { return dhcp_disable_; }
  QLabel* GroupIntervalLabel() const { return group_interval_label_; }
  QLineEdit* GroupInterval() const { return group_interval_; }
  QPushButton* SetButton() const { return set_; }
  QPushButton* CancelButton() const { return cancel_; }
  // The labelled rows, top to bottom: label in column 0, its control in column 1.
  QGridLayout* Fields() const { return fields_; }

 protected:
  // Enter and Escape press no button and do not close the dialog.
  void keyPressEvent(QKeyEvent* event) override;
  // However the dialog ends, the password typed into it goes.
  void done(int result) override;

 private:
  template <typename W>
  W* Add(W* widget, int id);
  void ShowView();
  void ShowDhcpState();
  ConfigurationInput TypedInput() const;
  // The edit a refused field is typed into (an address control's first part).
  QLineEdit& FieldEdit(ConfigurationField field) const;

  ConfigurationForm& form_;
  std::map<int, QWidget*> controls_;
  QLineEdit* product_name_ = nullptr;
  QLineEdit* mac_address_ = nullptr;
  IpAddressEdit* ip_ = nullptr;
  IpAddressEdit* subnet_mask_ = nullptr;
  IpAddressEdit* gateway_ = nullptr;
  IpAddressEdit* trap_ip_ = nullptr;
  QLineEdit* system_name_ = nullptr;
  QLineEdit* location_ = nullptr;
  QLineEdit* password_ = nullptr;
  QRadioButton* dhcp_enable_ = nullptr;
  QRadioButton* dhcp_disable_ = nullptr;
  QLabel* group_interval_label_ = nullptr;
  QLineEdit* group_interval_ = nullptr;
  QPushButton* set_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QGridLayout* fields_ = nullptr;
};

// The configuration dialog as the device operations ask for it: one modal run per call, over
// the main window.
class QtConfigurationDialog : public IConfigurationDialog {
 public:
  explicit QtConfigurationDialog(QWidget* owner = nullptr) : owner_(owner) {}
  void Run(ConfigurationForm& form) override;

 private:
  QWidget* owner_;
};

}  // namespace sd::gui
