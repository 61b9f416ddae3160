// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/trap_info_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "window/device_list_widget.h"

namespace sd::gui {

CTrap_Info::CTrap_Info(TrapStore& store, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Trap information"));
  setObjectName(QStringLiteral("trapInfoDialog"));
  setSizeGripEnabled(true);

  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("trapList"));
  list_->setAccessibleName(QStringLiteral("Traps"));
  ConfigureReportList(*list_);
  clear_all_ = new QPushButton(QStringLiteral("Clear all"), this);
  clear_all_->setObjectName(QStringLiteral("clearAll"));
  clear_all_->setAutoDefault(false);
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName(QStringLiteral("ok"));
  ok_->setDefault(true);
  for (QPushButton* button : {clear_all_, ok_}) button->setMinimumWidth(100);

  auto* button_row = new QHBoxLayout;
  button_row->addWidget(clear_all_);
  button_row->addStretch(1);
  button_row->addWidget(ok_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(button_row);
  resize(720, 360);

  // An unread trap's row shows the warning image.
  list_control_ = std::make_unique<QtListControl>(*list_, StatusImageTexts{QStringLiteral("Unread trap"), {}});
  logic_ = std::make_unique<TrapWindow>(store, *list_control_);
  logic_->OnInitDialog();

  list_->viewport()->installEventFilter(this);
  connect(list_->header(), &QHeaderView::sectionClicked, this, [this](int column) { logic_->OnTrapColumnClick(column); });
  connect(clear_all_, &QPushButton::clicked, this, [this] { logic_->OnClearAll(); });
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
}

bool CTrap_Info::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_->viewport() && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    // After the list has applied the click's selection, wherever the click landed.
    QMetaObject::invokeMethod(this, [this] { logic_->OnClickTrapList(); }, Qt::QueuedConnection);
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace sd::gui
