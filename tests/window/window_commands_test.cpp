// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's buttons, menu items and mouse actions reach the core, and what the core
// decides shows in the window.

#include <gtest/gtest.h>

#include <QMessageBox>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "window/modal.h"
#include "window/remote_ip_dialog.h"
#include "window/trap_info_dialog.h"
#include "window/window_fixture.h"
#include "protocol/ipv4.h"
#include "settings/event_log.h"

namespace sd::gui {
namespace {

using namespace sd::test;  // NOLINT: the window fixture's helpers


ShownMessage ErrorBox(std::string_view text) { return {std::string(text), "Error", MessageIcon::Error}; }

class WindowCommandsTest : public WindowTest {
 protected:
  explicit WindowCommandsTest(bool qt_services = false) : WindowTest(qt_services) {}
  // Two discovered and three monitored switches, the window shown.
  void StartWithSwitches() {
    StartUp();
    Discover(Switch("001E58000001", "192.168.0.21"));
    Discover(Switch("001E58000002", "192.168.0.22"));
    Monitor(Switch("001E58000010", "192.168.0.10"));
    Monitor(Switch("001E58000011", "192.168.0.11"));
    Monitor(Switch("001E58000012", "192.168.0.12"));
    Show();
  }
  QTreeWidget* discovery() { return window().DiscoveryList(); }
  QTreeWidget* monitor() { return window().MonitorList(); }
  std::vector<int> DiscoverySelected() { return core().DiscoveryListControl().SelectedRows(); }
  std::vector<int> MonitorSelected() { return core().MonitorListControl().SelectedRows(); }
  std::vector<std::string> MonitorIps() { return ColumnTexts(monitor(), kMonitorColumnIp); }
  std::vector<std::string> DiscoveryMacs() { return ColumnTexts(discovery(), kDiscoveryColumnMac); }
  void Press(Control control) {
    window().ButtonOf(control)->click();
    QApplication::processEvents();
  }
  std::vector<ShownMessage>& shown() { return ui.messages.shown; }
};

TEST_F(WindowCommandsTest, StartUpClearsTrapsReadsSettingsAndLoadsTheMonitorList) {
  {  // A monitor.cfg of two switches, written as "Monitor save" writes it.
    MemoryListControl d, m;
    RecordingMessages quiet;
    FakeFileDialogs files;
    ScriptedRemoteIpDialog remote;
    CSwitchdeskDlg writer(d, m, quiet, files, remote);
    writer.CreateListColumns();
    ASSERT_TRUE(writer.StoreMonitorEntry(0, Switch("001E58000010", "192.168.0.10")));
    ASSERT_TRUE(writer.StoreMonitorEntry(1, Switch("001E58000011", "192.168.0.11")));
    ASSERT_TRUE(writer.WriteMonitorFile(dir.File("monitor.cfg")));
  }
  ui.traps.Add("06/01/2007 14:03:09", "192.168.0.10", "left over");
  window().Commands().OnRefreshTime(300);

  StartUp(0);
  EXPECT_EQ(ui.traps.trap_count(), 0);
  EXPECT_EQ(core().RefreshIntervalSeconds(), 15);
  EXPECT_EQ(MonitorIps(), (std::vector<std::string>{"192.168.0.10", "192.168.0.11"}));
  EXPECT_EQ(discovery()->topLevelItemCount(), 0);
  EXPECT_EQ(window().ActionOf(Command::GroupInterval), nullptr);
  EXPECT_EQ(monitor()->columnCount(), 11);
  EXPECT_FALSE(window().ButtonOf(Control::DhcpRefresh)->isEnabled());
  EXPECT_TRUE(window().ActionOf(Command::RefreshTime15s)->isChecked());
  EXPECT_TRUE(shown().empty());
}

TEST_F(WindowCommandsTest, ASelectionLivesInOneListAtATime) {
  StartWithSwitches();
  ClickRow(monitor(), 0);
  EXPECT_EQ(MonitorSelected(), std::vector<int>{0});
  ClickRow(discovery(), 1);
  EXPECT_EQ(DiscoverySelected(), std::vector<int>{1});
  EXPECT_EQ(MonitorSelected(), std::vector<int>{});
  ClickRow(discovery(), 0, Qt::ControlModifier);
  EXPECT_EQ(DiscoverySelected(), (std::vector<int>{0, 1}));
  ClickRow(monitor(), 2);
  EXPECT_EQ(MonitorSelected(), std::vector<int>{2});
  EXPECT_EQ(DiscoverySelected(), std::vector<int>{});
  // What the lists show selected is what the core sees.
  EXPECT_TRUE(monitor()->selectionModel()->isRowSelected(2, QModelIndex()));
  EXPECT_FALSE(discovery()->selectionModel()->hasSelection());
}

TEST_F(WindowCommandsTest, AccessWebOpensTheSelectedMonitoredSwitchAndRefusesEverythingElse) {
  StartWithSwitches();
  struct Case {
    const char* name;
    std::function<void()> select;
    std::vector<ShownMessage> shown;
    std::vector<std::string> opened;
  };
  const Case cases[] = {
      {"one monitored", [&] { ClickRow(monitor(), 1); }, {}, {"192.168.0.11"}},
      {"a discovery click after a monitored row", [&] { ClickRow(monitor(), 1); ClickRow(discovery(), 0); },
       {ErrorBox(kDeviceMustBeMonitored)}, {}},
      {"two monitored", [&] { ClickRow(monitor(), 0); ClickRow(monitor(), 2, Qt::ControlModifier); },
       {ErrorBox(kOnlyOneDevice)}, {}},
      {"none", [&] { ClickRow(monitor(), -1); }, {ErrorBox(kSelectOneMonitored)}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.select();
    shown().clear();
    ui.desktop.browser_addresses.clear();
    Press(Control::AccessWeb);
    EXPECT_EQ(shown(), c.shown);
    EXPECT_EQ(ui.desktop.browser_addresses, c.opened);
  }
}

TEST_F(WindowCommandsTest, MonitorDoubleClickOpensTheSwitchOrAsksForOne) {
  StartWithSwitches();
  DoubleClickRow(monitor(), 2);
  EXPECT_EQ(ui.desktop.browser_addresses, std::vector<std::string>{"192.168.0.12"});
  EXPECT_TRUE(shown().empty());
  DoubleClickRow(monitor(), -1);  // an empty part, nothing selected
  EXPECT_EQ(shown(), std::vector<ShownMessage>{ErrorBox(kSelectOneMonitored)});
  EXPECT_EQ(ui.desktop.browser_addresses.size(), 1u);
}

TEST_F(WindowCommandsTest, AddToMonitorListAndTheDiscoveryDoubleClickMoveSwitches) {
  StartWithSwitches();
  Press(Control::AddToMonitorList);  // nothing selected: nothing at all
  DoubleClickRow(discovery(), -1);
  EXPECT_EQ(DiscoveryMacs().size(), 2u);
  EXPECT_EQ(MonitorIps().size(), 3u);

  DoubleClickRow(discovery(), 1);
  EXPECT_EQ(DiscoveryMacs(), std::vector<std::string>{"001E58000001"});
  EXPECT_EQ(MonitorIps().back(), "192.168.0.22");

  ClickRow(discovery(), 0);
  Press(Control::AddToMonitorList);
  EXPECT_TRUE(DiscoveryMacs().empty());
  EXPECT_EQ(MonitorIps(), (std::vector<std::string>{"192.168.0.10", "192.168.0.11", "192.168.0.12",
                                                    "192.168.0.22", "192.168.0.21"}));
  EXPECT_TRUE(shown().empty());
}

TEST_F(WindowCommandsTest, DeleteItemAsksAndCancelKeepsEverything) {
  StartWithSwitches();
  Press(Control::DeleteItem);  // nothing selected: no question
  EXPECT_TRUE(ui.questions.asked.empty());
  ClickRow(monitor(), 0);
  ClickRow(monitor(), 2, Qt::ControlModifier);
  ui.questions.answers = {false, true};
  Press(Control::DeleteItem);
  EXPECT_EQ(MonitorIps().size(), 3u);
  EXPECT_EQ(core().MonitorTable().Count(), 3);
  Press(Control::DeleteItem);
  EXPECT_EQ(ui.questions.asked,
            (std::vector<ShownMessage>(2, ShownMessage{"Delete entry?", "Warning", MessageIcon::Warning})));
  EXPECT_EQ(MonitorIps(), std::vector<std::string>{"192.168.0.11"});
  EXPECT_EQ(core().MonitorTable().Count(), 1);
}

TEST_F(WindowCommandsTest, HeaderClicksSortTheRowsAndTurnTheDirection) {
  StartWithSwitches();
  ClickHeader(monitor(), kMonitorColumnIp);
  EXPECT_EQ(MonitorIps(), (std::vector<std::string>{"192.168.0.12", "192.168.0.11", "192.168.0.10"}));
  ClickHeader(discovery(), kDiscoveryColumnMac);  // the direction is shared: ascending now
  EXPECT_EQ(DiscoveryMacs(), (std::vector<std::string>{"001E58000001", "001E58000002"}));
  ClickHeader(monitor(), kMonitorColumnIp);  // descending again, though it was last clicked descending
  EXPECT_EQ(MonitorIps(), (std::vector<std::string>{"192.168.0.12", "192.168.0.11", "192.168.0.10"}));
  ClickHeader(monitor(), kMonitorColumnIp);
  EXPECT_EQ(MonitorIps(), (std::vector<std::string>{"192.168.0.10", "192.168.0.11", "192.168.0.12"}));
}

TEST_F(WindowCommandsTest, AddItemAddsTheAcceptedAddress) {
  StartWithSwitches();
  ui.remote_ip.typed = {0, *TextToIpv4("10.0.0.5")};
  Press(Control::AddItem);
  EXPECT_EQ(ui.remote_ip.runs, 1);
  EXPECT_EQ(shown(), (std::vector<ShownMessage>{{"Invalid IP address.", " Error", MessageIcon::Error}}));
  EXPECT_EQ(MonitorIps().back(), "10.0.0.5");
}

TEST_F(WindowCommandsTest, FileMenuSavesAndLoadsTheMonitorList) {
  StartWithSwitches();
  window().ActionOf(Command::MonitorSave)->trigger();
  EXPECT_EQ(std::filesystem::file_size(dir.File("monitor.cfg")), 3u * 300u);
  ui.file_dialogs.save_answer = dir.File("copy.cfg");
  window().ActionOf(Command::MonitorSaveAs)->trigger();
  EXPECT_EQ(std::filesystem::file_size(dir.File("copy.cfg")), 3u * 300u);
  ASSERT_EQ(ui.file_dialogs.save_requests.size(), 1u);
  EXPECT_EQ(ui.file_dialogs.save_requests[0].initial_name, "Default.cfg");

  ClickRow(monitor(), 1);
  ui.questions.answers = {true};
  Press(Control::DeleteItem);
  ui.file_dialogs.open_answer = dir.File("copy.cfg");
  shown().clear();
  window().ActionOf(Command::MonitorLoad)->trigger();
  EXPECT_EQ(MonitorIps(), (std::vector<std::string>{"192.168.0.10", "192.168.0.12", "192.168.0.11"}));
}

TEST_F(WindowCommandsTest, ViewMenuAndRefreshTimeReachTheCore) {
  StartWithSwitches();
  window().ActionOf(Command::ViewLog)->trigger();
  EXPECT_EQ(ui.desktop.editor_paths, std::vector<std::string>{dir.File("syslog.log")});
  ASSERT_EQ(AppendToEventLog("06/01/2007 14:03:09 192.168.0.10 Not alive \r\n", ui.messages), 0);
  window().ActionOf(Command::ClearLog)->trigger();
  EXPECT_TRUE(dir.Read("syslog.log").empty());
  for (auto [command, seconds] : {std::pair{Command::RefreshTime2min, 120}, std::pair{Command::RefreshTime30s, 30}}) {
    window().ActionOf(command)->trigger();
    EXPECT_EQ(core().RefreshIntervalSeconds(), seconds);
  }
  EXPECT_TRUE(shown().empty());
}

TEST_F(WindowCommandsTest, ViewTrapListsTheStoreAndMarksTheClickedTrapReadAfterASort) {
  StartWithSwitches();
  ui.traps.Add("06/01/2007 14:03:09", "192.168.0.12", "B link up");
  ui.traps.Add("06/01/2007 14:03:07", "192.168.0.10", "C cold start");
  ui.traps.Add("06/01/2007 14:03:08", "192.168.0.11", "A port 3 down");
  window().SetTrapIndicator(true);
  TrapSort() = {};
  std::vector<std::string> events_after_sort;
  std::string clicked_event;
  ModalWatcher watcher([&](QWidget* modal) {
    auto* dialog = qobject_cast<CTrap_Info*>(modal);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(window().TrapIndicatorWaiting());
    ClickHeader(dialog->List(), kTrapColumnTime);  // descending by time
    events_after_sort = ColumnTexts(dialog->List(), kTrapColumnEvent);
    ClickRow(dialog->List(), 1);
    clicked_event = dialog->List()->topLevelItem(1)->text(kTrapColumnEvent).toStdString();
    EXPECT_TRUE(dialog->List()->topLevelItem(1)->icon(0).isNull());
    EXPECT_FALSE(dialog->List()->topLevelItem(0)->icon(0).isNull());
    dialog->OkButton()->click();
  });
  Press(Control::ViewTrap);
  ASSERT_TRUE(watcher.Handled());
  EXPECT_EQ(events_after_sort, (std::vector<std::string>{"B link up", "A port 3 down", "C cold start"}));
  EXPECT_EQ(clicked_event, "A port 3 down");
  EXPECT_EQ(ui.traps.Slot(2).image, TRAP_IMAGE_READ);  // "A port 3 down" arrived third
  EXPECT_EQ(ui.traps.Slot(0).image, TRAP_IMAGE_UNREAD);
  EXPECT_EQ(ui.traps.Slot(1).image, TRAP_IMAGE_UNREAD);
  TrapSort() = {};
}

// The three ways of closing the window, as the user takes them.
const std::vector<std::pair<const char*, std::function<void(MainWindow&)>>>& CloseWays() {
  static const std::vector<std::pair<const char*, std::function<void(MainWindow&)>>> ways{
      {"Exit button", [](MainWindow& w) { w.ButtonOf(Control::Exit)->click(); }},
      {"File > Exit", [](MainWindow& w) { w.ActionOf(Command::FileExit)->trigger(); }},
      {"close box", [](MainWindow& w) { w.close(); }},
  };
  return ways;
}

TEST_F(WindowCommandsTest, ClosingAnUnchangedOrSavedMonitorListAsksNothing) {
  for (const auto& [name, close] : CloseWays()) {
    for (bool saved_after_change : {false, true}) {
      SCOPED_TRACE(std::string(name) + (saved_after_change ? ", changed then saved" : ", unchanged"));
      WindowUnderTest other;
      MainWindow& fresh = *other.window;
      fresh.Initialise(Networking::Off);
      ASSERT_TRUE(fresh.Core().StoreMonitorEntry(0, Switch("001E58000010", "192.168.0.10")));  // filed, not a change
      if (saved_after_change) {
        other.remote_ip.typed = {*TextToIpv4("192.168.0.99")};
        fresh.ButtonOf(Control::AddItem)->click();
        fresh.ActionOf(Command::MonitorSave)->trigger();
      }
      int closes = 0;
      fresh.SetCloseHandler([&] { ++closes; });
      fresh.show();
      close(fresh);
      EXPECT_TRUE(other.questions.asked.empty());
      EXPECT_EQ(closes, 1);
      EXPECT_FALSE(fresh.isVisible());
    }
  }
}

TEST_F(WindowCommandsTest, ClosingAChangedMonitorListAsksAndSaveDiscardOrCancelDecide) {
  struct Case {
    SaveChoice choice;
    bool closes;
    bool saved;
  };
  const Case cases[] = {
      {SaveChoice::Cancel, false, false},
      {SaveChoice::Discard, true, false},
      {SaveChoice::Save, true, true},
  };
  for (const auto& [name, close] : CloseWays()) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(name) + " " + std::to_string(static_cast<int>(c.choice)));
      std::filesystem::remove(dir.File("monitor.cfg"));
      WindowUnderTest other;
      MainWindow& fresh = *other.window;
      fresh.Initialise(Networking::Off);
      ASSERT_TRUE(fresh.Core().StoreDiscoveryEntry(0, Switch("001E58000001", "192.168.0.21")));
      fresh.Core().DiscoveryListControl().SetSelected(0, true);
      fresh.ButtonOf(Control::AddToMonitorList)->click();
      ASSERT_EQ(fresh.Core().MonitorTable().Count(), 1);
      int closes = 0;
      fresh.SetCloseHandler([&] { ++closes; });
      fresh.show();
      other.questions.save_choices = {c.choice};
      close(fresh);
      EXPECT_EQ(other.questions.asked,
                (std::vector<ShownMessage>{{std::string(kSaveMonitorListQuestion), "Warning", MessageIcon::Warning}}));
      EXPECT_EQ(closes, c.closes ? 1 : 0);
      EXPECT_EQ(fresh.isVisible(), !c.closes);
      EXPECT_EQ(std::filesystem::exists(dir.File("monitor.cfg")), c.saved);
      if (c.closes) continue;
      // Kept open, the window asks again on the next try.
      other.questions.save_choices = {SaveChoice::Discard};
      close(fresh);
      EXPECT_EQ(other.questions.asked.size(), 2u);
      EXPECT_EQ(closes, 1);
    }
  }
}

// ---- With the window's own Qt services ----

class QtServicesTest : public WindowCommandsTest {
 protected:
  QtServicesTest() : WindowCommandsTest(true) {}
};

TEST_F(QtServicesTest, DeleteItemAsksInAWarningBoxWithOkAndCancel) {
  StartWithSwitches();
  ClickRow(monitor(), 0);
  for (auto [answer, rows_left] : {std::pair{QMessageBox::Cancel, 3}, std::pair{QMessageBox::Ok, 2}}) {
    SeenBox seen;
    QMessageBox::StandardButtons buttons;
    ModalWatcher watcher([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      ASSERT_NE(box, nullptr);
      seen = {box->text().toStdString(), box->windowTitle().toStdString(), box->icon()};
      buttons = box->standardButtons();
      box->button(answer)->click();
    });
    Press(Control::DeleteItem);
    EXPECT_EQ(seen.text, "Delete entry?");
    EXPECT_EQ(seen.title, "Warning");
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(static_cast<int>(MonitorIps().size()), rows_left);
  }
}

TEST_F(QtServicesTest, TheSaveQuestionIsAWarningBoxWithSaveDiscardAndCancel) {
  StartWithSwitches();
  ClickRow(monitor(), 0);
  // "Delete item" goes through the window's own box too: OK it.
  {
    SeenBox seen;
    auto watcher = AnswerNextBox(seen, QMessageBox::Ok);
    Press(Control::DeleteItem);
  }
  ASSERT_TRUE(core().MonitorListChanged());
  for (auto [answer, stays_open] : {std::pair{QMessageBox::Cancel, true}, std::pair{QMessageBox::Discard, false}}) {
    SeenBox seen;
    QStringList buttons;
    QString default_button;
    ModalWatcher watcher([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      ASSERT_NE(box, nullptr);
      seen = {box->text().toStdString(), box->windowTitle().toStdString(), box->icon()};
      for (QAbstractButton* b : box->buttons()) buttons << b->text();
      default_button = box->defaultButton() ? box->defaultButton()->text() : QString();
      box->button(answer)->click();
    });
    window().close();
    QApplication::processEvents();
    EXPECT_EQ(seen.text, std::string(kSaveMonitorListQuestion));
    EXPECT_EQ(seen.title, "Warning");
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList{"Cancel", "Discard", "Save"}));
    EXPECT_EQ(default_button, "Save");
    EXPECT_EQ(window().isVisible(), stays_open);
  }
}

TEST_F(QtServicesTest, AddItemRunsTheRemoteIpDialogWhichKeepsAnInvalidAddress) {
  StartWithSwitches();
  SeenBox refusal;
  std::unique_ptr<ModalWatcher> box_watcher;
  QStringList kept;
  ModalWatcher watcher([&](QWidget* modal) {
    auto* dialog = qobject_cast<CAdd_remoteIP*>(modal);
    ASSERT_NE(dialog, nullptr);
    dialog->AddressEdit()->SetAddress(*TextToIpv4("192.168.0.255"));
    box_watcher = AnswerNextBox(refusal);
    dialog->ApplyButton()->click();
    kept = dialog->AddressEdit()->FieldTexts();
    const QStringList typed{"10", "", "", "5"};
    for (int i = 0; i < 4; ++i) dialog->AddressEdit()->Field(i)->setText(typed[i]);
    dialog->ApplyButton()->click();
  });
  Press(Control::AddItem);
  ASSERT_TRUE(watcher.Handled());
  EXPECT_EQ(refusal.text, "Invalid IP address.");
  EXPECT_EQ(refusal.title, " Error");
  EXPECT_EQ(refusal.icon, QMessageBox::Critical);
  EXPECT_EQ(kept, (QStringList{"192", "168", "0", "255"}));
  EXPECT_EQ(MonitorIps().back(), "10.0.0.5");
}

}  // namespace
}  // namespace sd::gui
