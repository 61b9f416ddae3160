// SPDX-License-Identifier: GPL-3.0-or-later
// The window's desktop notifications reach a real notification daemon: Debian's dunst on an Xvfb
// display and a session bus of the test's own (nothing of the machine's desktop is used). The
// window, in the lab and not the active window, sees a monitored switch fall silent, answer
// again and send traps, one alone and then a burst; dunst's history holds what it was told.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "window/dbus_notifications.h"
#include "window/lab_window_fixture.h"
#include "support/json.h"
#include "support/run_program.h"

namespace sd::gui {
namespace {

using namespace sd::test;  // NOLINT: the window fixture's and the lab's helpers

const std::vector<std::string> kSwitches = {
    "ip=198.18.0.10,mac=02:00:00:00:00:10,iface=1,name=edge-1",
    "ip=198.18.0.11,mac=02:00:00:00:00:11,iface=2,name=edge-2",
    "ip=198.18.0.12,mac=02:00:00:00:00:12,iface=3,name=core",
};

struct Notification {
  std::string appname;
  std::string summary;
  std::string body;
};

// A program started for the test alone, ended (TERM, then KILL) when the test is over.
void End(ChildProcess& child) {
  child.Signal(SIGTERM);
  child.Stop(std::chrono::seconds(3));
}

class LabNotificationsTest : public LabWindowFixture {
 protected:
  void SetUp() override {
    LabWindowFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(StartLabSimulator(sim, kSwitches));
    std::string pattern = (std::filesystem::temp_directory_path() / "switchdesk-desktop-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    desktop_dir_ = pattern;

    // A session bus of its own, on a socket in the test's folder (an abstract socket would not
    // cross the lab's network namespace), that starts no service of the machine's: only the
    // dunst started below answers.
    const std::string bus_config = desktop_dir_ + "/session.conf";
    {
      std::ofstream out(bus_config);
      out << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
             "<busconfig>\n  <type>session</type>\n  <listen>unix:path=" << desktop_dir_ << "/bus</listen>\n"
             "  <auth>EXTERNAL</auth>\n  <policy context=\"default\">\n"
             "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n    <allow eavesdrop=\"true\"/>\n"
             "    <allow own=\"*\"/>\n  </policy>\n</busconfig>\n";
    }
    ASSERT_TRUE(bus_.Start({"dbus-daemon", "--config-file=" + bus_config, "--nofork", "--nopidfile",
                            "--print-address=1"}));
    const auto address = bus_.ReadLine();
    ASSERT_TRUE(address && address->rfind("unix:", 0) == 0) << address.value_or("no address");
    bus_address_ = *address;

    // A display of its own: Xvfb takes the first free number and says which.
    ASSERT_TRUE(x_.Start({"Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "640x480x24"}));
    const auto display = x_.ReadLine();
    ASSERT_TRUE(display && !display->empty()) << "Xvfb gave no display";
    display_ = ":" + *display;

    // Notifications leave the screen after a second (also without input on the display) and
    // go to the history the test reads.
    const std::string config = desktop_dir_ + "/dunstrc";
    {
      std::ofstream out(config);
      out << "[global]\n    timeout = 1\n    idle_threshold = 0\n    history_length = 50\n"
             "    notification_limit = 0\n";
    }
    ASSERT_TRUE(dunst_.Start({"env", "DISPLAY=" + display_, "DBUS_SESSION_BUS_ADDRESS=" + bus_address_,
                              "dunst", "-config", config}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Dunstctl({"debug"}).status == 0; }, 10000)) << Dunstctl({"debug"}).err;

    notifications_ = std::make_unique<DbusNotifications>(QString::fromStdString(bus_address_));
    WindowServices services{&ui.messages, &ui.questions, &ui.file_dialogs, &ui.remote_ip,
                            &ui.desktop,  nullptr,       {},              notifications_.get()};
    ui.window = std::make_unique<MainWindow>(ui.traps, services);
  }
  void TearDown() override {
    if (!IsSkipped()) {
      ui.window.reset();
      notifications_.reset();
      End(dunst_);
      End(x_);
      End(bus_);
      std::error_code ec;
      if (!desktop_dir_.empty()) std::filesystem::remove_all(desktop_dir_, ec);
    }
    LabWindowFixture::TearDown();
  }

  ProgramResult Dunstctl(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"env", "DBUS_SESSION_BUS_ADDRESS=" + bus_address_, "dunstctl"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, "", std::chrono::seconds(10));
  }

  // dunst's history, oldest first; what is still on the screen is closed into it first.
  std::vector<Notification> History() {
    Dunstctl({"close-all"});
    const ProgramResult result = Dunstctl({"history"});
    std::vector<Notification> out;
    const auto json = ParseJson(result.out);
    const Json* data = json ? json->Find("data") : nullptr;
    if (data == nullptr || data->array.empty()) return out;
    auto text = [](const Json& n, const char* key) {
      const Json* field = n.Find(key);
      const Json* value = field ? field->Find("data") : nullptr;
      return value ? value->string : std::string();
    };
    for (const Json& n : data->array.front().array) {
      out.push_back({text(n, "appname"), text(n, "summary"), text(n, "body")});
    }
    std::reverse(out.begin(), out.end());
    return out;
  }
  // Waits for the history to hold `count` notifications (or more) and returns it.
  std::vector<Notification> WaitForHistory(std::size_t count, int ms) {
    std::vector<Notification> history;
    (void)QTest::qWaitFor([&] {
      history = History();
      return history.size() >= count;
    }, ms);
    return history;
  }

  ChildProcess bus_, x_, dunst_;
  std::string desktop_dir_, bus_address_, display_;
  std::unique_ptr<DbusNotifications> notifications_;
};

TEST_F(LabNotificationsTest, ASilentSwitchItsRecoveryAndTrapsReachTheDesktop) {
  ASSERT_TRUE(window().Initialise(Networking::On));
  Show();
  window().ButtonOf(Control::Discover)->click();
  QTreeWidget* discovery = window().DiscoveryList();
  ASSERT_TRUE(QTest::qWaitFor([&] { return discovery->topLevelItemCount() == 3; }, 5000));
  QTest::qWait(300);
  ClickRow(discovery, 0);
  ClickRow(discovery, 2, Qt::ShiftModifier);
  window().ButtonOf(Control::AddToMonitorList)->click();
  ASSERT_EQ(window().MonitorList()->topLevelItemCount(), 3);

  // While the window is active a trap is no notification.
  ASSERT_TRUE(sim.WriteLine("trap 198.18.0.11 seen in the window"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return ui.traps.trap_count() == 1; }, 5000));
  QApplication::setActiveWindow(nullptr);
  ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeWindow() == nullptr; }, 2000));

  // Silent: declared not alive by the polls and the liveness timer.
  ASSERT_TRUE(sim.WriteLine("silence 198.18.0.12"));
  std::vector<Notification> history = WaitForHistory(1, 90000);
  ASSERT_EQ(history.size(), 1u) << Log();
  EXPECT_EQ(history[0].appname, "Switchdesk");
  EXPECT_EQ(history[0].summary, "Switch not alive");
  EXPECT_EQ(history[0].body, "198.18.0.12  core  020000000012");

  // Answering again: recovered at its next reply.
  ASSERT_TRUE(sim.WriteLine("resume 198.18.0.12"));
  history = WaitForHistory(2, 60000);
  ASSERT_EQ(history.size(), 2u) << Log();
  EXPECT_EQ(history[1].summary, "Switch recovered");
  EXPECT_EQ(history[1].body, "198.18.0.12  core  020000000012");

  // A trap alone, its text unable to format the notification.
  QTest::qWait(1200);
  ASSERT_TRUE(sim.WriteLine("trap 198.18.0.12 Port 2 <b>down</b> & out"));
  history = WaitForHistory(3, 10000);
  ASSERT_EQ(history.size(), 3u);
  EXPECT_EQ(history[2].appname, "Switchdesk");
  EXPECT_EQ(history[2].summary, "New trap arrived");
  EXPECT_EQ(history[2].body, "198.18.0.12  Port 2 &lt;b&gt;down&lt;/b&gt; &amp; out");

  // A burst of eight: at most one notification a second, so the traps come grouped. How many
  // notifications they make depends on how the datagrams are read (the first may come alone,
  // and on a busy machine the burst may spread over more than one second), but together they
  // stand for the eight traps in their order, each group with its first five lines and a count.
  QTest::qWait(1200);
  for (int i = 1; i <= 8; ++i) ASSERT_TRUE(sim.WriteLine("trap 198.18.0.10 burst " + std::to_string(i)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return ui.traps.trap_count() == 10; }, 10000));
  int next = 1;  // the burst number the next notification starts with
  std::size_t seen = 3;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (next <= 8 && std::chrono::steady_clock::now() < deadline) {
    history = WaitForHistory(seen + 1, 1000);
    for (; seen < history.size(); ++seen) {
      const Notification& n = history[seen];
      EXPECT_EQ(n.appname, "Switchdesk");
      if (n.summary == "New trap arrived") {
        EXPECT_EQ(n.body, "198.18.0.10  burst " + std::to_string(next));
        ++next;
        continue;
      }
      const int events = std::atoi(n.summary.c_str());
      ASSERT_GE(events, 2) << n.summary;
      EXPECT_EQ(n.summary, std::to_string(events) + " switch events");
      std::string lines;
      for (int i = next; i < next + std::min(events, 5); ++i) {
        lines += "198.18.0.10  Trap :burst " + std::to_string(i) + (i + 1 < next + std::min(events, 5) ? "\n" : "");
      }
      if (events > 5) lines += "\nand " + std::to_string(events - 5) + " more";
      EXPECT_EQ(n.body, lines);
      next += events;
    }
  }
  EXPECT_EQ(next, 9) << "the notifications do not stand for the eight traps";
  EXPECT_LE(history.size() - 3, 4u) << "the burst was not grouped";
  EXPECT_TRUE(ui.messages.shown.empty()) << ui.messages.shown.front().text;
}

}  // namespace
}  // namespace sd::gui
