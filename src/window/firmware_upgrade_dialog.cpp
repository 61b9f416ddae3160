// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/firmware_upgrade_dialog.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <string>

#include "window/accessible_names.h"
#include "window/dialog_layout.h"
#include "window/dialog_colours.h"
#include "window/password_edit.h"
#include "window/qt_messages.h"
#include "operations/secret.h"

namespace sd::gui {
namespace {

constexpr int kPanelGap = 8;    // height of the empty panels between and around the labels
constexpr int kRuleHeight = 4;  // height of the panels that mark the top and the bottom

}  // namespace

template <typename W>
W* FirmwareUpgradeDialog::Add(W* widget, int id) {
  widget->setObjectName(QStringLiteral("control%1").arg(id));
  controls_[id] = widget;
  return widget;
}

QLabel* FirmwareUpgradeDialog::Panel(int id) {
  QLabel* panel = Add(new QLabel(this), id);
  UseBlackOnPanel(*panel);
  return panel;
}

QWidget* FirmwareUpgradeDialog::Control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

FirmwareUpgradeDialog::FirmwareUpgradeDialog(FirmwareUpgradeDialogWiring wiring, QWidget* parent)
    : QDialog(parent), wiring_(std::move(wiring)) {
  setWindowTitle(QStringLiteral("Firmware Upgrade"));
  setObjectName(QStringLiteral("firmwareUpgradeDialog"));

  // Created in the order of the dialog's template, which is also the keyboard's order.
  device_group_ = Add(new QGroupBox(QStringLiteral("Device Information"), this), 1120);
  auto* ip_label = Add(new QLabel(QStringLiteral("      Device IP"), device_group_), 1115);
  device_ip_ = Add(new QLineEdit(device_group_), 1060);
  auto* mac_label = Add(new QLabel(QStringLiteral("     Device Mac"), device_group_), 1116);
  device_mac_ = Add(new QLineEdit(device_group_), 1061);
  setting_group_ = Add(new QGroupBox(QStringLiteral("Upgrade Setting"), this), 1121);
  auto* path_label = Add(new QLabel(QStringLiteral("      Firmware Path"), setting_group_), 1117);
  firmware_path_ = Add(new QLineEdit(setting_group_), 1045);
  browse_ = Add(new QPushButton(QStringLiteral("Browse"), setting_group_), 1074);
  auto* password_label = Add(new QLabel(QStringLiteral("      Password"), setting_group_), 1118);
  password_ = Add(NewPasswordEdit(setting_group_, static_cast<int>(kMaxUpgradePasswordLength)), 1070);
  auto* state_label = Add(new QLabel(QStringLiteral("      Upgrade State"), this), 1119);
  upgrade_state_ = Add(new QLineEdit(this), 1073);
  start_ = Add(new QPushButton(QStringLiteral("Start"), this), 1015);
  cancel_ = Add(new QPushButton(QStringLiteral("Cancel"), this), 2);
  for (QLineEdit* box : {device_ip_, device_mac_, upgrade_state_}) box->setReadOnly(true);
  ip_label->setBuddy(device_ip_);
  mac_label->setBuddy(device_mac_);
  path_label->setBuddy(firmware_path_);
  password_label->setBuddy(password_);
  state_label->setBuddy(upgrade_state_);
  NameFieldsAfterTheirLabels(*this);

  // "Browse" is the default button; Enter still presses nothing (keyPressEvent).
  browse_->setDefault(true);
  for (QPushButton* button : {start_, cancel_}) button->setAutoDefault(false);
  for (QPushButton* button : {browse_, start_, cancel_}) button->setMinimumWidth(90);
  connect(browse_, &QPushButton::clicked, this, &FirmwareUpgradeDialog::OnBrowse);
  connect(start_, &QPushButton::clicked, this, &FirmwareUpgradeDialog::OnStart);
  connect(cancel_, &QPushButton::clicked, this, &FirmwareUpgradeDialog::reject);

  // Colours: white dialog; labels of the groups black on grey panels; the group titles, the
  // state label and the two editable boxes black on white; the read-only boxes and the buttons
  // keep the platform's colours.
  UseDialogBackground(*this);
  for (QWidget* w : {static_cast<QWidget*>(device_group_), static_cast<QWidget*>(setting_group_),
                     static_cast<QWidget*>(state_label), static_cast<QWidget*>(firmware_path_),
                     static_cast<QWidget*>(password_)}) {
    UseBlackOnWhite(*w);
  }
  for (QLabel* label : {ip_label, mac_label, path_label, password_label}) UseBlackOnPanel(*label);
  // The read-only boxes sit in the black-on-white group, whose palette they would otherwise take.
  for (QLineEdit* box : {device_ip_, device_mac_}) UsePlatformColours(*box);
  // One label width throughout, so the boxes of both groups begin in one line.
  int label_width = 0;
  for (QLabel* label : {ip_label, mac_label, path_label, password_label, state_label}) {
    label_width = std::max(label_width, label->sizeHint().width() + 12);
  }
  for (QLabel* label : {ip_label, mac_label, path_label, password_label, state_label}) {
    label->setMinimumWidth(label_width);
  }

  // Each group: its label column is one grey panel, the labels joined by empty panels.
  auto grouped_rows = [this](QGroupBox* group, std::initializer_list<int> panels,
                             std::initializer_list<std::pair<QLabel*, QWidget*>> rows) {
    auto* grid = new QGridLayout(group);
    grid->setVerticalSpacing(0);
    grid->setHorizontalSpacing(12);
    grid->setColumnStretch(1, 1);
    auto panel = panels.begin();
    int r = 0;
    auto add_panel = [&] {
      QLabel* p = Panel(*panel++);
      p->setParent(group);
      p->setFixedHeight(kPanelGap);
      grid->addWidget(p, r++, 0);
    };
    add_panel();
    for (const auto& [label, box] : rows) {
      label->setMinimumHeight(box->sizeHint().height());
      grid->addWidget(label, r, 0);
      grid->addWidget(box, r++, 1);
      add_panel();
    }
    return grid;
  };
  device_rows_ = grouped_rows(device_group_, {1094, 1095, 1096}, {{ip_label, device_ip_}, {mac_label, device_mac_}});
  setting_rows_ =
      grouped_rows(setting_group_, {1097, 1099, 1100}, {{path_label, firmware_path_}, {password_label, password_}});
  setting_rows_->addWidget(browse_, 1, 2);

  state_row_ = new QGridLayout;
  state_row_->setHorizontalSpacing(12);
  state_row_->setColumnStretch(1, 1);
  state_row_->addWidget(state_label, 0, 0);
  state_row_->addWidget(upgrade_state_, 0, 1);

  // Grey rules above and below the state row, a grey band at the top and at the bottom of the
  // dialog, and grey wings beside the buttons.
  QLabel* top = Panel(1124);
  QLabel* above_state = Panel(1101);
  QLabel* below_state = Panel(1102);
  QLabel* left_wing = Panel(1105);
  QLabel* right_wing = Panel(1106);
  QLabel* bottom = Panel(1125);
  for (QLabel* rule : {top, above_state, below_state, bottom}) rule->setFixedHeight(kRuleHeight);
  for (QLabel* wing : {left_wing, right_wing}) wing->setFixedHeight(kRuleHeight);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(left_wing, 1, Qt::AlignVCenter);
  buttons->addSpacing(12);
  buttons->addWidget(start_);
  buttons->addSpacing(24);
  buttons->addWidget(cancel_);
  buttons->addSpacing(12);
  buttons->addWidget(right_wing, 1, Qt::AlignVCenter);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* body = new QVBoxLayout;
  body->setContentsMargins(16, 12, 16, 12);
  body->setSpacing(10);
  body->addWidget(device_group_);
  body->addWidget(setting_group_);
  body->addWidget(above_state);
  body->addLayout(state_row_);
  body->addWidget(below_state);
  body->addLayout(buttons);
  layout->addWidget(top);
  layout->addLayout(body);
  layout->addWidget(bottom);
  setMinimumWidth(480);

  timers_ = std::make_unique<QtTimerHost>(*this, [this](int id) {
    if (logic_) logic_->OnTimer(id);
  });
  ITftpTransport* transport = wiring_.transport;
  if (transport == nullptr) {
    own_transport_ = std::make_unique<UdpTftpTransport>([this](int fd) { WatchSocket(fd); },
                                                        [this](int) { UnwatchSocket(); });
    transport = own_transport_.get();
  }
  logic_ = std::make_unique<CFirmware_Upgrade>(
      FirmwareUpgradeWiring{wiring_.list, wiring_.index, wiring_.network, *transport, *timers_, wiring_.messages,
                            wiring_.file_dialogs, *this},
      wiring_.settings);
  logic_->OnInitDialog();
}

FirmwareUpgradeDialog::~FirmwareUpgradeDialog() {
  // The logic first (it may still close the socket), then the timers, then the socket itself
  // while its notifier is still there to be removed.
  logic_.reset();
  timers_.reset();
  own_transport_.reset();
  UnwatchSocket();
  ClearSecret(*password_);
}

void FirmwareUpgradeDialog::WatchSocket(int fd) {
  UnwatchSocket();
  notifier_ = new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &FirmwareUpgradeDialog::OnTftpReadable);
}

void FirmwareUpgradeDialog::UnwatchSocket() {
  if (!notifier_) return;
  // Possibly from inside the notifier's own signal: disabled now, deleted once it has returned.
  notifier_->setEnabled(false);
  notifier_->deleteLater();
  notifier_ = nullptr;
}

void FirmwareUpgradeDialog::OnBrowse() { logic_->OnBrowse(); }

void FirmwareUpgradeDialog::OnStart() {
  std::string password;
  ReadSecret(*password_, password);
  const std::string path = firmware_path_->text().toStdString();
  logic_->OnStart(password, path);
  WipeString(password);
}

void FirmwareUpgradeDialog::OnTftpReadable() { logic_->OnTftpReceive(); }

void FirmwareUpgradeDialog::ShowDeviceIp(std::string_view text) { device_ip_->setText(ToQString(text)); }
void FirmwareUpgradeDialog::ShowDeviceMac(std::string_view text) { device_mac_->setText(ToQString(text)); }
void FirmwareUpgradeDialog::ShowFirmwarePath(std::string_view text) { firmware_path_->setText(ToQString(text)); }
void FirmwareUpgradeDialog::ShowUpgradeState(std::string_view text) { upgrade_state_->setText(ToQString(text)); }

void FirmwareUpgradeDialog::StartRebootWatch() {
  if (wiring_.start_reboot_watch) wiring_.start_reboot_watch();
}

void FirmwareUpgradeDialog::FocusRefusedField(UpgradeField field) {
  gui::FocusRefusedField(field == UpgradeField::kPassword ? *password_ : *firmware_path_);
}

void FirmwareUpgradeDialog::EndDialog(DialogEnd how) {
  if (ended_) return;
  ended_ = how;
  timers_->StopAll();
  ClearSecret(*password_);
  QDialog::done(how == DialogEnd::kCompleted ? QDialog::Accepted : QDialog::Rejected);
}

void FirmwareUpgradeDialog::reject() {
  logic_->OnCancel();
  // The logic ends the dialog itself unless it had already ended; once the image is delivered
  // the dialog closes with the pause that starts the reboot watch.
  if (!ended_ && !logic_->ImageDelivered()) EndDialog(DialogEnd::kCancelled);
}

void FirmwareUpgradeDialog::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape: event->accept(); return;
    default: QDialog::keyPressEvent(event);
  }
}

}  // namespace sd::gui
