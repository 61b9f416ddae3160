// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/interfaces.h"

#include <gtest/gtest.h>
#include <net/if.h>

#include "net/socket_set.h"
#include "protocol/ipv4.h"

namespace sd {
namespace {

NetworkInterface Card(const char* name, unsigned index, const char* address) {
  return {name, index, *TextToIpv4(address), 0xFFFFFF00};
}

TEST(InterfacesTest, AChoiceLeavesEveryCardOrTheNamedOneOrNone) {
  const std::vector<NetworkInterface> all = {Card("wlan0", 2, "192.0.2.7"), Card("eth1", 5, "198.18.1.1")};
  const struct {
    const char* choice;
    std::vector<NetworkInterface> expected;
  } cases[] = {
      {"", all},
      {"eth1", {all[1]}},
      {"eth9", {}},  // undocked since it was chosen
      {"eth", {}},   // names are matched whole
  };
  for (const auto& c : cases) EXPECT_EQ(ChooseInterfaces(all, c.choice), c.expected) << c.choice;
  EXPECT_EQ(InterfaceLabel(all[1]), "eth1 (198.18.1.1)");
}

// Reading the system's cards sends nothing. The loopback never is one, and each card is listed
// once under its own index.
TEST(InterfacesTest, TheSystemsCardsLeaveOutTheLoopbackAndNameEachCardOnce) {
  const auto cards = SystemInterfaces().List();
  for (std::size_t i = 0; i < cards.size(); ++i) {
    EXPECT_NE(cards[i].name, "lo");
    EXPECT_EQ(::if_nametoindex(cards[i].name.c_str()), cards[i].index);
    EXPECT_NE(cards[i].address >> 24, 127u) << cards[i].name;
    for (std::size_t j = 0; j < i; ++j) EXPECT_NE(cards[i].index, cards[j].index);
  }
}

class FakeInterfaces : public IInterfaceSource {
 public:
  std::vector<NetworkInterface> List() override {
    ++readings;
    return cards;
  }
  std::vector<NetworkInterface> cards;
  int readings = 0;
};

// The socket set reads the cards at each renewal, the choice applied; a chosen card that is gone
// leaves no card at all (no socket is opened here: nothing may be sent from this namespace).
TEST(SocketSetCardsTest, ReadsTheCardsAtEachRenewalWithTheChoiceApplied) {
  FakeInterfaces fake;
  fake.cards = {Card("wlan0", 2, "192.0.2.7"), Card("eth1", 5, "198.18.1.1")};
  SocketSet sockets(fake);
  sockets.RefreshMulticastMembership([](std::chrono::milliseconds) {});
  EXPECT_EQ(fake.readings, 1);
  EXPECT_EQ(sockets.Cards(), fake.cards);
  sockets.ChooseInterface("eth1");
  sockets.JoinGroupEverywhere();
  EXPECT_EQ(fake.readings, 2);
  EXPECT_EQ(sockets.Cards(), std::vector<NetworkInterface>{fake.cards[1]});
  fake.cards.pop_back();  // undocked
  sockets.JoinGroupEverywhere();
  EXPECT_TRUE(sockets.Cards().empty());
}

TEST(SwitchInterfacesTest, RemembersTheLastCardOfEachSwitchWithinABound) {
  SwitchInterfaces switches;
  EXPECT_EQ(switches.Find("020000000010"), 0u);
  switches.Note("020000000010", 3);
  switches.Note("020000000010", 4);  // the switch moved to another card
  switches.Note("020000000011", 0);  // not known: nothing to remember
  EXPECT_EQ(switches.Find("020000000010"), 4u);
  EXPECT_EQ(switches.Find("020000000011"), 0u);

  // Invented MAC addresses cannot grow it past its bound.
  for (std::size_t i = 0; i < 3 * SwitchInterfaces::kLimit; ++i) switches.Note("mac" + std::to_string(i), 7);
  std::size_t known = 0;
  for (std::size_t i = 0; i < 3 * SwitchInterfaces::kLimit; ++i) known += switches.Find("mac" + std::to_string(i)) != 0;
  EXPECT_LE(known, SwitchInterfaces::kLimit);
  EXPECT_GT(known, 0u);
}

}  // namespace
}  // namespace sd
