// SPDX-License-Identifier: GPL-3.0-or-later
// Loopback only: every datagram here goes to 127.0.0.0/8.
#include "net/udp_socket.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <thread>
#include <vector>

#include "net/socket_set.h"
#include "settings/settings_file.h"
#include "support/recording_messages.h"

namespace sd {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Buffer = std::array<std::uint8_t, kMaxDatagram>;

UdpSocket BoundLoopback(std::uint32_t address = kLoopbackAddress) {
  auto s = UdpSocket::Open();
  EXPECT_TRUE(s);
  EXPECT_TRUE(s->Bind(0, address));
  return std::move(*s);
}

// Waits a little for a datagram on a non-blocking socket.
std::optional<ReceivedDatagram> ReceiveWithin(UdpSocket& s, Buffer& buffer) {
  for (int i = 0; i < 1000; ++i) {
    if (auto r = s.Receive(buffer)) return r;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return std::nullopt;
}

TEST(UdpSocketTest, SendsAndReceivesOneDatagramWithItsSource) {
  UdpSocket receiver = BoundLoopback();
  UdpSocket sender = BoundLoopback();
  const Endpoint to = *receiver.LocalEndpoint();
  ASSERT_EQ(to.address, kLoopbackAddress);
  ASSERT_NE(to.port, 0);

  const Bytes datagram{1, 2, 3, 4, 5};
  ASSERT_TRUE(sender.SendTo(datagram, to));
  Buffer buffer{};
  const auto r = ReceiveWithin(receiver, buffer);
  ASSERT_TRUE(r);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(r->size)), datagram);
  EXPECT_EQ(r->source, *sender.LocalEndpoint());
  EXPECT_FALSE(r->destination);  // not asked for
}

TEST(UdpSocketTest, AnEmptySocketReturnsAtOnceWithNothing) {
  UdpSocket s = BoundLoopback();
  Buffer buffer{};
  buffer[0] = 0xAB;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(s.Receive(buffer));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(buffer[0], 0xAB);
}

TEST(UdpSocketTest, ALongerDatagramIsCutToTheBuffer) {
  UdpSocket receiver = BoundLoopback();
  UdpSocket sender = BoundLoopback();
  const Bytes big(4000, 0x5A);
  ASSERT_TRUE(sender.SendTo(big, *receiver.LocalEndpoint()));
  Buffer buffer{};
  const auto r = ReceiveWithin(receiver, buffer);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->size, kMaxDatagram);
  EXPECT_TRUE(r->truncated);

  // A datagram of exactly the buffer's size is whole.
  ASSERT_TRUE(sender.SendTo(Bytes(kMaxDatagram, 0x5A), *receiver.LocalEndpoint()));
  const auto whole = ReceiveWithin(receiver, buffer);
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->size, kMaxDatagram);
  EXPECT_FALSE(whole->truncated);
}

TEST(UdpSocketTest, PacketInformationGivesTheDestinationAndChoosesTheSource) {
  // A socket on all addresses answers for several of this host's addresses, as the simulator
  // answers for each switch; all of 127.0.0.0/8 belongs to the loopback interface.
  UdpSocket server = BoundLoopback(kAnyAddress);
  ASSERT_TRUE(server.EnablePacketInfo());
  const std::uint16_t port = server.LocalEndpoint()->port;
  UdpSocket client = BoundLoopback();
  Buffer buffer{};
  for (std::uint32_t address : {0x7F00000Bu, 0x7F00000Cu}) {
    ASSERT_TRUE(client.SendTo(Bytes{9}, {address, port}));
    const auto request = ReceiveWithin(server, buffer);
    ASSERT_TRUE(request);
    ASSERT_TRUE(request->destination);
    EXPECT_EQ(*request->destination, address);

    ASSERT_TRUE(server.SendFrom(Bytes{7}, request->source, address));
    const auto reply = ReceiveWithin(client, buffer);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->source, (Endpoint{address, port}));
  }
}

TEST(UdpSocketTest, ReportsFailuresInsteadOfThrowing) {
  UdpSocket first = BoundLoopback();
  auto second = UdpSocket::Open();
  ASSERT_TRUE(second);
  EXPECT_FALSE(second->Bind(first.LocalEndpoint()->port, kLoopbackAddress));  // port in use
  EXPECT_FALSE(second->JoinGroup(0));  // 0.0.0.0 is no group; nothing is sent
  second->Close();
  EXPECT_FALSE(second->IsOpen());
  EXPECT_FALSE(second->SendTo(Bytes{1}, *first.LocalEndpoint()));
  Buffer buffer{};
  EXPECT_FALSE(second->Receive(buffer));
  EXPECT_FALSE(second->SetBroadcast(true));
  EXPECT_FALSE(second->LocalEndpoint());
}

TEST(UdpSocketTest, OwnsItsDescriptor) {
  int fd = -1;
  {
    UdpSocket a = BoundLoopback();
    fd = a.Fd();
    UdpSocket b = std::move(a);
    EXPECT_FALSE(a.IsOpen());  // NOLINT(bugprone-use-after-move): moved-from state is defined
    EXPECT_EQ(b.Fd(), fd);
    EXPECT_NE(::fcntl(fd, F_GETFD), -1);
    EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
  }
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);  // closed with its owner
}

// Three free ports P, P + 1 and P + 6, found by binding them for a moment.
std::uint16_t FreeBasePort() {
  for (std::uint16_t p = 41000; p < 60000; p = static_cast<std::uint16_t>(p + 17)) {
    bool free = true;
    for (int offset : {0, 1, 6}) {
      auto s = UdpSocket::Open();
      free = free && s && s->Bind(static_cast<std::uint16_t>(p + offset));
    }
    if (free) return p;
  }
  return 0;
}

class SocketSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base = FreeBasePort();
    ASSERT_NE(base, 0);
    ParsedSettings v;
    v.base_port = base;
    v.multicast_group = "not a group";  // joining it fails before anything is sent
    ApplySettings(v);
  }
  void TearDown() override { ResetSettings(); }
  std::uint16_t base = 0;
  test::RecordingMessages messages;
  SocketSet set;
};

TEST_F(SocketSetTest, BindsTheBaseAndUnicastPortsOnAllAddresses) {
  set.CreateBroadcastSocket(messages);
  set.CreateUnicastSocket(messages);
  EXPECT_TRUE(messages.shown.empty());
  ASSERT_TRUE(set.Broadcast());
  ASSERT_TRUE(set.Unicast());
  EXPECT_EQ(*set.Broadcast()->LocalEndpoint(), (Endpoint{kAnyAddress, base}));
  EXPECT_EQ(*set.Unicast()->LocalEndpoint(), (Endpoint{kAnyAddress, static_cast<std::uint16_t>(base + 1)}));
  set.CloseSocketSet();
  EXPECT_FALSE(set.Broadcast());
  EXPECT_FALSE(set.Unicast());
  EXPECT_FALSE(set.Multicast());
}

// Over loopback: all the answers of a discovery of 256 switches (to the broadcast and to the
// group) wait in one socket until the window reads them.
TEST_F(SocketSetTest, ASocketHoldsEveryAnswerOfAFullDiscovery) {
  UdpSocket probe = BoundLoopback();
  probe.SetReceiveBufferSize(1 << 20);
  if (probe.ReceiveBufferSize() < 2 * (1 << 20)) {
    GTEST_SKIP() << "this system gives an unprivileged socket only " << probe.ReceiveBufferSize() << " bytes";
  }
  set.CreateBroadcastSocket(messages);
  ASSERT_TRUE(set.Broadcast());
  UdpSocket sender = BoundLoopback();
  const Bytes answer(200, 0x5A);  // the size of a typical answer with its names
  for (int i = 0; i < 512; ++i) ASSERT_TRUE(sender.SendTo(answer, {kLoopbackAddress, base}));
  Buffer buffer{};
  int read = 0;
  while (set.Broadcast()->Receive(buffer)) ++read;
  EXPECT_EQ(read, 512);
}

TEST_F(SocketSetTest, TellsTheUserWhyASocketIsMissing) {
  auto squatter = UdpSocket::Open();
  ASSERT_TRUE(squatter && squatter->Bind(base));
  set.CreateBroadcastSocket(messages);
  EXPECT_FALSE(set.Broadcast());
  EXPECT_FALSE(set.CreateMulticastSocket(messages));
  EXPECT_FALSE(set.Multicast());
  EXPECT_EQ(messages.shown,
            (std::vector<test::ShownMessage>{
                {"Bind socket error", "Error", MessageIcon::Error},
                {"Please check your network connection.\nUtility will close.", "Error", MessageIcon::Error}}));
}

TEST_F(SocketSetTest, MembershipRefreshWaitsTwoHundredThenThreeHundredMilliseconds) {
  std::vector<long> waits;
  set.RefreshMulticastMembership([&](std::chrono::milliseconds d) { waits.push_back(d.count()); });
  EXPECT_EQ(waits, (std::vector<long>{200, 300}));
}

}  // namespace
}  // namespace sd
