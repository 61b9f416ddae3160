// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device lists' list control over a QTreeWidget in report style. Texts are kept as the bytes
// the core gave (shown as UTF-8, or Latin-1 when they are not valid UTF-8), so reading a cell
// back always gives exactly what was written. The item-changing handler runs before any row's
// selection changes, whether the user clicks or the program selects.

#include <QItemSelectionModel>
#include <QPointer>
#include <QString>
#include <QTreeWidget>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "devices/list_control.h"

namespace sd::gui {

// Announces every selection change before it is applied.
class AnnouncingSelectionModel : public QItemSelectionModel {
  Q_OBJECT

 public:
  using Announce = std::function<void(const QItemSelection& selection, SelectionFlags command)>;
  AnnouncingSelectionModel(QAbstractItemModel* model, QObject* parent, Announce announce)
      : QItemSelectionModel(model, parent), announce_(std::move(announce)) {}

  // The announcer goes before its target does; the model lives on with the tree.
  void StopAnnouncing() { announce_ = nullptr; }

  void select(const QModelIndex& index, SelectionFlags command) override {
    select(QItemSelection(index, index), command);
  }
  void select(const QItemSelection& selection, SelectionFlags command) override {
    if (announce_) announce_(selection, command);
    QItemSelectionModel::select(selection, command);
  }

 private:
  Announce announce_;
};

// What each status image means in a list, for screen readers and tooltips: the warning image
// (index 0) and the not-alive image (index 1).
struct StatusImageTexts {
  QString warning = QStringLiteral("Warning");
  QString not_alive = QStringLiteral("Not alive");
};

class QtListControl : public IListControl {
 public:
  // The tree must outlive the adapter. Its columns and rows are the adapter's from now on.
  explicit QtListControl(QTreeWidget& tree, StatusImageTexts image_texts = {});
  ~QtListControl() override;
  QtListControl(const QtListControl&) = delete;
  QtListControl& operator=(const QtListControl&) = delete;

  void AddColumn(const ListColumn& column) override;
  int ColumnCount() const override;
  int RowCount() const override;
  int InsertRow(int row, int image, std::uint64_t item_data) override;
  void DeleteRow(int row) override;
  void DeleteAllRows() override;
  std::string Text(int row, int column) const override;
  void SetText(int row, int column, std::string_view text) override;
  int Image(int row) const override;
  void SetImage(int row, int image) override;
  std::uint64_t ItemData(int row) const override;
  void SetItemData(int row, std::uint64_t item_data) override;
  bool IsSelected(int row) const override;
  void SetSelected(int row, bool selected) override;
  std::vector<int> SelectedRows() const override;
  void SortRows(const CompareFunction& compare) override;
  void SetItemChangingHandler(ItemChangingHandler handler) override;

  QTreeWidget& Tree() const { return tree_; }

 private:
  QTreeWidgetItem* Row(int row) const;
  // The image in column 0, with its meaning as the cell's accessible text and tooltip.
  void ShowImage(QTreeWidgetItem& item, int image) const;
  // Runs the handler for `row` unless it is already running (a change it makes to this list
  // does not announce itself again).
  void RaiseItemChanging(int row);
  // The user's (or the view's) selection change about to be applied.
  void OnSelectionAboutToChange(const QItemSelection& selection, QItemSelectionModel::SelectionFlags command);

  QTreeWidget& tree_;
  StatusImageTexts image_texts_;
  // Owned by the tree; gone if the tree goes first.
  QPointer<AnnouncingSelectionModel> selection_model_;
  std::vector<Qt::Alignment> alignments_;
  ItemChangingHandler item_changing_;
  bool in_handler_ = false;
  // Set while the adapter changes the selection itself, after it has announced the change (or
  // when rows go away, which announces nothing).
  bool quiet_ = false;
};

}  // namespace sd::gui
