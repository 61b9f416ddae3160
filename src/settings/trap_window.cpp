// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/trap_window.h"

#include <map>

#include "devices/column_sort.h"
#include "protocol/device_record.h"

namespace sd {

std::vector<ListColumn> TrapColumns() {
  return {{"S", ColumnAlignment::Left, 20},
          {"Time", ColumnAlignment::Left, 100},
          {"IP", ColumnAlignment::Left, 100},
          {"Event", ColumnAlignment::Left, 800},
          {" ", ColumnAlignment::Left, 30}};
}

TrapSortState& TrapSort() {
  static TrapSortState state;
  return state;
}

TrapWindow::TrapWindow(TrapStore& store, IListControl& list) : store_(store), list_(list) {}

void TrapWindow::OnInitDialog() {
  for (const ListColumn& column : TrapColumns()) list_.AddColumn(column);
  row_slots_.clear();
  count_at_fill_ = store_.trap_count();
  // Every stored trap, also one whose text is empty: such a trap must not hide the later ones.
  for (std::size_t slot = 0; slot < store_.StoredCount(); ++slot) {
    const TrapRecord& trap = store_.Slot(slot);
    const int row = list_.InsertRow(static_cast<int>(slot), trap.image, slot);
    list_.SetText(row, kTrapColumnTime, GetText(trap.time_text));
    list_.SetText(row, kTrapColumnAddress, GetText(trap.address_text));
    list_.SetText(row, kTrapColumnEvent, GetText(trap.event_text));
    row_slots_.push_back(slot);
  }
  RenumberItemData(list_);
}

std::size_t TrapWindow::DroppedSinceFill() const {
  const auto dropped = [](int count) {
    return count > static_cast<int>(kTrapsKept) ? static_cast<std::size_t>(count) - kTrapsKept : 0;
  };
  return dropped(store_.trap_count()) - dropped(count_at_fill_);
}

std::optional<std::size_t> TrapWindow::SlotOfRow(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= row_slots_.size()) return std::nullopt;
  const std::size_t slot = row_slots_[static_cast<std::size_t>(row)];
  const std::size_t dropped = DroppedSinceFill();
  if (slot < dropped) return std::nullopt;
  return slot - dropped;
}

void TrapWindow::OnClickTrapList() {
  const std::vector<int> selected = list_.SelectedRows();
  if (!selected.empty()) {
    const int row = selected.front();
    if (const std::optional<std::size_t> slot = SlotOfRow(row)) store_.SetImage(*slot, TRAP_IMAGE_READ);
    list_.SetImage(row, kNoImage);
    list_.SetSelected(row, true);
  }
  RenumberItemData(list_);
}

void TrapWindow::OnClearAll() {
  list_.DeleteAllRows();
  store_.Clear();
  row_slots_.clear();
  count_at_fill_ = 0;
}

void TrapWindow::OnTrapColumnClick(int column) {
  TrapSortState& sort = TrapSort();
  sort.ascending = !sort.ascending;
  if (column < kTrapColumnImage || column > kTrapColumnEvent) return;
  sort.column = column;
  const SortKey key{column, sort.ascending};

  // Rows are found by their item data while the list sorts; afterwards each row's slot is
  // looked up again by the item data it carried along.
  std::map<std::uint64_t, std::size_t> slot_of_data;
  for (int row = 0; row < list_.RowCount() && static_cast<std::size_t>(row) < row_slots_.size(); ++row) {
    slot_of_data[list_.ItemData(row)] = row_slots_[static_cast<std::size_t>(row)];
  }
  if (column == kTrapColumnImage) {
    SortRowsByStatusImage(list_, key);
  } else {
    SortRowsByText(list_, key);
  }
  for (int row = 0; row < list_.RowCount() && static_cast<std::size_t>(row) < row_slots_.size(); ++row) {
    row_slots_[static_cast<std::size_t>(row)] = slot_of_data.at(list_.ItemData(row));
  }
}

}  // namespace sd
