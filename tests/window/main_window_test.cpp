// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <map>
#include <string>
#include <vector>

#include "window/device_list_widget.h"
#include "window/images.h"
#include "window/trap_info_dialog.h"
#include "window/about_dialog.h"
#include "window/modal.h"
#include "window/screenshot.h"
#include "window/window_fixture.h"

namespace sd::gui {
namespace {

using namespace sd::test;  // NOLINT: the window fixture's helpers

std::vector<std::string> CheckedRefreshItems(const MainWindow& window) {
  std::vector<std::string> out;
  for (const QAction* action : RefreshMenu(window)->actions()) {
    if (action->isChecked()) out.push_back(action->text().toStdString());
  }
  return out;
}

bool SameImage(const QPixmap& shown, Image image) {
  return shown.toImage() == ImagePixmap(image, ImageSize(image)).toImage();
}

class MainWindowTest : public WindowTest {
 protected:
  MainWindow& window = *ui.window;
  RecordingMessages& messages = ui.messages;
};

TEST_F(MainWindowTest, ShowsTheCaptionTheProgramIconAndTheThreeGroups) {
  StartUp();
  EXPECT_EQ(window.windowTitle(), "Velmora Switchdesk");
  EXPECT_FALSE(window.windowIcon().isNull());
  std::vector<std::string> groups;
  for (const QGroupBox* box : window.findChildren<QGroupBox*>()) groups.push_back(box->title().toStdString());
  EXPECT_EQ(groups, (std::vector<std::string>{"Discovery List", "Monitor List", "Device Setting"}));
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(MainWindowTest, KeyboardVisitsListsAndButtonsInTheLayoutsOrder) {
  StartUp();
  std::vector<std::string> order;
  for (QWidget* w = window.nextInFocusChain(); w != &window; w = w->nextInFocusChain()) {
    if (auto* button = qobject_cast<QPushButton*>(w)) order.push_back(button->text().toStdString());
    if (w == window.DiscoveryList()) order.push_back("<Discovery List>");
    if (w == window.MonitorList()) order.push_back("<Monitor List>");
  }
  EXPECT_EQ(order, (std::vector<std::string>{
                       "<Discovery List>", "Discover", "Add to Monitor List", "<Monitor List>",
                       "View trap", "Add item", "Delete item", "Configure settings",
                       "Change password", "Upgrade firmware", "Access web", "DHCP Refresh", "Exit"}));
}

TEST_F(MainWindowTest, EveryControlSitsInItsGroup) {
  StartUp();
  struct Case {
    Control control;
    const char* text;
    const char* group;  // "" outside the groups
  };
  const Case cases[] = {
      {Control::Discover, "Discover", "Discovery List"},
      {Control::AddToMonitorList, "Add to Monitor List", ""},
      {Control::ViewTrap, "View trap", "Monitor List"},
      {Control::AddItem, "Add item", "Monitor List"},
      {Control::DeleteItem, "Delete item", "Monitor List"},
      {Control::ConfigureSettings, "Configure settings", "Device Setting"},
      {Control::ChangePassword, "Change password", "Device Setting"},
      {Control::UpgradeFirmware, "Upgrade firmware", "Device Setting"},
      {Control::AccessWeb, "Access web", "Device Setting"},
      {Control::DhcpRefresh, "DHCP Refresh", "Device Setting"},
      {Control::Exit, "Exit", ""},
  };
  auto group_of = [](QWidget* w) {
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget()) {
      if (auto* box = qobject_cast<QGroupBox*>(p)) return box->title().toStdString();
    }
    return std::string();
  };
  for (const Case& c : cases) {
    QPushButton* button = window.ButtonOf(c.control);
    ASSERT_NE(button, nullptr) << c.text;
    EXPECT_EQ(button->text().toStdString(), c.text);
    EXPECT_EQ(group_of(button), c.group) << c.text;
  }
  EXPECT_EQ(group_of(window.DiscoveryList()), "Discovery List");
  EXPECT_EQ(group_of(window.MonitorList()), "Monitor List");
  EXPECT_EQ(group_of(window.TrapIndicator()), "Monitor List");
  EXPECT_EQ(window.findChildren<QPushButton*>().size(), 11);
}

TEST_F(MainWindowTest, OnlyDhcpRefreshIsDisabledAfterStartUp) {
  EXPECT_TRUE(window.ButtonOf(Control::DhcpRefresh)->isEnabled());
  StartUp();
  for (QPushButton* button : window.findChildren<QPushButton*>()) {
    EXPECT_EQ(button->isEnabled(), button->text() != "DHCP Refresh") << button->text().toStdString();
  }
}

TEST_F(MainWindowTest, BothListsSelectSeveralWholeRows) {
  StartUp();
  for (QTreeWidget* list : {window.DiscoveryList(), window.MonitorList()}) {
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_TRUE(list->allColumnsShowFocus());
    EXPECT_FALSE(list->rootIsDecorated());
    EXPECT_FALSE(list->isSortingEnabled());  // header clicks are the program's, not the list's
  }
}

TEST_F(MainWindowTest, ColumnsAndGroupIntervalItemFollowTheSetting) {
  const std::vector<std::string> discovery{"MAC Address", "IP Address", "Protocol Version",
                                           "Product Name", "System Name", "DHCP", "Location",
                                           "Trap IP", "Subnet Mask", "Gateway"};
  const std::vector<std::string> monitor{"S", "IP Address", "MAC Address", "Protocol Version",
                                         "Product Name", "System Name", "DHCP", "Location",
                                         "Trap IP", "Subnet Mask", "Gateway"};
  // The columns need the setting 1; only 0 removes the menu item (any other digit keeps it).
  for (int features : {0, 1, 2}) {
    SCOPED_TRACE(features);
    ResetSettings();
    WindowUnderTest other;
    MainWindow& fresh = *other.window;
    dir.Write("define.ecf", MakeSealedSettings(PlainSettings(features)));
    fresh.Initialise(Networking::Off);
    EXPECT_TRUE(other.messages.shown.empty());
    auto with = [](bool group_interval, std::vector<std::string> v) {
      if (group_interval) v.push_back("Group Interval");
      return v;
    };
    auto option_menu = [](bool group_interval) {
      std::vector<std::string> v = {"Refresh time"};
      if (group_interval) v.push_back("Group Interval");
      v.push_back("Network interface");
      v.push_back("Notifications");
      return v;
    };
    EXPECT_EQ(Texts(ColumnHeaders(*fresh.DiscoveryList())), with(features == 1, discovery));
    EXPECT_EQ(Texts(ColumnHeaders(*fresh.MonitorList())), with(features == 1, monitor));
    EXPECT_EQ(ActionTexts(TopMenu(fresh, "Option")), option_menu(features != 0));
    EXPECT_EQ(fresh.ActionOf(Command::GroupInterval) != nullptr, features != 0);
  }
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(MainWindowTest, ColumnWidthsAndAlignments) {
  StartUp();
  struct Case {
    QTreeWidget* list;
    int column;
    int width;
    Qt::Alignment alignment;
  };
  const Case cases[] = {
      {window.DiscoveryList(), 0, 100, Qt::AlignHCenter},
      {window.DiscoveryList(), 1, 100, Qt::AlignLeft},
      {window.DiscoveryList(), 10, 100, Qt::AlignLeft},
      {window.MonitorList(), 0, 20, Qt::AlignHCenter},
      {window.MonitorList(), 1, 80, Qt::AlignLeft},
      {window.MonitorList(), 2, 100, Qt::AlignLeft},
      {window.MonitorList(), 11, 100, Qt::AlignLeft},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list->objectName().toStdString() + " column " + std::to_string(c.column));
    EXPECT_EQ(c.list->columnWidth(c.column), c.width);
    const auto alignment = Qt::Alignment::fromInt(c.list->headerItem()->textAlignment(c.column));
    EXPECT_EQ(alignment & Qt::AlignHorizontal_Mask, c.alignment);
  }
}

TEST_F(MainWindowTest, MenuBarHoldsTheFourMenusAndTheirItems) {
  StartUp();
  std::vector<std::string> titles;
  for (const QAction* action : window.menuBar()->actions()) titles.push_back(action->text().toStdString());
  EXPECT_EQ(titles, (std::vector<std::string>{"File", "View", "Option", "Help"}));
  EXPECT_EQ(ActionTexts(TopMenu(window, "File")),
            (std::vector<std::string>{"Monitor save", "Monitor save as", "Monitor load", "Exit"}));
  EXPECT_EQ(ActionTexts(TopMenu(window, "View")), (std::vector<std::string>{"View log", "Clear log"}));
  EXPECT_EQ(ActionTexts(TopMenu(window, "Option")),
            (std::vector<std::string>{"Refresh time", "Group Interval", "Network interface", "Notifications"}));
  EXPECT_EQ(ActionTexts(RefreshMenu(window)),
            (std::vector<std::string>{"15 secs", "30 secs", "1 min", "2 mins", "5 mins"}));
  EXPECT_EQ(ActionTexts(TopMenu(window, "Help")), (std::vector<std::string>{"About"}));
}

// "All interfaces" first and checked at start, then each card by name and address; a choice
// checks itself alone, holds for the run and limits the engine's cards to it.
TEST_F(MainWindowTest, NetworkInterfaceMenuListsAllInterfacesAndEachCardWithOneChecked) {
  StartUp();
  QMenu* menu = window.NetworkInterfaceMenu();
  ASSERT_NE(menu, nullptr);
  emit menu->aboutToShow();
  std::vector<std::string> expected = {"All interfaces"};
  for (const NetworkInterface& card : TheSystemInterfaces().List()) expected.push_back(InterfaceLabel(card));
  EXPECT_EQ(ActionTexts(menu), expected);
  auto checked = [&] {
    std::vector<std::string> texts;
    for (const QAction* a : menu->actions()) {
      if (a->isChecked()) texts.push_back(a->text().toStdString());
    }
    return texts;
  };
  EXPECT_EQ(checked(), std::vector<std::string>{"All interfaces"});

  // A card chosen and then gone (undocked) stays listed and checked.
  window.ChooseNetworkInterface("sdgone0");
  emit menu->aboutToShow();
  EXPECT_EQ(checked(), std::vector<std::string>{"sdgone0"});
  EXPECT_EQ(window.ChosenNetworkInterface(), "sdgone0");
  if (window.Engine()) {
    EXPECT_EQ(window.Engine()->Sockets().ChosenInterface(), "sdgone0");
  }
  menu->actions().front()->trigger();
  EXPECT_EQ(checked(), std::vector<std::string>{"All interfaces"});
  EXPECT_EQ(window.ChosenNetworkInterface(), "");
}

TEST_F(MainWindowTest, StartsWithFifteenSecondsChecked) {
  StartUp();
  EXPECT_EQ(CheckedRefreshItems(window), (std::vector<std::string>{"15 secs"}));
  EXPECT_EQ(window.RefreshSeconds(), 15);
}

TEST_F(MainWindowTest, EachRefreshTimeLeavesOnlyItselfCheckedAndSetsItsInterval) {
  StartUp(0);
  QSignalSpy chosen(&window, &MainWindow::refreshTimeChosen);
  const std::pair<const char*, int> cases[] = {
      {"1 min", 60}, {"1 min", 60}, {"5 mins", 300}, {"30 secs", 30}, {"2 mins", 120}, {"15 secs", 15}};
  for (const auto& [text, seconds] : cases) {
    SCOPED_TRACE(text);
    QAction* item = nullptr;
    for (QAction* a : RefreshMenu(window)->actions()) {
      if (a->text() == text) item = a;
    }
    ASSERT_NE(item, nullptr);
    item->trigger();
    EXPECT_EQ(CheckedRefreshItems(window), std::vector<std::string>{text});
    EXPECT_EQ(window.RefreshSeconds(), seconds);
    ASSERT_FALSE(chosen.isEmpty());
    EXPECT_EQ(chosen.takeLast().at(0).toInt(), seconds);
    // Removed at start-up, "Group Interval" stays away after every choice.
    EXPECT_EQ(ActionTexts(TopMenu(window, "Option")), (std::vector<std::string>{"Refresh time", "Network interface", "Notifications"}));
  }
}

TEST_F(MainWindowTest, EnterAndEscapeNeitherPressAButtonNorCloseTheWindow) {
  StartUp();
  int closes = 0;
  window.SetCloseHandler([&] { ++closes; });
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QApplication::setActiveWindow(&window);

  int clicks = 0;
  for (QPushButton* button : window.findChildren<QPushButton*>()) {
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
  }
  std::vector<QWidget*> targets{window.DiscoveryList(), window.MonitorList()};
  for (QPushButton* button : window.findChildren<QPushButton*>()) {
    if (button->isEnabled()) targets.push_back(button);
  }
  for (QWidget* target : targets) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
      target->setFocus();
      QTest::keyClick(target, key);
      QApplication::processEvents();
      EXPECT_EQ(clicks, 0) << target->objectName().toStdString() << " key " << key;
      EXPECT_TRUE(window.isVisible()) << target->objectName().toStdString() << " key " << key;
    }
  }
  EXPECT_EQ(closes, 0);
  // The keys do reach the focused control: Space presses a button.
  window.ButtonOf(Control::Discover)->setFocus();
  QTest::keyClick(window.ButtonOf(Control::Discover), Qt::Key_Space);
  EXPECT_EQ(clicks, 1);
}

TEST_F(MainWindowTest, ExitButtonMenuExitAndCloseBoxEachCloseTheWindowOnce) {
  StartUp();
  const std::vector<std::pair<const char*, std::function<void(MainWindow&)>>> ways{
      {"Exit button", [](MainWindow& w) { w.ButtonOf(Control::Exit)->click(); }},
      {"File > Exit", [](MainWindow& w) { w.ActionOf(Command::FileExit)->trigger(); }},
      {"close box", [](MainWindow& w) { w.close(); }},
  };
  for (const auto& [name, close] : ways) {
    SCOPED_TRACE(name);
    WindowUnderTest other;
    MainWindow& fresh = *other.window;
    int closes = 0;
    fresh.SetCloseHandler([&] { ++closes; });
    fresh.show();
    close(fresh);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(fresh.isVisible());
  }
}

TEST_F(MainWindowTest, TrapIndicatorTurnsRedAndViewTrapTurnsItGreenBeforeListing) {
  StartUp();
  EXPECT_TRUE(SameImage(window.TrapIndicator()->pixmap(), Image::TrapIdle));
  window.SetTrapIndicator(true);
  EXPECT_TRUE(window.TrapIndicatorWaiting());
  EXPECT_TRUE(SameImage(window.TrapIndicator()->pixmap(), Image::TrapWaiting));

  window.show();
  bool green_while_open = false;
  std::string caption;
  ModalWatcher watcher([&](QWidget* modal) {
    caption = modal->windowTitle().toStdString();
    green_while_open = SameImage(window.TrapIndicator()->pixmap(), Image::TrapIdle);
    auto* dialog = qobject_cast<CTrap_Info*>(modal);
    ASSERT_NE(dialog, nullptr);
    dialog->OkButton()->click();
  });
  window.ButtonOf(Control::ViewTrap)->click();
  EXPECT_TRUE(watcher.Handled());
  EXPECT_EQ(caption, "Trap information");
  EXPECT_TRUE(green_while_open);
  EXPECT_FALSE(window.TrapIndicatorWaiting());
  EXPECT_TRUE(SameImage(window.TrapIndicator()->pixmap(), Image::TrapIdle));

  // The next traps turn it red again, and it stays red.
  window.SetTrapIndicator(true);
  window.SetTrapIndicator(true);
  EXPECT_TRUE(SameImage(window.TrapIndicator()->pixmap(), Image::TrapWaiting));
}

TEST_F(MainWindowTest, HelpAboutOpensTheAboutDialog) {
  StartUp();
  window.show();
  std::string seen;
  ModalWatcher watcher([&](QWidget* modal) {
    seen = modal->metaObject()->className();
    qobject_cast<QDialog*>(modal)->accept();
  });
  window.ActionOf(Command::About)->trigger();
  EXPECT_EQ(seen, "sd::gui::CAboutDlg");
}

TEST_F(MainWindowTest, AFailedSettingsFileIsReportedAndStartUpGoesOnWithoutGroupInterval) {
  window.Initialise(Networking::Off);  // no define.ecf in the folder
  ASSERT_GE(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown.back(),
            (ShownMessage{"This will cause the application to fail.", "Error", MessageIcon::Error}));
  EXPECT_EQ(window.ActionOf(Command::GroupInterval), nullptr);
  EXPECT_EQ(window.MonitorList()->columnCount(), 11);
  EXPECT_FALSE(window.ButtonOf(Control::DhcpRefresh)->isEnabled());
  EXPECT_EQ(CheckedRefreshItems(window), (std::vector<std::string>{"15 secs"}));
}

TEST_F(MainWindowTest, ListsGrowWithTheWindow) {
  StartUp();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QSize discovery = window.DiscoveryList()->size();
  const QSize monitor = window.MonitorList()->size();
  window.resize(window.size() + QSize(200, 200));
  QApplication::processEvents();
  EXPECT_GT(window.DiscoveryList()->width(), discovery.width());
  EXPECT_GT(window.DiscoveryList()->height(), discovery.height());
  EXPECT_GT(window.MonitorList()->width(), monitor.width());
  EXPECT_GT(window.MonitorList()->height(), monitor.height());
}

TEST_F(MainWindowTest, ReportsClicksDoubleClicksAndHeaderClicksOfEitherList) {
  StartUp();
  Monitor(Switch("001E58000010", "192.168.0.10"));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QSignalSpy monitor_clicks(&window, &MainWindow::monitorClicked);
  QSignalSpy discovery_doubles(&window, &MainWindow::discoveryDoubleClicked);
  QSignalSpy monitor_doubles(&window, &MainWindow::monitorDoubleClicked);
  QSignalSpy discovery_columns(&window, &MainWindow::discoveryColumnClicked);
  QSignalSpy monitor_columns(&window, &MainWindow::monitorColumnClicked);

  // On a row: the click has selected it by the time it is reported.
  QTreeWidget* monitor = window.MonitorList();
  const QPoint row = monitor->visualItemRect(monitor->topLevelItem(0)).center();
  bool selected_when_reported = false;
  QObject::connect(&window, &MainWindow::monitorClicked,
                   [&] { selected_when_reported = core().MonitorListControl().IsSelected(0); });
  QTest::mouseClick(monitor->viewport(), Qt::LeftButton, {}, row);
  QTest::qWait(1);
  EXPECT_EQ(monitor_clicks.count(), 1);
  EXPECT_TRUE(selected_when_reported);

  // Below the last row, where there is no item, clicks and double clicks are reported too.
  const QPoint empty(10, monitor->viewport()->height() - 5);
  QSignalSpy discovery_clicks(&window, &MainWindow::discoveryClicked);
  QTest::mouseClick(window.DiscoveryList()->viewport(), Qt::LeftButton, {}, empty);
  QTest::mouseDClick(monitor->viewport(), Qt::LeftButton, {}, empty);
  QTest::mouseDClick(window.DiscoveryList()->viewport(), Qt::LeftButton, {}, empty);
  QTest::qWait(1);
  EXPECT_EQ(monitor_doubles.count(), 1);
  EXPECT_EQ(discovery_doubles.count(), 1);
  EXPECT_EQ(discovery_clicks.count(), 1);

  for (auto [list, spy] : {std::pair{window.DiscoveryList(), &discovery_columns},
                           std::pair{window.MonitorList(), &monitor_columns}}) {
    QHeaderView* header = list->header();
    for (int column : {2, 0}) {
      const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
      QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }
    ASSERT_EQ(spy->count(), 2);
    EXPECT_EQ(spy->at(0).at(0).toInt(), 2);
    EXPECT_EQ(spy->at(1).at(0).toInt(), 0);
  }
}

TEST_F(MainWindowTest, ScreenshotOfTheMainWindow) {
  StartUp();
  // A few switches as discovery and polling leave them, to judge the layout.
  auto lab_switch = [](const char* mac, const char* ip, const char* name, std::uint16_t dhcp, int interval) {
    DeviceRecord r = Switch(mac, ip, "SD-8 Managed");
    SetText(r.system_name, name);
    SetText(r.location, "Lab rack 1");
    SetText(r.trap_ip_text, "198.18.0.1");
    SetText(r.subnet_mask_text, "255.255.255.0");
    SetText(r.gateway_text, "198.18.0.1");
    r.dhcp = dhcp;
    r.group_interval = interval;
    return r;
  };
  Discover(lab_switch("020000000013", "198.18.0.13", "lab-switch-13", 1, 125));
  Discover(lab_switch("020000000014", "198.18.0.14", "lab-switch-14", 0, 0));
  Monitor(lab_switch("020000000010", "198.18.0.10", "lab-switch-10", 1, 125));
  Monitor(lab_switch("020000000011", "198.18.0.11", "lab-switch-11", 2, -1));
  DeviceRecord silent = lab_switch("020000000012", "198.18.0.12", "lab-switch-12", 0, 300);
  silent.status_image = 1;
  Monitor(silent);
  window.SetTrapIndicator(true);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const std::string path = SaveScreenshot(window, "main_window");
  EXPECT_FALSE(path.empty());
}

}  // namespace
}  // namespace sd::gui
