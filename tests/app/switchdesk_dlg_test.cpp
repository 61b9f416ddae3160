// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/switchdesk_dlg.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <latch>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "devices/monitor_file.h"
#include "settings/settings_file.h"
#include "support/devices.h"
#include "support/fake_dialogs.h"
#include "support/file_size_limit.h"
#include "support/recording_messages.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

using test::ShownMessage;
using test::Switch;

const ShownMessage kMaximumReached{"Maximum of 256 devices reached.", "Error", MessageIcon::Error};
const ShownMessage kDuplicateOnTransfer{"Duplicate IP address.", "Add fail", MessageIcon::Error};
const ShownMessage kNoAddressOnTransfer{
    "The switch has no IP address (0.0.0.0).\nIt can be moved to the Monitor List once it has one.", "Add fail",
    MessageIcon::Error};
const ShownMessage kInvalidFile{"Invalid configuration file.", "Error", MessageIcon::Error};
const ShownMessage kDuplicateIpOnLoad{"Duplicate IP address in Monitor List.", "Warning",
                                      MessageIcon::Warning};
const ShownMessage kDuplicateDeviceOnLoad{"Duplicate device in Monitor List.", "Warning",
                                          MessageIcon::Warning};

std::uint32_t Ip(const char* text) { return *TextToIpv4(text); }

// One 300-byte monitor.cfg record written field by field at its byte offsets.
class RawRecord {
 public:
  RawRecord& Text(std::size_t offset, std::string_view text) {
    std::memcpy(bytes_.data() + offset, text.data(), text.size());
    return *this;
  }
  RawRecord& U32(std::size_t offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
      bytes_[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    return *this;
  }
  // A device as a reply leaves it: MAC, address, versions 2.001.003.
  static RawRecord Device(std::string_view mac, const char* ip) {
    RawRecord r;
    r.Text(4, mac)
        .Text(109, ip)
        .U32(232, *ip ? Ip(ip) : 0)
        .U32(248, 0xFFFFFFFF)
        .U32(264, 0xFFFFFFFF);
    r.bytes_[274] = 2;  // version_major
    r.bytes_[276] = 3;  // interface_version
    r.bytes_[278] = 1;  // version_minor
    r.bytes_[282] = 2;  // dhcp not reported
    return r;
  }
  const std::array<std::uint8_t, 300>& Bytes() const { return bytes_; }

 private:
  std::array<std::uint8_t, 300> bytes_{};
};

std::vector<std::uint8_t> FileOf(std::initializer_list<RawRecord> records) {
  std::vector<std::uint8_t> out;
  for (const RawRecord& r : records) out.insert(out.end(), r.Bytes().begin(), r.Bytes().end());
  return out;
}

class SwitchdeskDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettings();
    Settings.multicast_interface_on_off = 1;
    dlg.CreateListColumns();
    dlg.ClearDeviceTables();
  }
  void TearDown() override {
    ResetSettings();
    ExpectConsistent();
  }

  void Discover(DeviceRecord r) {
    r.row_state = kRowStateNew;
    ASSERT_TRUE(dlg.StoreDiscoveryEntry(dlg.DiscoveryTable().Count(), r));
  }
  void Monitor(DeviceRecord r) {
    r.row_state = kRowStateNew;
    ASSERT_TRUE(dlg.StoreMonitorEntry(dlg.MonitorTable().Count(), r));
  }
  void FillMonitor(int n) {
    for (int i = 0; i < n; ++i)
      Monitor(Switch(
          "", ("10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1)).c_str()));
  }
  std::vector<std::string> MonitorIps() const { return monitor_list.ColumnTexts(kMonitorColumnIp); }
  std::vector<std::string> DiscoveryMacs() const {
    return discovery_list.ColumnTexts(kDiscoveryColumnMac);
  }
  // Entry texts in table order, to tell entries from rows.
  std::vector<std::string> MonitorEntryIps() {
    std::vector<std::string> out;
    for (const auto& e : dlg.MonitorTable().Entries(dlg.MonitorTable().Count()))
      out.emplace_back(GetText(e.ip_text));
    return out;
  }
  std::vector<std::string> DiscoveryEntryMacs() {
    std::vector<std::string> out;
    for (const auto& e : dlg.DiscoveryTable().Entries(dlg.DiscoveryTable().Count()))
      out.emplace_back(GetText(e.mac_text));
    return out;
  }

  // What every command must leave behind: each row shows one entry in use, the entries in use
  // are packed from 0 and the rest are zero, and item data is unique for sorting.
  void ExpectConsistent() {
    auto check = [](DeviceTable& table, IListControl& list, int key_column, bool by_mac) {
      const int n = table.Count();
      EXPECT_EQ(n, list.RowCount());
      std::set<int> entries;
      std::set<std::uint64_t> data;
      for (int row = 0; row < list.RowCount(); ++row) {
        const std::string key = list.Text(row, key_column);
        const FindResult f = by_mac ? table.FindByMac(key) : table.FindByIp(key);
        EXPECT_TRUE(f.found) << key;
        entries.insert(f.index);
        data.insert(list.ItemData(row));
      }
      EXPECT_EQ(static_cast<int>(entries.size()), n);
      EXPECT_EQ(static_cast<int>(data.size()), n);
      for (int i = n; i < kDeviceTableCapacity; ++i) {
        const DeviceRecord e = table.Entry(i);
        const DeviceRecord zero = ZeroRecord();
        EXPECT_EQ(std::memcmp(&e, &zero, sizeof e), 0) << "entry " << i;
      }
    };
    check(dlg.DiscoveryTable(), discovery_list, kDiscoveryColumnMac, true);
    check(dlg.MonitorTable(), monitor_list, kMonitorColumnIp, false);
  }

  test::TempConfigDir dir;
  test::RecordingMessages messages;
  test::FakeFileDialogs files;
  test::ScriptedRemoteIpDialog remote_ip;
  MemoryListControl discovery_list;
  MemoryListControl monitor_list;
  CSwitchdeskDlg dlg{discovery_list, monitor_list, messages, files, remote_ip};
};

// --- Transfer to the Monitor List -------------------------------------------------------------

TEST_F(SwitchdeskDlgTest, TransferMovesAcceptedDevicesInOrderAndClosesTheGaps) {
  Monitor(Switch("0000000000ff", "10.0.0.2"));
  DeviceRecord first = Switch("00000000000a", "10.0.0.1");
  first.answered = 0;
  first.missed_polls = 2;
  Discover(first);
  Discover(Switch("00000000000b", "10.0.0.2"));  // already monitored under this address
  Discover(Switch("00000000000c", "10.0.0.3"));
  Discover(Switch("00000000000d", "10.0.0.4"));

  dlg.TransferToMonitorList({0, 1, 2});

  EXPECT_EQ(MonitorIps(), (std::vector<std::string>{"10.0.0.2", "10.0.0.1", "10.0.0.3"}));
  EXPECT_EQ(DiscoveryMacs(), (std::vector<std::string>{"00000000000b", "00000000000d"}));
  EXPECT_EQ(DiscoveryEntryMacs(), DiscoveryMacs());
  EXPECT_EQ(messages.shown, std::vector<ShownMessage>{kDuplicateOnTransfer});
  const DeviceRecord moved = dlg.MonitorTable().Entry(1);
  EXPECT_EQ(moved.row_state, kRowStateNew);
  EXPECT_EQ(moved.status_image, kStatusImageNone);
  EXPECT_EQ(moved.missed_polls, 2u);  // counters travel with the device
  EXPECT_EQ(moved.answered, 0u);
}

TEST_F(SwitchdeskDlgTest, SwitchesSharingAnAddressCannotBeTransferredWhileBothAreDiscovered) {
  Discover(Switch("00000000000a", "192.168.0.239"));
  Discover(Switch("00000000000b", "192.168.0.239"));
  dlg.TransferToMonitorList({0, 1});
  EXPECT_TRUE(MonitorIps().empty());
  EXPECT_EQ(DiscoveryMacs().size(), 2u);
  EXPECT_EQ(messages.shown,
            (std::vector<ShownMessage>{kDuplicateOnTransfer, kDuplicateOnTransfer}));
}

TEST_F(SwitchdeskDlgTest, ATransferIntoANearlyFullMonitorListKeepsWhatFits) {
  FillMonitor(255);
  Discover(Switch("00000000000a", "10.0.0.1"));
  Discover(Switch("00000000000b", "10.0.0.2"));
  Discover(Switch("00000000000c", "10.0.0.3"));
  dlg.TransferToMonitorList({0, 1, 2});
  EXPECT_EQ(dlg.MonitorTable().Count(), 256);
  EXPECT_EQ(MonitorIps().back(), "10.0.0.1");
  EXPECT_EQ(DiscoveryMacs(), (std::vector<std::string>{"00000000000b", "00000000000c"}));
  EXPECT_EQ(messages.shown, std::vector<ShownMessage>{kMaximumReached});
}

TEST_F(SwitchdeskDlgTest, TransferCommandsActOnTheSelection) {
  Discover(Switch("00000000000a", "10.0.0.1"));
  Discover(Switch("00000000000b", "10.0.0.2"));
  Discover(Switch("00000000000c", "10.0.0.3"));
  dlg.OnAddToMonitorList();
  dlg.OnDiscoveryDoubleClick();
  EXPECT_TRUE(MonitorIps().empty());

  discovery_list.SetSelected(0, true);
  discovery_list.SetSelected(2, true);
  dlg.OnDiscoveryDoubleClick();  // two rows selected: nothing
  EXPECT_TRUE(MonitorIps().empty());
  dlg.OnAddToMonitorList();
  EXPECT_EQ(MonitorIps(), (std::vector<std::string>{"10.0.0.1", "10.0.0.3"}));

  discovery_list.SetSelected(0, true);
  dlg.OnDiscoveryDoubleClick();
  EXPECT_EQ(MonitorIps().back(), "10.0.0.2");
  EXPECT_TRUE(messages.shown.empty());
}

// A switch on DHCP without a lease answers from 0.0.0.0: it may be discovered, never monitored,
// and two of them are two refusals of their own, not a shared address.
TEST_F(SwitchdeskDlgTest, ASwitchWithoutAnAddressIsRefusedAndTheOthersMove) {
  Discover(Switch("00000000000a", "10.0.0.1"));
  Discover(Switch("00000000000b", "0.0.0.0"));
  Discover(Switch("00000000000c", "0.0.0.0"));
  Discover(Switch("00000000000d", "10.0.0.4"));
  dlg.TransferToMonitorList({0, 1, 2, 3});
  EXPECT_EQ(MonitorIps(), (std::vector<std::string>{"10.0.0.1", "10.0.0.4"}));
  EXPECT_EQ(DiscoveryMacs(), (std::vector<std::string>{"00000000000b", "00000000000c"}));
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{kNoAddressOnTransfer, kNoAddressOnTransfer}));
}

// A monitored switch that lost its lease follows its replies to 0.0.0.0. Its entry stays in use:
// the poll thread's pass goes on past it to the switches listed after it, and deleting rows,
// saving and loading keep rows and entries in step (checked after every test).
TEST_F(SwitchdeskDlgTest, AMonitoredSwitchWithoutAnAddressNeitherEndsThePollPassNorSplitsRowsFromEntries) {
  for (int i = 1; i <= 4; ++i) {
    Monitor(Switch("00000000000" + std::to_string(i), ("10.0.0." + std::to_string(i)).c_str()));
  }
  // As the dispatcher files a reply found by MAC from a new address.
  dlg.UpdateMonitorEntry(1, [](DeviceRecord& e) {
    SetIp(e, 0);
    e.row_state = kRowShown;
  });
  ASSERT_EQ(MonitorIps(), (std::vector<std::string>{"10.0.0.1", "0.0.0.0", "10.0.0.3", "10.0.0.4"}));
  std::vector<std::uint32_t> polled;
  for (int i = 0; auto ip = dlg.NotePollSentAndGetIp(i); ++i) polled.push_back(*ip);
  EXPECT_EQ(polled, (std::vector<std::uint32_t>{Ip("10.0.0.1"), 0, Ip("10.0.0.3"), Ip("10.0.0.4")}));
  EXPECT_EQ(dlg.MonitorTable().Entry(1).answered, 0u) << "its silence is counted like any other's";

  dlg.RemoveMonitorRows({0, 2});
  EXPECT_EQ(MonitorIps(), (std::vector<std::string>{"0.0.0.0", "10.0.0.4"}));
  EXPECT_EQ(MonitorEntryIps(), MonitorIps());
  ExpectConsistent();

  // Saved as it is; a record without an address is not loaded again.
  dlg.OnMonitorSave();
  MemoryListControl d2, m2;
  CSwitchdeskDlg next{d2, m2, messages, files, remote_ip};
  next.CreateListColumns();
  next.ClearDeviceTables();
  next.LoadMonitorFileAtStartup();
  EXPECT_EQ(m2.ColumnTexts(kMonitorColumnIp), std::vector<std::string>{"10.0.0.4"});
  EXPECT_EQ(next.MonitorTable().Count(), 1);
  EXPECT_EQ(GetText(next.MonitorTable().Entry(1).ip_text), "");
  EXPECT_TRUE(messages.shown.empty());
}

// --- Removal -----------------------------------------------------------------------------------

TEST_F(SwitchdeskDlgTest, RemovingNonAdjacentRowsRemovesExactlyThoseDevices) {
  FillMonitor(9);  // 10.1.0.1 ... 10.1.0.9
  dlg.RemoveMonitorRows({2, 3, 7});
  const std::vector<std::string> rest = {"10.1.0.1", "10.1.0.2", "10.1.0.5",
                                         "10.1.0.6", "10.1.0.7", "10.1.0.9"};
  EXPECT_EQ(MonitorIps(), rest);
  EXPECT_EQ(MonitorEntryIps(), rest);
}

TEST_F(SwitchdeskDlgTest, AfterASortRowsAreResolvedByTheirAddressNotTheirPosition) {
  for (const char* ip : {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4"}) Monitor(Switch("", ip));
  dlg.OnColumnClickMonitor(kMonitorColumnIp);  // descending: .4 .3 .2 .1
  dlg.RemoveMonitorRows({1});
  EXPECT_EQ(MonitorIps(), (std::vector<std::string>{"10.0.0.4", "10.0.0.2", "10.0.0.1"}));
  EXPECT_EQ(MonitorEntryIps(), (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "10.0.0.4"}));
}

// --- Add by address ----------------------------------------------------------------------------

TEST_F(SwitchdeskDlgTest, AnAddressAddedByHandShowsAnUnansweredDevice) {
  remote_ip.typed = {0, Ip("192.168.0.255"), Ip("10.0.0.5")};
  dlg.OnAddItem();
  const ShownMessage invalid{"Invalid IP address.", " Error", MessageIcon::Error};
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{invalid, invalid}));
  ASSERT_EQ(monitor_list.RowCount(), 1);
  EXPECT_EQ(monitor_list.Text(0, kMonitorColumnIp), "10.0.0.5");
  EXPECT_EQ(monitor_list.Text(0, kMonitorColumnMac), "");
  EXPECT_EQ(monitor_list.Text(0, 3), "0.000.000");
  EXPECT_EQ(monitor_list.Text(0, 6), "disable");
  EXPECT_EQ(monitor_list.Text(0, kMonitorColumnGroupInterval), "disable");
  const DeviceRecord e = dlg.MonitorTable().Entry(0);
  EXPECT_EQ(e.ip, Ip("10.0.0.5"));
  EXPECT_EQ(e.manager_id, 26499808u);
  EXPECT_EQ(e.status_image, kStatusImageNone);
  EXPECT_EQ(e.answered, 0u);
  EXPECT_EQ(e.missed_polls, 0u);
}

TEST_F(SwitchdeskDlgTest, AnAddressAlreadyInEitherListIsRefused) {
  const ShownMessage duplicate{"Duplicate IP address in Monitor List or Discovery List.", "Error",
                               MessageIcon::Error};
  Discover(Switch("00000000000a", "10.0.0.7"));
  Monitor(Switch("", "10.0.0.8"));
  for (const char* ip : {"10.0.0.7", "10.0.0.8"}) {
    messages.shown.clear();
    remote_ip.typed = {Ip(ip)};
    dlg.AddByAddress();
    EXPECT_EQ(messages.shown, std::vector<ShownMessage>{duplicate}) << ip;
    EXPECT_EQ(MonitorIps(), std::vector<std::string>{"10.0.0.8"});
  }
}

TEST_F(SwitchdeskDlgTest, CancellingTheRemoteIpDialogChangesNothing) {
  dlg.AddByAddress();
  EXPECT_EQ(remote_ip.runs, 1);
  EXPECT_TRUE(MonitorIps().empty());
  EXPECT_EQ(dlg.MonitorTable().Entry(0).ip, 0u);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SwitchdeskDlgTest, AddItemOpensTheDialogOnlyBelowTheLimit) {
  FillMonitor(255);
  remote_ip.typed = {Ip("10.0.0.5")};
  dlg.AddByAddress();
  EXPECT_EQ(remote_ip.runs, 1);
  EXPECT_EQ(dlg.MonitorTable().Count(), 256);
  dlg.AddByAddress();
  EXPECT_EQ(remote_ip.runs, 1);
  EXPECT_EQ(messages.shown, std::vector<ShownMessage>{kMaximumReached});
}

// --- Storing for the dispatcher ----------------------------------------------------------------

TEST_F(SwitchdeskDlgTest, StoringBeyondTheTableIsRefusedAndStoringAgainRewritesTheRow) {
  EXPECT_FALSE(dlg.StoreDiscoveryEntry(kDeviceTableCapacity, Switch("00000000000a", "10.0.0.1")));
  EXPECT_EQ(discovery_list.RowCount(), 0);
  Discover(Switch("00000000000a", "10.0.0.1"));
  DeviceRecord again = Switch("00000000000a", "10.0.0.9");
  again.row_state = kRowShown;
  dlg.StoreDiscoveryEntry(0, again);
  EXPECT_EQ(discovery_list.ColumnTexts(kDiscoveryColumnIp), std::vector<std::string>{"10.0.0.9"});
  dlg.ClearDiscoveryList();
  EXPECT_EQ(discovery_list.RowCount(), 0);
}

TEST_F(SwitchdeskDlgTest, PollCountingOnAnotherThreadAndRewritesOfTheEntryLoseNothing) {
  DeviceRecord device = Switch("00000000000a", "10.0.0.1");
  device.answered = 0;
  Monitor(device);
  constexpr int kRewrites = 5000;
  std::latch start(2);
  std::atomic<bool> done{false};
  std::uint32_t polls_sent = 0;
  // The poll thread counts polls for as long as the user-interface thread rewrites the entry.
  std::thread poll_thread([&] {
    start.arrive_and_wait();
    while (!done.load()) {
      if (dlg.NotePollSentAndGetIp(0) == Ip("10.0.0.1")) ++polls_sent;
    }
  });
  start.arrive_and_wait();
  for (int i = 0; i < kRewrites; ++i) {
    // A whole-record rewrite, as a merged reply is: read, change, write back.
    dlg.UpdateMonitorEntry(0, [](DeviceRecord& e) {
      DeviceRecord merged = e;
      std::this_thread::yield();  // the poll thread gets its chance in the middle of the merge
      ++merged.manager_id;
      merged.row_state = kRowShown;
      e = merged;
    });
  }
  done = true;
  poll_thread.join();
  const DeviceRecord e = dlg.MonitorTable().Entry(0);
  EXPECT_GT(polls_sent, 0u);
  EXPECT_EQ(e.missed_polls, polls_sent);
  EXPECT_EQ(e.manager_id, static_cast<std::uint32_t>(kRewrites));
  EXPECT_EQ(monitor_list.RowCount(), 1);
}

TEST_F(SwitchdeskDlgTest, TheRefreshIntervalTakesTheMenuValues) {
  EXPECT_EQ(dlg.RefreshIntervalSeconds(), 15);
  EXPECT_TRUE(dlg.SetRefreshInterval(300));
  EXPECT_FALSE(dlg.SetRefreshInterval(20));
  EXPECT_EQ(dlg.RefreshIntervalSeconds(), 300);
}

// --- Monitor list file -------------------------------------------------------------------------

TEST_F(SwitchdeskDlgTest, SavedListComesBackAtTheNextStartWithoutPasswords) {
  DeviceRecord a = Switch("00000000000a", "10.0.0.1", "GS-108");
  SetText(a.password, "secret");
  a.missed_polls = 7;
  a.answered = 0;
  Monitor(a);
  DeviceRecord b = Switch("", "10.0.0.2");
  b.status_image = kStatusImageNotAlive;
  Monitor(b);
  DeviceRecord c = Switch("00000000000c", "10.0.0.3");
  c.status_image = kStatusImageWarning;
  Monitor(c);
  dlg.OnMonitorSave();
  EXPECT_TRUE(messages.shown.empty());

  const std::vector<std::uint8_t> file = dir.Read("monitor.cfg");
  ASSERT_EQ(file.size(), 900u);
  EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 189, file.begin() + 232),
            std::vector<std::uint8_t>(43, 0));

  MemoryListControl d2, m2;
  CSwitchdeskDlg next{d2, m2, messages, files, remote_ip};
  next.CreateListColumns();
  next.ClearDeviceTables();
  next.LoadMonitorFileAtStartup();
  EXPECT_EQ(m2.ColumnTexts(kMonitorColumnIp),
            (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "10.0.0.3"}));
  EXPECT_EQ(m2.Text(0, 4), "GS-108");
  // Only the not-alive image survives a restart.
  EXPECT_EQ((std::vector<int>{m2.Image(0), m2.Image(1), m2.Image(2)}),
            (std::vector<int>{-1, 1, -1}));
  const DeviceRecord loaded = next.MonitorTable().Entry(0);
  EXPECT_EQ(loaded.answered, 1u);
  EXPECT_EQ(loaded.missed_polls, 0u);
  EXPECT_EQ(loaded.row_state, kRowStateNew);
  EXPECT_EQ(GetText(loaded.password), "");
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SwitchdeskDlgTest, AnEmptyListSavesAnEmptyFileThatLoadsSilently) {
  dlg.OnMonitorSave();
  EXPECT_TRUE(dir.Read("monitor.cfg").empty());
  dlg.LoadMonitorFileAtStartup();
  std::filesystem::remove(dir.File("monitor.cfg"));
  dlg.LoadMonitorFileAtStartup();
  EXPECT_TRUE(MonitorIps().empty());
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SwitchdeskDlgTest, AHandWrittenFileOfTwoRecordsLoadsTwoDevices) {
  dir.Write("monitor.cfg", FileOf({RawRecord::Device("001a2b3c4d5e", "192.168.0.10").U32(264, 1),
                                   RawRecord::Device("", "192.168.0.11").U32(264, 0)}));
  ASSERT_EQ(dir.Read("monitor.cfg").size(), 600u);
  dlg.LoadMonitorFileAtStartup();
  EXPECT_EQ(MonitorIps(), (std::vector<std::string>{"192.168.0.10", "192.168.0.11"}));
  EXPECT_EQ(monitor_list.Text(0, kMonitorColumnMac), "001a2b3c4d5e");
  EXPECT_EQ(monitor_list.Text(0, 3), "2.001.003");
  EXPECT_EQ(monitor_list.Image(0), kStatusImageNotAlive);  // stored not alive: kept at start-up
  EXPECT_EQ(monitor_list.Image(1), kStatusImageNone);      // stored warning: dropped at start-up
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SwitchdeskDlgTest, AFileOfPartialRecordsIsRefusedWhole) {
  const std::vector<std::uint8_t> whole = FileOf({RawRecord::Device("00000000000a", "10.0.0.1"),
                                                  RawRecord::Device("00000000000b", "10.0.0.2")});
  // Cut inside the first record, just before and after its end, inside the second; a byte more.
  std::vector<std::vector<std::uint8_t>> damaged;
  for (std::size_t cut : {1u, 150u, 299u, 301u, 450u, 599u}) damaged.emplace_back(whole.begin(), whole.begin() + cut);
  damaged.push_back(whole);
  damaged.back().push_back(0);
  for (const auto& bytes : damaged) {
    SCOPED_TRACE(bytes.size());
    dir.Write("monitor.cfg", bytes);
    messages.shown.clear();
    dlg.LoadMonitorFileAtStartup();
    EXPECT_TRUE(MonitorIps().empty());
    EXPECT_EQ(messages.shown, std::vector<ShownMessage>{kInvalidFile});
  }

  Monitor(Switch("", "10.0.0.9"));
  for (const auto& bytes : damaged) {
    SCOPED_TRACE(bytes.size());
    dir.Write("monitor.cfg", bytes);
    messages.shown.clear();
    files.open_answer = dir.File("monitor.cfg");
    dlg.OnMonitorLoad();
    EXPECT_EQ(MonitorIps(), std::vector<std::string>{"10.0.0.9"});
    EXPECT_EQ(messages.shown, std::vector<ShownMessage>{kInvalidFile});
  }
}

TEST_F(SwitchdeskDlgTest, MonitorLoadMergesNewDevicesAndWarnsAboutEachDuplicate) {
  Monitor(Switch("00000000000a", "10.0.0.1"));
  dir.Write("other.cfg",
            FileOf({RawRecord::Device("00000000000b", "10.0.0.1"),  // monitored address
                    RawRecord::Device("00000000000a", "10.0.0.2"),  // monitored device
                    RawRecord::Device("", "10.0.0.3").U32(264, 0),  // warning image kept
                    RawRecord::Device("", "10.0.0.4"),              // empty MACs are no duplicates
                    RawRecord::Device("00000000000c", "10.0.0.4"),  // same address earlier in file
                    RawRecord::Device("00000000000d", ""),          // no address: skipped
                    RawRecord::Device("00000000000e", "10.0.0.5").U32(264, 9)}));
  files.open_answer = dir.File("other.cfg");
  dlg.OnMonitorLoad();
  EXPECT_EQ(MonitorIps(),
            (std::vector<std::string>{"10.0.0.1", "10.0.0.3", "10.0.0.4", "10.0.0.5"}));
  EXPECT_EQ(monitor_list.Image(1), kStatusImageWarning);
  EXPECT_EQ(monitor_list.Image(3), kStatusImageNone);
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{kDuplicateIpOnLoad, kDuplicateDeviceOnLoad,
                                                       kDuplicateIpOnLoad}));
  ASSERT_EQ(files.open_requests.size(), 1u);
  EXPECT_EQ(files.open_requests[0].initial_name, "monitor.cfg");
  EXPECT_EQ(files.open_requests[0].filter_name, "config File (*.cfg)");
  EXPECT_EQ(files.open_requests[0].filter_glob, "*.cfg");

  // The file just saved, loaded into the same list, appends nothing.
  messages.shown.clear();
  files.save_answer = dir.File("saved.cfg");
  dlg.OnMonitorSaveAs();
  files.open_answer = dir.File("saved.cfg");
  dlg.OnMonitorLoad();
  EXPECT_EQ(MonitorIps().size(), 4u);
  EXPECT_EQ(messages.shown, std::vector<ShownMessage>(4, kDuplicateIpOnLoad));
}

TEST_F(SwitchdeskDlgTest, MonitorLoadStopsAtTheCapacity) {
  FillMonitor(255);
  dir.Write("three.cfg",
            FileOf({RawRecord::Device("", "10.0.0.1"), RawRecord::Device("", "10.0.0.2"),
                    RawRecord::Device("", "10.0.0.3")}));
  files.open_answer = dir.File("three.cfg");
  dlg.OnMonitorLoad();
  EXPECT_EQ(dlg.MonitorTable().Count(), 256);
  EXPECT_EQ(MonitorIps().back(), "10.0.0.1");
  EXPECT_EQ(messages.shown, std::vector<ShownMessage>{kMaximumReached});
}

// --- Reload of monitor.cfg (a watch told to read it again) -------------------------------------

TEST_F(SwitchdeskDlgTest, AReloadKeepsTheEntriesThatStayWholeAndFollowsTheFile) {
  for (const char* ip : {"10.0.0.1", "10.0.0.2", "10.0.0.3"}) Monitor(Switch("", ip));
  // 10.0.0.1 has been declared not alive and goes on missing polls; 10.0.0.3 answered lately.
  dlg.UpdateMonitorEntry(0, [](DeviceRecord& e) {
    e.answered = 0;
    e.missed_polls = 5;
    e.row_state = kRowShownNotAlive;
    e.status_image = kStatusImageNotAlive;
    SetText(e.system_name, "reported");
  });
  dlg.UpdateMonitorEntry(2, [](DeviceRecord& e) { e.row_state = kRowShown; });
  dlg.OnColumnClickMonitor(kMonitorColumnIp);  // rows descending: .3 .2 .1
  const DeviceRecord before_1 = dlg.MonitorTable().Entry(0);
  const DeviceRecord before_3 = dlg.MonitorTable().Entry(2);

  dir.Write("monitor.cfg",
            FileOf({RawRecord::Device("", "10.0.0.3"),
                    RawRecord::Device("00000000000a", "10.0.0.1").Text(61, "saved name"),  // stays as it runs
                    RawRecord::Device("", "10.0.0.4").U32(264, 1),  // stored not alive: kept
                    RawRecord::Device("", "10.0.0.5").U32(264, 0),  // stored warning: dropped
                    RawRecord::Device("00000000000f", "10.0.0.4"),  // the address again: skipped
                    RawRecord::Device("00000000000d", "")}));       // no address: skipped
  EXPECT_EQ(dlg.ReloadMonitorFile(), (MonitorReload{MonitorFileStatus::Ok, 4, 2, 1, 0}));

  EXPECT_EQ(MonitorEntryIps(), (std::vector<std::string>{"10.0.0.1", "10.0.0.3", "10.0.0.4", "10.0.0.5"}));
  // The rows of the devices that stay keep their places; the new ones come at the end.
  EXPECT_EQ(MonitorIps(), (std::vector<std::string>{"10.0.0.3", "10.0.0.1", "10.0.0.4", "10.0.0.5"}));
  const DeviceRecord after_1 = dlg.MonitorTable().Entry(0);
  const DeviceRecord after_3 = dlg.MonitorTable().Entry(1);
  EXPECT_EQ(std::memcmp(&after_1, &before_1, sizeof after_1), 0);
  EXPECT_EQ(std::memcmp(&after_3, &before_3, sizeof after_3), 0);
  EXPECT_EQ(monitor_list.Image(1), kStatusImageNotAlive);
  EXPECT_EQ(monitor_list.Text(1, 5), "reported");
  const DeviceRecord added = dlg.MonitorTable().Entry(2);
  EXPECT_EQ(added.row_state, kRowStateNew);
  EXPECT_EQ(added.answered, 1u);
  EXPECT_EQ(added.missed_polls, 0u);
  EXPECT_EQ(GetText(added.mac_text), "");  // the first record of the address
  EXPECT_EQ((std::vector<int>{monitor_list.Image(2), monitor_list.Image(3)}),
            (std::vector<int>{kStatusImageNotAlive, kStatusImageNone}));
  EXPECT_FALSE(dlg.MonitorListChanged());
  EXPECT_TRUE(messages.shown.empty());

  // A file that is not whole records, or none at all, leaves the list as it was.
  const std::vector<DeviceRecord> entries = dlg.MonitorTable().Entries(kDeviceTableCapacity);
  dir.Write("monitor.cfg", std::vector<std::uint8_t>(299, 0));
  EXPECT_EQ(dlg.ReloadMonitorFile().status, MonitorFileStatus::Invalid);
  std::filesystem::remove(dir.File("monitor.cfg"));
  EXPECT_EQ(dlg.ReloadMonitorFile().status, MonitorFileStatus::Unreadable);
  EXPECT_EQ(std::memcmp(dlg.MonitorTable().Entries(kDeviceTableCapacity).data(), entries.data(),
                        entries.size() * sizeof(DeviceRecord)),
            0);
  EXPECT_EQ(MonitorIps(), (std::vector<std::string>{"10.0.0.3", "10.0.0.1", "10.0.0.4", "10.0.0.5"}));

  // An empty file empties the list.
  dir.Write("monitor.cfg", {});
  EXPECT_EQ(dlg.ReloadMonitorFile(), (MonitorReload{MonitorFileStatus::Ok, 0, 0, 4, 0}));
  EXPECT_TRUE(MonitorIps().empty());
}

// A list loaded with an address twice (the start-up load takes a file as it was saved) stays
// within the 256 entries: what does not fit is counted, not stored.
TEST_F(SwitchdeskDlgTest, AReloadNeverGrowsTheListPast256) {
  for (int i = 0; i < kDeviceTableCapacity; ++i) Monitor(Switch("", ("10.0.1." + std::to_string(i / 2 + 1)).c_str()));
  std::vector<std::uint8_t> file;
  std::vector<std::string> ips;
  for (int i = 1; i <= 130; ++i) ips.push_back("10.0.1." + std::to_string(i));
  for (const std::string& ip : ips) {
    const auto bytes = RawRecord::Device("", ip.c_str()).Bytes();
    file.insert(file.end(), bytes.begin(), bytes.end());
  }
  dir.Write("monitor.cfg", file);
  EXPECT_EQ(dlg.ReloadMonitorFile(), (MonitorReload{MonitorFileStatus::Ok, 256, 0, 0, 2}));
  EXPECT_EQ(monitor_list.RowCount(), kDeviceTableCapacity);
  EXPECT_EQ(MonitorEntryIps().back(), "10.0.1.128");
  // The fixture's check wants one entry per address.
  monitor_list.DeleteAllRows();
  dlg.MonitorTable().Clear();
}

// The poll thread walks the table by index while reloads change it: it counts every poll into
// the entry of the address it sent to, so a device that stays loses none of its counting.
TEST_F(SwitchdeskDlgTest, AReloadWhileThePollThreadWalksTheListLosesNoCounting) {
  DeviceRecord watched = Switch("", "10.0.0.1");
  watched.answered = 0;  // each poll now adds a missed poll
  Monitor(watched);
  const std::vector<std::uint8_t> layouts[] = {
      FileOf({RawRecord::Device("", "10.0.0.2"), RawRecord::Device("", "10.0.0.1"), RawRecord::Device("", "10.0.0.3")}),
      FileOf({RawRecord::Device("", "10.0.0.1"), RawRecord::Device("", "10.0.0.4")}),
      FileOf({RawRecord::Device("", "10.0.0.5"), RawRecord::Device("", "10.0.0.6"), RawRecord::Device("", "10.0.0.1")}),
  };
  std::atomic<bool> done{false};
  std::uint32_t polls_of_watched = 0;
  std::thread poll_thread([&] {
    while (!done.load()) {
      for (int i = 0; i < kDeviceTableCapacity; ++i) {
        const auto ip = dlg.NotePollSentAndGetIp(i);
        if (!ip) break;
        if (*ip == Ip("10.0.0.1")) ++polls_of_watched;
      }
    }
  });
  for (int round = 0; round < 600; ++round) {
    dir.Write("monitor.cfg", layouts[round % 3]);
    ASSERT_EQ(dlg.ReloadMonitorFile().status, MonitorFileStatus::Ok);
    ExpectConsistent();
  }
  done = true;
  poll_thread.join();
  const FindResult f = dlg.MonitorTable().FindByIp("10.0.0.1");
  ASSERT_TRUE(f.found);
  EXPECT_GT(polls_of_watched, 0u);
  EXPECT_EQ(dlg.MonitorTable().Entry(f.index).missed_polls, polls_of_watched);
}

TEST_F(SwitchdeskDlgTest, TextsOfALoadedRecordNeverRunPastTheirFields) {
  RawRecord r = RawRecord::Device("00000000000a", "10.0.0.1");
  r.Text(20, std::string(41, 'P')).Text(61, std::string(21, 'S'));  // no NUL in either field
  dir.Write("monitor.cfg", FileOf({r}));
  dlg.LoadMonitorFileAtStartup();
  EXPECT_EQ(monitor_list.Text(0, 4), std::string(40, 'P'));
  EXPECT_EQ(monitor_list.Text(0, 5), std::string(20, 'S'));
}

TEST_F(SwitchdeskDlgTest, SaveAsWritesTheChosenFileAndNothingWhenCancelled) {
  Monitor(Switch("00000000000a", "10.0.0.1"));
  dlg.OnMonitorSaveAs();
  ASSERT_EQ(files.save_requests.size(), 1u);
  EXPECT_EQ(files.save_requests[0].initial_name, "Default.cfg");
  EXPECT_EQ(files.save_requests[0].filter_glob, "*.cfg");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                          std::filesystem::directory_iterator()),
            0);
  files.save_answer = dir.File("mine.cfg");
  dlg.OnMonitorSaveAs();
  EXPECT_EQ(dir.Read("mine.cfg").size(), 300u);
  EXPECT_FALSE(std::filesystem::exists(dir.File("monitor.cfg")));
}

TEST_F(SwitchdeskDlgTest, AFailedSaveIsReportedAndKeepsThePreviousFile) {
  Monitor(Switch("00000000000a", "10.0.0.1"));
  dlg.OnMonitorSave();
  const std::vector<std::uint8_t> previous = dir.Read("monitor.cfg");
  ASSERT_EQ(previous.size(), 300u);
  FillMonitor(3);

  {
    const test::FileSizeLimit disk(600);  // the disk takes only 600 bytes of the 1200 the save needs
    dlg.OnMonitorSave();
  }

  EXPECT_EQ(dir.Read("monitor.cfg"), previous);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].title, "Error");
  EXPECT_EQ(messages.shown[0].icon, MessageIcon::Error);
  EXPECT_NE(messages.shown[0].text.find(dir.File("monitor.cfg")), std::string::npos);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
}  // namespace sd
