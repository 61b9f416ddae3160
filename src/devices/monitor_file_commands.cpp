// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/monitor_file_commands.h"

#include <algorithm>
#include <span>
#include <vector>
#include <system_error>


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

MonitorReload MonitorFileCommands::ReloadMonitorFile() {
  MonitorFileContents contents = ReadMonitorFile(MonitorFilePath());
  MonitorReload result;
  result.status = contents.status;
  if (contents.status != MonitorFileStatus::Ok) return result;

  // The file's devices as the start-up load takes them, once per address (entries are keyed by
  // address). The file holds at most 256 records.
  std::vector<DeviceRecord> wanted;
  for (DeviceRecord& record : contents.records) {
    if (!HasAddress(record)) continue;
    const std::string_view ip = GetText(record.ip_text);
    if (std::any_of(wanted.begin(), wanted.end(), [&](const DeviceRecord& w) { return GetText(w.ip_text) == ip; })) {
      continue;
    }
    ResetBookkeeping(record);
    record.status_image = record.status_image == kStatusImageNotAlive ? kStatusImageNotAlive : kStatusImageNone;
    wanted.push_back(record);
  }
  const auto in_file = [&](std::string_view ip) {
    return std::any_of(wanted.begin(), wanted.end(), [&](const DeviceRecord& w) { return GetText(w.ip_text) == ip; });
  };

  DeviceTable& monitor = lists_.MonitorTable();
  const int count = monitor.Count();
  std::vector<std::string> removed_ips;
  int kept = 0;
  monitor.UpdateAll([&](std::span<DeviceRecord, kDeviceTableCapacity> entries) {
    // The entries that stay, in their order, then the new devices; the rest zero.
    std::size_t next = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
      const std::string_view ip = GetText(entries[i].ip_text);
      if (!in_file(ip)) {
        removed_ips.emplace_back(ip);
        continue;
      }
      if (next != i) entries[next] = entries[i];
      ++next;
    }
    kept = static_cast<int>(next);
    for (const DeviceRecord& w : wanted) {
      const std::string_view ip = GetText(w.ip_text);
      const auto stays = entries.begin() + kept;
      if (std::any_of(entries.begin(), stays, [&](const DeviceRecord& e) { return GetText(e.ip_text) == ip; })) {
        continue;
      }
      if (next >= entries.size()) {
        ++result.refused;
        continue;
      }
      entries[next++] = w;
    }
    std::fill(entries.begin() + static_cast<std::ptrdiff_t>(next), entries.end(), ZeroRecord());
    result.count = static_cast<int>(next);
  });
  result.added = result.count - kept;
  result.removed = static_cast<int>(removed_ips.size());

  // The rows follow: those of removed addresses go, the new devices get theirs at the end. Rows
  // are matched by their address; should they not come out one per staying entry, they are all
  // drawn again from the entries.
  IListControl& list = lists_.MonitorListControl();
  for (int row = list.RowCount() - 1; row >= 0; --row) {
    const std::string ip = list.Text(row, kMonitorColumnIp);
    if (std::find(removed_ips.begin(), removed_ips.end(), ip) != removed_ips.end()) list.DeleteRow(row);
  }
  int first_new = kept;
  if (list.RowCount() != kept) {
    list.DeleteAllRows();
    first_new = 0;
  }
  for (int i = first_new; i < result.count; ++i) rows_.RefreshMonitorRow(i);
  // The list is now what the file holds.
  lists_.NoteMonitorListSaved();
  return result;
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
