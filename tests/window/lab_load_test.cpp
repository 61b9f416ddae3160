// SPDX-License-Identifier: GPL-3.0-or-later
// The whole program under load in the lab: the window on the offscreen platform, its sockets in
// the lab's manager namespace, the switch simulator in the switch namespace. A full Monitor List
// of 256 switches is polled every 15 seconds while a tenth of them stay silent; and a storm of
// 20 000 traps from monitored switches arrives as fast as the simulator can send it.
//
// The storm test prints one figures line: what was sent, dropped by the kernel for want of room
// in the manager's receive buffer, logged and stored, the longest stall of the user-interface
// thread, and the storm's duration.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "window/images.h"
#include "window/lab_window_fixture.h"
#include "devices/monitor_file.h"
#include "support/datagrams.h"

namespace sd::gui {
namespace {

using namespace sd::test;  // NOLINT: the window fixture's and the lab's helpers

std::string LabSwitchMacText(int i) {
  char mac[13];
  std::snprintf(mac, sizeof mac, "020000%02x%02x", (i >> 8) & 0xFF, i & 0xFF);
  return mac;
}

// One line of syslog.log, CR LF taken off.
struct LogLine {
  std::string timestamp;
  std::string ip;
  std::string event;  // what follows the address and its blank
};

// The lines of the log. Every line must be whole: a timestamp, an address, an event text and
// CR LF, with no stray CR or LF inside and nothing after the last line end.
std::vector<LogLine> ParseLog(const std::string& log) {
  static const std::regex kLine(R"((\d\d/\d\d/\d{4} \d\d:\d\d:\d\d) (\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}) ([^\r\n]*))");
  std::vector<LogLine> lines;
  std::size_t at = 0;
  while (at < log.size()) {
    const std::size_t end = log.find("\r\n", at);
    if (end == std::string::npos) {
      ADD_FAILURE() << "the log ends inside a line: " << log.substr(at);
      break;
    }
    const std::string text = log.substr(at, end - at);
    std::smatch m;
    if (std::regex_match(text, m, kLine)) {
      lines.push_back({m[1], m[2], m[3]});
    } else {
      ADD_FAILURE() << "not a whole log line: '" << text << "'";
    }
    at = end + 2;
  }
  return lines;
}

// The number of UDP datagrams this network namespace has dropped because a socket's receive
// buffer was full.
std::optional<long long> UdpReceiveBufferErrors() {
  std::ifstream snmp("/proc/net/snmp");
  std::string names, values, line;
  while (std::getline(snmp, line)) {
    if (line.rfind("Udp:", 0) != 0) continue;
    if (names.empty()) names = line; else values = line;
  }
  std::istringstream n(names), v(values);
  std::string name, value;
  while (n >> name && v >> value) {
    if (name == "RcvbufErrors") return std::stoll(value);
  }
  return std::nullopt;
}

// Runs the event loop as the program's own does until `done` holds (checked every 20 ms) or
// `timeout_ms` has passed; true when `done` held. QTest::qWaitFor would not do for a storm: it
// sleeps 10 ms between its rounds of event handling, and each round reads about one datagram.
template <typename Done>
bool RunUntil(Done done, int timeout_ms) {
  if (done()) return true;
  QEventLoop loop;
  bool held = false;
  QTimer check;
  check.setInterval(20);
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (!done()) return;
    held = true;
    loop.quit();
  });
  QTimer::singleShot(timeout_ms, &loop, &QEventLoop::quit);
  check.start();
  loop.exec();
  return held;
}

class LabLoadTest : public LabWindowFixture {
 protected:
  // The simulator plays switches 0 .. count - 1, and monitor.cfg holds them all, in that order.
  void StartSwitches(int count) {
    std::vector<std::string> switches;
    std::vector<DeviceRecord> monitored;
    for (int i = 0; i < count; ++i) {
      switches.push_back("ip=" + LabSwitchIp(i) + ",mac=" + LabSwitchMac(i));
      monitored.push_back(Switch(LabSwitchMacText(i), LabSwitchIp(i)));
    }
    dir.Write("monitor.cfg", EncodeMonitorFile(monitored));
    ASSERT_TRUE(StartLabSimulator(sim, switches));
  }
  // The row of the Monitor List that shows the switch at `ip`; -1 when none does.
  int MonitorRow(const std::string& ip) {
    const std::vector<std::string> ips = ColumnTexts(window().MonitorList(), kMonitorColumnIp);
    const auto it = std::find(ips.begin(), ips.end(), ip);
    return it == ips.end() ? -1 : static_cast<int>(it - ips.begin());
  }
  bool ShownNotAlive(const std::string& ip) {
    const int row = MonitorRow(ip);
    return row >= 0 && core().MonitorListControl().Image(row) == kStatusImageNotAlive &&
           !window().MonitorList()->topLevelItem(row)->icon(0).isNull();
  }
  bool ShownAlive(const std::string& ip) {
    const int row = MonitorRow(ip);
    return row >= 0 && core().MonitorListControl().Image(row) != kStatusImageNotAlive &&
           window().MonitorList()->topLevelItem(row)->icon(0).isNull();
  }

  ChildProcess sim;
};

// ---- 256 switches polled every 15 seconds, 26 of them silent ----

// The lines one tick of the liveness timer wrote: the tick stamps all its lines with one
// timestamp, and ticks are 5 seconds apart.
struct TickLines {
  std::string timestamp;
  std::vector<std::string> ips;
};

std::vector<TickLines> GroupByTick(const std::vector<LogLine>& lines) {
  std::vector<TickLines> ticks;
  for (const LogLine& line : lines) {
    if (ticks.empty() || ticks.back().timestamp != line.timestamp) ticks.push_back({line.timestamp, {}});
    ticks.back().ips.push_back(line.ip);
  }
  return ticks;
}

TEST_F(LabLoadTest, AFullMonitorListPolledEveryFifteenSecondsFindsExactlyTheSilentTenth) {
  constexpr int kSwitches = 256;
  ASSERT_NO_FATAL_FAILURE(StartSwitches(kSwitches));
  // Every 10th switch is silent from the start: 26 of them. Three of them answer again once
  // they have been declared not alive.
  std::vector<int> silent;
  for (int i = 0; i < kSwitches; i += 10) silent.push_back(i);
  ASSERT_EQ(silent.size(), 26u);
  const std::set<int> resumed = {0, 120, 250};
  for (int i : silent) ASSERT_EQ(sim.Command("silence " + LabSwitchIp(i)), std::vector<std::string>{"ok"});
  std::map<std::string, int> index_of;
  for (int i = 0; i < kSwitches; ++i) index_of[LabSwitchIp(i)] = i;

  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(window().Initialise(Networking::On));
  Show();
  ASSERT_EQ(window().MonitorList()->topLevelItemCount(), kSwitches);
  ASSERT_EQ(window().RefreshSeconds(), 15);

  // The poll pass at start-up clears the answered mark the loaded records start with; the pass
  // 15 s later counts the first miss; two ticks of the 5-second timer resend and count two more;
  // the third tick declares the switch not alive: 25 to 35 s after start-up. A tick that meets
  // a poll pass half-way may leave part of the switches one tick later than the others.
  qint64 first_verdict_ms = -1;
  auto logged_ips = [&] {
    std::set<std::string> ips;
    for (const LogLine& line : ParseLog(Log())) ips.insert(line.ip);
    if (!ips.empty() && first_verdict_ms < 0) first_verdict_ms = clock.elapsed();
    return ips;
  };
  ASSERT_TRUE(RunUntil([&] { return logged_ips().size() >= silent.size(); }, 60000))
      << logged_ips().size() << " switches logged after " << clock.elapsed() << " ms:\n" << Log();
  EXPECT_GE(first_verdict_ms, 24000) << "a switch was declared not alive before three missed polls";
  for (int i : silent) EXPECT_TRUE(ShownNotAlive(LabSwitchIp(i))) << LabSwitchIp(i);

  // Until each silent switch has been logged at five ticks: the four after its verdict span
  // 15 s, so a further poll pass counts the silent switches again while the ticks log them.
  auto fewest_ticks_logged = [&] {
    std::map<std::string, int> lines_of;
    for (const LogLine& line : ParseLog(Log())) ++lines_of[line.ip];
    int fewest = lines_of.size() < silent.size() ? 0 : 1 << 30;
    for (const auto& [ip, n] : lines_of) fewest = std::min(fewest, n);
    return fewest;
  };
  ASSERT_TRUE(RunUntil([&] { return fewest_ticks_logged() >= 5; }, 40000)) << Log();

  // Three answer again: the next poll pass finds them, and their rows lose the image at once.
  for (int i : resumed) ASSERT_EQ(sim.Command("resume " + LabSwitchIp(i)), std::vector<std::string>{"ok"});
  ASSERT_TRUE(RunUntil([&] {
    return std::all_of(resumed.begin(), resumed.end(), [&](int i) { return ShownAlive(LabSwitchIp(i)); });
  }, 30000)) << "the resumed switches were not seen again";
  const std::size_t recovered_at = Log().size();
  // The ticks after that go on logging the other 23 and only them.
  ASSERT_TRUE(RunUntil([&] {
    std::set<std::string> ips;
    for (const LogLine& line : ParseLog(Log().substr(recovered_at))) ips.insert(line.ip);
    return ips.size() >= silent.size() - resumed.size();
  }, 15000)) << Log().substr(recovered_at);
  const qint64 run_ms = clock.elapsed();

  const std::string log = Log();
  const std::vector<LogLine> lines = ParseLog(log);
  std::set<std::string> expected_ips, logged;
  for (int i : silent) expected_ips.insert(LabSwitchIp(i));
  for (const LogLine& line : lines) {
    EXPECT_EQ(line.event, "Not alive ") << line.ip;
    logged.insert(line.ip);
  }
  EXPECT_EQ(logged, expected_ips) << "only the silent switches, and each of them, are logged";

  // Tick by tick: each tick logs each not-alive switch once, in Monitor List order; a switch
  // once declared is logged at every later tick until it answers again, and then no more.
  const std::vector<TickLines> ticks = GroupByTick(lines);
  std::map<std::string, std::vector<std::size_t>> ticks_of;  // by address: the ticks that logged it
  for (std::size_t t = 0; t < ticks.size(); ++t) {
    std::vector<int> order;
    for (const std::string& ip : ticks[t].ips) order.push_back(index_of.at(ip));
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()) &&
                std::adjacent_find(order.begin(), order.end()) == order.end())
        << "tick " << ticks[t].timestamp << " logged a switch twice or out of list order";
    for (const std::string& ip : ticks[t].ips) ticks_of[ip].push_back(t);
  }
  const std::vector<LogLine> after = ParseLog(log.substr(recovered_at));
  for (int i : silent) {
    const std::string ip = LabSwitchIp(i);
    const std::vector<std::size_t>& at = ticks_of[ip];
    ASSERT_FALSE(at.empty()) << ip;
    for (std::size_t k = 1; k < at.size(); ++k) EXPECT_EQ(at[k], at[k - 1] + 1) << ip << " missed a tick";
    const bool logged_after = std::any_of(after.begin(), after.end(), [&](const LogLine& l) { return l.ip == ip; });
    if (resumed.count(i) != 0) {
      EXPECT_FALSE(logged_after) << ip << " answered again but is still logged";
      EXPECT_TRUE(ShownAlive(ip)) << ip;
    } else {
      EXPECT_EQ(at.back(), ticks.size() - 1) << ip << " is no longer logged";
      EXPECT_TRUE(logged_after) << ip;
      EXPECT_TRUE(ShownNotAlive(ip)) << ip;
    }
  }
  // Every switch that never went silent is alive.
  for (int i = 0; i < kSwitches; ++i) {
    if (i % 10 != 0) {
      EXPECT_TRUE(ShownAlive(LabSwitchIp(i))) << LabSwitchIp(i);
    }
  }
  EXPECT_EQ(window().MonitorList()->topLevelItemCount(), kSwitches);
  EXPECT_TRUE(ui.messages.shown.empty()) << ui.messages.shown.front().text;
  std::printf("polling: 256 switches, 26 silent, first verdict after %.1f s, %zu ticks logged, %.1f s\n",
              static_cast<double>(first_verdict_ms) / 1000.0, ticks.size(), static_cast<double>(run_ms) / 1000.0);
}

// ---- A trap storm ----

TEST_F(LabLoadTest, AStormOfTwentyThousandTrapsIsLoggedWholeAndTheNewestAreStored) {
  constexpr int kStormSwitches = 8;
  constexpr int kTrapsEach = 2500;
  constexpr int kSent = kStormSwitches * kTrapsEach;
  ASSERT_NO_FATAL_FAILURE(StartSwitches(kStormSwitches));
  ASSERT_TRUE(window().Initialise(Networking::On));
  Show();
  // The start-up poll pass is answered before the storm (the rows then show the simulator's
  // product name), so that only traps arrive during it; the next pass is 15 s away.
  ASSERT_TRUE(RunUntil([&] {
    for (int i = 0; i < kStormSwitches; ++i) {
      if (GetText(core().MonitorTable().Entry(i).product_name) != "SIM-8P") return false;
    }
    return true;
  }, 5000)) << "the monitored switches did not answer their first poll";

  // The user-interface thread's longest stall: the largest gap between two ticks of a 10 ms
  // timer while the storm is handled.
  QElapsedTimer since_tick;
  qint64 longest_stall_ms = 0;
  QTimer stall_probe;
  stall_probe.setTimerType(Qt::PreciseTimer);
  stall_probe.setInterval(10);
  QObject::connect(&stall_probe, &QTimer::timeout, [&] {
    longest_stall_ms = std::max(longest_stall_ms, since_tick.restart());
  });

  const std::optional<long long> dropped_before = UdpReceiveBufferErrors();
  ASSERT_TRUE(dropped_before.has_value());
  QElapsedTimer storm_clock;
  storm_clock.start();
  since_tick.start();
  stall_probe.start();
  for (int i = 0; i < kStormSwitches; ++i) {
    ASSERT_TRUE(sim.WriteLine("traps " + std::to_string(kTrapsEach) + " " + LabSwitchIp(i) + " storm %n"));
  }
  // The simulator answers each command once it has sent all its traps; until then the window
  // keeps handling what arrives.
  int answered = 0;
  ASSERT_TRUE(RunUntil([&] {
    while (answered < kStormSwitches) {
      const auto line = sim.ReadLine(std::chrono::milliseconds(2));
      if (!line) return false;
      EXPECT_EQ(*line, "ok");
      ++answered;
    }
    return true;
  }, 60000)) << answered << " of the storm commands answered; " << ui.traps.trap_count() << " traps counted";
  const qint64 sent_ms = storm_clock.elapsed();
  const std::optional<long long> dropped_after = UdpReceiveBufferErrors();
  ASSERT_TRUE(dropped_after.has_value());
  const long long dropped = *dropped_after - *dropped_before;
  // Whatever was not dropped is in the socket's queue: the storm is over once the store has
  // counted it all.
  const bool all_handled = RunUntil([&] { return ui.traps.trap_count() + dropped >= kSent; }, 120000);
  const qint64 storm_ms = storm_clock.elapsed();
  stall_probe.stop();
  RunUntil([] { return false; }, 200);  // nothing more arrives

  // Every line is whole, and every trap is logged at most once and in the order it was sent.
  const std::string log = Log();
  const std::vector<LogLine> lines = ParseLog(log);
  static const std::regex kStormText(R"(Trap :storm (\d+))");
  std::vector<const LogLine*> trap_lines;
  std::map<std::string, int> last_number;  // by address
  std::set<std::pair<std::string, int>> seen;
  for (const LogLine& line : lines) {
    std::smatch m;
    if (!std::regex_match(line.event, m, kStormText)) {
      ADD_FAILURE() << "not a storm trap: " << line.ip << " " << line.event;
      continue;
    }
    const int number = std::stoi(m[1]);
    EXPECT_TRUE(number >= 1 && number <= kTrapsEach) << number;
    EXPECT_TRUE(seen.insert({line.ip, number}).second) << line.ip << " trap " << number << " logged twice";
    EXPECT_GT(number, last_number[line.ip]) << line.ip << " trap " << number << " out of order";
    last_number[line.ip] = number;
    trap_lines.push_back(&line);
  }
  const auto logged = static_cast<long long>(trap_lines.size());
  const std::size_t stored = ui.traps.StoredCount();
  std::printf("storm: sent %d, dropped %lld, logged %lld, stored %zu, trap_count %d, longest UI stall %lld ms, "
              "sent in %.2f s, handled in %.2f s\n",
              kSent, dropped, logged, stored, ui.traps.trap_count(), static_cast<long long>(longest_stall_ms),
              static_cast<double>(sent_ms) / 1000.0, static_cast<double>(storm_ms) / 1000.0);
  std::fflush(stdout);

  EXPECT_TRUE(all_handled);
  EXPECT_EQ(logged + dropped, kSent) << "every trap sent is either logged or counted as dropped";
  // As root (the lab) the unicast socket gets all the room it asks for, which holds the storm.
  EXPECT_EQ(dropped, 0) << "the unicast socket's receive buffer overflowed";
  EXPECT_EQ(ui.traps.trap_count(), logged);

  // The store holds the newest traps, oldest first, exactly as the log's last lines say.
  ASSERT_EQ(stored, std::min<std::size_t>(trap_lines.size(), kTrapsKept));
  const std::size_t first = trap_lines.size() - stored;
  for (std::size_t k = 0; k < stored; ++k) {
    const TrapRecord& slot = ui.traps.Slot(k);
    const LogLine& line = *trap_lines[first + k];
    ASSERT_EQ(std::string(slot.time_text), line.timestamp) << "slot " << k;
    ASSERT_EQ(std::string(slot.address_text), line.ip) << "slot " << k;
    ASSERT_EQ("Trap :" + std::string(slot.event_text), line.event) << "slot " << k;
    ASSERT_EQ(slot.image, TRAP_IMAGE_UNREAD) << "slot " << k;
  }
  EXPECT_EQ(ui.traps.Slot(kTrapSlots - 1).event_text[0], '\0');
  EXPECT_TRUE(window().TrapIndicatorWaiting());
  EXPECT_TRUE(ui.messages.shown.empty()) << ui.messages.shown.front().text;
  EXPECT_LT(longest_stall_ms, 5000) << "the window stopped answering during the storm";
}

// The window reads a burst of datagrams in batches. A datagram's message box may let the user
// end the program before the batch is done; then nothing more is read from the closed sockets.
TEST_F(LabLoadTest, ExitFromAMessageInTheMiddleOfABurstEndsTheReading) {
  ASSERT_NO_FATAL_FAILURE(StartSwitches(2));
  // "Exit" pressed while the message is open.
  struct ExitOnMessage : RecordingMessages {
    MainWindow* window = nullptr;
    void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) override {
      RecordingMessages::ShowMessage(text, title, icon);
      if (window != nullptr) window->close();
    }
  } messages;
  ui.window = std::make_unique<MainWindow>(
      ui.traps, WindowServices{&messages, &ui.questions, &ui.file_dialogs, &ui.remote_ip, &ui.desktop, nullptr, {}, &ui.notifications});
  messages.window = ui.window.get();
  ASSERT_TRUE(window().Initialise(Networking::On));
  Show();
  ASSERT_TRUE(RunUntil([&] { return GetText(core().MonitorTable().Entry(1).product_name) == "SIM-8P"; }, 5000));

  // A reply with the password error, then 200 traps right behind it.
  AgentDatagram refused;
  refused.command = CMD_SET_UNICAST_REPLY;
  refused.result = RESULT_PASSWORD;
  refused.manager_id = kLabManagerId;
  std::string hex;
  for (std::uint8_t b : refused.Bytes()) {
    static const char* kDigits = "0123456789abcdef";
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0xF];
  }
  ASSERT_TRUE(sim.WriteLine("raw " + LabSwitchIp(1) + " " + hex + "\ntraps 200 " + LabSwitchIp(1) + " after %n"));
  int answered = 0;
  ASSERT_TRUE(RunUntil([&] {
    while (answered < 2) {
      const auto line = sim.ReadLine(std::chrono::milliseconds(2));
      if (!line) return false;
      EXPECT_EQ(*line, "ok");
      ++answered;
    }
    return true;
  }, 10000));
  RunUntil([] { return false; }, 300);

  EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Password error."});
  EXPECT_EQ(window().Engine()->Sockets().Unicast(), nullptr);
  EXPECT_EQ(ui.traps.trap_count(), 0);
  EXPECT_TRUE(Log().empty()) << Log();
}

}  // namespace
}  // namespace sd::gui
