// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "DHCP Refresh": asks for the switch's password; "Apply" (also Enter) has the form send the
// refresh and closes; "Cancel" (also Escape and the close box) closes without sending.

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "operations/operation_dialogs.h"

namespace sd::gui {

class CDHCP_Refresh : public QDialog {
  Q_OBJECT

 public:
  // The form must outlive the dialog.
  explicit CDHCP_Refresh(DhcpRefreshForm& form, QWidget* parent = nullptr);

  // "Apply": the password goes to the form, the edit is emptied, and the dialog closes once the
  // form says so.
  void OnApply();

  QLabel* PasswordLabel() const { return label_; }
  QLineEdit* Password() const { return password_; }     // 1132
  QPushButton* ApplyButton() const { return apply_; }   // 1133
  QPushButton* CancelButton() const { return cancel_; }  // 2

 protected:
  void accept() override { OnApply(); }
  // However the dialog ends, the password typed into it goes.
  void done(int result) override;

 private:
  DhcpRefreshForm& form_;
  QLabel* label_ = nullptr;
  QLineEdit* password_ = nullptr;
  QPushButton* apply_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

class QtDhcpRefreshDialog : public IDhcpRefreshDialog {
 public:
  explicit QtDhcpRefreshDialog(QWidget* owner = nullptr) : owner_(owner) {}
  void Run(DhcpRefreshForm& form) override;

 private:
  QWidget* owner_;
};

}  // namespace sd::gui
