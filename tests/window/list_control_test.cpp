// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/qt_list_control.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "window/device_list_widget.h"

namespace sd::gui {
namespace {

// The same contract holds for the in-memory control the core's tests use and for the window's.
struct MemoryList {
  MemoryListControl list;
};
struct TreeList {
  TreeList() { ConfigureReportList(tree); }
  QTreeWidget tree;
  QtListControl list{tree};
};

template <class T>
class ListControlContractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* header : {"A", "B", "C"}) list().AddColumn({header, ColumnAlignment::Left, 50});
  }
  IListControl& list() { return holder.list; }
  // Rows with texts "r<i>" in column 0 and item data 10 + i.
  void AddRows(int n) {
    for (int i = 0; i < n; ++i) {
      const int row = list().InsertRow(list().RowCount(), kNoImage, static_cast<std::uint64_t>(10 + i));
      list().SetText(row, 0, "r" + std::to_string(i));
    }
  }
  std::vector<std::string> Column0() {
    std::vector<std::string> out;
    for (int row = 0; row < list().RowCount(); ++row) out.push_back(list().Text(row, 0));
    return out;
  }
  T holder;
};

using Implementations = ::testing::Types<MemoryList, TreeList>;
TYPED_TEST_SUITE(ListControlContractTest, Implementations);

TYPED_TEST(ListControlContractTest, RowsKeepTextsImagesAndItemData) {
  IListControl& list = this->list();
  EXPECT_EQ(list.ColumnCount(), 3);
  EXPECT_EQ(list.InsertRow(0, 1, 7), 0);
  EXPECT_EQ(list.InsertRow(9, kNoImage, 8), 1);  // past the end: appended
  EXPECT_EQ(list.InsertRow(1, 0, 9), 1);
  list.SetText(0, 0, "first");
  list.SetText(0, 2, "third column");
  list.SetText(2, 1, "last row");
  list.SetText(5, 0, "no such row");
  list.SetText(0, 3, "no such column");
  EXPECT_EQ(list.RowCount(), 3);
  EXPECT_EQ(list.Text(0, 0), "first");
  EXPECT_EQ(list.Text(0, 1), "");
  EXPECT_EQ(list.Text(0, 2), "third column");
  EXPECT_EQ(list.Text(2, 1), "last row");
  EXPECT_EQ(list.Text(3, 0), "");
  EXPECT_EQ(list.Text(0, 3), "");
  EXPECT_EQ(list.Image(0), 1);
  EXPECT_EQ(list.Image(1), 0);
  EXPECT_EQ(list.Image(2), kNoImage);
  EXPECT_EQ(list.Image(7), kNoImage);
  EXPECT_EQ(list.ItemData(1), 9u);
  list.SetImage(2, 1);
  list.SetItemData(2, 42);
  EXPECT_EQ(list.Image(2), 1);
  EXPECT_EQ(list.ItemData(2), 42u);
  EXPECT_EQ(list.ItemData(3), 0u);
  EXPECT_EQ(FindRowByItemData(list, 42), 2);

  list.DeleteRow(1);
  list.DeleteRow(5);
  EXPECT_EQ(list.RowCount(), 2);
  EXPECT_EQ(list.Text(1, 1), "last row");
  list.DeleteAllRows();
  EXPECT_EQ(list.RowCount(), 0);
  EXPECT_EQ(list.ColumnCount(), 3);
}

TYPED_TEST(ListControlContractTest, SelectionChangesAreAnnouncedBeforeTheyHappen) {
  IListControl& list = this->list();
  this->AddRows(4);
  std::vector<std::pair<int, bool>> announced;  // row, its state when announced
  list.SetItemChangingHandler([&](int row) { announced.emplace_back(row, list.IsSelected(row)); });
  list.SetSelected(2, true);
  list.SetSelected(0, true);
  list.SetSelected(0, true);  // no change: no announcement
  list.SetSelected(2, false);
  list.SetSelected(9, true);  // no such row
  EXPECT_EQ(announced, (std::vector<std::pair<int, bool>>{{2, false}, {0, false}, {2, true}}));
  EXPECT_EQ(list.SelectedRows(), std::vector<int>{0});
  EXPECT_TRUE(list.IsSelected(0));
  EXPECT_FALSE(list.IsSelected(2));
  list.SetItemChangingHandler(nullptr);
  list.SetSelected(3, true);
  EXPECT_EQ(announced.size(), 3u);
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{0, 3}));
}

TYPED_TEST(ListControlContractTest, SortIsStableKeepsRowsReadableWhileComparingAndMovesSelection) {
  IListControl& list = this->list();
  this->AddRows(5);
  // Sort key: the digit of "r<i>" taken from the row, looked up by item data while sorting;
  // rows 1 and 3 compare equal (both odd), as do 0, 2 and 4 (all even).
  list.SetSelected(3, true);
  list.SetSelected(4, true);
  int lookups_failed = 0;
  list.SortRows([&](std::uint64_t a, std::uint64_t b) {
    const int row_a = FindRowByItemData(list, a);
    const int row_b = FindRowByItemData(list, b);
    if (row_a != static_cast<int>(a - 10) || row_b != static_cast<int>(b - 10)) ++lookups_failed;
    const int odd_a = (list.Text(row_a, 0).back() - '0') % 2;
    const int odd_b = (list.Text(row_b, 0).back() - '0') % 2;
    return odd_b - odd_a;  // odd rows first
  });
  EXPECT_EQ(lookups_failed, 0);
  EXPECT_EQ(this->Column0(), (std::vector<std::string>{"r1", "r3", "r0", "r2", "r4"}));
  EXPECT_EQ(list.ItemData(0), 11u);
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{1, 4}));  // r3 and r4 went along
}

// ---- What only the window's control has to do ----

class QtListControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ConfigureReportList(tree);
    list.AddColumn({"S", ColumnAlignment::Center, 20});
    list.AddColumn({"IP Address", ColumnAlignment::Left, 80});
  }
  QTreeWidget tree;
  QtListControl list{tree};
};

TEST_F(QtListControlTest, ColumnsBecomeTheTreesHeaders) {
  EXPECT_EQ(ColumnHeaders(tree), (QStringList{"S", "IP Address"}));
  EXPECT_EQ(tree.columnWidth(0), 20);
  EXPECT_EQ(tree.columnWidth(1), 80);
  EXPECT_EQ(Qt::Alignment::fromInt(tree.headerItem()->textAlignment(0)) & Qt::AlignHorizontal_Mask,
            Qt::AlignHCenter);
  list.InsertRow(0, kNoImage, 0);
  EXPECT_EQ(Qt::Alignment::fromInt(tree.topLevelItem(0)->textAlignment(1)) & Qt::AlignHorizontal_Mask,
            Qt::AlignLeft);
}

TEST_F(QtListControlTest, TextsReadBackAsTheBytesWrittenAndShowReadably) {
  struct Case {
    std::string bytes;
    QString shown;
  };
  const Case cases[] = {
      {"192.168.0.10", "192.168.0.10"},
      {"Caf\xc3\xa9 rack", QString::fromUtf8("Caf\xc3\xa9 rack")},  // UTF-8
      {"Caf\xe9 rack", QString::fromUtf8("Caf\xc3\xa9 rack")},      // not UTF-8: read as Latin-1
      {"", ""},
  };
  for (const Case& c : cases) {
    list.DeleteAllRows();
    list.InsertRow(0, kNoImage, 0);
    list.SetText(0, 1, c.bytes);
    EXPECT_EQ(list.Text(0, 1), c.bytes);
    EXPECT_EQ(tree.topLevelItem(0)->text(1), c.shown);
  }
}

TEST_F(QtListControlTest, StatusImagesAreShownInColumnZero) {
  for (int image : {kNoImage, 0, 1}) list.InsertRow(list.RowCount(), image, 0);
  EXPECT_TRUE(tree.topLevelItem(0)->icon(0).isNull());
  EXPECT_FALSE(tree.topLevelItem(1)->icon(0).isNull());
  EXPECT_FALSE(tree.topLevelItem(2)->icon(0).isNull());
  list.SetImage(2, kNoImage);
  EXPECT_TRUE(tree.topLevelItem(2)->icon(0).isNull());
}

TEST_F(QtListControlTest, TheUsersClicksAreAnnouncedBeforeTheSelectionChanges) {
  for (int i = 0; i < 3; ++i) list.SetText(list.InsertRow(i, kNoImage, static_cast<std::uint64_t>(i)), 1, "row");
  tree.resize(300, 200);
  tree.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));
  std::vector<std::vector<int>> seen;  // the selection as each announcement found it
  list.SetItemChangingHandler([&](int) { seen.push_back(list.SelectedRows()); });
  auto click = [&](int row, Qt::KeyboardModifiers modifiers = {}) {
    const QPoint at = row >= 0 ? tree.visualItemRect(tree.topLevelItem(row)).center()
                               : QPoint(10, tree.viewport()->height() - 5);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, modifiers, at);
  };
  click(1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], std::vector<int>{});
  EXPECT_EQ(list.SelectedRows(), std::vector<int>{1});
  click(2, Qt::ControlModifier);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1], std::vector<int>{1});
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{1, 2}));
  click(-1);  // below the last row: the selection goes, announced first
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen[2], (std::vector<int>{1, 2}));
  EXPECT_EQ(list.SelectedRows(), std::vector<int>{});
}

TEST_F(QtListControlTest, AHandlerThatChangesThisListDoesNotAnnounceItselfAgain) {
  for (int i = 0; i < 3; ++i) list.InsertRow(i, kNoImage, static_cast<std::uint64_t>(i));
  int calls = 0;
  list.SetItemChangingHandler([&](int row) {
    ++calls;
    if (row == 0) list.SetSelected(2, true);
  });
  list.SetSelected(0, true);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{0, 2}));
}

TEST(QtListControlLifetimeTest, TheTreeMayOutliveItsAdapter) {
  QTreeWidget tree;
  int announced = 0;
  {
    QtListControl adapter(tree);
    adapter.AddColumn({"A", ColumnAlignment::Left, 50});
    adapter.InsertRow(0, kNoImage, 0);
    adapter.SetItemChangingHandler([&](int) { ++announced; });
  }
  // Selection changes after the adapter has gone reach nobody.
  tree.selectionModel()->select(tree.model()->index(0, 0), QItemSelectionModel::Select);
  tree.clear();
  EXPECT_EQ(announced, 0);
}

}  // namespace
}  // namespace sd::gui
