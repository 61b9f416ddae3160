// SPDX-License-Identifier: GPL-3.0-or-later
// switchdesk-cli end to end in the lab: the real program in the manager namespace against the
// switch simulator. discover prints what the window's Discovery List would show; watch reports a
// silent switch not alive and its recovery, and a trap, with the window's lines in syslog.log,
// reads monitor.cfg again on SIGHUP, and stops cleanly on a signal.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <thread>

#include "settings/settings_file.h"
#include "support/child_process.h"
#include "support/json.h"
#include "support/lab.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

constexpr const char* kLabSettings =
    "manager_id=01945AE0\nbase_port=C350\nmulticast_group=239.255.100.100\nmulticast_interface_on_off=1\n"
    "multicast_timer_flag=1\nstrlen_multi_timer=3\nmulticast_timer=125\n";

// A switch of the simulator and the row the Discovery List shows for it.
struct LabSwitch {
  std::string definition;
  std::vector<std::string> row;  // the Discovery List's eleven columns
};

const std::vector<LabSwitch> kSwitches = {
    {"ip=198.18.0.10,mac=02:00:00:00:00:10,iface=3,name=edge-1,dhcp=on,interval=125,location=rack-1,"
     "trap=198.18.0.1,gateway=198.18.0.254",
     {"020000000010", "198.18.0.10", "2.001.003", "SIM-8P", "edge-1", "enable", "rack-1", "198.18.0.1",
      "255.255.255.0", "198.18.0.254", "125"}},
    {"ip=198.18.0.11,mac=02:00:00:00:00:11,iface=2,name=edge-2,dhcp=off,product=GS-108",
     {"020000000011", "198.18.0.11", "2.001.002", "GS-108", "edge-2", "disable", "lab", "0.0.0.0",
      "255.255.255.0", "0.0.0.0", ""}},
    {"ip=198.18.0.12,mac=02:00:00:00:00:12,iface=3,name=core,interval=0,netmask=255.255.0.0",
     {"020000000012", "198.18.0.12", "2.001.003", "SIM-8P", "core", "disable", "lab", "0.0.0.0", "255.255.0.0",
      "0.0.0.0", "disable"}},
    {"ip=198.18.0.13,mac=02:00:00:00:00:13,iface=3,name=spare,interval=300,location=shelf",
     {"020000000013", "198.18.0.13", "2.001.003", "SIM-8P", "spare", "disable", "shelf", "0.0.0.0",
      "255.255.255.0", "0.0.0.0", "300"}},
    {"ip=198.18.0.14,mac=02:00:00:00:00:14,iface=1,name=old-1",
     {"020000000014", "198.18.0.14", "2.001.001", "SIM-8P", "old-1", "disable", "lab", "0.0.0.0",
      "255.255.255.0", "0.0.0.0", ""}},
    {"ip=198.18.0.15,mac=02:00:00:00:00:15,iface=3,name=lab-5,dhcp=on",
     {"020000000015", "198.18.0.15", "2.001.003", "SIM-8P", "lab-5", "enable", "lab", "0.0.0.0",
      "255.255.255.0", "0.0.0.0", ""}},
    {"ip=198.18.0.16,mac=02:00:00:00:00:16,iface=2,name=lab-6,product=GS-116",
     {"020000000016", "198.18.0.16", "2.001.002", "GS-116", "lab-6", "disable", "lab", "0.0.0.0",
      "255.255.255.0", "0.0.0.0", ""}},
    {"ip=198.18.0.17,mac=02:00:00:00:00:17,iface=3,name=lab-7,interval=60",
     {"020000000017", "198.18.0.17", "2.001.003", "SIM-8P", "lab-7", "disable", "lab", "0.0.0.0",
      "255.255.255.0", "0.0.0.0", "60"}},
};
// A ninth switch speaks another minor protocol version: the manager ignores its replies.
const std::string kForeignSwitch = "ip=198.18.0.18,mac=02:00:00:00:00:18,iface=3,name=foreign,minor=16";

const std::vector<std::string> kDiscoveryHeaders = {
    "MAC Address", "IP Address", "Protocol Version", "Product Name", "System Name", "DHCP",
    "Location",    "Trap IP",    "Subnet Mask",      "Gateway",      "Group Interval"};

// The event log's line layout: timestamp, blank, address, blank, event text, CR LF.
const std::string kTimestamp = R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)";

// A table printed by the program, read back by the header's column positions: each column is
// padded to its widest text, so a cell starts where its header starts.
std::vector<std::vector<std::string>> ReadTable(const std::string& text, const std::vector<std::string>& headers) {
  std::istringstream lines(text);
  std::string header;
  std::getline(lines, header);
  std::vector<std::size_t> starts;
  for (const auto& h : headers) starts.push_back(header.find(h));
  EXPECT_EQ(std::count(starts.begin(), starts.end(), std::string::npos), 0) << header;
  if (std::count(starts.begin(), starts.end(), std::string::npos) != 0) return {};
  std::vector<std::vector<std::string>> rows;
  rows.push_back(headers);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> cells;
    for (std::size_t i = 0; i < starts.size(); ++i) {
      std::string cell = starts[i] < line.size() ? line.substr(starts[i], i + 1 < starts.size() ? starts[i + 1] - starts[i] : std::string::npos) : "";
      cell.erase(cell.find_last_not_of(' ') + 1);
      cells.push_back(cell);
    }
    rows.push_back(cells);
  }
  EXPECT_EQ(rows.front(), headers);
  return rows;
}

class CliLabTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(test::RequireLab());
    if (IsSkipped()) return;
    dir.Write("define.ecf", MakeSealedSettings(kLabSettings));
    std::vector<std::string> definitions;
    for (const auto& s : kSwitches) definitions.push_back(s.definition);
    definitions.push_back(kForeignSwitch);
    ASSERT_TRUE(test::StartLabSimulator(sim, definitions));
  }
  void TearDown() override { sim.Stop(); }

  test::ProgramResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), SWITCHDESK_CLI_PATH);
    return test::RunProgram(args);
  }
  std::string Log() {
    const auto bytes = dir.Read("syslog.log");
    return {bytes.begin(), bytes.end()};
  }
  // The next line of the watching program that matches `pattern`; the lines before it are
  // collected in `skipped`.
  std::optional<std::string> NextLine(test::ChildProcess& watch, const std::regex& pattern,
                                      std::chrono::seconds limit, std::vector<std::string>& skipped) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      const auto line = watch.ReadLine(left);
      if (!line) break;
      if (std::regex_match(*line, pattern)) return line;
      skipped.push_back(*line);
    }
    return std::nullopt;
  }

  test::TempConfigDir dir;
  test::ChildProcess sim;
};

TEST_F(CliLabTest, DiscoverPrintsTheDiscoveryListAsTheWindowShowsIt) {
  const test::ProgramResult table = Cli({"discover", "--wait", "2"});
  ASSERT_EQ(table.status, 0) << table.err;
  auto rows = ReadTable(table.out, kDiscoveryHeaders);
  ASSERT_EQ(rows.size(), kSwitches.size() + 1) << table.out;
  rows.erase(rows.begin());
  std::sort(rows.begin(), rows.end());
  for (std::size_t i = 0; i < kSwitches.size(); ++i) EXPECT_EQ(rows[i], kSwitches[i].row);

  const test::ProgramResult json = Cli({"discover", "--json", "--wait", "2"});
  ASSERT_EQ(json.status, 0) << json.err;
  const auto parsed = test::ParseJson(json.out);
  ASSERT_TRUE(parsed) << json.out;
  ASSERT_EQ(parsed->array.size(), kSwitches.size());
  std::vector<std::vector<std::string>> objects;
  // The columns, then the card each switch answered on: the lab's one card.
  std::vector<std::string> keys = kDiscoveryHeaders;
  keys.push_back("interface");
  for (const auto& object : parsed->array) {
    EXPECT_EQ(object.Keys(), keys);
    EXPECT_EQ(object.Text("interface"), "sd" + std::string(std::getenv("LAB_NAME")) + "m");
    std::vector<std::string> row;
    for (const auto& h : kDiscoveryHeaders) row.push_back(object.Text(h));
    objects.push_back(row);
  }
  std::sort(objects.begin(), objects.end());
  for (std::size_t i = 0; i < kSwitches.size(); ++i) EXPECT_EQ(objects[i], kSwitches[i].row);
  EXPECT_EQ(json.err, "");
}

// As in the window, a switch that is monitored answers into the Monitor List: the Discovery List
// holds the others only.
TEST_F(CliLabTest, MonitoredSwitchesAnswerIntoTheMonitorList) {
  ASSERT_EQ(Cli({"monitor", "add", "198.18.0.12"}).status, 0);
  const test::ProgramResult json = Cli({"discover", "--json", "--wait", "1"});
  ASSERT_EQ(json.status, 0) << json.err;
  const auto parsed = test::ParseJson(json.out);
  ASSERT_TRUE(parsed) << json.out;
  EXPECT_EQ(parsed->array.size(), kSwitches.size() - 1);
  for (const auto& object : parsed->array) EXPECT_NE(object.Text("IP Address"), "198.18.0.12");

  // A start-up failure stops discover before it sends anything.
  dir.Write("monitor.cfg", std::vector<std::uint8_t>(301, 0));
  const test::ProgramResult refused = Cli({"discover", "--wait", "1"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "Error: Invalid configuration file.\n");
  EXPECT_EQ(refused.out, "");
}

// Ctrl-C during the wait ends discover at once, with nothing printed.
TEST_F(CliLabTest, DiscoverStopsOnCtrlC) {
  test::ChildProcess discover;
  ASSERT_TRUE(discover.Start({SWITCHDESK_CLI_PATH, "discover", "--wait", "60"}));
  std::this_thread::sleep_for(std::chrono::seconds(1));
  ASSERT_TRUE(discover.Signal(SIGINT));
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(discover.ReadLine(std::chrono::seconds(5)), std::nullopt);  // its output ends unwritten
  EXPECT_EQ(discover.Stop(std::chrono::seconds(5)), 130);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST_F(CliLabTest, WatchReportsASilentSwitchNotAliveAndItsRecoveryWithTheWindowsLogLines) {
  for (const char* ip : {"198.18.0.10", "198.18.0.11", "198.18.0.12"}) {
    const test::ProgramResult add = Cli({"monitor", "add", ip});
    ASSERT_EQ(add.status, 0) << add.err;
  }
  test::ChildProcess watch;
  ASSERT_TRUE(watch.Start({SWITCHDESK_CLI_PATH, "watch", "--json"}));
  ASSERT_TRUE(sim.WriteLine("silence 198.18.0.12"));

  // The first poll goes out at once; the verdict needs a second unanswered poll (15 s later)
  // and three liveness ticks of 5 s.
  std::vector<std::string> other;
  const auto verdict = NextLine(watch, std::regex(R"(\{"event": "not alive".*)"), std::chrono::seconds(60), other);
  ASSERT_TRUE(verdict) << "no verdict";
  const auto event = test::ParseJson(*verdict);
  ASSERT_TRUE(event) << *verdict;
  EXPECT_EQ(event->Text("ip"), "198.18.0.12");
  EXPECT_TRUE(std::regex_match(event->Text("time"), std::regex(kTimestamp))) << event->Text("time");
  // The window's line, written by the same liveness timer; once per tick while it stays silent.
  const std::string log = Log();
  EXPECT_TRUE(std::regex_search(log, std::regex("(^|\n)" + kTimestamp + R"( 198\.18\.0\.12 Not alive \r\n)"))) << log;
  EXPECT_EQ(log.find("198.18.0.10"), std::string::npos) << log;
  EXPECT_EQ(log.find("198.18.0.11"), std::string::npos) << log;

  // It answers the next poll again.
  ASSERT_TRUE(sim.WriteLine("resume 198.18.0.12"));
  const auto recovered = NextLine(watch, std::regex(R"(\{"event": "recovered".*)"), std::chrono::seconds(30), other);
  ASSERT_TRUE(recovered) << "no recovery";
  EXPECT_EQ(test::ParseJson(*recovered)->Text("ip"), "198.18.0.12");
  // No line is written when a switch recovers.
  const std::size_t log_size = Log().size();

  ASSERT_TRUE(sim.WriteLine("trap 198.18.0.11 Port 2 link down"));
  const auto trap = NextLine(watch, std::regex(R"(\{"event": "trap".*)"), std::chrono::seconds(10), other);
  ASSERT_TRUE(trap);
  const auto trap_event = test::ParseJson(*trap);
  ASSERT_TRUE(trap_event) << *trap;
  EXPECT_EQ(trap_event->Text("ip"), "198.18.0.11");
  EXPECT_EQ(trap_event->Text("text"), "Port 2 link down");
  EXPECT_EQ(Log().substr(log_size), trap_event->Text("time") + " 198.18.0.11 Trap :Port 2 link down\r\n");

  // Nothing else happened: the switch declared not alive was reported once.
  EXPECT_TRUE(other.empty()) << other.front();

  ASSERT_TRUE(watch.Signal(SIGTERM));
  EXPECT_EQ(watch.Stop(std::chrono::seconds(10)), 0);
}

// The number of polls the simulator counted for `ip`.
int Polls(test::ChildProcess& sim, const std::string& ip) {
  for (const std::string& line : sim.Command("polls")) {
    if (line.rfind("polls " + ip + " ", 0) == 0) return std::stoi(line.substr(7 + ip.size()));
  }
  return 0;
}

// SIGHUP makes watch read monitor.cfg again. Run as a service runs it: its output and its errors
// on one stream that $JOURNAL_STREAM names, so its lines carry the journal's priorities. A switch
// already declared not alive stays so without a second verdict (and its recovery is reported),
// an added switch is polled, a removed one no longer is; a damaged file changes nothing.
TEST_F(CliLabTest, SighupReloadsTheMonitorListKeepingTheStateOfTheSwitchesThatStay) {
  for (const char* ip : {"198.18.0.10", "198.18.0.11", "198.18.0.12"}) {
    const test::ProgramResult add = Cli({"monitor", "add", ip});
    ASSERT_EQ(add.status, 0) << add.err;
  }
  test::ChildProcess watch;
  // The shell's own standard output (the pipe the test reads) is the journal's stream; setsid
  // leaves any terminal behind, as a service has none (the shell is no group leader, so setsid
  // keeps its process).
  ASSERT_TRUE(watch.Start({"/bin/sh", "-c",
                           "JOURNAL_STREAM=$(stat -L -c %d:%i /proc/$$/fd/1) exec setsid \"$0\" watch 2>&1",
                           SWITCHDESK_CLI_PATH}));
  // Commands, not lines: their answers are read, so the poll counts below read their own.
  ASSERT_EQ(sim.Command("silence 198.18.0.12"), std::vector<std::string>{"ok"});
  std::vector<std::string> other;
  const auto verdict = NextLine(watch, std::regex("<4>" + kTimestamp + R"( 198\.18\.0\.12 Not alive)"),
                                std::chrono::seconds(60), other);
  ASSERT_TRUE(verdict) << "no verdict";

  // The file changes under the running watch: 198.18.0.11 leaves, 198.18.0.13 comes.
  ASSERT_EQ(Cli({"monitor", "remove", "--yes", "198.18.0.11"}).status, 0);
  ASSERT_EQ(Cli({"monitor", "add", "198.18.0.13"}).status, 0);
  ASSERT_TRUE(watch.Signal(SIGHUP));
  ASSERT_TRUE(NextLine(watch, std::regex(R"(Reloaded monitor\.cfg: 3 switches \(1 added, 1 removed\)\.)"),
                       std::chrono::seconds(10), other))
      << "no reload line";
  // A poll sent just before the reload may still be on its way.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const int removed_polls = Polls(sim, "198.18.0.11");

  // A file that is not whole records: an error, and the list goes on as it was.
  const std::vector<std::uint8_t> good = dir.Read("monitor.cfg");
  dir.Write("monitor.cfg", std::vector<std::uint8_t>(good.begin(), good.end() - 1));
  ASSERT_TRUE(watch.Signal(SIGHUP));
  ASSERT_TRUE(NextLine(watch, std::regex(R"(<3>Error: Invalid configuration file\.)"), std::chrono::seconds(10), other));
  ASSERT_TRUE(NextLine(watch, std::regex(R"(<3>monitor\.cfg was not reloaded: the Monitor List stays as it was\.)"),
                       std::chrono::seconds(10), other));
  dir.Write("monitor.cfg", good);

  // Two poll passes and more: the added switch is polled and answers, the removed one is not
  // polled, and the silent one gets no second verdict line.
  std::vector<std::string> after;
  EXPECT_FALSE(NextLine(watch, std::regex(".*Not alive"), std::chrono::seconds(35), after)) << "a second verdict";
  EXPECT_GT(Polls(sim, "198.18.0.13"), 0);
  EXPECT_EQ(Polls(sim, "198.18.0.11"), removed_polls);
  // It kept its not-alive state: when it answers again, that is a recovery, with its priority.
  ASSERT_EQ(sim.Command("resume 198.18.0.12"), std::vector<std::string>{"ok"});
  EXPECT_TRUE(NextLine(watch, std::regex("<5>" + kTimestamp + R"( 198\.18\.0\.12 Recovered)"), std::chrono::seconds(30),
                       after))
      << "no recovery";
  for (const std::string& line : after) ADD_FAILURE() << "unexpected: " << line;
  const std::string log = Log();
  EXPECT_EQ(log.find("198.18.0.13 Not alive"), std::string::npos) << log;

  ASSERT_TRUE(watch.Signal(SIGTERM));
  EXPECT_TRUE(NextLine(watch, std::regex("Stopped by SIGTERM."), std::chrono::seconds(10), other));
  EXPECT_EQ(watch.Stop(std::chrono::seconds(10)), 0);
}

// Text lines, and Ctrl-C: a trap from a monitored switch is printed like its log line, a trap from
// any other address is ignored, and SIGINT ends the program with status 0.
TEST_F(CliLabTest, WatchPrintsTrapLinesAndStopsOnCtrlC) {
  ASSERT_EQ(Cli({"monitor", "add", "198.18.0.13"}).status, 0);
  test::ChildProcess watch;
  ASSERT_TRUE(watch.Start({SWITCHDESK_CLI_PATH, "watch", "--refresh", "5m"}));
  // The trap may come before the sockets are open; it is sent until one arrives.
  std::optional<std::string> line;
  for (int attempt = 0; attempt < 20 && !line; ++attempt) {
    ASSERT_TRUE(sim.WriteLine("trap 198.18.0.14 not monitored"));
    ASSERT_TRUE(sim.WriteLine("trap 198.18.0.13 Fan \x1b[31mfailure"));
    line = watch.ReadLine(std::chrono::milliseconds(500));
  }
  ASSERT_TRUE(line) << "no trap line";
  // A control character (here the escape of a colour sequence) is a blank in the trap's text, on
  // the terminal as in the log.
  EXPECT_TRUE(std::regex_match(*line, std::regex(kTimestamp + R"( 198\.18\.0\.13 Trap :Fan  \[31mfailure)"))) << *line;
  EXPECT_NE(Log().find(line->substr(0, 19) + " 198.18.0.13 Trap :Fan  [31mfailure\r\n"), std::string::npos);
  EXPECT_EQ(Log().find("198.18.0.14"), std::string::npos);

  ASSERT_TRUE(watch.Signal(SIGINT));
  EXPECT_EQ(watch.Stop(std::chrono::seconds(10)), 0);
}

}  // namespace
}  // namespace sd
