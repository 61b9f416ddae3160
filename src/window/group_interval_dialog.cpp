// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/group_interval_dialog.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "window/accessible_names.h"
#include "window/dialog_layout.h"
#include "operations/configuration_form.h"

namespace sd::gui {

CGroupTimer::CGroupTimer(GroupTimerForm& form, QWidget* parent) : QDialog(parent), form_(form) {
  setWindowTitle(QStringLiteral("Group Interval"));
  setObjectName(QStringLiteral("groupIntervalDialog"));

  hint_ = new QLabel(QString::fromLatin1(kGroupIntervalHint), this);
  hint_->setObjectName(QStringLiteral("rangeHint"));
  hint_->setTextFormat(Qt::PlainText);
  label_ = new QLabel(QStringLiteral("Group Interval"), this);
  label_->setObjectName(QStringLiteral("intervalLabel"));
  interval_ = new QLineEdit(this);
  interval_->setObjectName(QStringLiteral("control1136"));
  interval_->setMaxLength(static_cast<int>(kGroupIntervalTextLimit));
  interval_->setText(QString::fromStdString(form_.InitialText()));
  label_->setBuddy(interval_);
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName(QStringLiteral("control1"));
  ok_->setDefault(true);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setObjectName(QStringLiteral("control2"));
  for (QPushButton* button : {ok_, cancel_}) button->setMinimumWidth(90);
  connect(ok_, &QPushButton::clicked, this, &CGroupTimer::OnOK);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  auto* entry = new QHBoxLayout;
  entry->addWidget(label_);
  entry->addSpacing(10);
  entry->addWidget(interval_, 1);
  QVBoxLayout* layout = NewDialogLayout(*this);
  layout->addWidget(hint_);
  layout->addSpacing(10);
  layout->addLayout(entry);
  AddDialogButtons(*layout, ok_, cancel_);
  setMinimumWidth(280);
  NameFieldsAfterTheirLabels(*this);
  interval_->setFocus();
}

void CGroupTimer::OnOK() {
  if (form_.OnOk(interval_->text().toStdString())) {
    QDialog::accept();
    return;
  }
  // The one field was refused.
  FocusRefusedField(*interval_);
}

void QtGroupIntervalDialog::Run(GroupTimerForm& form) {
  CGroupTimer dialog(form, owner_);
  dialog.exec();
}

}  // namespace sd::gui
