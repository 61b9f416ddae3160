// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sorting a device list by a click on a column header. Only rows move; the tables keep their
// order, and every command finds an entry from a row by the row's key text.

#include <cstdint>

#include "devices/list_control.h"

namespace sd {

struct SortKey {
  int column = 0;
  bool ascending = true;
};

// Byte-wise comparison of the two rows' texts in key.column (case-sensitive, no numeric
// reading: 10.0.0.100 goes before 10.0.0.20). The rows are those whose item data are `first`
// and `second`; a descending key reverses the result.
int CompareByText(std::uint64_t first, std::uint64_t second, const IListControl& list,
                  const SortKey& key);
// Compares the two rows' image indexes (-1 none, 0 warning, 1 not alive): ascending puts the
// smaller index first.
int CompareByStatusImage(std::uint64_t first, std::uint64_t second, const IListControl& list,
                         const SortKey& key);

// Sort the list's rows in the order CompareByText (CompareByStatusImage) gives, with each row's
// text (image) read once before the sort: the compare functions look both rows up by their item
// data, a search of the rows for every comparison, which a list of 1 499 traps cannot afford.
// Rows that share an item data compare as the first of them, as the compare functions do.
void SortRowsByText(IListControl& list, const SortKey& key);
void SortRowsByStatusImage(IListControl& list, const SortKey& key);

// The column-click handlers of both lists. One direction flag serves both lists and every
// column: each click flips it before sorting, so the first click sorts descending, the next
// ascending, whichever column or list is clicked, even a column that does not sort.
class ColumnSorter {
 public:
  ColumnSorter(IListControl& discovery_list, IListControl& monitor_list);

  // Discovery List: columns 0-9 sort by text; "Group Interval" and any other do not sort.
  void OnColumnClickDiscovery(int column);
  // Monitor List: column 0 ("S") sorts by status image, 1-10 by text; the rest do not sort.
  void OnColumnClickMonitor(int column);

  bool Ascending() const { return ascending_; }

 private:
  void Flip() { ascending_ = !ascending_; }

  IListControl& discovery_list_;
  IListControl& monitor_list_;
  bool ascending_ = true;
};

}  // namespace sd
