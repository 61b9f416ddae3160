#include "app/qt/trap_info_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "app/qt/device_list_widget.h"
#include "app/qt/images.h"

namespace sd::gui {

CTrap_Info::CTrap_Info(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Trap information"));
  setObjectName(QStringLiteral("trapInfoDialog"));
  setSizeGripEnabled(true);

  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("trapList"));
  ConfigureReportList(*list_);
  static const ColumnSpec kColumns[] = {
      {"S", Qt::AlignLeft, 20},    {"Time", Qt::AlignLeft, 100}, {"IP", Qt::AlignLeft, 100},
      {"Event", Qt::AlignLeft, 800}, {" ", Qt::AlignLeft, 30},
  };
  SetColumns(*list_, kColumns);
  connect(list_, &QTreeWidget::itemClicked, this, [this] { emit rowClicked(); });
  connect(list_->header(), &QHeaderView::sectionClicked, this, &CTrap_Info::columnClicked);

  clear_all_ = new QPushButton(QStringLiteral("Clear all"), this);
  clear_all_->setObjectName(QStringLiteral("clearAll"));
  clear_all_->setAutoDefault(false);
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName(QStringLiteral("ok"));
  ok_->setDefault(true);
  for (QPushButton* button : {clear_all_, ok_}) button->setMinimumWidth(100);
  connect(clear_all_, &QPushButton::clicked, this, &CTrap_Info::clearAllClicked);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

  auto* button_row = new QHBoxLayout;
  button_row->addWidget(clear_all_);
  button_row->addStretch(1);
  button_row->addWidget(ok_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(button_row);
  resize(720, 360);
}

void CTrap_Info::AppendRow(int image, const QString& time, const QString& address,
                           const QString& event, int item_data) {
  auto* item = new QTreeWidgetItem(list_);
  item->setIcon(0, StatusIcon(image));
  item->setText(1, time);
  item->setText(2, address);
  item->setText(3, event);
  item->setData(0, kItemDataRole, item_data);
}

}  // namespace sd::gui
