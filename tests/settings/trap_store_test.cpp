// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/trap_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace sd {
namespace {

bool AllZero(const TrapRecord& r) {
  static const TrapRecord zero{};
  return std::memcmp(&r, &zero, sizeof r) == 0;
}

std::string Numbered(int n) { return "trap " + std::to_string(n); }

TEST(TrapStoreTest, FillsSlotsInArrivalOrderAsUnread) {
  TrapStore store;
  EXPECT_EQ(store.trap_count(), 0);
  store.Add("06/01/2007 14:03:09", "192.168.0.10", "T");
  store.Add("06/01/2007 14:03:10", "192.168.0.11", "");
  EXPECT_EQ(store.trap_count(), 2);
  EXPECT_EQ(store.StoredCount(), 2u);
  EXPECT_STREQ(store.Slot(0).time_text, "06/01/2007 14:03:09");
  EXPECT_STREQ(store.Slot(0).address_text, "192.168.0.10");
  EXPECT_STREQ(store.Slot(0).event_text, "T");
  EXPECT_EQ(store.Slot(0).image, TRAP_IMAGE_UNREAD);
  EXPECT_STREQ(store.Slot(1).event_text, "");
  EXPECT_TRUE(AllZero(store.Slot(2)));
  store.SetImage(0, TRAP_IMAGE_READ);
  EXPECT_EQ(store.Slot(0).image, TRAP_IMAGE_READ);
}

TEST(TrapStoreTest, KeepsTheNewest1499AndTheLastSlotEmpty) {
  struct Case {
    int added;
    int first_kept;
  };
  for (const Case c : {Case{1499, 1}, Case{1500, 2}, Case{1600, 102}, Case{3 * 1499 + 7, 2 * 1499 + 8}}) {
    TrapStore store;
    for (int n = 1; n <= c.added; ++n) store.Add("t", "a", Numbered(n));
    EXPECT_EQ(store.trap_count(), c.added);
    EXPECT_EQ(store.StoredCount(), kTrapsKept);
    for (std::size_t slot = 0; slot < kTrapsKept; ++slot) {
      ASSERT_EQ(store.Slot(slot).event_text, Numbered(c.first_kept + static_cast<int>(slot))) << c.added;
      ASSERT_EQ(store.Slot(slot).image, TRAP_IMAGE_UNREAD);
    }
    EXPECT_TRUE(AllZero(store.Slot(kTrapSlots - 1))) << c.added;
  }
}

TEST(TrapStoreTest, AReadMarkStaysWithItsTrapAsOlderOnesAreDropped) {
  TrapStore store;
  for (int n = 1; n <= 1499; ++n) store.Add("t", "a", Numbered(n));
  store.SetImage(10, TRAP_IMAGE_READ);  // trap 11
  for (int n = 1500; n <= 1504; ++n) store.Add("t", "a", Numbered(n));
  EXPECT_STREQ(store.Slot(5).event_text, "trap 11");
  for (std::size_t slot = 0; slot < kTrapsKept; ++slot) {
    ASSERT_EQ(store.Slot(slot).image, slot == 5 ? TRAP_IMAGE_READ : TRAP_IMAGE_UNREAD) << slot;
  }
  // The newest trap carries nothing of the oldest, read one dropped for it: its bytes are those
  // of the same trap in an empty store.
  store.SetImage(0, TRAP_IMAGE_READ);
  store.Add("t", "a", "");
  TrapStore fresh;
  fresh.Add("t", "a", "");
  EXPECT_EQ(std::memcmp(&store.Slot(kTrapsKept - 1), &fresh.Slot(0), sizeof(TrapRecord)), 0);
  EXPECT_STREQ(store.Slot(0).event_text, "trap 7");
  EXPECT_TRUE(AllZero(store.Slot(kTrapSlots - 1)));
}

TEST(TrapStoreTest, CutsTextsToTheirFieldsSafely) {
  TrapStore store;
  const std::string long_text(600, 'x');
  store.Add(std::string(40, '1'), std::string(40, '2'), long_text);
  EXPECT_EQ(std::string(store.Slot(0).time_text), std::string(19, '1'));
  EXPECT_EQ(std::string(store.Slot(0).address_text), std::string(19, '2'));
  EXPECT_EQ(std::string(store.Slot(0).event_text), std::string(255, 'x'));
  // A two-byte character across the limit is left out whole, never cut in half.
  store.Add("t", "a", std::string(254, 'a') + "\xC3\xA9" + "tail");
  EXPECT_EQ(std::string(store.Slot(1).event_text), std::string(254, 'a'));
  EXPECT_EQ(store.Slot(1).image, TRAP_IMAGE_UNREAD);
}

TEST(TrapStoreTest, ClearEmptiesTheStoreAndRestartsTheCount) {
  TrapStore store;
  for (int n = 1; n <= 1600; ++n) store.Add("t", "a", Numbered(n));
  store.Clear();
  EXPECT_EQ(store.trap_count(), 0);
  EXPECT_EQ(store.StoredCount(), 0u);
  for (std::size_t slot = 0; slot < kTrapSlots; ++slot) ASSERT_TRUE(AllZero(store.Slot(slot)));
  store.Add("t", "a", "again");
  EXPECT_STREQ(store.Slot(0).event_text, "again");
}

}  // namespace
}  // namespace sd
