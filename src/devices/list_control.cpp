// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/list_control.h"

#include <algorithm>
#include <numeric>

namespace sd {

int FindRowByItemData(const IListControl& list, std::uint64_t item_data) {
  const int rows = list.RowCount();
  for (int row = 0; row < rows; ++row) {
    if (list.ItemData(row) == item_data) return row;
  }
  return -1;
}

void RenumberItemData(IListControl& list) {
  const int rows = list.RowCount();
  for (int row = 0; row < rows; ++row) list.SetItemData(row, static_cast<std::uint64_t>(row));
}

void MemoryListControl::AddColumn(const ListColumn& column) { columns_.push_back(column); }

int MemoryListControl::ColumnCount() const { return static_cast<int>(columns_.size()); }

int MemoryListControl::RowCount() const { return static_cast<int>(rows_.size()); }

int MemoryListControl::InsertRow(int row, int image, std::uint64_t item_data) {
  const int at = std::clamp(row, 0, RowCount());
  Row r;
  r.texts.resize(columns_.size());
  r.image = image;
  r.item_data = item_data;
  rows_.insert(rows_.begin() + at, std::move(r));
  return at;
}

void MemoryListControl::DeleteRow(int row) {
  if (HasRow(row)) rows_.erase(rows_.begin() + row);
}

void MemoryListControl::DeleteAllRows() { rows_.clear(); }

std::string MemoryListControl::Text(int row, int column) const {
  if (!HasRow(row) || column < 0 || column >= ColumnCount()) return {};
  return rows_[static_cast<std::size_t>(row)].texts[static_cast<std::size_t>(column)];
}

void MemoryListControl::SetText(int row, int column, std::string_view text) {
  if (!HasRow(row) || column < 0 || column >= ColumnCount()) return;
  rows_[static_cast<std::size_t>(row)].texts[static_cast<std::size_t>(column)] = text;
}

int MemoryListControl::Image(int row) const {
  return HasRow(row) ? rows_[static_cast<std::size_t>(row)].image : kNoImage;
}

void MemoryListControl::SetImage(int row, int image) {
  if (HasRow(row)) rows_[static_cast<std::size_t>(row)].image = image;
}

std::uint64_t MemoryListControl::ItemData(int row) const {
  return HasRow(row) ? rows_[static_cast<std::size_t>(row)].item_data : 0;
}

void MemoryListControl::SetItemData(int row, std::uint64_t item_data) {
  if (HasRow(row)) rows_[static_cast<std::size_t>(row)].item_data = item_data;
}

bool MemoryListControl::IsSelected(int row) const {
  return HasRow(row) && rows_[static_cast<std::size_t>(row)].selected;
}

void MemoryListControl::SetSelected(int row, bool selected) {
  if (!HasRow(row) || IsSelected(row) == selected) return;
  // The handler may change other rows' selection (of this control too), so the row is looked up
  // again afterwards rather than held across the call.
  if (item_changing_) item_changing_(row);
  if (HasRow(row)) rows_[static_cast<std::size_t>(row)].selected = selected;
}

std::vector<int> MemoryListControl::SelectedRows() const {
  std::vector<int> out;
  for (int row = 0; row < RowCount(); ++row) {
    if (rows_[static_cast<std::size_t>(row)].selected) out.push_back(row);
  }
  return out;
}

void MemoryListControl::SortRows(const CompareFunction& compare) {
  // Order a permutation first so that the rows stay in place while `compare` reads them.
  std::vector<std::size_t> order(rows_.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return compare(rows_[a].item_data, rows_[b].item_data) < 0;
  });
  std::vector<Row> sorted;
  sorted.reserve(rows_.size());
  for (std::size_t i : order) sorted.push_back(std::move(rows_[i]));
  rows_ = std::move(sorted);
}

void MemoryListControl::SetItemChangingHandler(ItemChangingHandler handler) {
  item_changing_ = std::move(handler);
}

std::vector<std::string> MemoryListControl::ColumnTexts(int column) const {
  std::vector<std::string> out;
  for (int row = 0; row < RowCount(); ++row) out.push_back(Text(row, column));
  return out;
}

}  // namespace sd
