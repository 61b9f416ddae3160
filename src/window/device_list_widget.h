// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The report-style lists of the windows: rows of texts under fixed column headers, a status
// image in column 0 where the list has one, several rows selectable, whole rows selected, and a
// number of the program's own kept with each row. Their columns and rows are filled through
// QtListControl.

#include <QString>
#include <QTreeWidget>

namespace sd::gui {

// Where each row keeps its item data: the number the program associates with the row.
inline constexpr int kItemDataRole = Qt::UserRole + 1;

// Report style: no tree decoration, several rows selectable, full-row selection shown also
// without focus, clickable headers that do not sort by themselves.
void ConfigureReportList(QTreeWidget& list);

// The header texts, in column order.
QStringList ColumnHeaders(const QTreeWidget& list);

}  // namespace sd::gui
