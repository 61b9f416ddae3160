// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/device_list_commands.h"

#include <algorithm>
#include <string>

#include "protocol/ipv4.h"

namespace sd {

namespace {

constexpr std::string_view kMaximumReached = "Maximum of 256 devices reached.";
constexpr std::string_view kDuplicateIp = "Duplicate IP address.";
constexpr std::string_view kAddFailTitle = "Add fail";
constexpr std::string_view kDuplicateInEitherList =
    "Duplicate IP address in Monitor List or Discovery List.";
constexpr std::string_view kInvalidIp = "Invalid IP address.";
// A switch on DHCP without a lease answers from 0.0.0.0: an address that reaches no switch and
// that every such switch would share.
constexpr std::string_view kNoAddress =
    "The switch has no IP address (0.0.0.0).\nIt can be moved to the Monitor List once it has one.";
// The Remote IP dialog's own title, with its leading blank.
constexpr std::string_view kRemoteIpErrorTitle = " Error";

}  // namespace

DeviceListCommands::DeviceListCommands(DeviceLists& lists, IMessages& messages,
                                       IRemoteIpDialog& remote_ip_dialog)
    : lists_(lists), rows_(lists.Rows()), messages_(messages), remote_ip_dialog_(remote_ip_dialog) {}

void DeviceListCommands::TransferToMonitorList(const std::vector<int>& discovery_rows) {
  DeviceTable& discovery = lists_.DiscoveryTable();
  DeviceTable& monitor = lists_.MonitorTable();

  // Rows to entries first: entries do not move until the end, so the indexes stay valid while
  // devices leave.
  std::vector<int> entries;
  for (int row : discovery_rows) {
    const FindResult f = discovery.FindByMac(lists_.DiscoveryListControl().Text(row, kDiscoveryColumnMac));
    if (f.found) entries.push_back(f.index);
  }
  const int n = discovery.Count();
  // The devices still discovered, for the shared-address rule; a device that leaves during this
  // run is blanked here as its entry is zeroed, so it matches nothing.
  std::vector<DeviceRecord> remaining = discovery.Entries(n);

  // Shown only once the Discovery List is compacted again: a message box runs a nested event
  // loop in which replies may be filed into the tables.
  enum class Refusal { NoAddress, Duplicate, Full };
  std::vector<Refusal> refusals;

  for (int index : entries) {
    DeviceRecord e = discovery.Entry(index);
    if (GetText(e.mac_text).empty()) continue;  // already moved by an earlier row of this run

    if (e.ip == 0) {
      refusals.push_back(Refusal::NoAddress);
      continue;
    }
    const FindResult m = monitor.FindByIp(GetText(e.ip_text));
    const auto sharing =
        std::count_if(remaining.begin(), remaining.end(), [&](const DeviceRecord& other) {
          return !GetText(other.mac_text).empty() && other.ip == e.ip;
        });
    if (m.found || sharing >= 2) {
      refusals.push_back(Refusal::Duplicate);
      continue;
    }
    if (m.index >= kDeviceTableCapacity) {
      refusals.push_back(Refusal::Full);
      break;
    }

    e.status_image = kStatusImageNone;
    e.row_state = kRowStateNew;
    monitor.Store(m.index, e);
    lists_.NoteMonitorListChanged();
    rows_.RefreshMonitorRow(m.index);
    lists_.DiscoveryListControl().DeleteRow(rows_.FindDiscoveryRowByMac(GetText(e.mac_text)));
    discovery.Zero(index);
    if (index < n) remaining[static_cast<std::size_t>(index)] = ZeroRecord();
  }
  discovery.Compact(n);
  RenumberItemData(lists_.DiscoveryListControl());

  for (Refusal r : refusals) {
    if (r == Refusal::NoAddress) {
      messages_.ShowMessage(kNoAddress, kAddFailTitle, MessageIcon::Error);
    } else if (r == Refusal::Duplicate) {
      messages_.ShowMessage(kDuplicateIp, kAddFailTitle, MessageIcon::Error);
    } else {
      messages_.Error(kMaximumReached);
    }
  }
}

void DeviceListCommands::RemoveMonitorRows(const std::vector<int>& monitor_rows) {
  IListControl& list = lists_.MonitorListControl();
  std::vector<int> rows;
  for (int row : monitor_rows) {
    if (row >= 0 && row < list.RowCount()) rows.push_back(row);
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());

  // A row is deleted only together with its entry, so that the row count stays the number of
  // entries in use. A zeroed entry's IP text is empty, so a second row with the same address
  // finds the next entry that has it.
  std::vector<int> removed;
  for (int row : rows) {
    const FindResult f = lists_.MonitorTable().FindByIp(list.Text(row, kMonitorColumnIp));
    if (!f.found) continue;
    lists_.MonitorTable().Zero(f.index);
    lists_.NoteMonitorListChanged();
    removed.push_back(row);
  }
  lists_.MonitorTable().Compact(kDeviceTableCapacity);
  // Each deletion moves the later rows up by one.
  for (std::size_t k = 0; k < removed.size(); ++k) {
    list.DeleteRow(removed[k] - static_cast<int>(k));
  }
}

std::optional<DeviceRecord> DeviceListCommands::AcceptRemoteIp(std::uint32_t address) {
  if (address == 0 || IsValidHostAddress(address) != 0) {
    messages_.ShowMessage(kInvalidIp, kRemoteIpErrorTitle, MessageIcon::Error);
    return std::nullopt;
  }
  DeviceRecord entry = ZeroRecord();
  SetIp(entry, address);
  entry.manager_id = kManualEntryManagerId;
  entry.row_state = kRowStateNew;
  entry.status_image = kStatusImageNone;
  return entry;
}

void DeviceListCommands::AddByAddress() {
  DeviceTable& monitor = lists_.MonitorTable();
  if (monitor.Count() >= kDeviceTableCapacity) {
    messages_.Error(kMaximumReached);
    return;
  }
  // The candidate stays outside the table until it has passed every check, so the poll thread
  // never sees a device that is then refused.
  std::optional<DeviceRecord> candidate;
  const bool applied = remote_ip_dialog_.Run([&](std::uint32_t address) {
    candidate = AcceptRemoteIp(address);
    return candidate.has_value();
  });
  if (!applied || !candidate) return;

  const std::string ip(GetText(candidate->ip_text));
  if (monitor.FindByIp(ip).found || lists_.DiscoveryTable().FindByIp(ip).found) {
    messages_.Error(kDuplicateInEitherList);
    return;
  }
  const int index = monitor.Count();
  if (index >= kDeviceTableCapacity) {
    messages_.Error(kMaximumReached);
    return;
  }
  monitor.Store(index, *candidate);
  lists_.NoteMonitorListChanged();
  rows_.RefreshMonitorRow(index);
}

}  // namespace sd
