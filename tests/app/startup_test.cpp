// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/startup.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/network_engine.h"
#include "devices/monitor_file.h"
#include "net/event_loop.h"
#include "net/udp_socket.h"
#include "settings/settings_file.h"
#include "support/main_dialog.h"
#include "support/recording_messages.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

struct NoIndicator : ITrapIndicator {
  void ShowTrapArrived(bool) override {}
};

// Without define.ecf nothing is configured: no group to join, so the program must end. No packet
// leaves: joining the empty group is refused before anything is sent.
// Without the capability the program says what is missing and how to grant it to itself.
TEST(StartupTest, TheIgmpWarningNamesTheMissingCapabilityAndTheFixForThisProgram) {
  const std::string text = IgmpUnavailableMessage();
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  EXPECT_NE(text.find("needs the CAP_NET_RAW capability"), std::string::npos) << text;
  EXPECT_NE(text.find("\n  sudo setcap cap_net_raw=ep " + self + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Switchdesk runs on without the reports"), std::string::npos) << text;
}

TEST(StartupTest, TheIgmpWarningIsShownOncePerSettingsFolderAndRememberedBesideItsFiles) {
  test::TempConfigDir first;
  first.Write("define.ecf", {'x'});
  test::RecordingMessages messages;
  EXPECT_TRUE(WarnIgmpUnavailableOnce(messages));
  EXPECT_FALSE(WarnIgmpUnavailableOnce(messages));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0], (test::ShownMessage{IgmpUnavailableMessage(), "Warning", MessageIcon::Warning}));
  // Remembered in a file of its own: the three files are as they were.
  EXPECT_TRUE(std::filesystem::is_regular_file(first.File(kIgmpWarningShownFile)));
  EXPECT_EQ(first.Read("define.ecf"), std::vector<std::uint8_t>{'x'});
  EXPECT_FALSE(std::filesystem::exists(first.File("monitor.cfg")));
  EXPECT_FALSE(std::filesystem::exists(first.File("syslog.log")));
  {
    // Another settings folder has not seen it yet.
    test::TempConfigDir second;
    EXPECT_TRUE(WarnIgmpUnavailableOnce(messages));
    EXPECT_FALSE(WarnIgmpUnavailableOnce(messages));
  }
  EXPECT_EQ(messages.shown.size(), 2u);
}

TEST(StartupTest, TheMissingCapabilityIsNamedExactlyWhenTheRawSocketCannotBeOpened) {
  const std::string note = MissingCapabilityNote();
  EXPECT_EQ(note.empty(), RawIgmpSocket::Open().has_value()) << note;
  if (!note.empty()) {
    EXPECT_NE(note.find("CAP_NET_RAW"), std::string::npos) << note;
  }
}

TEST(StartupTest, RejectedSettingsLeadToTheClosingMessage) {
  test::TempConfigDir dir;
  test::MainDialogFixture f;
  ResetSettings();
  EventLoop loop;
  TrapStore traps;
  traps.Add("t", "a", "left from before");
  NoIndicator indicator;
  NetworkEngine engine(f.dlg.Lists(), f.messages, indicator, loop, traps);
  const StartupOutcome outcome = StartCore(f.dlg, engine, traps, f.messages);
  EXPECT_FALSE(outcome.settings_loaded);
  EXPECT_FALSE(outcome.can_run);
  EXPECT_EQ(traps.trap_count(), 0);
  EXPECT_EQ(f.messages.Texts(), (std::vector<std::string>{"Define.ecf does not exist.",
                                                          "This will cause the application to fail.",
                                                          "Please check your network connection.\nUtility will close."}));
}

// A unicast socket that could not be opened was reported at start-up ("Create socket error.");
// the polls and resends that cannot go out without it report nothing more, not one box per
// Monitor List entry at every pass.
TEST(StartupTest, WithoutAUnicastSocketPollsAndResendsAddNoBoxes) {
  test::MainDialogFixture f;
  for (const char* ip : {"198.18.0.10", "198.18.0.11", "198.18.0.12"}) f.AddMonitored(test::Switch("", ip));
  EventLoop loop;
  TrapStore traps;
  NoIndicator indicator;
  NetworkEngine engine(f.dlg.Lists(), f.messages, indicator, loop, traps);
  ASSERT_EQ(engine.Sockets().Unicast(), nullptr);
  engine.StartPollThread();
  ASSERT_TRUE(loop.RunUntil([&] { return f.dlg.MonitorTable().Entry(2).answered == 0; }, std::chrono::seconds(5)));
  f.dlg.UpdateMonitorEntry(0, [](DeviceRecord& e) { e.missed_polls = 1; });
  engine.OnLivenessTimer();
  loop.RunFor(std::chrono::milliseconds(200));
  EXPECT_TRUE(f.messages.shown.empty()) << f.messages.shown.front().text;
  engine.CloseSocketSet();
}

// The lists' half of the start-up, as the terminal program's list commands use it: the settings
// decide the "Group Interval" column, monitor.cfg fills the Monitor List, and a missing
// define.ecf is reported with the window's two messages while the lists still load.
TEST(StartupTest, SettingsAndDeviceListsWithoutTheNetwork) {
  struct Case {
    bool with_settings;
    int monitor_columns;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {true, 12, {}},
      {false, 11, {"Define.ecf does not exist.", "This will cause the application to fail."}},
  };
  for (const Case& c : cases) {
    test::TempConfigDir dir;
    if (c.with_settings) {
      dir.Write("define.ecf", MakeSealedSettings("manager_id=01945AE0\nbase_port=C350\n"
                                                "multicast_group=239.255.100.100\n"
                                                "multicast_interface_on_off=1\nmulticast_timer_flag=0\n"
                                                "strlen_multi_timer=3\nmulticast_timer=125\n"));
    }
    const DeviceRecord stored[] = {test::Switch("020000000010", "198.18.0.10"),
                                   test::Switch("020000000011", "198.18.0.11")};
    dir.Write("monitor.cfg", EncodeMonitorFile(stored));
    ResetSettings();
    MemoryListControl discovery_list, monitor_list;
    test::RecordingMessages messages;
    test::FakeFileDialogs file_dialogs;
    test::ScriptedRemoteIpDialog remote_ip;
    CSwitchdeskDlg dlg(discovery_list, monitor_list, messages, file_dialogs, remote_ip);
    EXPECT_EQ(LoadSettingsAndDeviceLists(dlg, messages), c.with_settings);
    EXPECT_EQ(monitor_list.ColumnCount(), c.monitor_columns);
    EXPECT_EQ(monitor_list.ColumnTexts(1), (std::vector<std::string>{"198.18.0.10", "198.18.0.11"}));
    EXPECT_EQ(messages.Texts(), c.messages);
    ResetSettings();
  }
}

}  // namespace
}  // namespace sd
