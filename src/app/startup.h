// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The core's part of the main dialog's start-up, in its fixed order. The window does its own
// steps (icon, menu, the 5-second timer, the "DHCP Refresh" button) around this call.

#include <string>

#include "common/messages.h"

namespace sd {

class CSwitchdeskDlg;
class NetworkEngine;
class TrapStore;

// Said once when IGMP membership reports are wanted but the raw socket cannot be opened: what
// is missing and the command that grants it to this very program.
std::string IgmpUnavailableMessage();

// The file beside define.ecf, monitor.cfg and syslog.log that remembers that the warning above
// was shown for this settings folder.
inline constexpr const char* kIgmpWarningShownFile = "igmp-warning-shown";
// Shows IgmpUnavailableMessage() as a warning unless it was shown before for the settings folder
// in use, and remembers it there. True when it was shown now.
bool WarnIgmpUnavailableOnce(IMessages& messages);

// A line for the About box and `switchdesk-cli --version` when this program cannot open the raw
// socket of the IGMP membership reports (it lacks CAP_NET_RAW); "" when it can. Opening the
// socket sends nothing; it is closed at once.
std::string MissingCapabilityNote();

struct StartupOutcome {
  bool settings_loaded = false;
  // False when the multicast socket could not be opened: the program must end.
  bool can_run = false;
  // False when IGMP membership reports cannot be sent (no privilege for the raw socket).
  bool igmp_reports = false;
};

// The two halves of StartCore, for a front end that decides between them whether to go on (the
// terminal program opens no socket when the lists' half has failed).
//
// The lists' half, which opens nothing: reads define.ecf (on failure "This will cause the
// application to fail." and the program goes on with zero settings); creates the list columns;
// clears both tables; loads monitor.cfg. True when the settings were read.
bool LoadSettingsAndDeviceLists(CSwitchdeskDlg& dialog, IMessages& messages);
// The network's half: opens the sockets; starts the poll thread; clears the operation context;
// starts the IGMP report thread, warning when reports are configured but cannot be sent (once
// per settings folder, see WarnIgmpUnavailableOnce).
// Leaves settings_loaded false.
StartupOutcome StartNetworkEngine(NetworkEngine& engine, IMessages& messages);

// Clears the trap store, then both halves in order.
StartupOutcome StartCore(CSwitchdeskDlg& dialog, NetworkEngine& engine, TrapStore& trap_store,
                         IMessages& messages);

}  // namespace sd
