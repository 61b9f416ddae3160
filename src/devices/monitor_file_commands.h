// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Loading and saving the Monitor List: the start-up load of monitor.cfg and the File menu's
// "Monitor save", "Monitor save as" and "Monitor load". Nothing is saved automatically.

#include <string>
#include <string_view>

#include "common/file_dialogs.h"
#include "common/messages.h"
#include "devices/device_lists.h"
#include "devices/monitor_file.h"

namespace sd {

// The filter of both file dialogs.
inline constexpr std::string_view kMonitorFileFilterName = "config File (*.cfg)";
inline constexpr std::string_view kMonitorFileFilterGlob = "*.cfg";

// What a reload of monitor.cfg did.
struct MonitorReload {
  // Ok: the list now follows the file; Unreadable, Invalid: the list is as it was.
  MonitorFileStatus status = MonitorFileStatus::Unreadable;
  int count = 0;    // devices in the list afterwards
  int added = 0;
  int removed = 0;
  int refused = 0;  // devices of the file left out because the list was full
  bool operator==(const MonitorReload&) const = default;
};

class MonitorFileCommands {
 public:
  MonitorFileCommands(DeviceLists& lists, IMessages& messages,
                      IFileDialogs& file_dialogs);

  // Fills the (empty) Monitor List from monitor.cfg. A missing file gives an empty list without
  // a message; a file that is not whole records is refused ("Invalid configuration file.") and
  // leaves the list empty. A device stored with the not-alive image keeps it; any other image is
  // dropped. Records without an IP address are skipped.
  void LoadMonitorFileAtStartup();

  // Writes the Monitor List to `path`, replacing the file only once the new one is complete.
  // On failure the user is told and the previous file stays as it was; false then. A list
  // written counts as unchanged again (DeviceLists::MonitorListChanged).
  bool WriteMonitorFile(const std::string& path);

  // "Monitor save": the list to monitor.cfg in the settings folder. True when it was written.
  bool OnMonitorSave();
  // "Monitor save as": the list to a file the user picks (initially "Default.cfg"). True when
  // it was written; false when the user cancelled or the write failed.
  bool OnMonitorSaveAs();
  // "Monitor load": merges a file the user picks (initially "monitor.cfg") into the list.
  // Records whose IP address or MAC address is already monitored are skipped with a warning,
  // records without an IP address silently; once the list holds 256 devices the rest are
  // refused with "Maximum of 256 devices reached.". Existing entries are never changed.
  void OnMonitorLoad();

  // Reads monitor.cfg again into the running Monitor List, for a watch that is told to. A device
  // whose address stays keeps its entry as it is: its liveness counting, its not-alive verdict,
  // its image and what it last reported. The entries of addresses the file no longer holds leave
  // with their rows; the file's other devices are appended as the start-up load takes them (the
  // first record of each address; the not-alive image kept, any other dropped), up to 256
  // devices in all. The entries change under one lock, so the poll thread walking the table sees
  // the list before or after the reload; its pass may then skip or repeat one device. A file
  // that cannot be read or is not whole records changes nothing; no message is shown here.
  MonitorReload ReloadMonitorFile();

 private:
  bool WriteEntries(const std::string& path, int count);
  // Puts a loaded record at the end of the Monitor List and shows it.
  void Append(const DeviceRecord& record);

  DeviceLists& lists_;
  DeviceRows& rows_;
  IMessages& messages_;
  IFileDialogs& file_dialogs_;
};

}  // namespace sd
