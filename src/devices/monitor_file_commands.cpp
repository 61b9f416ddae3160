// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/monitor_file_commands.h"

#include <algorithm>
#include <system_error>

#include "devices/monitor_file.h"

namespace sd {

namespace {

constexpr std::string_view kInvalidFile = "Invalid configuration file.";
constexpr std::string_view kDuplicateIp = "Duplicate IP address in Monitor List.";
constexpr std::string_view kDuplicateDevice = "Duplicate device in Monitor List.";
constexpr std::string_view kMaximumReached = "Maximum of 256 devices reached.";

// A Monitor List entry is keyed by its IP address and the poll thread ends the list at the
// first entry without one, so a record without an address is never loaded.
bool HasAddress(const DeviceRecord& record) {
  return record.ip != 0 && !GetText(record.ip_text).empty();
}

// The bookkeeping every loaded record starts with: no row yet, counted as answered.
void ResetBookkeeping(DeviceRecord& record) {
  record.row_state = kRowStateNew;
  record.answered = 1;
  record.missed_polls = 0;
}

FileDialogRequest MonitorFileDialog(std::string_view initial_name) {
  return {std::string(kMonitorFileFilterName), std::string(kMonitorFileFilterGlob),
          std::string(initial_name)};
}

}  // namespace

MonitorFileCommands::MonitorFileCommands(DeviceLists& lists, IMessages& messages,
                                         IFileDialogs& file_dialogs)
    : lists_(lists), rows_(lists.Rows()), messages_(messages), file_dialogs_(file_dialogs) {}

void MonitorFileCommands::Append(const DeviceRecord& record) {
  const int index = lists_.MonitorTable().Count();
  if (!lists_.MonitorTable().Store(index, record)) return;
  rows_.RefreshMonitorRow(index);
}

void MonitorFileCommands::LoadMonitorFileAtStartup() {
  MonitorFileContents contents = ReadMonitorFile(MonitorFilePath());
  if (contents.status == MonitorFileStatus::Invalid) {
    messages_.Error(kInvalidFile);
    lists_.MonitorTable().Clear();
    return;
  }
  // The file holds at most 256 records and is taken as it was saved: no duplicate check.
  for (DeviceRecord& record : contents.records) {
    if (!HasAddress(record)) continue;
    if (lists_.MonitorTable().Count() >= kDeviceTableCapacity) break;
    ResetBookkeeping(record);
    record.status_image =
        record.status_image == kStatusImageNotAlive ? kStatusImageNotAlive : kStatusImageNone;
    Append(record);
  }
  // The list is now what the file holds.
  lists_.NoteMonitorListSaved();
}

void MonitorFileCommands::OnMonitorLoad() {
  const auto path = file_dialogs_.AskOpenPath(MonitorFileDialog("monitor.cfg"));
  if (!path) return;
  MonitorFileContents contents = ReadMonitorFile(*path);
  if (contents.status == MonitorFileStatus::Invalid) {
    messages_.Error(kInvalidFile);
    return;
  }
  DeviceTable& monitor = lists_.MonitorTable();
  for (DeviceRecord& record : contents.records) {
    if (!HasAddress(record)) continue;
    ResetBookkeeping(record);
    // The stored image stays (a warning image included); a value that names no image is none.
    if (record.status_image != kStatusImageWarning && record.status_image != kStatusImageNotAlive) {
      record.status_image = kStatusImageNone;
    }
    if (monitor.FindByIp(GetText(record.ip_text)).found) {
      messages_.Warning(kDuplicateIp);
      continue;
    }
    if (monitor.FindByMac(GetText(record.mac_text)).found) {
      messages_.Warning(kDuplicateDevice);
      continue;
    }
    if (monitor.Count() >= kDeviceTableCapacity) {
      messages_.Error(kMaximumReached);
      return;
    }
    Append(record);
    lists_.NoteMonitorListChanged();
  }
}

bool MonitorFileCommands::WriteEntries(const std::string& path, int count) {
  const std::vector<DeviceRecord> entries = lists_.MonitorTable().Entries(count);
  const int error = ReplaceFileContents(path, EncodeMonitorFile(entries));
  if (error == 0) return true;
  messages_.Error("The Monitor List could not be saved to " + path + ": " +
                  std::generic_category().message(error) + ".\nThe file on disk is unchanged.");
  return false;
}

bool MonitorFileCommands::WriteMonitorFile(const std::string& path) {
  if (!WriteEntries(path, lists_.MonitorTable().Count())) return false;
  lists_.NoteMonitorListSaved();
  return true;
}

bool MonitorFileCommands::OnMonitorSave() { return WriteMonitorFile(MonitorFilePath()); }

bool MonitorFileCommands::OnMonitorSaveAs() {
  const int noted = lists_.MonitorTable().Count();
  const auto path = file_dialogs_.AskSavePath(MonitorFileDialog("Default.cfg"));
  if (!path) return false;
  // Entries cannot leave while the dialog is open, but never write more than are in use.
  if (!WriteEntries(*path, std::min(noted, lists_.MonitorTable().Count()))) return false;
  lists_.NoteMonitorListSaved();
  return true;
}

}  // namespace sd
