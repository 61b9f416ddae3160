// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/qt_list_control.h"

#include <QByteArray>
#include <QHeaderView>
#include <algorithm>
#include <numeric>
#include <utility>

#include "window/device_list_widget.h"
#include "window/images.h"

namespace sd::gui {
namespace {

// Per row (column 0): the image index; per cell: the bytes as written.
constexpr int kImageRole = Qt::UserRole + 2;
constexpr int kBytesRole = Qt::UserRole + 3;

Qt::Alignment ToQt(ColumnAlignment alignment) {
  switch (alignment) {
    case ColumnAlignment::Left: return Qt::AlignLeft | Qt::AlignVCenter;
    case ColumnAlignment::Center: return Qt::AlignHCenter | Qt::AlignVCenter;
    case ColumnAlignment::Right: return Qt::AlignRight | Qt::AlignVCenter;
  }
  return Qt::AlignLeft | Qt::AlignVCenter;
}

QString Displayed(const QByteArray& bytes) {
  const QString text = QString::fromUtf8(bytes);
  return text.contains(QChar::ReplacementCharacter) ? QString::fromLatin1(bytes) : text;
}

class QuietScope {
 public:
  explicit QuietScope(bool& flag) : flag_(flag), saved_(flag) { flag_ = true; }
  ~QuietScope() { flag_ = saved_; }
  QuietScope(const QuietScope&) = delete;
  QuietScope& operator=(const QuietScope&) = delete;

 private:
  bool& flag_;
  bool saved_;
};

}  // namespace

QtListControl::QtListControl(QTreeWidget& tree, StatusImageTexts image_texts)
    : tree_(tree), image_texts_(std::move(image_texts)) {
  QuietScope quiet(quiet_);
  tree_.clear();
  tree_.setColumnCount(0);
  selection_model_ = new AnnouncingSelectionModel(
      tree_.model(), &tree_,
      [this](const QItemSelection& selection, QItemSelectionModel::SelectionFlags command) {
        OnSelectionAboutToChange(selection, command);
      });
  QItemSelectionModel* old = tree_.selectionModel();
  tree_.setSelectionModel(selection_model_);
  delete old;
}

QtListControl::~QtListControl() {
  // The tree may outlive the adapter and still change its selection (when it is cleared or
  // destroyed), which must no longer reach this object.
  if (selection_model_) selection_model_->StopAnnouncing();
}

QTreeWidgetItem* QtListControl::Row(int row) const {
  return row >= 0 && row < RowCount() ? tree_.topLevelItem(row) : nullptr;
}

void QtListControl::AddColumn(const ListColumn& column) {
  const int index = static_cast<int>(alignments_.size());
  alignments_.push_back(ToQt(column.alignment));
  tree_.setColumnCount(index + 1);
  QTreeWidgetItem* header = tree_.headerItem();
  header->setText(index, QString::fromStdString(column.header));
  header->setTextAlignment(index, alignments_.back());
  tree_.setColumnWidth(index, column.width);
  for (int row = 0; row < RowCount(); ++row) tree_.topLevelItem(row)->setTextAlignment(index, alignments_.back());
}

int QtListControl::ColumnCount() const { return static_cast<int>(alignments_.size()); }

int QtListControl::RowCount() const { return tree_.topLevelItemCount(); }

int QtListControl::InsertRow(int row, int image, std::uint64_t item_data) {
  const int at = std::clamp(row, 0, RowCount());
  auto* item = new QTreeWidgetItem;
  for (std::size_t column = 0; column < alignments_.size(); ++column) {
    item->setTextAlignment(static_cast<int>(column), alignments_[column]);
  }
  ShowImage(*item, image);
  item->setData(0, kItemDataRole, QVariant::fromValue<qulonglong>(item_data));
  QuietScope quiet(quiet_);
  tree_.insertTopLevelItem(at, item);
  return at;
}

void QtListControl::DeleteRow(int row) {
  if (!Row(row)) return;
  QuietScope quiet(quiet_);
  delete tree_.takeTopLevelItem(row);
}

void QtListControl::DeleteAllRows() {
  QuietScope quiet(quiet_);
  tree_.clear();
}

std::string QtListControl::Text(int row, int column) const {
  const QTreeWidgetItem* item = Row(row);
  if (!item || column < 0 || column >= ColumnCount()) return {};
  return item->data(column, kBytesRole).toByteArray().toStdString();
}

void QtListControl::SetText(int row, int column, std::string_view text) {
  QTreeWidgetItem* item = Row(row);
  if (!item || column < 0 || column >= ColumnCount()) return;
  const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
  item->setData(column, kBytesRole, bytes);
  item->setText(column, Displayed(bytes));
}

int QtListControl::Image(int row) const {
  const QTreeWidgetItem* item = Row(row);
  return item ? item->data(0, kImageRole).toInt() : kNoImage;
}

void QtListControl::SetImage(int row, int image) {
  QTreeWidgetItem* item = Row(row);
  if (!item) return;
  ShowImage(*item, image);
}

void QtListControl::ShowImage(QTreeWidgetItem& item, int image) const {
  item.setData(0, kImageRole, image);
  item.setIcon(0, StatusIcon(image));
  // The column's text stays empty; the image's meaning is told to screen readers and tooltips.
  const QString meaning = image == kStatusImageWarning    ? image_texts_.warning
                          : image == kStatusImageNotAlive ? image_texts_.not_alive
                                                          : QString();
  item.setData(0, Qt::AccessibleTextRole, meaning.isEmpty() ? QVariant() : QVariant(meaning));
  item.setToolTip(0, meaning);
}

std::uint64_t QtListControl::ItemData(int row) const {
  const QTreeWidgetItem* item = Row(row);
  return item ? item->data(0, kItemDataRole).toULongLong() : 0;
}

void QtListControl::SetItemData(int row, std::uint64_t item_data) {
  if (QTreeWidgetItem* item = Row(row)) item->setData(0, kItemDataRole, QVariant::fromValue<qulonglong>(item_data));
}

// Selection is read from and written to the selection model itself: the tree's items do not
// follow a selection model that replaced the tree's own.
bool QtListControl::IsSelected(int row) const {
  return Row(row) && selection_model_->isRowSelected(row, QModelIndex());
}

void QtListControl::SetSelected(int row, bool selected) {
  if (!Row(row) || IsSelected(row) == selected) return;
  RaiseItemChanging(row);
  // The handler may have changed this list, so the row is looked up again.
  if (!Row(row)) return;
  QuietScope quiet(quiet_);
  const QModelIndex index = tree_.model()->index(row, 0);
  selection_model_->select(index, (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                      QItemSelectionModel::Rows);
}

std::vector<int> QtListControl::SelectedRows() const {
  std::vector<int> rows;
  for (int row = 0; row < RowCount(); ++row) {
    if (IsSelected(row)) rows.push_back(row);
  }
  return rows;
}

void QtListControl::SortRows(const CompareFunction& compare) {
  // The order is decided while every row is still in place; only then do rows move, keeping
  // their selection and the current row.
  const int count = RowCount();
  std::vector<int> order(static_cast<std::size_t>(count));
  std::iota(order.begin(), order.end(), 0);
  std::vector<std::uint64_t> data(order.size());
  for (int row = 0; row < count; ++row) data[static_cast<std::size_t>(row)] = ItemData(row);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return compare(data[static_cast<std::size_t>(a)], data[static_cast<std::size_t>(b)]) < 0;
  });

  QuietScope quiet(quiet_);
  QTreeWidgetItem* current = tree_.currentItem();
  const std::vector<int> selected_rows = SelectedRows();
  std::vector<QTreeWidgetItem*> items(order.size());
  for (std::size_t i = 0; i < order.size(); ++i) items[i] = tree_.topLevelItem(order[i]);
  while (tree_.topLevelItemCount() > 0) tree_.takeTopLevelItem(0);
  for (QTreeWidgetItem* item : items) tree_.addTopLevelItem(item);
  if (current) tree_.setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (std::find(selected_rows.begin(), selected_rows.end(), order[i]) != selected_rows.end()) {
      selection_model_->select(tree_.model()->index(static_cast<int>(i), 0),
                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
  }
}

void QtListControl::SetItemChangingHandler(ItemChangingHandler handler) { item_changing_ = std::move(handler); }

void QtListControl::RaiseItemChanging(int row) {
  if (!item_changing_ || in_handler_) return;
  in_handler_ = true;
  item_changing_(row);
  in_handler_ = false;
}

void QtListControl::OnSelectionAboutToChange(const QItemSelection& selection,
                                             QItemSelectionModel::SelectionFlags command) {
  if (quiet_ || !item_changing_ || command == QItemSelectionModel::NoUpdate) return;
  // The first row whose state the command changes, judged on whole rows.
  for (int row = 0; row < RowCount(); ++row) {
    const bool was = IsSelected(row);
    bool in = false;
    for (const QItemSelectionRange& range : selection) {
      if (range.top() <= row && row <= range.bottom()) in = true;
    }
    bool now = (command & QItemSelectionModel::Clear) ? false : was;
    if (in && (command & QItemSelectionModel::Select)) now = true;
    if (in && (command & QItemSelectionModel::Deselect)) now = false;
    if (in && (command & QItemSelectionModel::Toggle)) now = !now;
    if (now != was || (in && (command & QItemSelectionModel::Current))) {
      RaiseItemChanging(row);
      return;
    }
  }
}

}  // namespace sd::gui
