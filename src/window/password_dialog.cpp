// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/password_dialog.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>

#include "window/accessible_names.h"
#include "window/dialog_colours.h"
#include "window/dialog_layout.h"
#include "window/password_edit.h"
#include "operations/configuration_form.h"
#include "operations/secret.h"

namespace sd::gui {

CChange_Password::CChange_Password(ChangePasswordForm& form, QWidget* parent) : QDialog(parent), form_(form) {
  setWindowTitle(QStringLiteral("Password_change"));
  setObjectName(QStringLiteral("passwordDialog"));

  fields_ = new QGridLayout;
  fields_->setHorizontalSpacing(14);
  fields_->setColumnStretch(1, 1);
  // Rows in the order of the dialog's template, which is also the keyboard's order.
  int rows = 0;
  auto row = [this, &rows](int label_id, const char* text, int edit_id) {
    auto* label = new QLabel(QString::fromLatin1(text), this);
    label->setObjectName(QStringLiteral("control%1").arg(label_id));
    QLineEdit* edit = NewPasswordEdit(this, static_cast<int>(kDialogTextLimit));
    edit->setObjectName(QStringLiteral("control%1").arg(edit_id));
    label->setBuddy(edit);
    const int r = rows++;
    fields_->addWidget(label, r, 0);
    fields_->addWidget(edit, r, 1);
    UseBlackOnWhite(*label);
    UseBlackOnWhite(*edit);
    return edit;
  };
  new_password_ = row(1115, "New password", 1021);
  confirm_password_ = row(1116, "Confirm password", 1023);
  original_ = row(1117, "Original password", 1016);

  set_ = new QPushButton(QStringLiteral("Set"), this);
  set_->setObjectName(QStringLiteral("control1032"));
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setObjectName(QStringLiteral("control1015"));
  for (QPushButton* button : {set_, cancel_}) {
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setMinimumWidth(90);
  }
  connect(set_, &QPushButton::clicked, this, &CChange_Password::OnSet);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  QVBoxLayout* layout = NewDialogLayout(*this);
  layout->addLayout(fields_);
  AddDialogButtons(*layout, set_, cancel_);

  UseDialogBackground(*this);
  NameFieldsAfterTheirLabels(*this);
  setMinimumWidth(340);
}

void CChange_Password::OnSet() {
  // The form wipes the copies it is given, this the ones it gave.
  PasswordChangeInput typed;
  ReadSecret(*original_, typed.original);
  ReadSecret(*new_password_, typed.new_password);
  ReadSecret(*confirm_password_, typed.confirmation);
  const bool sent = form_.OnSet(typed);
  for (std::string* secret : {&typed.original, &typed.new_password, &typed.confirmation}) WipeString(*secret);
  if (sent) {
    accept();
    return;
  }
  const std::optional<PasswordField> field = form_.FailedField();
  if (!field) return;
  switch (*field) {
    case PasswordField::Original: FocusRefusedField(*original_); break;
    case PasswordField::New: FocusRefusedField(*new_password_); break;
    case PasswordField::Confirmation: FocusRefusedField(*confirm_password_); break;
  }
}

void CChange_Password::ClearPasswords() {
  for (QLineEdit* edit : {new_password_, confirm_password_, original_}) ClearSecret(*edit);
}

void CChange_Password::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape: event->accept(); return;
    default: QDialog::keyPressEvent(event);
  }
}

void CChange_Password::done(int result) {
  ClearPasswords();
  QDialog::done(result);
}

void QtChangePasswordDialog::Run(ChangePasswordForm& form) {
  CChange_Password dialog(form, owner_);
  dialog.exec();
}

}  // namespace sd::gui
