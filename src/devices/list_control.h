// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the device lists ask of a report-view list control: columns, rows with one text per
// column, an image and a 64-bit item data per row, multiple selection, sorting by a compare
// function over item data, and a notification before a row's selection changes. The window
// implements it over its own toolkit; MemoryListControl keeps the same state in memory for
// tests and headless front ends.
//
// Rows are addressed by their index from 0. Reading a row or a column that does not exist gives
// an empty text (image -1, item data 0, not selected); writing one does nothing. Every call is
// made on the user-interface thread.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sd {

enum class ColumnAlignment { Left, Center, Right };

struct ListColumn {
  std::string header;
  ColumnAlignment alignment = ColumnAlignment::Left;
  int width = 100;  // pixels
  bool operator==(const ListColumn&) const = default;
};

// The image index of a row that shows no image.
inline constexpr int kNoImage = -1;

class IListControl {
 public:
  // Negative when the row with the first item data goes first, positive when the second does,
  // 0 when they are equal.
  using CompareFunction = std::function<int(std::uint64_t first, std::uint64_t second)>;
  // Called before the selection state of `row` changes, whether the user or the program changes
  // it; the change goes ahead afterwards.
  using ItemChangingHandler = std::function<void(int row)>;

  virtual ~IListControl() = default;

  // Appends a column at the right.
  virtual void AddColumn(const ListColumn& column) = 0;
  virtual int ColumnCount() const = 0;

  virtual int RowCount() const = 0;
  // Inserts an unselected row with empty texts before row `row` (at the end when `row` is the
  // row count or beyond) and returns the index it got.
  virtual int InsertRow(int row, int image, std::uint64_t item_data) = 0;
  virtual void DeleteRow(int row) = 0;
  virtual void DeleteAllRows() = 0;

  virtual std::string Text(int row, int column) const = 0;
  virtual void SetText(int row, int column, std::string_view text) = 0;
  virtual int Image(int row) const = 0;
  virtual void SetImage(int row, int image) = 0;
  virtual std::uint64_t ItemData(int row) const = 0;
  virtual void SetItemData(int row, std::uint64_t item_data) = 0;

  virtual bool IsSelected(int row) const = 0;
  // Raises the item-changing notification first when the state actually changes.
  virtual void SetSelected(int row, bool selected) = 0;
  // The selected rows in ascending order.
  virtual std::vector<int> SelectedRows() const = 0;

  // Reorders the rows so that `compare` holds between neighbours; rows that compare equal keep
  // their order. While `compare` runs the rows keep their places and stay readable (it may look
  // rows up by item data); they are moved only afterwards.
  virtual void SortRows(const CompareFunction& compare) = 0;

  // One handler per control; an empty function removes it.
  virtual void SetItemChangingHandler(ItemChangingHandler handler) = 0;
};

// The first row whose item data is `item_data`, or -1.
int FindRowByItemData(const IListControl& list, std::uint64_t item_data);

// Gives every row its own row index as item data, so that item data is unique within the list.
void RenumberItemData(IListControl& list);

class MemoryListControl : public IListControl {
 public:
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

  const std::vector<ListColumn>& Columns() const { return columns_; }
  // The texts of one column, top to bottom.
  std::vector<std::string> ColumnTexts(int column) const;

 private:
  struct Row {
    std::vector<std::string> texts;
    int image = kNoImage;
    std::uint64_t item_data = 0;
    bool selected = false;
  };
  bool HasRow(int row) const { return row >= 0 && row < RowCount(); }

  std::vector<ListColumn> columns_;
  std::vector<Row> rows_;
  ItemChangingHandler item_changing_;
};

}  // namespace sd
