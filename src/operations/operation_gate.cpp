// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/operation_gate.h"

#include <string>

namespace sd {

GateMessages GateMessagesOf(Launcher launcher) {
  constexpr std::string_view kMultiple = "Only one device can be selected";
  switch (launcher) {
    case Launcher::ConfigureSettings:
    case Launcher::ChangePassword:
      return {kMultiple, "Please select a device.", "Agent protocol version not supported.",
              "Agent interface version not supported.", true};
    case Launcher::UpgradeFirmware:
      return {kMultiple, "Please select a device.", "Agent protocol version not supported.",
              "Agent interface version not supported.", false};
    case Launcher::DhcpRefresh:
      return {kMultiple, "Please select one device", "agent protocol version not support",
              "agent interface version not support", false};
  }
  return {};
}

int CheckSelection(const IListControl& discovery_list, const IListControl& monitor_list) {
  const std::size_t discovery = discovery_list.SelectedRows().size();
  const std::size_t monitor = monitor_list.SelectedRows().size();
  if (discovery > 1 || monitor > 1) return SELECTION_MULTIPLE;
  if (discovery == 0 && monitor == 0) return SELECTION_NONE;
  return discovery == 1 ? SELECTION_DISCOVERY : SELECTION_MONITOR;
}

int CheckSelection(const DeviceLists& lists) {
  return CheckSelection(lists.DiscoveryListControl(), lists.MonitorListControl());
}

int AgentVersionCode(const DeviceRecord& entry) {
  const std::uint16_t major = entry.version_major;
  const std::uint16_t interface_version = entry.interface_version;
  if (major != 2) return VERSION_PROTOCOL_UNSUPPORTED;
  if (interface_version > 3) return VERSION_INTERFACE_NEWER;
  if (interface_version < 3) return VERSION_INTERFACE_OLDER;
  return VERSION_OK;
}

int CheckAgentVersion(const DeviceLists& lists, int* index, int in_monitor_list) {
  const TableKind kind = in_monitor_list ? TableKind::Monitor : TableKind::Discovery;
  const FindResult found = lists.FindSelectedEntry(kind);
  if (index) *index = found.index;
  return AgentVersionCode(lists.Table(kind).Entry(found.index));
}

DeviceRecord TargetEntry(const DeviceLists& lists, const TargetDevice& target) {
  return lists.Table(target.in_monitor_list ? TableKind::Monitor : TableKind::Discovery).Entry(target.index);
}

ChosenTarget::ChosenTarget(const DeviceLists& lists, const TargetDevice& target)
    : in_monitor_list_(target.in_monitor_list) {
  const DeviceRecord entry = TargetEntry(lists, target);
  key_ = std::string(in_monitor_list_ ? GetText(entry.ip_text) : GetText(entry.mac_text));
}

std::optional<TargetDevice> ChosenTarget::Find(const DeviceLists& lists) const {
  if (key_.empty()) return std::nullopt;
  const FindResult found =
      in_monitor_list_ ? lists.MonitorTable().FindByIp(key_) : lists.DiscoveryTable().FindByMac(key_);
  if (!found.found) return std::nullopt;
  return TargetDevice{found.index, in_monitor_list_};
}

std::string ChosenTarget::NoLongerListedMessage() const {
  return "The switch " + key_ + " is no longer in the " + (in_monitor_list_ ? "Monitor" : "Discovery") +
         " List.\nNothing was sent to it.";
}

std::optional<TargetDevice> RunOperationGate(const DeviceLists& lists, IMessages& messages, Launcher launcher) {
  const GateMessages texts = GateMessagesOf(launcher);
  const int selection = CheckSelection(lists);
  if (selection == SELECTION_MULTIPLE) {
    messages.Error(texts.multiple_rows);
    return std::nullopt;
  }
  if (selection == SELECTION_NONE) {
    messages.Error(texts.nothing_selected);
    return std::nullopt;
  }
  TargetDevice target;
  target.in_monitor_list = selection == SELECTION_MONITOR ? 1 : 0;
  const int version = CheckAgentVersion(lists, &target.index, target.in_monitor_list);
  if (version == VERSION_PROTOCOL_UNSUPPORTED) {
    messages.Error(texts.protocol_version);
    return std::nullopt;
  }
  if (version == VERSION_INTERFACE_NEWER) {
    messages.Error(texts.interface_version);
    return std::nullopt;
  }
  if (texts.checks_firmware_state &&
      TargetEntry(lists, target).firmware_state == FIRMWARE_STATE_UNCONFIGURABLE) {
    messages.Error(target.in_monitor_list ? kUnconfigurableInMonitorList : kUnconfigurableInDiscoveryList);
    return std::nullopt;
  }
  return target;
}

}  // namespace sd
