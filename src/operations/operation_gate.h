// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The checks every device operation of the main window runs before it opens its dialog: exactly
// one selected row (which also decides the list), an agent version the utility supports, and for
// the configuration and password operations a switch that can take more than a firmware upload.
// A launch that passes records the target device; the dialog and its request read it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/messages.h"
#include "devices/device_lists.h"
#include "devices/list_control.h"
#include "protocol/device_record.h"

namespace sd {

// Selection check results.
inline constexpr int SELECTION_MULTIPLE = 1;   // more than one row selected in a list
inline constexpr int SELECTION_NONE = 2;       // no row selected in either list
inline constexpr int SELECTION_DISCOVERY = 3;  // the Discovery List has the selected row
inline constexpr int SELECTION_MONITOR = 4;    // the Monitor List has the one selected row

// Version check results.
inline constexpr int VERSION_OK = 0;
inline constexpr int VERSION_PROTOCOL_UNSUPPORTED = 5;  // version_major is not 2
inline constexpr int VERSION_INTERFACE_NEWER = 6;       // interface version above 3
inline constexpr int VERSION_INTERFACE_OLDER = 7;       // interface version below 3

// The switch chosen for a device operation: the index of its entry in its list's table, and
// which list (1: Monitor List, 0: Discovery List).
struct TargetDevice {
  int index = 0;
  int in_monitor_list = 0;
  bool operator==(const TargetDevice&) const = default;
};

// The switch chosen for an operation, held by its key (its MAC address in the Discovery List,
// its IP address in the Monitor List) from the moment its dialog opens. While the dialog is open
// the lists go on changing: a reboot watch empties the Discovery List and refills it in reply
// order every second, so an entry index read at "Set" may name another switch. The request is
// built from the entry that holds the key then.
class ChosenTarget {
 public:
  // Takes the key of the target's entry as it is now.
  ChosenTarget(const DeviceLists& lists, const TargetDevice& target);

  // The target as the lists hold it now, with its current index; nothing when no entry of its
  // list holds the key any more.
  std::optional<TargetDevice> Find(const DeviceLists& lists) const;
  // Why a request is refused when Find gives nothing (shown with the title "Error").
  std::string NoLongerListedMessage() const;

  int InMonitorList() const { return in_monitor_list_; }
  const std::string& Key() const { return key_; }

 private:
  int in_monitor_list_;
  std::string key_;
};

// The four operations that act on one switch.
enum class Launcher { ConfigureSettings, ChangePassword, UpgradeFirmware, DhcpRefresh };

// A launcher's own refusal texts (all shown with the title "Error" and the error icon).
struct GateMessages {
  std::string_view multiple_rows;
  std::string_view nothing_selected;
  std::string_view protocol_version;
  std::string_view interface_version;
  bool checks_firmware_state = false;
};
GateMessages GateMessagesOf(Launcher launcher);

inline constexpr std::string_view kUnconfigurableInDiscoveryList =
    "Switch cannot be configured.\nPlease upload firmware and retry.";
inline constexpr std::string_view kUnconfigurableInMonitorList = "Switch cannot be configured.";

// The selection check over the two list controls. When one row is selected in each list, the
// Discovery List's row wins.
int CheckSelection(const IListControl& discovery_list, const IListControl& monitor_list);
int CheckSelection(const DeviceLists& lists);

// The version rule on one entry, tested in the order protocol, newer, older.
int AgentVersionCode(const DeviceRecord& entry);

// The version check of the first selected row of one list (in_monitor_list 0: Discovery List,
// 1: Monitor List). The entry is found by the row's key text (MAC address in the Discovery List,
// IP address in the Monitor List), never by the row's position; `index` receives the index the
// search gave, also when it failed (then Count(), an entry not in use, all zero).
int CheckAgentVersion(const DeviceLists& lists, int* index, int in_monitor_list);

// A copy of the target's entry (a zero record for an index outside the table).
DeviceRecord TargetEntry(const DeviceLists& lists, const TargetDevice& target);

// The whole launch sequence up to the opening of the dialog: selection, version and, where the
// launcher asks for it, the firmware_state check. Every refusal is shown through `messages`
// and gives nothing; nothing in the lists changes.
std::optional<TargetDevice> RunOperationGate(const DeviceLists& lists, IMessages& messages, Launcher launcher);

}  // namespace sd
