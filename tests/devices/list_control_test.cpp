// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/list_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sd {
namespace {

class MemoryListControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    list.AddColumn({"A"});
    list.AddColumn({"B"});
  }
  void AddRows(const std::vector<std::string>& texts) {
    for (const auto& t : texts) {
      const int row =
          list.InsertRow(list.RowCount(), kNoImage, static_cast<std::uint64_t>(list.RowCount()));
      list.SetText(row, 0, t);
    }
  }
  MemoryListControl list;
};

TEST_F(MemoryListControlTest, RowsAndColumnsThatDoNotExistReadEmptyAndIgnoreWrites) {
  AddRows({"x"});
  EXPECT_EQ(list.Text(1, 0), "");
  EXPECT_EQ(list.Text(0, 2), "");
  EXPECT_EQ(list.Image(5), kNoImage);
  EXPECT_FALSE(list.IsSelected(-1));
  list.SetText(0, 2, "ignored");
  list.SetText(3, 0, "ignored");
  list.DeleteRow(7);
  EXPECT_EQ(list.RowCount(), 1);
  EXPECT_EQ(list.ColumnTexts(0), std::vector<std::string>{"x"});
  // An insertion past the end goes to the end.
  EXPECT_EQ(list.InsertRow(40, 1, 9), 1);
  EXPECT_EQ(list.Image(1), 1);
  EXPECT_EQ(list.ItemData(1), 9u);
}

TEST_F(MemoryListControlTest, ItemChangingIsRaisedBeforeEveryRealSelectionChangeOnly) {
  AddRows({"a", "b"});
  std::vector<std::pair<int, bool>> seen;  // row and its selection when notified
  list.SetItemChangingHandler([&](int row) { seen.emplace_back(row, list.IsSelected(row)); });
  list.SetSelected(1, true);
  list.SetSelected(1, true);  // no change, no notification
  list.SetSelected(0, false);
  list.SetSelected(1, false);
  EXPECT_EQ(seen, (std::vector<std::pair<int, bool>>{{1, false}, {1, true}}));
  list.SetItemChangingHandler(nullptr);
  list.SetSelected(0, true);
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_EQ(list.SelectedRows(), std::vector<int>{0});
}

TEST_F(MemoryListControlTest, SortKeepsRowsReadableInPlaceWhileComparingAndIsStable) {
  AddRows({"b", "a", "b", "c"});
  for (int row = 0; row < 4; ++row) list.SetText(row, 1, std::to_string(row));
  list.SetSelected(3, true);
  const std::vector<std::string> before = list.ColumnTexts(0);
  list.SortRows([&](std::uint64_t x, std::uint64_t y) {
    // The compare function finds rows by item data; they must not move under it.
    EXPECT_EQ(list.ColumnTexts(0), before);
    return list.Text(FindRowByItemData(list, x), 0)
        .compare(list.Text(FindRowByItemData(list, y), 0));
  });
  EXPECT_EQ(list.ColumnTexts(0), (std::vector<std::string>{"a", "b", "b", "c"}));
  EXPECT_EQ(list.ColumnTexts(1), (std::vector<std::string>{"1", "0", "2", "3"}));
  // Selection and item data travel with their rows.
  EXPECT_EQ(list.SelectedRows(), std::vector<int>{3});
  EXPECT_EQ(list.ItemData(0), 1u);
  RenumberItemData(list);
  EXPECT_EQ(FindRowByItemData(list, 2), 2);
  EXPECT_EQ(FindRowByItemData(list, 4), -1);
}

}  // namespace
}  // namespace sd
