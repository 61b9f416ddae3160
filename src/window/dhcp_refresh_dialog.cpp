// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/dhcp_refresh_dialog.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "window/accessible_names.h"
#include "window/dialog_layout.h"
#include "window/password_edit.h"
#include "operations/configuration_form.h"
#include "operations/secret.h"

namespace sd::gui {

CDHCP_Refresh::CDHCP_Refresh(DhcpRefreshForm& form, QWidget* parent) : QDialog(parent), form_(form) {
  setWindowTitle(QStringLiteral("DHCP Refresh"));
  setObjectName(QStringLiteral("dhcpRefreshDialog"));

  label_ = new QLabel(QStringLiteral("Password"), this);
  label_->setObjectName(QStringLiteral("passwordLabel"));
  password_ = NewPasswordEdit(this, static_cast<int>(kDialogTextLimit));
  password_->setObjectName(QStringLiteral("control1132"));
  label_->setBuddy(password_);
  apply_ = new QPushButton(QStringLiteral("Apply"), this);
  apply_->setObjectName(QStringLiteral("control1133"));
  apply_->setDefault(true);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setObjectName(QStringLiteral("control2"));
  for (QPushButton* button : {apply_, cancel_}) button->setMinimumWidth(90);
  connect(apply_, &QPushButton::clicked, this, &CDHCP_Refresh::OnApply);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  auto* entry = new QHBoxLayout;
  entry->addWidget(label_);
  entry->addSpacing(10);
  entry->addWidget(password_, 1);
  QVBoxLayout* layout = NewDialogLayout(*this);
  layout->addLayout(entry);
  AddDialogButtons(*layout, apply_, cancel_);
  setMinimumWidth(300);
  NameFieldsAfterTheirLabels(*this);
  password_->setFocus();
}

void CDHCP_Refresh::OnApply() {
  // The form wipes the copy it is given, this the one it gave.
  std::string typed;
  ReadSecret(*password_, typed);
  const bool close = form_.OnApply(typed);
  WipeString(typed);
  ClearSecret(*password_);
  if (close) QDialog::accept();
}

void CDHCP_Refresh::done(int result) {
  ClearSecret(*password_);
  QDialog::done(result);
}

void QtDhcpRefreshDialog::Run(DhcpRefreshForm& form) {
  CDHCP_Refresh dialog(form, owner_);
  dialog.exec();
}

}  // namespace sd::gui
