// SPDX-License-Identifier: GPL-3.0-or-later
// The window on a manager with two cards (tools/lab/lab.sh run --link-b): "Discover" finds the
// switches of both links, and Option > "Network interface" keeps it to the card chosen.

#include <gtest/gtest.h>

#include <QMenu>
#include <QTest>
#include <algorithm>
#include <string>
#include <vector>

#include "window/lab_window_fixture.h"

namespace sd::gui {
namespace {

using namespace sd::test;  // NOLINT: the window fixture's and the lab's helpers

class LabTwoCardsWindowTest : public LabWindowFixture {
 protected:
  void SetUp() override {
    LabWindowFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(LabHasLinkB()) << "run with tools/lab/lab.sh run --link-b N";
    ASSERT_TRUE(StartLabSimulator(sim, {"ip=198.18.0.10,mac=02:00:00:00:00:10", "ip=198.18.0.11,mac=02:00:00:00:00:11"}));
    ASSERT_TRUE(StartLabSimulatorIn(sim_b, LabEnv("LAB_LINK_B_NS"), "198.18.1.1", {"ip=198.18.1.10,mac=02:00:00:00:01:10"}));
  }
  void TearDown() override {
    LabWindowFixture::TearDown();
    sim_b.Stop();
  }
  // "Discover", then the rows once the replies are in.
  std::vector<std::string> Discover(std::size_t rows) {
    window().ButtonOf(Control::Discover)->click();
    QTreeWidget* discovery = window().DiscoveryList();
    // Too few rows show in the comparison that follows.
    (void)QTest::qWaitFor([&] { return static_cast<std::size_t>(discovery->topLevelItemCount()) >= rows; }, 5000);
    QTest::qWait(700);  // the group's replies, and any that should not come
    auto ips = ColumnTexts(discovery, kDiscoveryColumnIp);
    std::sort(ips.begin(), ips.end());
    return ips;
  }
  // The menu item of a card, by its name.
  QAction* MenuItem(const std::string& name) {
    QMenu* menu = window().NetworkInterfaceMenu();
    emit menu->aboutToShow();
    for (QAction* a : menu->actions()) {
      if (a->data().toString().toStdString() == name) return a;
    }
    return nullptr;
  }
  ChildProcess sim_b;
};

TEST_F(LabTwoCardsWindowTest, DiscoverFindsBothLinksAndTheMenuKeepsItToTheChosenCard) {
  ASSERT_TRUE(window().Initialise(Networking::On));
  Show();
  EXPECT_EQ(Discover(3), (std::vector<std::string>{"198.18.0.10", "198.18.0.11", "198.18.1.10"}));

  // Both cards are listed with their addresses.
  ASSERT_NE(MenuItem(LabEnv("LAB_MANAGER_IF")), nullptr);
  QAction* link_b = MenuItem(LabEnv("LAB_MANAGER_B_IF"));
  ASSERT_NE(link_b, nullptr);
  EXPECT_EQ(link_b->text().toStdString(), LabEnv("LAB_MANAGER_B_IF") + " (198.18.1.1)");
  link_b->trigger();
  EXPECT_TRUE(MenuItem(LabEnv("LAB_MANAGER_B_IF"))->isChecked());
  EXPECT_FALSE(MenuItem("")->isChecked());
  EXPECT_EQ(Discover(1), std::vector<std::string>{"198.18.1.10"});

  MenuItem(LabEnv("LAB_MANAGER_IF"))->trigger();
  EXPECT_EQ(Discover(2), (std::vector<std::string>{"198.18.0.10", "198.18.0.11"}));
  MenuItem("")->trigger();
  EXPECT_EQ(Discover(3), (std::vector<std::string>{"198.18.0.10", "198.18.0.11", "198.18.1.10"}));
}

}  // namespace
}  // namespace sd::gui
