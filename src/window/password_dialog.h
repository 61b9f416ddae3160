// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Password_change": the switch's original password, the new one and its confirmation. "Set"
// hands the three to the form, which checks and sends them and decides when the dialog closes.

#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "operations/operation_dialogs.h"

namespace sd::gui {

class CChange_Password : public QDialog {
  Q_OBJECT

 public:
  // The form must outlive the dialog.
  explicit CChange_Password(ChangePasswordForm& form, QWidget* parent = nullptr);

  // "Set": the three passwords go to the form; once it has sent the request the edits are
  // emptied and the dialog closes. A refusal leaves them as typed and, once its message is
  // closed, puts the focus on the refused edit with its text selected.
  void OnSet();

  QLineEdit* NewPassword() const { return new_password_; }          // 1021
  QLineEdit* ConfirmPassword() const { return confirm_password_; }  // 1023
  QLineEdit* OriginalPassword() const { return original_; }         // 1016
  QPushButton* SetButton() const { return set_; }                   // 1032
  QPushButton* CancelButton() const { return cancel_; }             // 1015
  // The labelled rows, top to bottom: label in column 0, its edit in column 1.
  QGridLayout* Fields() const { return fields_; }

 protected:
  // Enter and Escape press no button and do not close the dialog.
  void keyPressEvent(QKeyEvent* event) override;
  // However the dialog ends, the passwords typed into it go.
  void done(int result) override;

 private:
  void ClearPasswords();

  ChangePasswordForm& form_;
  QLineEdit* new_password_ = nullptr;
  QLineEdit* confirm_password_ = nullptr;
  QLineEdit* original_ = nullptr;
  QPushButton* set_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QGridLayout* fields_ = nullptr;
};

class QtChangePasswordDialog : public IChangePasswordDialog {
 public:
  explicit QtChangePasswordDialog(QWidget* owner = nullptr) : owner_(owner) {}
  void Run(ChangePasswordForm& form) override;

 private:
  QWidget* owner_;
};

}  // namespace sd::gui
