// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/device_list_widget.h"

#include <QHeaderView>
#include <QPalette>

namespace sd::gui {

void ConfigureReportList(QTreeWidget& list) {
  list.setRootIsDecorated(false);
  list.setItemsExpandable(false);
  list.setUniformRowHeights(true);
  list.setSelectionMode(QAbstractItemView::ExtendedSelection);
  list.setSelectionBehavior(QAbstractItemView::SelectRows);
  list.setAllColumnsShowFocus(true);
  list.setEditTriggers(QAbstractItemView::NoEditTriggers);
  list.setIconSize(QSize(16, 16));
  list.setSortingEnabled(false);
  list.header()->setStretchLastSection(false);
  list.header()->setSectionsClickable(true);
  list.header()->setSectionsMovable(false);
  list.header()->setMinimumSectionSize(16);
  // The selection stays as visible when the list loses the focus.
  QPalette palette = list.palette();
  for (auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
    palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
  }
  list.setPalette(palette);
}

QStringList ColumnHeaders(const QTreeWidget& list) {
  QStringList headers;
  for (int i = 0; i < list.columnCount(); ++i) headers << list.headerItem()->text(i);
  return headers;
}

}  // namespace sd::gui
