#pragma once
// The main window "Velmora Switchdesk": the Discovery List and the Monitor List, the buttons of
// the device operations, the trap indicator and the menu bar. The window only shows things and
// forwards what the user does; the decisions are the core's.

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <functional>
#include <map>

#include "common/messages.h"

namespace sd::gui {

// The window's controls, by the numbers the rest of the program knows them by.
enum class Control {
  DiscoveryList = 1000,
  Discover = 1001,
  AddToMonitorList = 1002,
  MonitorList = 1003,
  DeleteItem = 1004,
  AddItem = 1005,
  TrapIndicator = 1006,
  ViewTrap = 1007,
  ChangePassword = 1008,
  ConfigureSettings = 1009,
  AccessWeb = 1015,
  UpgradeFirmware = 1042,
  Exit = 1053,
  DhcpRefresh = 1131,
};

// The menu bar's commands.
enum class Command {
  MonitorSave = 32771,
  MonitorLoad = 32773,
  FileExit = 32774,
  MonitorSaveAs = 32775,
  ViewLog = 32776,
  RefreshTime15s = 32778,
  RefreshTime30s = 32779,
  RefreshTime1min = 32780,
  RefreshTime2min = 32781,
  RefreshTime5min = 32782,
  About = 32783,
  ClearLog = 32791,
  GroupInterval = 32793,
};

// The refresh interval, in seconds, that each "Refresh time" item chooses.
int RefreshSecondsOf(Command command);

inline constexpr const char* kMainWindowTitle = "Velmora Switchdesk";

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);

  // The start-up of the window in its order: the refresh time "15 secs", the settings file
  // (a failure is reported and start-up goes on), the "Group Interval" menu item and list
  // columns by the settings, and "DHCP Refresh" disabled.
  void Initialise(IMessages& messages);

  // Removes Option > "Group Interval"; it stays away for the rest of the run.
  void RemoveGroupIntervalItem();
  // Creates the columns of both lists, with a "Group Interval" column or without.
  void CreateListColumns(bool group_interval_column);
  // Green dot (false) or red dot: a trap has arrived since "View trap" was last pressed.
  void SetTrapIndicator(bool trap_waiting);
  bool TrapIndicatorWaiting() const { return trap_waiting_; }
  // Checks the "Refresh time" item of the given interval and no other.
  void CheckRefreshTime(Command item);
  int RefreshSeconds() const { return refresh_seconds_; }

  QTreeWidget* DiscoveryList() const { return discovery_list_; }
  QTreeWidget* MonitorList() const { return monitor_list_; }
  QPushButton* ButtonOf(Control control) const;
  QLabel* TrapIndicator() const { return trap_indicator_; }
  // The menu item of a command; nullptr once the item has been removed.
  QAction* ActionOf(Command command) const;

  // Called when the window closes (the "Exit" button, File > "Exit", the close box), before it
  // goes away.
  void SetCloseHandler(std::function<void()> handler) { on_close_ = std::move(handler); }

 signals:
  void refreshTimeChosen(int seconds);
  // Mouse actions on the lists, anywhere in them (also below the last row), reported once the
  // list has updated its selection.
  void discoveryClicked();
  void monitorClicked();
  void discoveryDoubleClicked();
  void monitorDoubleClicked();
  void discoveryColumnClicked(int column);
  void monitorColumnClicked(int column);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void BuildMenu();
  QPushButton* AddButton(QWidget* parent, Control control, const char* text);
  QAction* AddCommand(QMenu* menu, Command command, const char* text);
  void OnRefreshTime(Command item);
  void OnViewTrap();
  void OnAbout();

  QTreeWidget* discovery_list_ = nullptr;
  QTreeWidget* monitor_list_ = nullptr;
  QLabel* trap_indicator_ = nullptr;
  QMenu* option_menu_ = nullptr;
  std::map<Control, QPushButton*> buttons_;
  std::map<Command, QAction*> actions_;
  bool trap_waiting_ = false;
  int refresh_seconds_ = 15;
  std::function<void()> on_close_;
};

}  // namespace sd::gui
