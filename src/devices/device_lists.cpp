// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/device_lists.h"

#include <vector>

namespace sd {

namespace {

int FirstSelected(const IListControl& list) {
  const std::vector<int> rows = list.SelectedRows();
  return rows.empty() ? -1 : rows.front();
}

}  // namespace

DeviceLists::DeviceLists(IListControl& discovery_control, IListControl& monitor_control)
    : discovery_list_(discovery_control),
      monitor_list_(monitor_control),
      discovery_(TableKind::Discovery, discovery_control),
      monitor_(TableKind::Monitor, monitor_control),
      rows_(*this) {}

bool DeviceLists::StoreDiscoveryEntry(int index, const DeviceRecord& record) {
  if (!discovery_.Store(index, record)) return false;
  rows_.RefreshDiscoveryRow(index);
  return true;
}

bool DeviceLists::StoreMonitorEntry(int index, const DeviceRecord& record) {
  if (!monitor_.Store(index, record)) return false;
  rows_.RefreshMonitorRow(index);
  return true;
}

bool DeviceLists::UpdateDiscoveryEntry(int index, const std::function<void(DeviceRecord&)>& change) {
  if (!discovery_.Update(index, change)) return false;
  rows_.RefreshDiscoveryRow(index);
  return true;
}

bool DeviceLists::UpdateMonitorEntry(int index, const std::function<void(DeviceRecord&)>& change) {
  if (!monitor_.Update(index, change)) return false;
  rows_.RefreshMonitorRow(index);
  return true;
}

void DeviceLists::ClearTables() {
  discovery_.Clear();
  monitor_.Clear();
}

void DeviceLists::ClearDiscoveryList() {
  discovery_list_.DeleteAllRows();
  discovery_.Clear();
}

FindResult DeviceLists::FindSelectedEntry(TableKind kind) const {
  const IListControl& list = ListControl(kind);
  const int row = FirstSelected(list);
  if (kind == TableKind::Monitor) return monitor_.FindByIp(list.Text(row, kMonitorColumnIp));
  return discovery_.FindByMac(list.Text(row, kDiscoveryColumnMac));
}

SelectionNote::SelectionNote(DeviceLists& lists)
    : lists_(lists),
      monitor_(FirstSelected(lists.MonitorListControl())),
      discovery_(FirstSelected(lists.DiscoveryListControl())) {}

void SelectionNote::Restore() {
  if (monitor_ >= 0) lists_.MonitorListControl().SetSelected(monitor_, true);
  if (discovery_ >= 0) lists_.DiscoveryListControl().SetSelected(discovery_, true);
}

}  // namespace sd
