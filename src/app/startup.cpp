#include "app/startup.h"

#include "app/network_engine.h"
#include "app/switchdesk_dlg.h"
#include "protocol/operation_context.h"
#include "settings/settings_file.h"
#include "settings/trap_store.h"

namespace sd {

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
    // Said once, at start-up, when reports are wanted; everything else works without them.
    if (!outcome.igmp_reports && Settings.multicast_timer_flag != 0) messages.Warning(kIgmpUnavailableMessage);
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
