// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Loading and saving the Monitor List: the start-up load of monitor.cfg and the File menu's
// "Monitor save", "Monitor save as" and "Monitor load". Nothing is saved automatically.

#include <string>
#include <string_view>

#include "common/file_dialogs.h"
#include "common/messages.h"
#include "devices/device_lists.h"

namespace sd {

// The filter of both file dialogs.
inline constexpr std::string_view kMonitorFileFilterName = "config File (*.cfg)";
inline constexpr std::string_view kMonitorFileFilterGlob = "*.cfg";

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
