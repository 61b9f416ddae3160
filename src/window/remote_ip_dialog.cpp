// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/remote_ip_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <utility>

#include "window/accessible_names.h"
#include "window/dialog_colours.h"
#include "window/dialog_layout.h"

namespace sd::gui {

CAdd_remoteIP::CAdd_remoteIP(AddressCheck check, QWidget* parent)
    : QDialog(parent), check_(std::move(check)) {
  setWindowTitle(QStringLiteral("Remote IP"));
  setObjectName(QStringLiteral("remoteIpDialog"));

  label_ = new QLabel(QStringLiteral("IP Address"), this);
  label_->setObjectName(QStringLiteral("ipAddressLabel"));
  label_->setAlignment(Qt::AlignCenter);
  address_edit_ = new IpAddressEdit(this);
  address_edit_->setObjectName(QStringLiteral("ipAddress"));
  label_->setBuddy(address_edit_);

  apply_ = new QPushButton(QStringLiteral("Apply"), this);
  apply_->setObjectName(QStringLiteral("apply"));
  apply_->setDefault(true);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setObjectName(QStringLiteral("cancel"));
  for (QPushButton* button : {apply_, cancel_}) button->setMinimumWidth(100);
  connect(apply_, &QPushButton::clicked, this, &CAdd_remoteIP::OnOK);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  auto* entry_row = new QHBoxLayout;
  entry_row->addWidget(label_);
  entry_row->addWidget(address_edit_, 1);
  auto* button_row = new QHBoxLayout;
  button_row->addStretch(1);
  button_row->addWidget(apply_);
  button_row->addStretch(2);
  button_row->addWidget(cancel_);
  button_row->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(entry_row);
  layout->addSpacing(12);
  layout->addLayout(button_row);

  UseDialogBackground(*this);
  UseBlackOnWhite(*label_);
  NameFieldsAfterTheirLabels(*this);
  address_edit_->setFocus();
}

void CAdd_remoteIP::OnOK() {
  if (!check_ || check_(Address())) {
    QDialog::accept();
    return;
  }
  // The address was refused: it is typed again from its first part.
  FocusRefusedField(*address_edit_->Field(0));
}

bool QtRemoteIpDialog::Run(const std::function<bool(std::uint32_t address)>& apply) {
  CAdd_remoteIP dialog(apply, owner_);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace sd::gui
