// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/trap_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sd {
namespace {

// The texts of column `column` and the images, top to bottom.
std::vector<std::string> Column(const MemoryListControl& list, int column) { return list.ColumnTexts(column); }
std::vector<int> Images(const MemoryListControl& list) {
  std::vector<int> out;
  for (int row = 0; row < list.RowCount(); ++row) out.push_back(list.Image(row));
  return out;
}

class TrapWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { TrapSort() = {}; }
  void TearDown() override { TrapSort() = {}; }

  // Three traps, arriving in the order B, C, A by text.
  void AddThree() {
    store.Add("06/01/2007 14:03:09", "192.168.0.12", "B link up");
    store.Add("06/01/2007 14:03:07", "192.168.0.10", "C cold start");
    store.Add("06/01/2007 14:03:08", "192.168.0.11", "A port 3 down");
  }
  void Click(int row) {
    for (int selected : list.SelectedRows()) list.SetSelected(selected, false);
    if (row >= 0) list.SetSelected(row, true);
    window.OnClickTrapList();
  }
  int ReadCount() const {
    int n = 0;
    for (std::size_t slot = 0; slot < store.StoredCount(); ++slot) n += store.Slot(slot).image == TRAP_IMAGE_READ;
    return n;
  }

  TrapStore store;
  MemoryListControl list;
  TrapWindow window{store, list};
};

TEST_F(TrapWindowTest, ListsEveryStoredTrapOldestFirstUnderItsColumns) {
  AddThree();
  store.SetImage(1, TRAP_IMAGE_READ);
  window.OnInitDialog();
  EXPECT_EQ(list.Columns(), TrapColumns());
  EXPECT_EQ(TrapColumns(), (std::vector<ListColumn>{{"S", ColumnAlignment::Left, 20},
                                                    {"Time", ColumnAlignment::Left, 100},
                                                    {"IP", ColumnAlignment::Left, 100},
                                                    {"Event", ColumnAlignment::Left, 800},
                                                    {" ", ColumnAlignment::Left, 30}}));
  EXPECT_EQ(Column(list, 0), (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(Column(list, 1), (std::vector<std::string>{"06/01/2007 14:03:09", "06/01/2007 14:03:07",
                                                       "06/01/2007 14:03:08"}));
  EXPECT_EQ(Column(list, 2), (std::vector<std::string>{"192.168.0.12", "192.168.0.10", "192.168.0.11"}));
  EXPECT_EQ(Column(list, 3), (std::vector<std::string>{"B link up", "C cold start", "A port 3 down"}));
  EXPECT_EQ(Column(list, 4), (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(Images(list), (std::vector<int>{0, -1, 0}));
  for (int row = 0; row < 3; ++row) EXPECT_EQ(list.ItemData(row), static_cast<std::uint64_t>(row));
}

TEST_F(TrapWindowTest, AnEmptyStoreGivesAnEmptyListAndATrapWithoutTextHidesNoLaterTrap) {
  window.OnInitDialog();
  EXPECT_EQ(list.RowCount(), 0);

  TrapStore with_gap;
  with_gap.Add("t1", "10.0.0.1", "first");
  with_gap.Add("t2", "10.0.0.2", "");
  with_gap.Add("t3", "10.0.0.3", "third");
  MemoryListControl other;
  TrapWindow gap_window(with_gap, other);
  gap_window.OnInitDialog();
  EXPECT_EQ(Column(other, 3), (std::vector<std::string>{"first", "", "third"}));
  EXPECT_EQ(Column(other, 1), (std::vector<std::string>{"t1", "t2", "t3"}));
}

TEST_F(TrapWindowTest, AClickMarksTheTrapOfTheFirstSelectedRowReadAndKeepsTheRowSelected) {
  AddThree();
  window.OnInitDialog();
  list.SetSelected(2, true);
  list.SetSelected(1, true);
  window.OnClickTrapList();
  EXPECT_EQ(store.Slot(1).image, TRAP_IMAGE_READ);
  EXPECT_EQ(ReadCount(), 1);
  EXPECT_EQ(Images(list), (std::vector<int>{0, -1, 0}));
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{1, 2}));
  EXPECT_EQ(Column(list, 3), (std::vector<std::string>{"B link up", "C cold start", "A port 3 down"}));

  // Read stays read when the window is opened again.
  MemoryListControl reopened;
  TrapWindow again(store, reopened);
  again.OnInitDialog();
  EXPECT_EQ(Images(reopened), (std::vector<int>{0, -1, 0}));
}

TEST_F(TrapWindowTest, AClickWithNoRowSelectedMarksNothing) {
  AddThree();
  window.OnInitDialog();
  Click(-1);
  EXPECT_EQ(ReadCount(), 0);
  EXPECT_EQ(Images(list), (std::vector<int>{0, 0, 0}));
}

TEST_F(TrapWindowTest, AfterASortAClickMarksExactlyTheTrapShownInThatRow) {
  struct Case {
    std::vector<int> header_clicks;
    std::vector<std::string> events;  // top to bottom after the clicks
  };
  const Case cases[] = {
      {{1}, {"B link up", "A port 3 down", "C cold start"}},             // time, descending
      {{1, 1}, {"C cold start", "A port 3 down", "B link up"}},          // time, ascending
      {{3}, {"C cold start", "B link up", "A port 3 down"}},             // event, descending
      {{2, 2}, {"C cold start", "A port 3 down", "B link up"}},          // address, ascending
      {{4, 3}, {"A port 3 down", "B link up", "C cold start"}},          // 4 only turns the direction
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.events.front());
    TrapSort() = {};
    TrapStore traps;
    MemoryListControl rows;
    TrapWindow trap_window(traps, rows);
    traps.Add("06/01/2007 14:03:09", "192.168.0.12", "B link up");
    traps.Add("06/01/2007 14:03:07", "192.168.0.10", "C cold start");
    traps.Add("06/01/2007 14:03:08", "192.168.0.11", "A port 3 down");
    trap_window.OnInitDialog();
    for (int column : c.header_clicks) trap_window.OnTrapColumnClick(column);
    ASSERT_EQ(Column(rows, 3), c.events);
    for (int row : {0, 2, 1}) {
      const std::string shown = rows.Text(row, kTrapColumnEvent);
      for (int r : rows.SelectedRows()) rows.SetSelected(r, false);
      rows.SetSelected(row, true);
      trap_window.OnClickTrapList();
      EXPECT_EQ(rows.Image(row), kNoImage) << shown;
      EXPECT_EQ(rows.Text(row, kTrapColumnEvent), shown);
      bool marked = false;
      for (std::size_t slot = 0; slot < 3; ++slot) {
        if (shown == traps.Slot(slot).event_text) marked = traps.Slot(slot).image == TRAP_IMAGE_READ;
      }
      EXPECT_TRUE(marked) << shown;
      // Header clicks between clicks keep the rows and their traps together.
      trap_window.OnTrapColumnClick(kTrapColumnTime);
    }
  }
}

TEST_F(TrapWindowTest, ImageSortPutsReadTrapsFirstWhenAscending) {
  AddThree();
  store.SetImage(2, TRAP_IMAGE_READ);
  window.OnInitDialog();
  window.OnTrapColumnClick(kTrapColumnImage);  // descending: unread (0) first
  EXPECT_EQ(Images(list), (std::vector<int>{0, 0, -1}));
  EXPECT_EQ(Column(list, 3), (std::vector<std::string>{"B link up", "C cold start", "A port 3 down"}));
  window.OnTrapColumnClick(kTrapColumnImage);  // ascending: read (-1) first
  EXPECT_EQ(Images(list), (std::vector<int>{-1, 0, 0}));
  EXPECT_EQ(Column(list, 3), (std::vector<std::string>{"A port 3 down", "B link up", "C cold start"}));
}

TEST_F(TrapWindowTest, SortDirectionAndColumnOutliveTheWindow) {
  AddThree();
  window.OnInitDialog();
  EXPECT_TRUE(TrapSort().ascending);
  window.OnTrapColumnClick(kTrapColumnAddress);
  EXPECT_FALSE(TrapSort().ascending);
  EXPECT_EQ(TrapSort().column, kTrapColumnAddress);
  window.OnTrapColumnClick(kTrapColumnSpare);
  EXPECT_TRUE(TrapSort().ascending);
  EXPECT_EQ(TrapSort().column, kTrapColumnAddress);  // column 4 is not remembered

  MemoryListControl reopened;
  TrapWindow again(store, reopened);
  again.OnInitDialog();
  again.OnTrapColumnClick(kTrapColumnTime);  // the next click after the last one: descending
  EXPECT_FALSE(TrapSort().ascending);
  EXPECT_EQ(Column(reopened, 1), (std::vector<std::string>{"06/01/2007 14:03:09", "06/01/2007 14:03:08",
                                                           "06/01/2007 14:03:07"}));
}

TEST_F(TrapWindowTest, ClearAllEmptiesListAndStore) {
  AddThree();
  window.OnInitDialog();
  window.OnClearAll();
  EXPECT_EQ(list.RowCount(), 0);
  EXPECT_EQ(store.trap_count(), 0);
  EXPECT_EQ(store.StoredCount(), 0u);
  EXPECT_EQ(store.Slot(0).event_text[0], '\0');
  window.OnClickTrapList();  // nothing left to mark
  MemoryListControl reopened;
  TrapWindow again(store, reopened);
  again.OnInitDialog();
  EXPECT_EQ(reopened.RowCount(), 0);
}

TEST_F(TrapWindowTest, TrapsArrivingWhileOpenAreNotListedAndClicksStillFindTheirTrap) {
  for (int i = 0; i < static_cast<int>(kTrapsKept); ++i) store.Add("t", "10.0.0.1", "trap " + std::to_string(i));
  window.OnInitDialog();
  ASSERT_EQ(list.RowCount(), static_cast<int>(kTrapsKept));
  // Two more arrive: the store drops its two oldest and moves the rest down.
  store.Add("t", "10.0.0.1", "late 1");
  store.Add("t", "10.0.0.1", "late 2");
  EXPECT_EQ(list.RowCount(), static_cast<int>(kTrapsKept));
  Click(5);  // shows "trap 5", now in slot 3
  EXPECT_EQ(store.Slot(3).image, TRAP_IMAGE_READ);
  EXPECT_STREQ(store.Slot(3).event_text, "trap 5");
  EXPECT_EQ(ReadCount(), 1);
  Click(0);  // "trap 0" has left the store: nothing to mark
  EXPECT_EQ(ReadCount(), 1);
  EXPECT_EQ(list.Image(0), kNoImage);
}

}  // namespace
}  // namespace sd
