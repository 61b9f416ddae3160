// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/startup.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "app/network_engine.h"
#include "app/switchdesk_dlg.h"
#include "net/udp_socket.h"
#include "settings/config_folder.h"
#include "protocol/operation_context.h"
#include "settings/settings_file.h"
#include "settings/trap_store.h"

namespace sd {

std::string IgmpUnavailableMessage() {
  std::error_code ec;
  std::string program = std::filesystem::read_symlink("/proc/self/exe", ec).string();
  if (ec || program.empty()) program = "PROGRAM";
  if (program.find(' ') != std::string::npos) program = "'" + program + "'";
  return "IGMP membership reports cannot be sent: opening a raw socket needs the CAP_NET_RAW "
         "capability.\nTo grant it to this program, run once:\n  sudo setcap cap_net_raw=ep " + program +
         "\n(installing the switchdesk package does this), or start it as root.\n"
         "Switchdesk runs on without the reports; switches that rely on them may stop forwarding "
         "the group's requests.";
}

bool WarnIgmpUnavailableOnce(IMessages& messages) {
  const std::filesystem::path marker = std::filesystem::path(ConfigFolderPath()) / kIgmpWarningShownFile;
  std::error_code ec;
  if (std::filesystem::exists(marker, ec)) return false;
  messages.Warning(IgmpUnavailableMessage());
  // Remembered only when the folder takes the file; otherwise the warning comes again next time.
  std::ofstream out(marker, std::ios::trunc);
  out << "The warning that IGMP membership reports need the CAP_NET_RAW capability was shown.\n"
         "Remove this file to see it again at the next start.\n";
  return true;
}

std::string MissingCapabilityNote() {
  if (RawIgmpSocket::Open()) return "";
  return "IGMP membership reports: not sent, the CAP_NET_RAW capability is missing.";
}

bool LoadSettingsAndDeviceLists(CSwitchdeskDlg& dialog, IMessages& messages) {
  const bool settings_loaded = LoadSettings(messages) == 0;
  if (!settings_loaded) messages.Error("This will cause the application to fail.");
  dialog.CreateListColumns();
  dialog.ClearDeviceTables();
  dialog.LoadMonitorFileAtStartup();
  return settings_loaded;
}

StartupOutcome StartNetworkEngine(NetworkEngine& engine, IMessages& messages) {
  StartupOutcome outcome;
  outcome.can_run = engine.CreateSocketSet();
  if (outcome.can_run) engine.StartPollThread();
  ResetOperationContext();
  if (outcome.can_run) {
    outcome.igmp_reports = engine.StartIgmpReportThread();
    // Said at start-up when reports are wanted, once per settings folder; everything else works
    // without them, and the About box and --version name what is missing.
    if (!outcome.igmp_reports && Settings.multicast_timer_flag != 0) WarnIgmpUnavailableOnce(messages);
  }
  return outcome;
}

StartupOutcome StartCore(CSwitchdeskDlg& dialog, NetworkEngine& engine, TrapStore& trap_store,
                         IMessages& messages) {
  trap_store.Clear();
  const bool settings_loaded = LoadSettingsAndDeviceLists(dialog, messages);
  StartupOutcome outcome = StartNetworkEngine(engine, messages);
  outcome.settings_loaded = settings_loaded;
  return outcome;
}

}  // namespace sd
