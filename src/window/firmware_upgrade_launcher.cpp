// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/firmware_upgrade_launcher.h"

namespace sd::gui {

FirmwareUpgradeLauncherQt::FirmwareUpgradeLauncherQt(QWidget& window, DeviceLists& lists, IMessages& messages,
                                                     IFileDialogs& file_dialogs,
                                                     const FirmwareUpgradeServices& services)
    : window_(window),
      lists_(lists),
      messages_(messages),
      file_dialogs_(file_dialogs),
      services_(services),
      watch_timers_(window, [this](int id) { watch_.OnTimer(id); }),
      // The watch empties the Discovery List from its ticks, on the window's thread, where the
      // reply dispatcher refills it: the two never interleave.
      watch_(*services.network, *services.reboot_seen, [this] { lists_.ClearDiscoveryList(); }, messages,
             watch_timers_, services.watch_settings) {}

void FirmwareUpgradeLauncherQt::Launch(const TargetDevice& target) {
  if (dialog_) return;
  const DeviceTable& list = target.in_monitor_list != 0 ? lists_.MonitorTable() : lists_.DiscoveryTable();
  if (CheckManagerSubnet(list, target.index, messages_, *services_.addresses) != 1) return;
  FirmwareUpgradeDialog dialog(
      FirmwareUpgradeDialogWiring{list, target.index, *services_.network, services_.transport, messages_,
                                  file_dialogs_, [this] { watch_.WatchReboot(); }, services_.dialog_settings},
      &window_);
  dialog_ = &dialog;
  dialog.exec();
}

}  // namespace sd::gui
