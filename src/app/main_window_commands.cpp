// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window_commands.h"

#include <string>
#include <system_error>
#include <vector>

#include "settings/event_log.h"

namespace sd {

MainWindowCommands::MainWindowCommands(CSwitchdeskDlg& dialog, IMessages& messages,
                                       IQuestions& questions, IDesktopShell& desktop)
    : dialog_(dialog), messages_(messages), questions_(questions), desktop_(desktop) {}

void MainWindowCommands::OnDeleteItem() {
  const std::vector<int> rows = dialog_.MonitorListControl().SelectedRows();
  if (rows.empty()) return;
  if (!questions_.AskOkCancel(kDeleteEntryQuestion, kTitleWarning, MessageIcon::Warning)) return;
  dialog_.RemoveMonitorRows(rows);
}

void MainWindowCommands::OnAccessWeb() {
  if (!dialog_.DiscoveryListControl().SelectedRows().empty()) {
    messages_.Error(kDeviceMustBeMonitored);
    return;
  }
  OpenWebOnSelectedMonitorDevice();
}

void MainWindowCommands::OnMonitorDoubleClick() { OpenWebOnSelectedMonitorDevice(); }

void MainWindowCommands::OpenWebOnSelectedMonitorDevice() {
  IListControl& list = dialog_.MonitorListControl();
  const std::vector<int> rows = list.SelectedRows();
  if (rows.size() > 1) {
    messages_.Error(kOnlyOneDevice);
    return;
  }
  if (rows.empty()) {
    messages_.Error(kSelectOneMonitored);
    return;
  }
  const FindResult found = dialog_.MonitorTable().FindByIp(list.Text(rows.front(), kMonitorColumnIp));
  if (!found.found) return;  // every row shows an entry; nothing to open otherwise
  const DeviceRecord entry = dialog_.MonitorTable().Entry(found.index);
  if (entry.firmware_state == FIRMWARE_STATE_UNCONFIGURABLE) {
    messages_.Error(kFirmwareOnly);
    return;
  }
  // The window stays live while the desktop is asked for its browser.
  desktop_.OpenWebBrowser(GetText(entry.ip_text), [this](bool started) {
    if (!started) messages_.Error(kBrowserFailed);
  });
}

void MainWindowCommands::OnViewLog() {
  const std::string path = EventLogPath();
  if (!desktop_.OpenTextEditor(path)) messages_.Warning(EditorMissingMessage(path));
}

void MainWindowCommands::OnClearLog() {
  const std::string path = EventLogPath();
  if (const int error = ClearEventLog(); error != 0) messages_.Error(ClearLogFailedMessage(path, error));
}

std::string EditorMissingMessage(std::string_view log_path) {
  return "No text editor could be started (neither xdg-open nor editor).\nThe event log is " +
         std::string(log_path);
}

std::string ClearLogFailedMessage(std::string_view log_path, int error) {
  return "The event log " + std::string(log_path) + " could not be cleared: " +
         std::generic_category().message(error) + ".";
}

void MainWindowCommands::OnRefreshTime(int seconds) { dialog_.SetRefreshInterval(seconds); }

bool MainWindowCommands::MayClose() {
  if (!dialog_.MonitorListChanged()) return true;
  switch (questions_.AskSaveDiscardCancel(kSaveMonitorListQuestion, kTitleWarning, MessageIcon::Warning)) {
    case SaveChoice::Save: return dialog_.OnMonitorSave();
    case SaveChoice::Discard: return true;
    case SaveChoice::Cancel: return false;
  }
  return false;
}

}  // namespace sd
