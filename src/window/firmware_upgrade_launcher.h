// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Upgrade firmware" after the operation gate: the manager subnet check, the Firmware Upgrade
// dialog (modal; the window's event loop keeps receiving and dispatching datagrams meanwhile),
// and, once a transfer completes, the reboot watch on the main window with its verdict.

#include <QPointer>
#include <QWidget>
#include <memory>

#include "window/firmware_upgrade_dialog.h"
#include "window/qt_timer_host.h"
#include "devices/device_lists.h"
#include "operations/manager_subnet.h"
#include "operations/operation_gate.h"
#include "operations/reboot_watch.h"

namespace sd::gui {

// What the upgrade works with, and how long it waits. The main window fills whatever is left
// empty: its protocol sockets, a UDP socket of the dialog's own, the reply dispatcher's flag and
// the system's address table.
struct FirmwareUpgradeServices {
  IUpgradeNetwork* network = nullptr;
  ITftpTransport* transport = nullptr;
  IRebootSeen* reboot_seen = nullptr;
  IInterfaceAddresses* addresses = nullptr;
  FirmwareUpgradeSettings dialog_settings;
  RebootWatchSettings watch_settings;
};

class FirmwareUpgradeLauncherQt {
 public:
  // `window` owns the dialog and the watch's timers; `lists` are the device lists. All must outlive
  // this object; the services' pointers must all be set.
  FirmwareUpgradeLauncherQt(QWidget& window, DeviceLists& lists, IMessages& messages, IFileDialogs& file_dialogs,
                            const FirmwareUpgradeServices& services);
  FirmwareUpgradeLauncherQt(const FirmwareUpgradeLauncherQt&) = delete;
  FirmwareUpgradeLauncherQt& operator=(const FirmwareUpgradeLauncherQt&) = delete;

  // The subnet check on the gate's target and, when it passes, the dialog until it closes.
  void Launch(const TargetDevice& target);
  // The open dialog, if any.
  FirmwareUpgradeDialog* Dialog() const { return dialog_; }
  RebootWatch& Watch() { return watch_; }
  // Stops the timer of a running reboot watch: it sends no further probe (the window closes).
  void StopWatch() { watch_timers_.StopAll(); }

 private:
  QWidget& window_;
  DeviceLists& lists_;
  IMessages& messages_;
  IFileDialogs& file_dialogs_;
  FirmwareUpgradeServices services_;
  QtTimerHost watch_timers_;
  RebootWatch watch_;
  QPointer<FirmwareUpgradeDialog> dialog_;
};

}  // namespace sd::gui
