// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The logic of the trap window ("Trap information"): it lists the trap store as it is when the
// window opens, marks a trap read when its row is clicked, empties list and store on
// "Clear all", and sorts the rows by a click on a column header. The window forwards its events
// here; the list control is the window's own.

#include <cstddef>
#include <optional>
#include <vector>

#include "devices/list_control.h"
#include "settings/trap_store.h"

namespace sd {

inline constexpr int kTrapColumnImage = 0;
inline constexpr int kTrapColumnTime = 1;
inline constexpr int kTrapColumnAddress = 2;
inline constexpr int kTrapColumnEvent = 3;
inline constexpr int kTrapColumnSpare = 4;

// "S", "Time", "IP", "Event" and an empty spare column, all left-aligned.
std::vector<ListColumn> TrapColumns();

// The sort state of the trap window, kept for the whole run and shared by every opening of the
// window (separate from the device lists' own). The first header click sorts descending.
struct TrapSortState {
  bool ascending = true;
  int column = kTrapColumnImage;
};
TrapSortState& TrapSort();

class TrapWindow {
 public:
  // Both must outlive this object.
  TrapWindow(TrapStore& store, IListControl& list);

  // Creates the columns and one row per stored trap, oldest first, a trap with an empty text
  // included; each row shows the unread image while its trap is unread.
  void OnInitDialog();
  // Marks the trap shown in the first selected row read (its image goes, in the store and in
  // the row, which stays selected); without a selected row nothing is marked.
  void OnClickTrapList();
  // Deletes every row and empties the store; the event log is not touched.
  void OnClearAll();
  // Turns the sort direction, then sorts: column 0 by image, columns 1-3 by text, column 4 not
  // at all.
  void OnTrapColumnClick(int column);

  // The store slot the row shows, or nothing when its trap has left the store since the window
  // opened.
  std::optional<std::size_t> SlotOfRow(int row) const;

 private:
  // Traps dropped from the front of the store since the window was filled.
  std::size_t DroppedSinceFill() const;

  TrapStore& store_;
  IListControl& list_;
  // The slot each row showed when filled, in the rows' current order.
  std::vector<std::size_t> row_slots_;
  int count_at_fill_ = 0;
};

}  // namespace sd
