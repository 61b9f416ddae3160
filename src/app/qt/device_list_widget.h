#pragma once
// The report-style lists of the windows: rows of texts under fixed column headers, a status
// image in column 0 where the list has one, several rows selectable, whole rows selected, and a
// number of the program's own kept with each row.

#include <QString>
#include <QTreeWidget>
#include <span>

namespace sd::gui {

struct ColumnSpec {
  const char* header;
  Qt::Alignment alignment;
  int width;  // pixels
};

// Where each row keeps its item data: the number the program associates with the row.
inline constexpr int kItemDataRole = Qt::UserRole + 1;

// Report style: no tree decoration, several rows selectable, full-row selection shown also
// without focus, clickable headers that do not sort by themselves.
void ConfigureReportList(QTreeWidget& list);

// Replaces the columns by the given ones (header text, alignment, width).
void SetColumns(QTreeWidget& list, std::span<const ColumnSpec> columns);

// The header texts, in column order.
QStringList ColumnHeaders(const QTreeWidget& list);

}  // namespace sd::gui
