// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window "Velmora Switchdesk": the Discovery List and the Monitor List, the buttons of
// the device operations, the trap indicator and the menu bar. The window only shows things and
// forwards what the user does; the decisions are the core's.

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <map>
#include <memory>

#include "app/main_window_commands.h"
#include "app/notification_grouper.h"
#include "app/watch_observer.h"
#include "window/firmware_upgrade_launcher.h"
#include "app/network_engine.h"
#include "app/switchdesk_dlg.h"
#include "common/desktop_shell.h"
#include "common/file_dialogs.h"
#include "common/messages.h"
#include "common/notifications.h"
#include "common/questions.h"
#include "common/remote_ip_dialog.h"
#include "common/trap_indicator.h"
#include "operations/device_operations.h"
#include "operations/request_sender.h"
#include "settings/trap_store.h"

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
  Notifications = 32794,
};

// The refresh interval, in seconds, that each "Refresh time" item chooses.
int RefreshSecondsOf(Command command);

inline constexpr const char* kMainWindowTitle = "Velmora Switchdesk";

// How the window's commands reach the user and the desktop. Whatever is left empty the window
// provides itself with Qt: message boxes, file dialogs, the Remote IP dialog, the desktop's
// browser and text editor. Tests give recording ones.
struct WindowServices {
  IMessages* messages = nullptr;
  IQuestions* questions = nullptr;
  IFileDialogs* file_dialogs = nullptr;
  IRemoteIpDialog* remote_ip_dialog = nullptr;
  IDesktopShell* desktop = nullptr;
  // Where the device operations' requests go. Left empty, they go out through the window's own
  // sockets (with Networking::Off there are none, and every send fails).
  IRequestSender* request_sender = nullptr;
  // What "Upgrade firmware" works with once the gate has let it go on; whatever is left empty
  // the window provides (see FirmwareUpgradeServices).
  FirmwareUpgradeServices firmware;
  // Where the desktop notifications of watch events go; left empty, to the desktop's
  // notification service on the session bus.
  INotifications* notifications = nullptr;
};

// What "Upgrade firmware" runs once the operation gate has let it go on. The window's own runs
// the manager subnet check, the Firmware Upgrade dialog and the reboot watch.
using FirmwareUpgradeLauncher = std::function<void(const TargetDevice& target)>;

// Whether the window talks to the switches. Widget tests run without the network, so that no
// socket is opened and nothing is sent.
enum class Networking { On, Off };

class MainWindow : public QMainWindow, public ITrapIndicator {
  Q_OBJECT

 public:
  // The trap store and the services given must outlive the window.
  explicit MainWindow(TrapStore& traps, WindowServices services = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The start-up in its order: the refresh time "15 secs"; the trap store emptied; the
  // settings file read (a failure is reported and start-up goes on); the "Group Interval" menu
  // item removed when the settings turn the group interval features off; the list columns; the
  // device tables emptied and monitor.cfg loaded; with the network, the sockets opened and
  // watched and the poll thread started; the pending operation forgotten; with the network, the
  // 5-second liveness timer and the IGMP report thread started; "DHCP Refresh" disabled.
  // False when the program cannot run (no multicast socket): it must end without showing the
  // window.
  bool Initialise(Networking networking);

  // Removes Option > "Group Interval"; it stays away for the rest of the run.
  void RemoveGroupIntervalItem();
  // Green dot (false) or red dot: a trap has arrived since "View trap" was last pressed.
  void SetTrapIndicator(bool trap_waiting);
  void ShowTrapArrived(bool arrived) override { SetTrapIndicator(arrived); }
  bool TrapIndicatorWaiting() const { return trap_waiting_; }
  // Checks the "Refresh time" item of the given interval and no other.
  void CheckRefreshTime(Command item);
  int RefreshSeconds() const { return refresh_seconds_; }
  // Option > "Network interface": the card discovery, membership and reports keep to for this
  // run ("" for "All interfaces", the default). Applies from the next membership renewal.
  void ChooseNetworkInterface(const std::string& name);
  const std::string& ChosenNetworkInterface() const { return chosen_interface_; }
  QMenu* NetworkInterfaceMenu() const { return interface_menu_; }

  // Option > "Notifications": while checked (the default, remembered per settings folder), a
  // switch declared not alive, a recovery or a trap is told by a desktop notification when the
  // window is not the active one; bursts are grouped to one notification a second.
  void SetNotificationsOn(bool on);
  bool NotificationsOn() const;
  // Looks for those events in the Monitor List and the trap store; the window calls it after
  // each batch of datagrams and each liveness tick.
  void AfterEvents();
  // Whether the user is at the window: it, or a window it owns, is the active window.
  bool UserAtWindow() const;

  // The toolkit-free main dialog the window forwards to, and the window's own commands.
  CSwitchdeskDlg& Core() const { return *core_; }
  MainWindowCommands& Commands() const { return *commands_; }
  // The network side; nullptr without the network.
  NetworkEngine* Engine() const { return engine_.get(); }
  // The device operations behind "Configure settings", "Change password", "Upgrade firmware",
  // "DHCP Refresh" and "Group Interval"; nullptr before Initialise.
  DeviceOperations* Operations() const { return operations_.get(); }

  // The firmware upgrade after the gate, with its reboot watch; nullptr before Initialise.
  FirmwareUpgradeLauncherQt* FirmwareUpgrade() const { return firmware_.get(); }
  // Replaces what "Upgrade firmware" runs after the gate (the window's own firmware upgrade,
  // installed by Initialise unless another was set before).
  void SetFirmwareUpgradeLauncher(FirmwareUpgradeLauncher launcher) { firmware_upgrade_ = std::move(launcher); }

  QTreeWidget* DiscoveryList() const { return discovery_list_; }
  QTreeWidget* MonitorList() const { return monitor_list_; }
  QPushButton* ButtonOf(Control control) const;
  QLabel* TrapIndicator() const { return trap_indicator_; }
  // The menu item of a command; nullptr once the item has been removed.
  QAction* ActionOf(Command command) const;

  // Called when the window closes (the "Exit" button, File > "Exit", the close box), before it
  // goes away. When the Monitor List changed since it was loaded or saved, each of the three
  // first asks whether to save it (see MainWindowCommands::MayClose); "Cancel" keeps it open.
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
  void ConnectCommands();
  QPushButton* AddButton(QWidget* parent, Control control, const char* text);
  QAction* AddCommand(QMenu* menu, Command command, const char* text);
  void OnRefreshTime(Command item);
  // Lists "All interfaces" and the cards there are now, the chosen one checked.
  void FillNetworkInterfaceMenu();
  void OnViewTrap();
  void OnAbout();
  void OnDiscover();
  // The observer's first look, once the lists are loaded, when the notifications are on.
  void StartWatchingEvents();
  void OnUpgradeFirmware();
  // A mouse click in a list, or any change of its selection (keyboard, program), sets "DHCP
  // Refresh" as the device operations say.
  void OnListSelection(TableKind list);
  // The device operations over the given sender, or over the window's own sockets; the
  // firmware upgrade over the given services, or the window's own.
  void CreateOperations();
  void CreateFirmwareUpgrade();
  // Opens the sockets and starts the threads the core starts; watches the sockets and starts
  // the liveness timer. False when the program cannot run.
  bool StartNetwork();
  // Stops watching and timing, then closes the sockets (the poll thread first).
  void StopNetwork();

  TrapStore& traps_;
  // The Qt services made for whatever was not given.
  struct OwnServices;
  std::unique_ptr<OwnServices> own_;
  WindowServices services_;
  std::unique_ptr<IListControl> discovery_control_;
  std::unique_ptr<IListControl> monitor_control_;
  std::unique_ptr<CSwitchdeskDlg> core_;
  std::unique_ptr<MainWindowCommands> commands_;
  std::unique_ptr<IUiThread> ui_thread_;
  std::unique_ptr<NetworkEngine> engine_;
  std::unique_ptr<SocketSetSender> socket_sender_;
  std::unique_ptr<DeviceOperations> operations_;
  FirmwareUpgradeLauncher firmware_upgrade_;
  std::unique_ptr<IUpgradeNetwork> upgrade_network_;
  std::unique_ptr<IRebootSeen> reboot_seen_;
  std::unique_ptr<FirmwareUpgradeLauncherQt> firmware_;
  std::vector<QSocketNotifier*> socket_notifiers_;
  QTimer* liveness_timer_ = nullptr;
  std::unique_ptr<WatchObserver> observer_;
  std::unique_ptr<NotificationGrouper> grouper_;

  QTreeWidget* discovery_list_ = nullptr;
  QTreeWidget* monitor_list_ = nullptr;
  QLabel* trap_indicator_ = nullptr;
  QMenu* option_menu_ = nullptr;
  QMenu* interface_menu_ = nullptr;
  std::string chosen_interface_;
  std::map<Control, QPushButton*> buttons_;
  std::map<Command, QAction*> actions_;
  bool trap_waiting_ = false;
  bool trap_indicator_drawn_ = false;
  int refresh_seconds_ = 15;
  std::function<void()> on_close_;
};

}  // namespace sd::gui
