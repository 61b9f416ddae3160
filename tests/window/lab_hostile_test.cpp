// SPDX-License-Identifier: GPL-3.0-or-later
// The whole program in the lab against what a real LAN sends: a burst of error replies, a switch
// without a DHCP lease, a trap text with line breaks, and an empty trap. The window runs on the
// offscreen platform with its sockets in the lab's manager namespace; the simulator plays the
// switches in the switch namespace.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/datagrams.h"
#include "window/lab_window_fixture.h"
#include "window/modal.h"
#include "window/qt_messages.h"
#include "window/trap_info_dialog.h"

namespace sd::gui {
namespace {

using namespace sd::test;  // NOLINT: the window fixture's and the lab's helpers

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static const char* kDigits = "0123456789abcdef";
  std::string hex;
  for (std::uint8_t b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0xF];
  }
  return hex;
}

class LabHostileTest : public LabWindowFixture {
 protected:
  // Sends control lines to the simulator and reads one answer per line.
  void Control(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    ASSERT_TRUE(sim.WriteLine(all.substr(0, all.size() - 1)));
    for (std::size_t answered = 0; answered < lines.size();) {
      std::optional<std::string> line;
      ASSERT_TRUE(QTest::qWaitFor([&] { return (line = sim.ReadLine(std::chrono::milliseconds(10))).has_value(); },
                                  10000));
      if (*line == "ok" || line->rfind("error", 0) == 0) {
        EXPECT_EQ(*line, "ok") << lines[answered];
        ++answered;
      }
    }
  }
  // The polls each simulated switch has received.
  std::map<std::string, int> Polls() {
    EXPECT_TRUE(sim.WriteLine("polls"));
    std::map<std::string, int> polls;
    while (auto line = sim.ReadLine()) {
      if (*line == "ok") break;
      std::istringstream in(*line);
      std::string word, ip;
      int count = 0;
      in >> word >> ip >> count;
      polls[ip] = count;
    }
    return polls;
  }
  void DiscoverAll(int rows) {
    window().ButtonOf(Control::Discover)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window().DiscoveryList()->topLevelItemCount() == rows; }, 5000));
    QTest::qWait(300);  // the group's replies update the same rows
  }
  void MonitorThreeSwitches() {
    ASSERT_TRUE(StartLabSimulator(sim, {"ip=198.18.0.10,mac=02:00:00:00:00:10",
                                        "ip=198.18.0.11,mac=02:00:00:00:00:11",
                                        "ip=198.18.0.12,mac=02:00:00:00:00:12"}));
    ASSERT_TRUE(window().Initialise(Networking::On));
    Show();
    ASSERT_NO_FATAL_FAILURE(DiscoverAll(3));
    window().DiscoveryList()->selectAll();
    QApplication::processEvents();
    window().ButtonOf(Control::AddToMonitorList)->click();
    ASSERT_EQ(window().MonitorList()->topLevelItemCount(), 3);
  }
};

// Message boxes as the window shows them (each a modal box with its own event loop, in which the
// window goes on reading datagrams), counted while they are open.
struct CountedBoxes : QtMessages {
  void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) override {
    const std::string key(text);
    ++shown[key];
    most_open[key] = std::max(most_open[key], ++open[key]);
    QtMessages::ShowMessage(text, title, icon);
    --open[key];
  }
  std::map<std::string, int> shown, open, most_open;
};

// 1 000 error replies in a burst, six different texts among them: at most one box per text is
// open at a time, and once they are closed the window files the next reply as before.
TEST_F(LabHostileTest, ABurstOfErrorRepliesOpensAtMostOneBoxPerText) {
  CountedBoxes boxes;
  ui.window = std::make_unique<MainWindow>(
      ui.traps, WindowServices{&boxes, &ui.questions, &ui.file_dialogs, &ui.remote_ip, &ui.desktop, nullptr, {}, &ui.notifications});
  boxes.SetOwner(ui.window.get());
  ASSERT_TRUE(StartLabSimulator(sim, {"ip=198.18.0.10,mac=02:00:00:00:00:10"}));
  ASSERT_TRUE(window().Initialise(Networking::On));
  Show();

  const std::uint16_t results[] = {1, 2, 3, 4, 5, 7};
  std::vector<std::string> lines;
  for (int i = 0; i < 1000; ++i) {
    AgentDatagram error;
    error.command = CMD_DISCOVER_REPLY;
    error.result = results[i % 6];
    error.manager_id = kLabManagerId;
    lines.push_back("raw 198.18.0.10 " + Hex(error.Bytes()));
  }
  // The boxes open inside the test's own waits: a timer closes them, innermost first, once the
  // burst has had three seconds to be read in full. Until then it notes how many are open.
  QElapsedTimer clock;
  clock.start();
  int closed = 0;
  std::size_t most_open_at_once = 0;
  QTimer closer;
  closer.setInterval(20);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    std::size_t open = 0;
    for (const auto& [text, count] : boxes.open) open += static_cast<std::size_t>(count);
    most_open_at_once = std::max(most_open_at_once, open);
    if (clock.elapsed() < 3000) return;
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      box->button(QMessageBox::Ok)->click();
      ++closed;
    }
  });
  closer.start();
  ASSERT_NO_FATAL_FAILURE(Control(lines));
  ASSERT_TRUE(QTest::qWaitFor([&] { return clock.elapsed() > 3000 && QApplication::activeModalWidget() == nullptr; },
                              20000));
  closer.stop();
  EXPECT_EQ(boxes.shown.size(), 6u);
  EXPECT_EQ(most_open_at_once, 6u) << "the six texts, each in one box";
  for (const auto& [text, count] : boxes.most_open) EXPECT_EQ(count, 1) << text;
  int total = 0;
  for (const auto& [text, count] : boxes.shown) total += count;
  EXPECT_EQ(closed, total);
  EXPECT_LE(total, 1000) << "some repeats may come after a box was closed, never while it is open";

  ASSERT_NO_FATAL_FAILURE(DiscoverAll(1));
  EXPECT_EQ(window().DiscoveryList()->topLevelItem(0)->text(kDiscoveryColumnIp).toStdString(), "198.18.0.10");
}

// A switch on DHCP without a lease answers from 0.0.0.0. It is discovered but refused by the
// Monitor List; a monitored switch that loses its lease later keeps its entry and address, and
// the poll thread still polls every switch listed after it at every pass.
TEST_F(LabHostileTest, ASwitchWithoutAnAddressIsRefusedAndTheSwitchesAfterItArePolled) {
  ASSERT_TRUE(StartLabSimulator(sim, {"ip=198.18.0.10,mac=02:00:00:00:00:10,dhcp=on",
                                      "ip=0.0.0.0,mac=02:00:00:00:00:99,dhcp=on",
                                      "ip=198.18.0.11,mac=02:00:00:00:00:11",
                                      "ip=198.18.0.12,mac=02:00:00:00:00:12"}));
  ASSERT_TRUE(window().Initialise(Networking::On));
  Show();
  ASSERT_NO_FATAL_FAILURE(DiscoverAll(4));
  std::vector<std::string> ips = ColumnTexts(window().DiscoveryList(), kDiscoveryColumnIp);
  ASSERT_NE(std::find(ips.begin(), ips.end(), "0.0.0.0"), ips.end());

  window().DiscoveryList()->selectAll();
  QApplication::processEvents();
  window().ButtonOf(Control::AddToMonitorList)->click();
  EXPECT_EQ(ui.messages.Texts(), std::vector<std::string>{
                                     "The switch has no IP address (0.0.0.0).\n"
                                     "It can be moved to the Monitor List once it has one."});
  ips = ColumnTexts(window().MonitorList(), kMonitorColumnIp);
  std::sort(ips.begin(), ips.end());
  EXPECT_EQ(ips, (std::vector<std::string>{"198.18.0.10", "198.18.0.11", "198.18.0.12"}));
  EXPECT_EQ(ColumnTexts(window().DiscoveryList(), kDiscoveryColumnIp), std::vector<std::string>{"0.0.0.0"});

  // The unleased switch gets a lease; the first monitored switch loses its own and answers the
  // next discovery from 0.0.0.0: its entry follows it by its MAC address.
  ui.messages.shown.clear();
  ASSERT_NO_FATAL_FAILURE(Control({"set 0.0.0.0 ip=198.18.0.13", "set 198.18.0.10 ip=0.0.0.0"}));
  const std::string first = core().MonitorTable().Entry(0).ip_text;
  ASSERT_EQ(first, "198.18.0.10");
  ASSERT_NO_FATAL_FAILURE(DiscoverAll(1));
  QTest::qWait(1000);  // the reply from 0.0.0.0 may come last
  // It is found by its MAC and keeps its address, the Monitor List's key; it is not listed again.
  EXPECT_EQ(std::string(core().MonitorTable().Entry(0).ip_text), "198.18.0.10");
  EXPECT_EQ(core().MonitorTable().Count(), 3);
  EXPECT_EQ(ColumnTexts(window().DiscoveryList(), kDiscoveryColumnIp), std::vector<std::string>{"198.18.0.13"});

  // Two passes of the poll thread (15 s apart) reach the switches after it.
  const auto before = Polls();
  QTest::qWait(31000);
  const auto after = Polls();
  for (const char* ip : {"198.18.0.11", "198.18.0.12"}) {
    const auto at = [&](const std::map<std::string, int>& m) { return m.count(ip) ? m.at(ip) : 0; };
    EXPECT_GE(at(after) - at(before), 2) << ip;
  }
  EXPECT_EQ(window().MonitorList()->topLevelItemCount(), core().MonitorTable().Count());
  EXPECT_TRUE(ui.messages.shown.empty()) << ui.messages.shown.front().text;
}

// A trap text with CR LF logs one line, and an empty trap hides none of the traps after it in
// the trap window.
TEST_F(LabHostileTest, TrapTextsWriteOneLineAndAnEmptyTrapHidesNoOther) {
  ASSERT_NO_FATAL_FAILURE(MonitorThreeSwitches());
  AgentDatagram forged;
  forged.manager_id = kLabManagerId;
  forged.Trap("198.18.0.11", "link down\r\n06/01/2007 14:03:09 198.18.0.12 Not alive \r\n");
  AgentDatagram empty;
  empty.manager_id = kLabManagerId;
  empty.Trap("198.18.0.11", "");
  ASSERT_NO_FATAL_FAILURE(Control({"raw 198.18.0.11 " + Hex(forged.Bytes()), "raw 198.18.0.11 " + Hex(empty.Bytes()),
                                   "trap 198.18.0.12 Port 2 link up"}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return ui.traps.trap_count() == 3; }, 5000));

  const std::string log = Log();
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = log.find("\r\n", at)) != std::string::npos; at = end + 2) {
    lines.push_back(log.substr(at, end - at));
  }
  ASSERT_EQ(lines.size(), 3u) << log;
  const std::regex stamp(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d )");
  for (const std::string& line : lines) {
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
    EXPECT_TRUE(std::regex_search(line, stamp, std::regex_constants::match_continuous)) << line;
  }
  EXPECT_NE(lines[0].find(" 198.18.0.11 Trap :link down  06/01/2007 14:03:09 198.18.0.12 Not alive   "),
            std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find(" 198.18.0.11 Trap :"), std::string::npos);
  EXPECT_NE(lines[2].find(" 198.18.0.12 Trap :Port 2 link up"), std::string::npos);

  std::vector<std::string> listed;
  ModalWatcher watcher([&](QWidget* modal) {
    auto* dialog = qobject_cast<CTrap_Info*>(modal);
    ASSERT_NE(dialog, nullptr);
    listed = ColumnTexts(dialog->List(), kTrapColumnEvent);
    dialog->OkButton()->click();
  });
  window().ButtonOf(Control::ViewTrap)->click();
  EXPECT_EQ(listed, (std::vector<std::string>{"link down  06/01/2007 14:03:09 198.18.0.12 Not alive   ", "",
                                              "Port 2 link up"}));
}

}  // namespace
}  // namespace sd::gui
