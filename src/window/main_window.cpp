// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/main_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMenuBar>
#include <QPointer>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <array>

#include "window/about_dialog.h"
#include "window/configuration_dialog.h"
#include "window/dbus_notifications.h"
#include "window/desktop_shell.h"
#include "window/device_list_widget.h"
#include "window/dhcp_refresh_dialog.h"
#include "window/event_loop_sleep.h"
#include "window/group_interval_dialog.h"
#include "window/password_dialog.h"
#include "window/images.h"
#include "window/qt_file_dialogs.h"
#include "window/qt_list_control.h"
#include "window/qt_messages.h"
#include "window/qt_ui_thread.h"
#include "app/startup.h"
#include "window/remote_ip_dialog.h"
#include "window/trap_info_dialog.h"
#include "protocol/operation_context.h"
#include "settings/settings_file.h"

namespace sd::gui {
namespace {

struct RefreshChoice {
  Command command;
  const char* text;
  int seconds;
};
constexpr std::array<RefreshChoice, 5> kRefreshChoices{{
    {Command::RefreshTime15s, "15 secs", 15},
    {Command::RefreshTime30s, "30 secs", 30},
    {Command::RefreshTime1min, "1 min", 60},
    {Command::RefreshTime2min, "2 mins", 120},
    {Command::RefreshTime5min, "5 mins", 300},
}};

constexpr int kButtonWidth = 118;
// The most datagrams read from one socket before the event loop runs again.
constexpr int kDatagramsPerReadiness = 32;

}  // namespace

int RefreshSecondsOf(Command command) {
  for (const RefreshChoice& choice : kRefreshChoices) {
    if (choice.command == command) return choice.seconds;
  }
  return 0;
}

struct MainWindow::OwnServices {
  explicit OwnServices(QWidget* owner)
      : messages(owner),
        file_dialogs(owner),
        firmware_file_dialogs(nullptr, QDir::currentPath()),
        remote_ip_dialog(owner),
        configuration(owner),
        change_password(owner),
        dhcp_refresh(owner),
        group_interval(owner) {}
  QtMessages messages;
  QtFileDialogs file_dialogs;
  // The firmware image is looked for from the working folder, in a dialog with no owner.
  QtFileDialogs firmware_file_dialogs;
  QtRemoteIpDialog remote_ip_dialog;
  DesktopShell desktop;
  QtConfigurationDialog configuration;
  QtChangePasswordDialog change_password;
  QtDhcpRefreshDialog dhcp_refresh;
  QtGroupIntervalDialog group_interval;
  // The sockets of a window without the network: never opened.
  SocketSet no_sockets;
  SystemInterfaceAddresses interface_addresses;
  DbusNotifications notifications;
};

namespace {

// Without the network no reply can show that a switch is back.
struct NothingSeen : IRebootSeen {
  bool RebootSeen() const override { return false; }
  void ClearRebootSeen() override {}
};

}  // namespace

MainWindow::MainWindow(TrapStore& traps, WindowServices services, QWidget* parent)
    : QMainWindow(parent), traps_(traps), own_(std::make_unique<OwnServices>(this)), services_(services) {
  setObjectName(QStringLiteral("mainWindow"));
  setWindowTitle(QString::fromLatin1(kMainWindowTitle));
  setWindowIcon(ImageIcon(Image::Program));
  BuildControls();
  BuildMenu();
  CheckRefreshTime(Command::RefreshTime15s);
  resize(760, 620);

  if (!services_.messages) services_.messages = &own_->messages;
  if (!services_.questions) services_.questions = &own_->messages;
  if (!services_.file_dialogs) services_.file_dialogs = &own_->file_dialogs;
  if (!services_.remote_ip_dialog) services_.remote_ip_dialog = &own_->remote_ip_dialog;
  if (!services_.desktop) services_.desktop = &own_->desktop;
  if (!services_.notifications) services_.notifications = &own_->notifications;
  discovery_control_ = std::make_unique<QtListControl>(*discovery_list_);
  monitor_control_ = std::make_unique<QtListControl>(*monitor_list_);
  core_ = std::make_unique<CSwitchdeskDlg>(*discovery_control_, *monitor_control_, *services_.messages,
                                           *services_.file_dialogs, *services_.remote_ip_dialog);
  commands_ = std::make_unique<MainWindowCommands>(*core_, *services_.messages, *services_.questions,
                                                   *services_.desktop);
  ConnectCommands();
}

// The network goes first, then the core, then the list controls it holds, then the lists.
MainWindow::~MainWindow() {
  StopNetwork();
  grouper_.reset();
  observer_.reset();
  firmware_.reset();
  reboot_seen_.reset();
  upgrade_network_.reset();
  operations_.reset();
  socket_sender_.reset();
  engine_.reset();
  ui_thread_.reset();
  commands_.reset();
  core_.reset();
  discovery_control_.reset();
  monitor_control_.reset();
}

QPushButton* MainWindow::AddButton(QWidget* parent, Control control, const char* text) {
  auto* button = new QPushButton(QString::fromLatin1(text), parent);
  button->setObjectName(QStringLiteral("control%1").arg(static_cast<int>(control)));
  button->setAutoDefault(false);
  button->setMinimumWidth(kButtonWidth);
  buttons_[control] = button;
  return button;
}

void MainWindow::BuildControls() {
  auto* central = new QWidget(this);
  setCentralWidget(central);

  // Widgets are created in their parents in the order the keyboard focus visits them.
  auto* discovery_group = new QGroupBox(QStringLiteral("Discovery List"), central);
  discovery_list_ = new QTreeWidget(discovery_group);
  discovery_list_->setObjectName(QStringLiteral("discoveryList"));
  discovery_list_->setAccessibleName(QStringLiteral("Discovery List"));
  ConfigureReportList(*discovery_list_);
  QPushButton* discover = AddButton(discovery_group, Control::Discover, "Discover");

  QPushButton* add_to_monitor = AddButton(central, Control::AddToMonitorList, "Add to Monitor List");
  auto* add_arrow = new QLabel(central);
  add_arrow->setObjectName(QStringLiteral("addToMonitorArrow"));
  add_arrow->setPixmap(ImagePixmap(Image::AddToMonitor, ImageSize(Image::AddToMonitor)));
  add_arrow->setAccessibleName(QStringLiteral("Arrow to the Monitor List"));
  add_arrow->setToolTip(add_arrow->accessibleName());

  auto* monitor_group = new QGroupBox(QStringLiteral("Monitor List"), central);
  monitor_list_ = new QTreeWidget(monitor_group);
  monitor_list_->setObjectName(QStringLiteral("monitorList"));
  monitor_list_->setAccessibleName(QStringLiteral("Monitor List"));
  ConfigureReportList(*monitor_list_);
  trap_indicator_ = new QLabel(monitor_group);
  trap_indicator_->setObjectName(QStringLiteral("trapIndicator"));
  trap_indicator_->setAccessibleDescription(QStringLiteral("Trap indicator"));
  SetTrapIndicator(false);
  QPushButton* view_trap = AddButton(monitor_group, Control::ViewTrap, "View trap");
  QPushButton* add_item = AddButton(monitor_group, Control::AddItem, "Add item");
  QPushButton* delete_item = AddButton(monitor_group, Control::DeleteItem, "Delete item");

  auto* device_group = new QGroupBox(QStringLiteral("Device Setting"), central);
  QPushButton* configure = AddButton(device_group, Control::ConfigureSettings, "Configure settings");
  QPushButton* password = AddButton(device_group, Control::ChangePassword, "Change password");
  QPushButton* firmware = AddButton(device_group, Control::UpgradeFirmware, "Upgrade firmware");
  QPushButton* access_web = AddButton(device_group, Control::AccessWeb, "Access web");
  QPushButton* dhcp_refresh = AddButton(device_group, Control::DhcpRefresh, "DHCP Refresh");
  QPushButton* exit = AddButton(central, Control::Exit, "Exit");

  // Discovery List: the list, "Discover" under its right end.
  auto* discover_row = new QHBoxLayout;
  discover_row->addStretch(1);
  discover_row->addWidget(discover);
  auto* discovery_layout = new QVBoxLayout(discovery_group);
  discovery_layout->addWidget(discovery_list_, 1);
  discovery_layout->addLayout(discover_row);

  // Between the lists: "Add to Monitor List" with its arrow, centred.
  auto* transfer_row = new QHBoxLayout;
  transfer_row->addStretch(1);
  transfer_row->addWidget(add_to_monitor);
  transfer_row->addWidget(add_arrow);
  transfer_row->addStretch(1);

  // Monitor List: the list; the trap indicator and "View trap" on the left, "Add item" and
  // "Delete item" on the right.
  auto* monitor_buttons = new QHBoxLayout;
  monitor_buttons->addWidget(trap_indicator_);
  monitor_buttons->addWidget(view_trap);
  monitor_buttons->addStretch(1);
  monitor_buttons->addWidget(add_item);
  monitor_buttons->addWidget(delete_item);
  auto* monitor_layout = new QVBoxLayout(monitor_group);
  monitor_layout->addWidget(monitor_list_, 1);
  monitor_layout->addLayout(monitor_buttons);

  // Device Setting: the five device operations in one row.
  auto* device_layout = new QHBoxLayout(device_group);
  for (QPushButton* button : {configure, password, firmware, access_web}) {
    device_layout->addWidget(button);
    device_layout->addStretch(1);
  }
  device_layout->addWidget(dhcp_refresh);

  auto* exit_row = new QHBoxLayout;
  exit_row->addStretch(1);
  exit_row->addWidget(exit);

  auto* layout = new QVBoxLayout(central);
  layout->addWidget(discovery_group, 1);
  layout->addLayout(transfer_row);
  layout->addWidget(monitor_group, 1);
  layout->addWidget(device_group);
  layout->addLayout(exit_row);

  for (QTreeWidget* list : {discovery_list_, monitor_list_}) list->viewport()->installEventFilter(this);
  connect(discovery_list_->header(), &QHeaderView::sectionClicked, this,
          &MainWindow::discoveryColumnClicked);
  connect(monitor_list_->header(), &QHeaderView::sectionClicked, this,
          &MainWindow::monitorColumnClicked);
}

QAction* MainWindow::AddCommand(QMenu* menu, Command command, const char* text) {
  QAction* action = menu->addAction(QString::fromLatin1(text));
  action->setObjectName(QStringLiteral("command%1").arg(static_cast<int>(command)));
  actions_[command] = action;
  return action;
}

void MainWindow::BuildMenu() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
  AddCommand(file, Command::MonitorSave, "Monitor save");
  AddCommand(file, Command::MonitorSaveAs, "Monitor save as");
  AddCommand(file, Command::MonitorLoad, "Monitor load");
  AddCommand(file, Command::FileExit, "Exit");

  QMenu* view = menuBar()->addMenu(QStringLiteral("View"));
  AddCommand(view, Command::ViewLog, "View log");
  AddCommand(view, Command::ClearLog, "Clear log");

  option_menu_ = menuBar()->addMenu(QStringLiteral("Option"));
  QMenu* refresh = option_menu_->addMenu(QStringLiteral("Refresh time"));
  auto* refresh_group = new QActionGroup(refresh);
  refresh_group->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
  for (const RefreshChoice& choice : kRefreshChoices) {
    QAction* action = AddCommand(refresh, choice.command, choice.text);
    action->setCheckable(true);
    refresh_group->addAction(action);
    connect(action, &QAction::triggered, this, [this, item = choice.command] { OnRefreshTime(item); });
  }
  AddCommand(option_menu_, Command::GroupInterval, "Group Interval");
  // Read when opened: a laptop docks and undocks while the window runs.
  interface_menu_ = option_menu_->addMenu(QStringLiteral("Network interface"));
  interface_menu_->setObjectName(QStringLiteral("networkInterfaceMenu"));
  connect(interface_menu_, &QMenu::aboutToShow, this, [this] { FillNetworkInterfaceMenu(); });
  FillNetworkInterfaceMenu();
  QAction* notifications = AddCommand(option_menu_, Command::Notifications, "Notifications");
  notifications->setCheckable(true);
  notifications->setChecked(true);

  QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
  AddCommand(help, Command::About, "About");
}

void MainWindow::FillNetworkInterfaceMenu() {
  for (QActionGroup* old : interface_menu_->findChildren<QActionGroup*>()) delete old;
  interface_menu_->clear();
  auto* group = new QActionGroup(interface_menu_);
  group->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
  auto add = [&](const QString& text, const std::string& name) {
    QAction* action = interface_menu_->addAction(text);
    action->setCheckable(true);
    action->setChecked(name == chosen_interface_);
    action->setData(QString::fromStdString(name));
    group->addAction(action);
    connect(action, &QAction::triggered, this, [this, name] { ChooseNetworkInterface(name); });
  };
  add(QStringLiteral("All interfaces"), "");
  IInterfaceSource& source = engine_ ? engine_->Sockets().Interfaces() : TheSystemInterfaces();
  bool chosen_listed = chosen_interface_.empty();
  for (const NetworkInterface& card : source.List()) {
    add(QString::fromStdString(InterfaceLabel(card)), card.name);
    chosen_listed = chosen_listed || card.name == chosen_interface_;
  }
  // A chosen card that is gone stays listed (and checked): the choice holds for the run.
  if (!chosen_listed) add(QString::fromStdString(chosen_interface_), chosen_interface_);
}

void MainWindow::ChooseNetworkInterface(const std::string& name) {
  chosen_interface_ = name;
  if (engine_) engine_->Sockets().ChooseInterface(name);
  for (QAction* action : interface_menu_->actions()) {
    action->setChecked(action->data().toString().toStdString() == name);
  }
}

void MainWindow::ConnectCommands() {
  auto on_click = [this](Control control, auto handler) {
    connect(ButtonOf(control), &QPushButton::clicked, this, handler);
  };
  auto on_menu = [this](Command command, auto handler) {
    connect(ActionOf(command), &QAction::triggered, this, handler);
  };
  on_click(Control::Discover, [this] { OnDiscover(); });
  on_click(Control::AddToMonitorList, [this] { core_->OnAddToMonitorList(); });
  on_click(Control::AddItem, [this] { core_->OnAddItem(); });
  on_click(Control::DeleteItem, [this] { commands_->OnDeleteItem(); });
  on_click(Control::ViewTrap, [this] { OnViewTrap(); });
  on_click(Control::AccessWeb, [this] { commands_->OnAccessWeb(); });
  on_click(Control::Exit, [this] { close(); });
  on_click(Control::ConfigureSettings, [this] {
    if (operations_) operations_->OnConfigureSettings();
  });
  on_click(Control::ChangePassword, [this] {
    if (operations_) operations_->OnChangePassword();
  });
  on_click(Control::UpgradeFirmware, [this] { OnUpgradeFirmware(); });
  on_click(Control::DhcpRefresh, [this] {
    if (operations_) operations_->OnDhcpRefresh();
  });
  connect(this, &MainWindow::discoveryClicked, this, [this] { OnListSelection(TableKind::Discovery); });
  connect(this, &MainWindow::monitorClicked, this, [this] { OnListSelection(TableKind::Monitor); });
  // However the selection changes (mouse, arrow keys, a program), the button follows it. The
  // list controls have installed their selection models by now. Queued, so that the lists are
  // read once the change that moved the selection has finished.
  connect(discovery_list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { OnListSelection(TableKind::Discovery); }, Qt::QueuedConnection);
  connect(monitor_list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { OnListSelection(TableKind::Monitor); }, Qt::QueuedConnection);
  connect(this, &MainWindow::discoveryDoubleClicked, this, [this] { core_->OnDiscoveryDoubleClick(); });
  connect(this, &MainWindow::monitorDoubleClicked, this, [this] { commands_->OnMonitorDoubleClick(); });
  connect(this, &MainWindow::discoveryColumnClicked, this, [this](int column) { core_->OnColumnClickDiscovery(column); });
  connect(this, &MainWindow::monitorColumnClicked, this, [this](int column) { core_->OnColumnClickMonitor(column); });

  on_menu(Command::MonitorSave, [this] { core_->OnMonitorSave(); });
  on_menu(Command::MonitorSaveAs, [this] { core_->OnMonitorSaveAs(); });
  on_menu(Command::MonitorLoad, [this] { core_->OnMonitorLoad(); });
  on_menu(Command::FileExit, [this] { close(); });
  on_menu(Command::ViewLog, [this] { commands_->OnViewLog(); });
  on_menu(Command::ClearLog, [this] { commands_->OnClearLog(); });
  on_menu(Command::About, [this] { OnAbout(); });
  connect(ActionOf(Command::Notifications), &QAction::toggled, this, [this](bool on) { SetNotificationsOn(on); });
  on_menu(Command::GroupInterval, [this] {
    if (operations_) operations_->OnGroupInterval();
  });
  connect(this, &MainWindow::refreshTimeChosen, this, [this](int seconds) { commands_->OnRefreshTime(seconds); });
}

bool MainWindow::Initialise(Networking networking) {
  CheckRefreshTime(Command::RefreshTime15s);
  commands_->OnRefreshTime(RefreshSeconds());
  if (!ui_thread_) ui_thread_ = std::make_unique<QtUiThread>();
  grouper_ = std::make_unique<NotificationGrouper>(*services_.notifications, *ui_thread_);
  bool can_run = true;
  if (networking == Networking::On) {
    can_run = StartNetwork();
  } else {
    // The core's start-up without its network steps.
    IMessages& messages = *services_.messages;
    traps_.Clear();
    if (LoadSettings(messages) != 0) messages.Error("This will cause the application to fail.");
    core_->CreateListColumns();
    core_->ClearDeviceTables();
    core_->LoadMonitorFileAtStartup();
    ResetOperationContext();
  }
  // The settings are read by now; the menu changes before the window is first shown.
  if (Settings.multicast_interface_on_off == 0) RemoveGroupIntervalItem();
  CreateOperations();
  ButtonOf(Control::DhcpRefresh)->setEnabled(false);
  {
    // The remembered choice; the item's signal would write it back.
    const QSignalBlocker quiet(ActionOf(Command::Notifications));
    ActionOf(Command::Notifications)->setChecked(sd::NotificationsOn());
  }
  StartWatchingEvents();
  return can_run;
}

void MainWindow::StartWatchingEvents() {
  observer_.reset();
  if (grouper_ && NotificationsOn()) observer_ = std::make_unique<WatchObserver>(core_->MonitorTable(), traps_);
}

bool MainWindow::NotificationsOn() const { return ActionOf(Command::Notifications)->isChecked(); }

void MainWindow::SetNotificationsOn(bool on) {
  {
    const QSignalBlocker quiet(ActionOf(Command::Notifications));
    ActionOf(Command::Notifications)->setChecked(on);
  }
  // Kept for this run even where the settings folder takes no file.
  RememberNotificationsOn(on);
  if (grouper_) grouper_->Drop();
  // Turned on again, what happened meanwhile is not news.
  StartWatchingEvents();
}

bool MainWindow::UserAtWindow() const {
  for (const QWidget* w = QApplication::activeWindow(); w != nullptr; w = w->parentWidget()) {
    if (w == this) return true;
  }
  return false;
}

void MainWindow::AfterEvents() {
  if (!observer_) return;
  // The notifications carry no time of their own: the desktop stamps them.
  const std::vector<WatchEvent> events = observer_->Look("");
  if (!events.empty() && !UserAtWindow()) grouper_->Add(events);
}

void MainWindow::CreateOperations() {
  IRequestSender* sender = services_.request_sender;
  if (sender == nullptr) {
    // The half second of the membership renewal before each request keeps the window live.
    socket_sender_ = std::make_unique<SocketSetSender>(engine_ ? engine_->Sockets() : own_->no_sockets,
                                                       SleepKeepingEventLoop);
    sender = socket_sender_.get();
  }
  operations_ = std::make_unique<DeviceOperations>(
      core_->Lists(), *services_.messages, *sender,
      OperationDialogs{own_->configuration, own_->change_password, own_->dhcp_refresh, own_->group_interval});
  CreateFirmwareUpgrade();
}

void MainWindow::CreateFirmwareUpgrade() {
  FirmwareUpgradeServices firmware = services_.firmware;
  if (firmware.network == nullptr) {
    upgrade_network_ = std::make_unique<SocketSetUpgradeNetwork>(engine_ ? engine_->Sockets() : own_->no_sockets);
    firmware.network = upgrade_network_.get();
  }
  if (firmware.reboot_seen == nullptr) {
    if (engine_) {
      reboot_seen_ = std::make_unique<RebootSeenOf<ReplyDispatcher>>(engine_->Dispatcher());
    } else {
      reboot_seen_ = std::make_unique<NothingSeen>();
    }
    firmware.reboot_seen = reboot_seen_.get();
  }
  if (firmware.addresses == nullptr) firmware.addresses = &own_->interface_addresses;
  IFileDialogs& file_dialogs =
      services_.file_dialogs == &own_->file_dialogs ? own_->firmware_file_dialogs : *services_.file_dialogs;
  firmware_ = std::make_unique<FirmwareUpgradeLauncherQt>(*this, core_->Lists(), *services_.messages, file_dialogs, firmware);
  if (!firmware_upgrade_) firmware_upgrade_ = [this](const TargetDevice& target) { firmware_->Launch(target); };
}

void MainWindow::OnUpgradeFirmware() {
  if (!operations_) return;
  const std::optional<TargetDevice> target = operations_->GateUpgradeFirmware();
  if (target && firmware_upgrade_) firmware_upgrade_(*target);
}

void MainWindow::OnListSelection(TableKind list) {
  if (!operations_) return;
  ButtonOf(Control::DhcpRefresh)->setEnabled(operations_->OnListSelection(list));
}

bool MainWindow::StartNetwork() {
  engine_ = std::make_unique<NetworkEngine>(core_->Lists(), *services_.messages, *this, *ui_thread_, traps_);
  engine_->Sockets().ChooseInterface(chosen_interface_);
  const StartupOutcome outcome = StartCore(*core_, *engine_, traps_, *services_.messages);
  if (!outcome.can_run) return false;
  for (const NetworkEngine::SocketWatch& watch : engine_->SocketWatches()) {
    auto* notifier = new QSocketNotifier(static_cast<qintptr>(watch.fd), QSocketNotifier::Read, this);
    // A bounded batch per readiness: in a storm the window then repaints once per batch rather
    // than once per datagram, and timers and input still get their turn between batches. The
    // batch ends early when the socket is empty, or when a message box shown by a datagram let
    // the window stop watching the socket (it may be closed by then).
    connect(notifier, &QSocketNotifier::activated, this,
            [this, socket = watch.socket, watching = QPointer<QSocketNotifier>(notifier)] {
              for (int i = 0; i < kDatagramsPerReadiness && watching && watching->isEnabled(); ++i) {
                if (!engine_->ReceiveDatagram(*socket)) break;
              }
              AfterEvents();
            });
    socket_notifiers_.push_back(notifier);
  }
  liveness_timer_ = new QTimer(this);
  liveness_timer_->setInterval(5000);
  connect(liveness_timer_, &QTimer::timeout, this, [this] {
    engine_->OnLivenessTimer();
    AfterEvents();
  });
  liveness_timer_->start();
  return true;
}

void MainWindow::StopNetwork() {
  if (liveness_timer_) liveness_timer_->stop();
  // No probe of a reboot watch may go out on sockets that are about to be closed.
  if (firmware_) firmware_->StopWatch();
  // No notifier may watch a descriptor that is about to be closed.
  for (QSocketNotifier* notifier : socket_notifiers_) delete notifier;
  socket_notifiers_.clear();
  if (engine_) engine_->CloseSocketSet();
}

void MainWindow::OnDiscover() {
  if (engine_) engine_->OnDiscover();
}

void MainWindow::RemoveGroupIntervalItem() {
  auto it = actions_.find(Command::GroupInterval);
  if (it == actions_.end()) return;
  option_menu_->removeAction(it->second);
  delete it->second;
  actions_.erase(it);
}

void MainWindow::SetTrapIndicator(bool trap_waiting) {
  // Every trap sets the red dot: it is drawn only when the dot changes.
  if (trap_indicator_drawn_ && trap_waiting == trap_waiting_) return;
  trap_indicator_drawn_ = true;
  trap_waiting_ = trap_waiting;
  const Image image = trap_waiting ? Image::TrapWaiting : Image::TrapIdle;
  trap_indicator_->setPixmap(ImagePixmap(image, ImageSize(image)));
  // The dot's meaning, for screen readers and as its tooltip.
  const QString meaning = trap_waiting ? QStringLiteral("New trap arrived") : QStringLiteral("No new trap");
  trap_indicator_->setAccessibleName(meaning);
  trap_indicator_->setToolTip(meaning);
}

void MainWindow::CheckRefreshTime(Command item) {
  refresh_seconds_ = RefreshSecondsOf(item);
  for (const RefreshChoice& choice : kRefreshChoices) {
    actions_.at(choice.command)->setChecked(choice.command == item);
  }
}

void MainWindow::OnRefreshTime(Command item) {
  CheckRefreshTime(item);
  emit refreshTimeChosen(refresh_seconds_);
}

QPushButton* MainWindow::ButtonOf(Control control) const {
  auto it = buttons_.find(control);
  return it == buttons_.end() ? nullptr : it->second;
}

QAction* MainWindow::ActionOf(Command command) const {
  auto it = actions_.find(command);
  return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::OnViewTrap() {
  CTrap_Info dialog(traps_, this);
  SetTrapIndicator(false);
  dialog.exec();
}

void MainWindow::OnAbout() {
  CAboutDlg dialog(this);
  dialog.exec();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A changed Monitor List is saved, dropped or kept open as the user answers.
  if (!commands_->MayClose()) {
    event->ignore();
    return;
  }
  StopNetwork();
  if (on_close_) on_close_();
  event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  const bool discovery = watched == discovery_list_->viewport();
  const bool monitor = watched == monitor_list_->viewport();
  if ((discovery || monitor) && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    // Queued, so the handler sees the selection the click has made and may open dialogs
    // outside the list's own mouse handling.
    QMetaObject::invokeMethod(
        this, discovery ? &MainWindow::discoveryClicked : &MainWindow::monitorClicked, Qt::QueuedConnection);
  }
  if ((discovery || monitor) && event->type() == QEvent::MouseButtonDblClick &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    QMetaObject::invokeMethod(
        this, discovery ? &MainWindow::discoveryDoubleClicked : &MainWindow::monitorDoubleClicked,
        Qt::QueuedConnection);
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // Enter and Escape never press a button or close the window; they stay with the control
  // that has the focus, and whatever it leaves unused ends here.
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape: event->accept(); return;
    default: QMainWindow::keyPressEvent(event);
  }
}

}  // namespace sd::gui
