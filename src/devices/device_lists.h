#pragma once
// The main dialog's two device lists, each a table with the list control that shows it: the
// Discovery List (switches that answered the last discovery, keyed by MAC address) and the
// Monitor List (switches the user watches, keyed by IP address).

#include "devices/device_table.h"
#include "devices/list_control.h"

namespace sd {

struct DeviceLists {
  DeviceLists(IListControl& discovery_control, IListControl& monitor_control)
      : discovery_list(discovery_control),
        monitor_list(monitor_control),
        discovery(TableKind::Discovery, discovery_control),
        monitor(TableKind::Monitor, monitor_control) {}

  IListControl& discovery_list;
  IListControl& monitor_list;
  DeviceTable discovery;
  DeviceTable monitor;
};

}  // namespace sd
