#include "app/main_window_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "settings/event_log.h"
#include "settings/settings_file.h"
#include "support/devices.h"
#include "support/fake_dialogs.h"
#include "support/fake_shell.h"
#include "support/recording_messages.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

using test::ShownMessage;
using test::Switch;

ShownMessage ErrorBox(std::string_view text) { return {std::string(text), "Error", MessageIcon::Error}; }

class MainWindowCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettings();
    dlg.CreateListColumns();
    dlg.ClearDeviceTables();
    Discover(Switch("001E58000001", "192.168.0.20"));
    Monitor(Switch("001E58000010", "192.168.0.10"));
    Monitor(Switch("001E58000011", "192.168.0.11"));
    Monitor(Switch("001E58000012", "192.168.0.12"));
  }
  void TearDown() override { ResetSettings(); }

  void Discover(DeviceRecord r) { ASSERT_TRUE(dlg.StoreDiscoveryEntry(dlg.DiscoveryTable().Count(), r)); }
  void Monitor(DeviceRecord r) { ASSERT_TRUE(dlg.StoreMonitorEntry(dlg.MonitorTable().Count(), r)); }
  void Select(IListControl& list, std::vector<int> rows) {
    for (int row : rows) list.SetSelected(row, true);
  }
  std::vector<std::string> MonitorIps() const { return monitor_list.ColumnTexts(kMonitorColumnIp); }
  std::vector<std::string> MonitorEntryIps() {
    std::vector<std::string> out;
    for (const auto& e : dlg.MonitorTable().Entries(dlg.MonitorTable().Count())) out.emplace_back(GetText(e.ip_text));
    return out;
  }

  test::TempConfigDir dir;
  MemoryListControl discovery_list;
  MemoryListControl monitor_list;
  test::RecordingMessages messages;
  test::FakeFileDialogs file_dialogs;
  test::ScriptedRemoteIpDialog remote_ip;
  test::ScriptedQuestions questions;
  test::RecordingDesktopShell desktop;
  CSwitchdeskDlg dlg{discovery_list, monitor_list, messages, file_dialogs, remote_ip};
  MainWindowCommands commands{dlg, messages, questions, desktop};
};

TEST_F(MainWindowCommandsTest, DeleteItemAsksAndRemovesExactlyTheSelectedDevices) {
  Select(monitor_list, {0, 2});
  questions.answers = {true};
  commands.OnDeleteItem();
  EXPECT_EQ(questions.asked, (std::vector<ShownMessage>{{"Delete entry?", "Warning", MessageIcon::Warning}}));
  EXPECT_EQ(MonitorIps(), std::vector<std::string>{"192.168.0.11"});
  EXPECT_EQ(MonitorEntryIps(), std::vector<std::string>{"192.168.0.11"});
  EXPECT_FALSE(std::filesystem::exists(dir.File("monitor.cfg")));  // lasts until the user saves
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(MainWindowCommandsTest, DeleteItemCancelledOrWithNothingSelectedChangesNothing) {
  const std::vector<std::string> all{"192.168.0.10", "192.168.0.11", "192.168.0.12"};
  commands.OnDeleteItem();  // nothing selected: not even a question
  EXPECT_TRUE(questions.asked.empty());
  Select(monitor_list, {1});
  questions.answers = {false};
  commands.OnDeleteItem();
  EXPECT_EQ(questions.asked.size(), 1u);
  EXPECT_EQ(MonitorIps(), all);
  EXPECT_EQ(MonitorEntryIps(), all);
  EXPECT_EQ(monitor_list.SelectedRows(), std::vector<int>{1});
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(MainWindowCommandsTest, AccessWebRefusalsAndTheBrowser) {
  struct Case {
    const char* name;
    std::vector<int> discovery_rows;
    std::vector<int> monitor_rows;
    bool browser_starts;
    std::vector<ShownMessage> shown;
    std::vector<std::string> opened;
  };
  const Case cases[] = {
      {"discovery row", {0}, {}, true, {ErrorBox(kDeviceMustBeMonitored)}, {}},
      {"two monitored", {}, {0, 2}, true, {ErrorBox(kOnlyOneDevice)}, {}},
      {"none", {}, {}, true, {ErrorBox(kSelectOneMonitored)}, {}},
      {"one monitored", {}, {1}, true, {}, {"192.168.0.11"}},
      {"browser fails", {}, {2}, false, {ErrorBox(kBrowserFailed)}, {"192.168.0.12"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (IListControl* list : {static_cast<IListControl*>(&discovery_list), static_cast<IListControl*>(&monitor_list)}) {
      for (int row : list->SelectedRows()) list->SetSelected(row, false);
    }
    Select(discovery_list, c.discovery_rows);
    Select(monitor_list, c.monitor_rows);
    messages.shown.clear();
    desktop.browser_addresses.clear();
    desktop.browser_starts = c.browser_starts;
    commands.OnAccessWeb();
    EXPECT_EQ(messages.shown, c.shown);
    EXPECT_EQ(desktop.browser_addresses, c.opened);
  }
}

TEST_F(MainWindowCommandsTest, AccessWebRightAfterADiscoveryClickRefusesEvenIfAMonitoredRowWasSelected) {
  Select(monitor_list, {0});
  Select(discovery_list, {0});  // the selection coupling clears the Monitor List's
  commands.OnAccessWeb();
  EXPECT_EQ(messages.shown, std::vector<ShownMessage>{ErrorBox(kDeviceMustBeMonitored)});
  EXPECT_TRUE(desktop.browser_addresses.empty());
}

TEST_F(MainWindowCommandsTest, ASwitchThatOnlyTakesFirmwareIsNotOpened) {
  ASSERT_TRUE(dlg.UpdateMonitorEntry(1, [](DeviceRecord& e) { e.firmware_state = FIRMWARE_STATE_UNCONFIGURABLE; }));
  Select(monitor_list, {1});
  commands.OnAccessWeb();
  commands.OnMonitorDoubleClick();
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{ErrorBox(kFirmwareOnly), ErrorBox(kFirmwareOnly)}));
  EXPECT_TRUE(desktop.browser_addresses.empty());
}

TEST_F(MainWindowCommandsTest, MonitorDoubleClickIgnoresTheDiscoveryListAndOpensTheSelectedSwitch) {
  commands.OnMonitorDoubleClick();  // on an empty part, nothing selected
  Select(discovery_list, {0});
  commands.OnMonitorDoubleClick();
  EXPECT_EQ(messages.shown,
            (std::vector<ShownMessage>{ErrorBox(kSelectOneMonitored), ErrorBox(kSelectOneMonitored)}));
  messages.shown.clear();
  Select(monitor_list, {0});
  commands.OnMonitorDoubleClick();
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(desktop.browser_addresses, std::vector<std::string>{"192.168.0.10"});
}

TEST_F(MainWindowCommandsTest, AfterASortTheBrowserOpensTheSwitchTheRowShows) {
  dlg.OnColumnClickMonitor(kMonitorColumnIp);  // descending: .12, .11, .10
  ASSERT_EQ(MonitorIps().front(), "192.168.0.12");
  Select(monitor_list, {0});
  commands.OnAccessWeb();
  EXPECT_EQ(desktop.browser_addresses, std::vector<std::string>{"192.168.0.12"});
}

TEST_F(MainWindowCommandsTest, ViewLogOpensTheEventLogAndClearLogEmptiesIt) {
  commands.OnViewLog();
  EXPECT_EQ(desktop.editor_paths, std::vector<std::string>{dir.File("syslog.log")});
  ASSERT_EQ(AppendToEventLog("06/01/2007 14:03:09 192.168.0.10 Trap :T\r\n", messages), 0);
  commands.OnClearLog();
  EXPECT_TRUE(std::filesystem::exists(dir.File("syslog.log")));
  EXPECT_TRUE(dir.Read("syslog.log").empty());
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(questions.asked.empty());
}

TEST_F(MainWindowCommandsTest, RefreshTimeSetsThePollInterval) {
  for (int seconds : {60, 300, 15, 30, 120}) {
    commands.OnRefreshTime(seconds);
    EXPECT_EQ(dlg.RefreshIntervalSeconds(), seconds);
  }
}

}  // namespace
}  // namespace sd
