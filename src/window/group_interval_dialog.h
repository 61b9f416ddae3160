// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Group Interval": the seconds between the utility's own IGMP membership reports, 0 for none.
// "OK" (also Enter) hands the text to the form, which checks and keeps it and decides when the
// dialog closes; "Cancel" (also Escape and the close box) changes nothing.

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "operations/operation_dialogs.h"

namespace sd::gui {

inline constexpr const char* kGroupIntervalHint = "Disable : 0\nEnable  : 120-1225 ";

class CGroupTimer : public QDialog {
  Q_OBJECT

 public:
  // The form must outlive the dialog.
  explicit CGroupTimer(GroupTimerForm& form, QWidget* parent = nullptr);

  QLabel* Hint() const { return hint_; }
  QLabel* IntervalLabel() const { return label_; }
  QLineEdit* Interval() const { return interval_; }  // 1136
  QPushButton* OkButton() const { return ok_; }       // 1
  QPushButton* CancelButton() const { return cancel_; }  // 2

  // "OK": closes as accepted only when the form has taken the text; a refused text is selected
  // in the focused edit once its message is closed.
  void OnOK();

 protected:
  void accept() override { OnOK(); }

 private:
  GroupTimerForm& form_;
  QLabel* hint_ = nullptr;
  QLabel* label_ = nullptr;
  QLineEdit* interval_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

class QtGroupIntervalDialog : public IGroupIntervalDialog {
 public:
  explicit QtGroupIntervalDialog(QWidget* owner = nullptr) : owner_(owner) {}
  void Run(GroupTimerForm& form) override;

 private:
  QWidget* owner_;
};

}  // namespace sd::gui
