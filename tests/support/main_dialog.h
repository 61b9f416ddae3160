// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A main dialog over in-memory list controls and recording dialogs, for tests of the code that
// files replies, traps and verdicts into the device lists.

#include "app/switchdesk_dlg.h"
#include "devices/list_control.h"
#include "protocol/operation_context.h"
#include "protocol/packet_header.h"
#include "settings/settings_file.h"
#include "support/devices.h"
#include "support/fake_dialogs.h"
#include "support/recording_messages.h"

namespace sd::test {

struct MainDialogFixture {
  MainDialogFixture() {
    ParsedSettings v;
    v.manager_id = 0x01945AE0;
    v.base_port = 50000;
    v.multicast_group = "239.255.100.100";
    v.multicast_interface_on_off = 1;
    ApplySettings(v);
    set_sequence = 0;
    ResetOperationContext();
    dlg.CreateListColumns();
    dlg.ClearDeviceTables();
  }
  ~MainDialogFixture() {
    ResetSettings();
    ResetOperationContext();
    set_sequence = 0;
  }

  void AddMonitored(DeviceRecord r) {
    r.row_state = kRowStateNew;
    dlg.StoreMonitorEntry(dlg.MonitorTable().Count(), r);
  }
  void AddDiscovered(DeviceRecord r) {
    r.row_state = kRowStateNew;
    dlg.StoreDiscoveryEntry(dlg.DiscoveryTable().Count(), r);
  }

  MemoryListControl discovery_list;
  MemoryListControl monitor_list;
  RecordingMessages messages;
  FakeFileDialogs file_dialogs;
  ScriptedRemoteIpDialog remote_ip;
  CSwitchdeskDlg dlg{discovery_list, monitor_list, messages, file_dialogs, remote_ip};
};

}  // namespace sd::test
