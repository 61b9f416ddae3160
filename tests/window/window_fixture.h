// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A main window with recording services in a settings folder of its own, started up with a
// define.ecf whose group interval features are on or off, and helpers to act on it as a user.

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "window/main_window.h"
#include "settings/settings_file.h"
#include "settings/trap_store.h"
#include "support/devices.h"
#include "support/fake_dialogs.h"
#include "support/fake_shell.h"
#include "support/operations.h"
#include "support/recording_messages.h"
#include "support/recording_notifications.h"
#include "support/temp_dir.h"

namespace sd::test {

using gui::MainWindow;
using gui::WindowServices;

inline std::string PlainSettings(int group_interval_features) {
  return "manager_id=01945AE0\r\nbase_port=C350\r\nmulticast_group=239.255.100.100\r\n"
         "multicast_interface_on_off=" + std::to_string(group_interval_features) +
         "\r\nmulticast_timer_flag=1\r\nstrlen_multi_timer=3\r\nmulticast_timer=125\r\n";
}

inline std::vector<std::string> Texts(const QStringList& list) {
  std::vector<std::string> out;
  for (const QString& s : list) out.push_back(s.toStdString());
  return out;
}

inline std::vector<std::string> ActionTexts(const QMenu* menu) {
  std::vector<std::string> out;
  for (const QAction* action : menu->actions()) out.push_back(action->text().toStdString());
  return out;
}

inline QMenu* TopMenu(const QMainWindow& window, const QString& title) {
  for (QAction* action : window.menuBar()->actions()) {
    if (action->text() == title) return action->menu();
  }
  return nullptr;
}

inline QMenu* RefreshMenu(const QMainWindow& window) {
  for (QAction* action : TopMenu(window, "Option")->actions()) {
    if (action->text() == "Refresh time") return action->menu();
  }
  return nullptr;
}

// A window built over the recording services (or the window's own Qt ones when `qt_services`).
// The device operations' requests go to the recording sender, or, with `window_sender`, out
// through the window's own sockets.
struct WindowUnderTest {
  explicit WindowUnderTest(bool qt_services = false, bool window_sender = false) {
    WindowServices services{&messages, &questions, &file_dialogs, &remote_ip, &desktop, &sender, {}, &notifications};
    if (qt_services) services = WindowServices{};
    services.request_sender = window_sender ? nullptr : &sender;
    // No test reaches the desktop of the machine it runs on.
    services.notifications = &notifications;
    window = std::make_unique<MainWindow>(traps, services);
  }
  RecordingMessages messages;
  RecordingSender sender;
  ScriptedQuestions questions;
  FakeFileDialogs file_dialogs;
  ScriptedRemoteIpDialog remote_ip;
  RecordingDesktopShell desktop;
  RecordingNotifications notifications;
  TrapStore traps;
  std::unique_ptr<MainWindow> window;
};

class WindowTest : public ::testing::Test {
 protected:
  explicit WindowTest(bool qt_services = false, bool window_sender = false) : ui(qt_services, window_sender) {}
  void SetUp() override { ResetSettings(); }
  void TearDown() override { ResetSettings(); }

  // Start-up with the given group interval setting.
  void StartUp(int group_interval_features = 1) {
    dir.Write("define.ecf", MakeSealedSettings(PlainSettings(group_interval_features)));
    ui.window->Initialise(gui::Networking::Off);
  }
  // Shown, so that mouse and keyboard reach it.
  void Show() {
    ui.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(ui.window.get()));
    QApplication::setActiveWindow(ui.window.get());
  }
  MainWindow& window() { return *ui.window; }
  CSwitchdeskDlg& core() { return ui.window->Core(); }

  void Discover(DeviceRecord r) { ASSERT_TRUE(core().StoreDiscoveryEntry(core().DiscoveryTable().Count(), r)); }
  void Monitor(DeviceRecord r) { ASSERT_TRUE(core().StoreMonitorEntry(core().MonitorTable().Count(), r)); }

  // Mouse on a row (or, for row -1, below the last row), as the user does it; the queued
  // reports of the window are delivered before this returns.
  void ClickRow(QTreeWidget* list, int row, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, RowPoint(list, row));
    QApplication::processEvents();
  }
  void DoubleClickRow(QTreeWidget* list, int row) {
    const QPoint at = RowPoint(list, row);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    QApplication::processEvents();
  }
  void ClickHeader(QTreeWidget* list, int column) {
    QHeaderView* header = list->header();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    QApplication::processEvents();
  }
  static QPoint RowPoint(QTreeWidget* list, int row) {
    if (row < 0) return {10, list->viewport()->height() - 5};
    QRect rect = list->visualItemRect(list->topLevelItem(row));
    return {rect.left() + 30, rect.center().y()};
  }
  std::vector<std::string> ColumnTexts(QTreeWidget* list, int column) {
    std::vector<std::string> out;
    for (int row = 0; row < list->topLevelItemCount(); ++row) out.push_back(list->topLevelItem(row)->text(column).toStdString());
    return out;
  }

  TempConfigDir dir;
  WindowUnderTest ui;
};

}  // namespace sd::test
