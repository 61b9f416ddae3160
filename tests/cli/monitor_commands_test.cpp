// SPDX-License-Identifier: GPL-3.0-or-later
// The monitor commands run in-process against a settings folder of their own: the same checks
// and messages as the window's "Add item", "Delete item", "Monitor load" and "Monitor save as",
// and monitor.cfg saved whenever the list changed.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/commands.h"
#include "devices/monitor_file.h"
#include "settings/settings_file.h"
#include "support/devices.h"
#include "support/json.h"
#include "support/temp_dir.h"

namespace sd::cli {
namespace {

constexpr const char* kSettings =
    "manager_id=01945AE0\nbase_port=C350\nmulticast_group=239.255.100.100\nmulticast_interface_on_off=1\n"
    "multicast_timer_flag=1\nstrlen_multi_timer=3\nmulticast_timer=125\n";

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

class MonitorCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override { dir.Write("define.ecf", MakeSealedSettings(kSettings)); }
  void TearDown() override { ResetSettings(); }

  Outcome Cli(const std::vector<std::string>& args, const std::string& typed = "", bool interactive = false) {
    std::istringstream in(typed);
    std::ostringstream out, err;
    Console console{in, out, err, interactive};
    const int status = RunCli(args, console);
    ResetSettings();
    return {status, out.str(), err.str()};
  }

  void Store(const std::string& name, const std::vector<DeviceRecord>& records) {
    dir.Write(name, EncodeMonitorFile(records));
  }
  static std::vector<DeviceRecord> Switches(const std::vector<std::string>& ips) {
    std::vector<DeviceRecord> records;
    for (const auto& ip : ips) {
      records.push_back(test::Switch("0200000000" + std::to_string(10 + records.size()), ip));
    }
    return records;
  }
  std::vector<DeviceRecord> Saved(const std::string& name = "monitor.cfg") {
    return DecodeMonitorFile(dir.Read(name)).value_or(std::vector<DeviceRecord>{});
  }
  std::vector<std::string> SavedAddresses(const std::string& name = "monitor.cfg") {
    std::vector<std::string> ips;
    for (const DeviceRecord& r : Saved(name)) ips.emplace_back(GetText(r.ip_text));
    return ips;
  }

  test::TempConfigDir dir;
};

TEST_F(MonitorCommandsTest, AddTakesTheAddressAsTheRemoteIpDialogAndSavesTheList) {
  struct Case {
    std::string address;
    int status;
    std::string shown;
    std::vector<std::string> saved;
  };
  const Case cases[] = {
      {"192.168.0.10", 0, "", {"10.0.0.1", "192.168.0.10"}},
      {"192.168.0.0", 1, " Error: Invalid IP address.\n", {"10.0.0.1"}},
      {"172.16.255.255", 1, " Error: Invalid IP address.\n", {"10.0.0.1"}},
      {"224.0.0.1", 1, " Error: Invalid IP address.\n", {"10.0.0.1"}},
      {"...", 1, " Error: Invalid IP address.\n", {"10.0.0.1"}},
      {"10.0.0.1", 1, "Error: Duplicate IP address in Monitor List or Discovery List.\n", {"10.0.0.1"}},
      {"10..0.5", 0, "", {"10.0.0.1", "10.0.0.5"}},  // last: its entry is looked at below
  };
  for (const Case& c : cases) {
    Store("monitor.cfg", Switches({"10.0.0.1"}));
    const Outcome o = Cli({"monitor", "add", c.address});
    EXPECT_EQ(o.status, c.status) << c.address;
    EXPECT_EQ(o.err, c.shown) << c.address;
    EXPECT_EQ(o.out, "") << c.address;
    EXPECT_EQ(SavedAddresses(), c.saved) << c.address;
  }
  // The entry the dialog makes: an address, the identifier of hand-made entries, nothing else yet.
  const DeviceRecord added = Saved().back();
  EXPECT_EQ(added.ip, 0x0A000005u);
  EXPECT_EQ(added.manager_id, kManualEntryManagerId);
  EXPECT_EQ(GetText(added.mac_text), "");
}

TEST_F(MonitorCommandsTest, AddToAFullListIsRefusedWithTheLimit) {
  std::vector<std::string> ips;
  for (int i = 0; i < 256; ++i) ips.push_back("10.0." + std::to_string(i / 200 + 1) + "." + std::to_string(i % 200 + 1));
  Store("monitor.cfg", Switches(ips));
  const auto before = dir.Read("monitor.cfg");
  const Outcome o = Cli({"monitor", "add", "192.168.0.10"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "Error: Maximum of 256 devices reached.\n");
  EXPECT_EQ(dir.Read("monitor.cfg"), before);
}

TEST_F(MonitorCommandsTest, RemoveIsDeleteItemWithItsQuestion) {
  struct Case {
    std::vector<std::string> args;
    std::string typed;
    bool interactive;
    int status;
    std::vector<std::string> saved;
    std::string shown;
  };
  const std::vector<std::string> all = {"10.0.0.1", "10.0.0.2", "10.0.0.3"};
  const Case cases[] = {
      {{"monitor", "remove", "10.0.0.2", "--yes"}, "", false, 0, {"10.0.0.1", "10.0.0.3"}, ""},
      {{"monitor", "remove", "10.0.0.3", "10.0.0.1"}, "ok\n", true, 0, {"10.0.0.2"},
       "Warning: Delete entry? [OK/Cancel] "},
      {{"monitor", "remove", "10.0.0.2"}, "cancel\n", true, 1, all, "Warning: Delete entry? [OK/Cancel] "},
      {{"monitor", "remove", "10.0.0.2"}, "ok\n", false, 1, all,
       "Warning: Delete entry?\nCancel: there is no terminal to answer at; --yes answers OK.\n"},
      {{"monitor", "remove", "10.0.0.2", "10.0.0.9", "--yes"}, "", false, 1, all,
       "Error: 10.0.0.9 is not in the Monitor List.\n"},
  };
  for (const Case& c : cases) {
    Store("monitor.cfg", Switches(all));
    const Outcome o = Cli(c.args, c.typed, c.interactive);
    EXPECT_EQ(o.status, c.status) << c.args[2];
    EXPECT_EQ(o.err, c.shown) << c.args[2];
    EXPECT_EQ(SavedAddresses(), c.saved) << c.args[2];
  }
}

TEST_F(MonitorCommandsTest, ImportIsMonitorLoadAndSavesWhatItTook) {
  Store("monitor.cfg", Switches({"10.0.0.1"}));
  std::vector<DeviceRecord> file = Switches({"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.3", "10.0.0.4"});
  SetText(file[1].mac_text, GetText(Saved()[0].mac_text));  // the monitored device at a new address
  Store("other.cfg", file);

  const Outcome o = Cli({"monitor", "import", dir.File("other.cfg")});
  EXPECT_EQ(o.status, 1);  // some records were refused
  EXPECT_EQ(o.err,
            "Warning: Duplicate IP address in Monitor List.\n"
            "Warning: Duplicate device in Monitor List.\n"
            "Warning: Duplicate IP address in Monitor List.\n");
  EXPECT_EQ(SavedAddresses(), (std::vector<std::string>{"10.0.0.1", "10.0.0.3", "10.0.0.4"}));

  // A folder stands for its monitor.cfg, which here adds nothing new.
  const Outcome again = Cli({"monitor", "import", dir.Path()});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(SavedAddresses(), (std::vector<std::string>{"10.0.0.1", "10.0.0.3", "10.0.0.4"}));

  std::vector<DeviceRecord> fresh_file = Switches({"10.0.0.7"});
  SetText(fresh_file[0].mac_text, "020000000077");
  Store("fresh.cfg", fresh_file);
  const Outcome fresh = Cli({"monitor", "import", dir.File("fresh.cfg")});
  EXPECT_EQ(fresh.status, 0);
  EXPECT_EQ(fresh.err, "");
  EXPECT_EQ(SavedAddresses(), (std::vector<std::string>{"10.0.0.1", "10.0.0.3", "10.0.0.4", "10.0.0.7"}));
}

TEST_F(MonitorCommandsTest, ImportRefusesAFileThatIsNotWholeRecordsOrIsMissing) {
  Store("monitor.cfg", Switches({"10.0.0.1"}));
  const auto before = dir.Read("monitor.cfg");
  dir.Write("broken.cfg", std::vector<std::uint8_t>(301, 0));
  const std::pair<std::string, std::string> cases[] = {
      {dir.File("broken.cfg"), "Error: Invalid configuration file.\n"},
      {dir.File("missing.cfg"), "Error: " + dir.File("missing.cfg") + ": no such file.\n"},
  };
  for (const auto& [file, shown] : cases) {
    const Outcome o = Cli({"monitor", "import", file});
    EXPECT_EQ(o.status, 1) << file;
    EXPECT_EQ(o.err, shown);
    EXPECT_EQ(dir.Read("monitor.cfg"), before);
  }
}

TEST_F(MonitorCommandsTest, ExportIsMonitorSaveAsAndAsksBeforeReplacing) {
  Store("monitor.cfg", Switches({"10.0.0.1", "10.0.0.2"}));
  dir.Write("old.cfg", {1, 2, 3});
  struct Case {
    std::vector<std::string> args;
    std::string written;
    int status;
  };
  const Case cases[] = {
      {{"monitor", "export", dir.File("copy.cfg")}, "copy.cfg", 0},
      {{"monitor", "export", dir.Path()}, "Default.cfg", 0},
      {{"monitor", "export", dir.File("old.cfg")}, "", 1},
      {{"monitor", "export", "--yes", dir.File("old.cfg")}, "old.cfg", 0},
  };
  for (const Case& c : cases) {
    const Outcome o = Cli(c.args);
    EXPECT_EQ(o.status, c.status) << c.args.back();
    if (!c.written.empty()) {
      EXPECT_EQ(SavedAddresses(c.written), (std::vector<std::string>{"10.0.0.1", "10.0.0.2"})) << c.written;
    }
  }
  EXPECT_EQ(dir.Read("old.cfg").size(), 600u);
  // Exporting never touches monitor.cfg.
  EXPECT_EQ(dir.Read("monitor.cfg"), EncodeMonitorFile(Switches({"10.0.0.1", "10.0.0.2"})));
}

// What the window would go on after with a message stops a command here, before it can save over
// a file it could not read.
TEST_F(MonitorCommandsTest, AStartUpFailureStopsEveryCommandBeforeItWrites) {
  const std::vector<std::vector<std::string>> commands = {
      {"monitor", "list"},
      {"monitor", "add", "192.168.0.10"},
      {"monitor", "remove", "10.0.0.1", "--yes"},
      {"monitor", "import", dir.File("define.ecf")},
      {"monitor", "export", "--yes", dir.File("monitor.cfg")},
  };
  struct Case {
    bool settings;
    std::size_t monitor_file_size;
    std::string shown;
  };
  const Case cases[] = {
      {true, 301, "Error: Invalid configuration file.\n"},
      {false, 300, "file error: Define.ecf does not exist.\nError: This will cause the application to fail.\n"},
  };
  for (const Case& c : cases) {
    for (const auto& args : commands) {
      if (c.settings) {
        dir.Write("define.ecf", MakeSealedSettings(kSettings));
      } else {
        std::filesystem::remove(dir.File("define.ecf"));
      }
      std::vector<std::uint8_t> bytes = EncodeMonitorFile(Switches({"10.0.0.1"}));
      bytes.resize(c.monitor_file_size);
      dir.Write("monitor.cfg", bytes);
      const Outcome o = Cli(args);
      EXPECT_EQ(o.status, 1) << args[1];
      EXPECT_EQ(o.err, c.shown) << args[1];
      EXPECT_EQ(o.out, "") << args[1];
      EXPECT_EQ(dir.Read("monitor.cfg"), bytes) << args[1];
    }
  }
}

// watch stops before the network's half of the start-up when the lists' half failed or left
// nothing to watch. (The settings here send no IGMP reports and the lists hold no switch, so
// nothing could leave this host even if a socket were opened.)
TEST_F(MonitorCommandsTest, WatchStopsBeforeTheNetworkWhenThereIsNothingToWatch) {
  struct Case {
    bool settings;
    std::optional<std::size_t> monitor_file_size;
    std::string shown;
  };
  const std::string empty = "Error: The Monitor List is empty: there is nothing to watch.\n"
                            "Add switches with: switchdesk-cli monitor add ADDRESS\n";
  const Case cases[] = {
      {true, std::nullopt, empty},
      {true, 0, empty},
      {true, 301, "Error: Invalid configuration file.\n"},
      {false, 0, "file error: Define.ecf does not exist.\nError: This will cause the application to fail.\n"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(dir.File("define.ecf"));
    std::filesystem::remove(dir.File("monitor.cfg"));
    if (c.settings) {
      std::string quiet = kSettings;
      quiet.replace(quiet.find("multicast_timer_flag=1"), 22, "multicast_timer_flag=0");
      dir.Write("define.ecf", MakeSealedSettings(quiet));
    }
    if (c.monitor_file_size) dir.Write("monitor.cfg", std::vector<std::uint8_t>(*c.monitor_file_size, 0));
    const Outcome o = Cli({"watch"});
    EXPECT_EQ(o.status, 1) << c.shown;
    EXPECT_EQ(o.err, c.shown);
    EXPECT_EQ(o.out, "");
  }
}

TEST_F(MonitorCommandsTest, ListShowsTheWindowsColumnsAndTexts) {
  std::vector<DeviceRecord> stored = Switches({"10.0.0.1", "10.0.0.2"});
  SetText(stored[0].system_name, "core");
  stored[0].dhcp = DHCP_ON;
  stored[0].group_interval = 300;
  stored[1].status_image = kStatusImageNotAlive;  // saved while it was down
  stored[1].version_minor = 16;
  stored[1].dhcp = DHCP_OFF;
  stored[1].group_interval = 0;
  Store("monitor.cfg", stored);

  const Outcome table = Cli({"monitor", "list"});
  EXPECT_EQ(table.status, 0);
  EXPECT_EQ(table.err, "");
  std::istringstream lines(table.out);
  std::string header, first, second;
  std::getline(lines, header);
  std::getline(lines, first);
  std::getline(lines, second);
  EXPECT_EQ(header.rfind("S          IP Address  MAC Address   Protocol Version  Product Name  System Name  DHCP", 0), 0u)
      << header;
  EXPECT_NE(header.find("Gateway  Group Interval"), std::string::npos) << header;
  EXPECT_EQ(first.rfind("           10.0.0.1    020000000010  2.001.003         GS-108        core         enable", 0), 0u)
      << first;
  EXPECT_EQ(second.rfind("not alive  10.0.0.2    020000000011  2.010.003         GS-108                     disable", 0), 0u)
      << second;

  const Outcome json = Cli({"monitor", "list", "--json"});
  EXPECT_EQ(json.status, 0);
  const auto parsed = test::ParseJson(json.out);
  ASSERT_TRUE(parsed) << json.out;
  ASSERT_EQ(parsed->array.size(), 2u);
  EXPECT_EQ(parsed->array[0].Keys(),
            (std::vector<std::string>{"S", "IP Address", "MAC Address", "Protocol Version", "Product Name",
                                      "System Name", "DHCP", "Location", "Trap IP", "Subnet Mask", "Gateway",
                                      "Group Interval"}));
  EXPECT_EQ(parsed->array[0].Text("S"), "");
  EXPECT_EQ(parsed->array[0].Text("Group Interval"), "300");
  EXPECT_EQ(parsed->array[1].Text("S"), "not alive");
  EXPECT_EQ(parsed->array[1].Text("Protocol Version"), "2.010.003");
  EXPECT_EQ(parsed->array[1].Text("Group Interval"), "disable");
}

}  // namespace
}  // namespace sd::cli
