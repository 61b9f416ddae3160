// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/configuration_dialog.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <string_view>

#include "window/accessible_names.h"
#include "window/dialog_colours.h"
#include "window/dialog_layout.h"
#include "window/password_edit.h"
#include "window/text_limits.h"
#include "operations/secret.h"

namespace sd::gui {
namespace {

// A switch's text as the lists show it: UTF-8 when it is that, else one character per byte.
QString DeviceText(std::string_view bytes) {
  const QByteArray raw(bytes.data(), static_cast<qsizetype>(bytes.size()));
  const QString text = QString::fromUtf8(raw);
  return text.contains(QChar::ReplacementCharacter) ? QString::fromLatin1(raw) : text;
}

// An edit's text as bytes for the switch: the switch's own bytes while the user has not changed
// what was shown, so an untouched name goes back exactly as it came.
std::string TypedText(const QLineEdit& edit, std::string_view shown) {
  if (edit.text() == DeviceText(shown)) return std::string(shown);
  return edit.text().toStdString();
}

void ShowAddress(IpAddressEdit& edit, std::optional<std::uint32_t> address) {
  if (address) {
    edit.SetAddress(*address);
  } else {
    edit.Clear();
  }
}

}  // namespace

template <typename W>
W* CConfiguration_Set::Add(W* widget, int id) {
  widget->setObjectName(QStringLiteral("control%1").arg(id));
  controls_[id] = widget;
  return widget;
}

CConfiguration_Set::CConfiguration_Set(ConfigurationForm& form, QWidget* parent)
    : QDialog(parent), form_(form) {
  setWindowTitle(QStringLiteral("Configuration setting"));
  setObjectName(QStringLiteral("configurationDialog"));

  // Created in the order the keyboard focus visits them.
  auto label = [this](int id, const char* text) { return Add(new QLabel(QString::fromLatin1(text), this), id); };
  auto line_edit = [this](int id) { return Add(new QLineEdit(this), id); };
  auto address_edit = [this](int id) { return Add(new IpAddressEdit(this), id); };

  QLabel* product_label = label(1115, "Product name");
  product_name_ = line_edit(1024);
  QLabel* mac_label = label(1116, "MAC Address");
  mac_address_ = line_edit(1028);
  QLabel* ip_label = label(1117, "IP Address");
  ip_ = address_edit(1033);
  QLabel* mask_label = label(1118, "Subnet mask");
  subnet_mask_ = address_edit(1036);
  QLabel* gateway_label = label(1119, "Gateway");
  gateway_ = address_edit(1034);
  QLabel* trap_label = label(1120, "Set trap to");
  trap_ip_ = address_edit(1035);
  QLabel* name_label = label(1121, "System name");
  system_name_ = line_edit(1027);
  QLabel* location_label = label(1127, "Location");
  location_ = line_edit(1031);
  QLabel* password_label = label(1128, "Password");
  password_ = Add(NewPasswordEdit(this, static_cast<int>(kDialogTextLimit)), 1022);
  QLabel* dhcp_label = label(1122, "DHCP");
  dhcp_enable_ = Add(new QRadioButton(QStringLiteral("Enable"), this), 1130);
  dhcp_disable_ = Add(new QRadioButton(QStringLiteral("Disable"), this), 1131);
  group_interval_label_ = label(1138, "Group Interval");
  group_interval_ = line_edit(1032);
  set_ = Add(new QPushButton(QStringLiteral("Set"), this), 1011);
  cancel_ = Add(new QPushButton(QStringLiteral("Cancel"), this), 1015);

  product_name_->setReadOnly(true);
  mac_address_->setReadOnly(true);
  // The switch stores each in 20 bytes of UTF-8.
  LimitUtf8Bytes(*system_name_, static_cast<int>(kDialogTextLimit));
  LimitUtf8Bytes(*location_, static_cast<int>(kDialogTextLimit));
  group_interval_->setMaxLength(static_cast<int>(kGroupIntervalTextLimit));

  // Neither button answers Enter: the dialog has no default button.
  for (QPushButton* button : {set_, cancel_}) {
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setMinimumWidth(90);
  }
  connect(set_, &QPushButton::clicked, this, &CConfiguration_Set::OnSet);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  // The form decides both radios after every click; Qt is not left to make them exclude each
  // other.
  for (QRadioButton* radio : {dhcp_enable_, dhcp_disable_}) radio->setAutoExclusive(false);
  connect(dhcp_enable_, &QRadioButton::clicked, this, &CConfiguration_Set::OnDhcpEnable);
  connect(dhcp_disable_, &QRadioButton::clicked, this, &CConfiguration_Set::OnDhcpDisable);

  fields_ = new QGridLayout;
  fields_->setHorizontalSpacing(14);
  fields_->setColumnStretch(1, 1);
  int rows = 0;
  auto row = [this, &rows](QLabel* text, QWidget* control) {
    const int r = rows++;
    fields_->addWidget(text, r, 0);
    fields_->addWidget(control, r, 1);
    text->setBuddy(control);
  };
  row(product_label, product_name_);
  row(mac_label, mac_address_);
  row(ip_label, ip_);
  row(mask_label, subnet_mask_);
  row(gateway_label, gateway_);
  row(trap_label, trap_ip_);
  row(name_label, system_name_);
  row(location_label, location_);
  row(password_label, password_);
  auto* radios = new QWidget(this);
  radios->setObjectName(QStringLiteral("dhcpChoice"));
  auto* radio_row = new QHBoxLayout(radios);
  radio_row->setContentsMargins(0, 0, 0, 0);
  radio_row->addWidget(dhcp_enable_);
  radio_row->addSpacing(24);
  radio_row->addWidget(dhcp_disable_);
  radio_row->addStretch(1);
  row(dhcp_label, radios);
  row(group_interval_label_, group_interval_);
  // The address controls keep their natural width, at the left of their column.
  for (IpAddressEdit* address : {ip_, subnet_mask_, gateway_, trap_ip_}) {
    fields_->setAlignment(address, Qt::AlignLeft);
  }

  QVBoxLayout* layout = NewDialogLayout(*this);
  layout->addLayout(fields_);
  AddDialogButtons(*layout, set_, cancel_);

  UseDialogBackground(*this);
  // Label 1138 is drawn on the white background too, so it is black on white like the others.
  for (int id : {1115, 1116, 1117, 1118, 1119, 1120, 1121, 1122, 1127, 1128, 1138, 1130, 1131, 1022, 1027, 1031}) {
    UseBlackOnWhite(*controls_.at(id));
  }

  dhcp_enable_->setAccessibleName(QStringLiteral("DHCP Enable"));
  dhcp_disable_->setAccessibleName(QStringLiteral("DHCP Disable"));
  NameFieldsAfterTheirLabels(*this);

  ShowView();
}

QWidget* CConfiguration_Set::Control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void CConfiguration_Set::ShowView() {
  const ConfigurationView& v = form_.View();
  product_name_->setText(DeviceText(v.product_name));
  mac_address_->setText(DeviceText(v.mac_text));
  ShowText(*system_name_, DeviceText(v.system_name));
  ShowText(*location_, DeviceText(v.location));
  ip_->SetAddress(v.ip);
  ShowAddress(*subnet_mask_, v.subnet_mask);
  ShowAddress(*gateway_, v.gateway);
  ShowAddress(*trap_ip_, v.trap_ip);
  ClearSecret(*password_);
  dhcp_enable_->setEnabled(v.dhcp_radios_enabled);
  dhcp_disable_->setEnabled(v.dhcp_radios_enabled);
  ShowDhcpState();
  group_interval_label_->setVisible(v.group_interval_visible);
  group_interval_->setVisible(v.group_interval_visible);
  group_interval_->setEnabled(v.group_interval_enabled);
  group_interval_->setText(QString::fromStdString(v.group_interval_text));
}

void CConfiguration_Set::ShowDhcpState() {
  const ConfigurationView& v = form_.View();
  dhcp_enable_->setChecked(v.dhcp_enable_checked);
  dhcp_disable_->setChecked(v.dhcp_disable_checked);
  for (IpAddressEdit* address : {ip_, subnet_mask_, gateway_}) address->setEnabled(v.addresses_enabled);
}

void CConfiguration_Set::OnDhcpEnable() {
  form_.OnDhcpEnable();
  ShowDhcpState();
}

void CConfiguration_Set::OnDhcpDisable() {
  form_.OnDhcpDisable();
  ShowDhcpState();
}

ConfigurationInput CConfiguration_Set::TypedInput() const {
  const ConfigurationView& v = form_.View();
  ConfigurationInput in;
  in.system_name = TypedText(*system_name_, v.system_name);
  in.location = TypedText(*location_, v.location);
  ReadSecret(*password_, in.password);
  in.ip = ip_->Address();
  in.subnet_mask = subnet_mask_->Address();
  in.gateway = gateway_->Address();
  in.trap_ip = trap_ip_->Address();
  in.group_interval_text = group_interval_->text().toStdString();
  return in;
}

void CConfiguration_Set::OnSet() {
  // The form wipes the copy it is given, this the one it gave; a refusal leaves the fields as
  // typed.
  ConfigurationInput typed = TypedInput();
  const bool sent = form_.OnSet(typed);
  WipeString(typed.password);
  if (sent) {
    accept();
    return;
  }
  if (const std::optional<ConfigurationField> field = form_.FailedField()) FocusRefusedField(FieldEdit(*field));
}

QLineEdit& CConfiguration_Set::FieldEdit(ConfigurationField field) const {
  switch (field) {
    case ConfigurationField::SystemName: return *system_name_;
    case ConfigurationField::Location: return *location_;
    case ConfigurationField::Password: return *password_;
    case ConfigurationField::Ip: return *ip_->Field(0);
    case ConfigurationField::SubnetMask: return *subnet_mask_->Field(0);
    case ConfigurationField::Gateway: return *gateway_->Field(0);
    case ConfigurationField::TrapIp: return *trap_ip_->Field(0);
    case ConfigurationField::GroupInterval: return *group_interval_;
  }
  return *password_;
}

void CConfiguration_Set::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape: event->accept(); return;
    default: QDialog::keyPressEvent(event);
  }
}

void CConfiguration_Set::done(int result) {
  ClearSecret(*password_);
  QDialog::done(result);
}

void QtConfigurationDialog::Run(ConfigurationForm& form) {
  CConfiguration_Set dialog(form, owner_);
  dialog.exec();
}

}  // namespace sd::gui
