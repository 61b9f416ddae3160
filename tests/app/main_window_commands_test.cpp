// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window_commands.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "devices/monitor_file.h"
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

ShownMessage SaveQuestion() { return {std::string(kSaveMonitorListQuestion), "Warning", MessageIcon::Warning}; }

// Every way the user changes the Monitor List makes closing ask; the switches' own reports do
// not, and neither does a change that was refused.
TEST_F(MainWindowCommandsTest, ClosingAsksOnlyAfterTheUserChangedTheMonitorList) {
  const std::string other_file = dir.File("other.cfg");
  // A file holding one device that is not monitored yet, and one holding only monitored ones.
  {
    MemoryListControl d, m;
    CSwitchdeskDlg writer{d, m, messages, file_dialogs, remote_ip};
    writer.CreateListColumns();
    ASSERT_TRUE(writer.StoreMonitorEntry(0, Switch("001E58000030", "192.168.0.30")));
    ASSERT_TRUE(writer.WriteMonitorFile(other_file));
  }
  struct Case {
    const char* what;
    std::function<void()> act;
    bool changed;
  };
  const Case cases[] = {
      {"nothing done", [] {}, false},
      {"a reply filed into an entry", [&] { dlg.UpdateMonitorEntry(0, [](DeviceRecord& e) { e.answered = 1; }); }, false},
      {"Delete item cancelled", [&] {
         Select(monitor_list, {0});
         questions.answers = {false};
         commands.OnDeleteItem();
       }, false},
      {"Delete item", [&] {
         Select(monitor_list, {0});
         questions.answers = {true};
         commands.OnDeleteItem();
       }, true},
      {"Add to Monitor List", [&] {
         Select(discovery_list, {0});
         dlg.OnAddToMonitorList();
       }, true},
      {"Add item", [&] {
         remote_ip.typed = {0xC0A80063};  // 192.168.0.99
         dlg.OnAddItem();
       }, true},
      {"Add item with a duplicate address", [&] {
         remote_ip.typed = {0xC0A8000B};  // 192.168.0.11
         dlg.OnAddItem();
       }, false},
      {"Monitor load adding a device", [&] {
         file_dialogs.open_answer = other_file;
         dlg.OnMonitorLoad();
       }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dlg.LoadMonitorFileAtStartup();  // as after start-up: nothing to save yet
    ASSERT_FALSE(dlg.MonitorListChanged());
    questions.asked.clear();
    questions.answers.clear();
    c.act();
    EXPECT_EQ(dlg.MonitorListChanged(), c.changed);
    questions.asked.clear();
    questions.save_choices = {SaveChoice::Cancel};
    EXPECT_EQ(commands.MayClose(), !c.changed);
    EXPECT_EQ(questions.asked, c.changed ? std::vector<ShownMessage>{SaveQuestion()} : std::vector<ShownMessage>{});
    for (int row : monitor_list.SelectedRows()) monitor_list.SetSelected(row, false);
    for (int row : discovery_list.SelectedRows()) discovery_list.SetSelected(row, false);
  }
}

TEST_F(MainWindowCommandsTest, SaveDiscardAndCancelEachDoWhatTheySay) {
  struct Case {
    SaveChoice choice;
    bool save_fails;
    bool closes;
    bool file_written;
    bool still_changed;
  };
  const Case cases[] = {
      {SaveChoice::Save, false, true, true, false},
      {SaveChoice::Save, true, false, false, true},  // the failure is reported, the window stays
      {SaveChoice::Discard, false, true, false, true},
      {SaveChoice::Cancel, false, false, false, true},
  };
  // "Add item" with a new address each time.
  std::uint32_t next_address = 0xC0A80064;  // 192.168.0.100
  auto change_list = [&] {
    remote_ip.typed = {next_address++};
    dlg.OnAddItem();
    ASSERT_TRUE(dlg.MonitorListChanged());
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.choice) * 10 + c.save_fails);
    std::filesystem::remove_all(dir.File("monitor.cfg"));
    if (c.save_fails) std::filesystem::create_directory(dir.File("monitor.cfg"));
    messages.shown.clear();
    change_list();
    questions.asked.clear();
    questions.save_choices = {c.choice};
    EXPECT_EQ(commands.MayClose(), c.closes);
    EXPECT_EQ(questions.asked, std::vector<ShownMessage>{SaveQuestion()});
    EXPECT_EQ(std::filesystem::is_regular_file(dir.File("monitor.cfg")), c.file_written);
    if (c.file_written) {
      EXPECT_EQ(dir.Read("monitor.cfg").size(), static_cast<std::size_t>(dlg.MonitorTable().Count()) * kMonitorRecordSize);
    }
    EXPECT_EQ(messages.shown.size(), c.save_fails ? 1u : 0u);
    EXPECT_EQ(dlg.MonitorListChanged(), c.still_changed);
  }
  std::filesystem::remove_all(dir.File("monitor.cfg"));
  // Saved by the menu, the list closes without a question until it changes again.
  file_dialogs.save_answer = dir.File("copy.cfg");
  for (bool save_as : {false, true}) {
    change_list();
    EXPECT_TRUE(save_as ? dlg.OnMonitorSaveAs() : dlg.OnMonitorSave());
    questions.asked.clear();
    EXPECT_TRUE(commands.MayClose());
    EXPECT_TRUE(questions.asked.empty());
  }
  // A "Monitor save as" the user cancels saves nothing: the question stays.
  change_list();
  file_dialogs.save_answer.reset();
  EXPECT_FALSE(dlg.OnMonitorSaveAs());
  EXPECT_TRUE(dlg.MonitorListChanged());
}

TEST_F(MainWindowCommandsTest, ViewLogWithoutAnEditorSaysWhereTheLogIs) {
  desktop.editor_starts = false;
  commands.OnViewLog();
  EXPECT_EQ(desktop.editor_paths, std::vector<std::string>{dir.File("syslog.log")});
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].title, "Warning");
  EXPECT_NE(messages.shown[0].text.find("xdg-open"), std::string::npos) << messages.shown[0].text;
  EXPECT_NE(messages.shown[0].text.find(dir.File("syslog.log")), std::string::npos) << messages.shown[0].text;
}

TEST_F(MainWindowCommandsTest, ClearLogThatCannotRemoveTheLogSaysWhyAndWhere) {
  // A folder in the log's place cannot be removed as a file, nor opened as one.
  std::filesystem::create_directories(dir.File("syslog.log") + "/kept");
  commands.OnClearLog();
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{
                                ErrorBox("The event log " + dir.File("syslog.log") + " could not be cleared: " +
                                         std::generic_category().message(EISDIR) + ".")}));
  EXPECT_TRUE(std::filesystem::exists(dir.File("syslog.log") + "/kept"));
}

TEST_F(MainWindowCommandsTest, RefreshTimeSetsThePollInterval) {
  for (int seconds : {60, 300, 15, 30, 120}) {
    commands.OnRefreshTime(seconds);
    EXPECT_EQ(dlg.RefreshIntervalSeconds(), seconds);
  }
}

}  // namespace
}  // namespace sd
