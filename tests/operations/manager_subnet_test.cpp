// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/manager_subnet.h"

#include <gtest/gtest.h>

#include "protocol/operation_context.h"
#include "support/main_dialog.h"

namespace sd {
namespace {

using test::ShownMessage;
using test::Switch;

std::uint32_t Ip(const char* text) { return *TextToIpv4(text); }

InterfaceAddress Row(const char* address, const char* mask) { return {Ip(address), Ip(mask)}; }

// An address table given by the test, or a read that fails with an error number.
class TableAddresses : public IInterfaceAddresses {
 public:
  int Read(std::vector<InterfaceAddress>& out) override {
    ++reads;
    out = rows;
    return error;
  }
  std::vector<InterfaceAddress> rows;
  int error = 0;
  int reads = 0;
};

struct SubnetCase {
  const char* name;
  std::vector<InterfaceAddress> rows;
  const char* switch_ip;
  int expected_row;
};

class FindManagerSubnetTest : public ::testing::TestWithParam<SubnetCase> {};

TEST_P(FindManagerSubnetTest, FirstRowWhoseSubnetHoldsTheSwitch) {
  EXPECT_EQ(FindManagerSubnet(GetParam().rows, Ip(GetParam().switch_ip)), GetParam().expected_row);
}

std::vector<InterfaceAddress> ManyRowsEndingWith(InterfaceAddress last) {
  std::vector<InterfaceAddress> rows;
  for (std::uint32_t i = 0; i < 299; ++i) rows.push_back({0x0A000001 + (i << 8), 0xFFFFFF00});  // 10.0.i.1/24
  rows.push_back(last);
  return rows;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindManagerSubnetTest,
    ::testing::Values(
        SubnetCase{"same_24", {Row("192.168.1.5", "255.255.255.0")}, "192.168.1.200", 0},
        SubnetCase{"other_24", {Row("192.168.1.5", "255.255.255.0")}, "192.168.2.1", -1},
        SubnetCase{"loopback_matches_127", {Row("127.0.0.1", "255.0.0.0")}, "127.3.4.5", 0},
        SubnetCase{"loopback_only_127", {Row("127.0.0.1", "255.0.0.0")}, "10.0.0.1", -1},
        SubnetCase{"no_address_matches_nothing", {Row("0.0.0.0", "0.0.0.0")}, "192.168.1.9", -1},
        SubnetCase{"host_route_itself", {Row("10.1.1.1", "255.255.255.255")}, "10.1.1.1", 0},
        SubnetCase{"host_route_neighbour", {Row("10.1.1.1", "255.255.255.255")}, "10.1.1.2", -1},
        SubnetCase{"first_match_in_table_order",
                   {Row("127.0.0.1", "255.0.0.0"), Row("0.0.0.0", "0.0.0.0"), Row("10.0.0.1", "255.0.0.0"),
                    Row("10.9.0.1", "255.255.0.0")},
                   "10.9.8.7", 2},
        SubnetCase{"empty_table", {}, "10.0.0.1", -1},
        SubnetCase{"three_hundred_rows", ManyRowsEndingWith(Row("198.18.0.1", "255.255.255.0")), "198.18.0.10", 299}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

class CheckManagerSubnetTest : public ::testing::Test, protected test::MainDialogFixture {
 protected:
  CheckManagerSubnetTest() { addresses.rows = {Row("127.0.0.1", "255.0.0.0"), Row("192.168.0.2", "255.255.255.0")}; }

  int Check(const DeviceTable& list, int index) { return CheckManagerSubnet(list, index, messages, addresses); }
  void ExpectNoTarget() {
    EXPECT_EQ(OperationContext::Instance().UpgradeTargetMac(), "");
    EXPECT_EQ(OperationContext::Instance().UpgradeTargetIp(), 0u);
  }

  TableAddresses addresses;
};

TEST_F(CheckManagerSubnetTest, PassRecordsTheUpgradeTarget) {
  AddMonitored(Switch("001a2b3c4d01", "192.168.0.10"));
  AddMonitored(Switch("001a2b3c4d02", "192.168.0.11"));
  EXPECT_EQ(Check(dlg.MonitorTable(), 1), 1);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(OperationContext::Instance().UpgradeTargetMac(), "001a2b3c4d02");
  EXPECT_EQ(OperationContext::Instance().UpgradeTargetIp(), Ip("192.168.0.11"));
}

TEST_F(CheckManagerSubnetTest, TheTargetsAddressInAnotherEntryOfItsListRefuses) {
  // In either list, and whichever of the two is the target.
  for (const bool monitor : {false, true}) {
    test::MainDialogFixture fresh;
    auto add = [&](DeviceRecord r) { monitor ? fresh.AddMonitored(r) : fresh.AddDiscovered(r); };
    add(Switch("001a2b3c4d01", "192.168.0.10"));
    add(Switch("001a2b3c4d02", "192.168.0.20"));
    add(Switch("001a2b3c4d03", "192.168.0.10"));
    const DeviceTable& list = monitor ? fresh.dlg.MonitorTable() : fresh.dlg.DiscoveryTable();
    for (const int target : {0, 2}) {
      fresh.messages.shown.clear();
      EXPECT_EQ(CheckManagerSubnet(list, target, fresh.messages, addresses), 0) << monitor << target;
      EXPECT_EQ(fresh.messages.shown,
                (std::vector<ShownMessage>{{"Duplicate IP address.", "Error", MessageIcon::Error}}));
      ExpectNoTarget();
    }
    // The entry in between has an address of its own.
    fresh.messages.shown.clear();
    EXPECT_EQ(CheckManagerSubnet(list, 1, fresh.messages, addresses), 1);
  }
  EXPECT_EQ(addresses.reads, 2) << "the address table is read only when no address is duplicated";
}

TEST_F(CheckManagerSubnetTest, DuplicatesInTheOtherListDoNotRefuse) {
  AddDiscovered(Switch("001a2b3c4d01", "192.168.0.10"));
  AddDiscovered(Switch("001a2b3c4d02", "192.168.0.10"));
  AddMonitored(Switch("001a2b3c4d01", "192.168.0.10"));
  EXPECT_EQ(Check(dlg.MonitorTable(), 0), 1);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(CheckManagerSubnetTest, NoSharedSubnetRefuses) {
  AddDiscovered(Switch("001a2b3c4d01", "10.20.30.40"));
  EXPECT_EQ(Check(dlg.DiscoveryTable(), 0), -1);
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{{"The device and manager IP addresses are not in the same subnet.",
                                                        "Error", MessageIcon::Error}}));
  ExpectNoTarget();
}

TEST_F(CheckManagerSubnetTest, AnAdapterWithoutAddressDoesNotLetEverySwitchThrough) {
  addresses.rows.insert(addresses.rows.begin(), Row("0.0.0.0", "0.0.0.0"));
  AddDiscovered(Switch("001a2b3c4d01", "10.20.30.40"));
  EXPECT_EQ(Check(dlg.DiscoveryTable(), 0), -1);
  ExpectNoTarget();
}

TEST_F(CheckManagerSubnetTest, AnUnreadableAddressTableShowsTheSystemError) {
  addresses.error = 12;
  AddDiscovered(Switch("001a2b3c4d01", "192.168.0.10"));
  EXPECT_EQ(Check(dlg.DiscoveryTable(), 0), -1);
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{{"Error 12", "Switchdesk", MessageIcon::Warning}}));
  ExpectNoTarget();
}

TEST_F(CheckManagerSubnetTest, AComputerWithManyAddressesIsReadWhole) {
  addresses.rows = ManyRowsEndingWith(Row("192.168.0.2", "255.255.255.0"));
  AddMonitored(Switch("001a2b3c4d01", "192.168.0.10"));
  EXPECT_EQ(Check(dlg.MonitorTable(), 0), 1);
  EXPECT_TRUE(messages.shown.empty());
}

TEST(SystemInterfaceAddressesTest, ReadsTheLoopbackAddressWithItsMask) {
  SystemInterfaceAddresses system;
  std::vector<InterfaceAddress> rows;
  ASSERT_EQ(system.Read(rows), 0);
  EXPECT_NE(std::find(rows.begin(), rows.end(), Row("127.0.0.1", "255.0.0.0")), rows.end());
  EXPECT_GE(FindManagerSubnet(rows, Ip("127.0.0.99")), 0);
}

}  // namespace
}  // namespace sd
