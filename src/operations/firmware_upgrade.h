// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Firmware Upgrade dialog without a toolkit. The window (or the terminal program) shows the
// boxes and forwards its events here: "Browse", "Start" with the typed password and path, the
// ticks of the dialog's timers, a readable TFTP socket and "Cancel" (or the close box).
//
// "Start" renews the multicast membership, checks the password and the file, sends the upgrade
// trigger to the switch the subnet check recorded (unicast to a Monitor List switch, broadcast
// and then multicast to a Discovery List switch), waits 2 s, and then runs the TFTP transfer when
// the reply dispatcher saw the switch's acknowledgement in the operation context meanwhile. The
// full wait is kept: a switch may start its TFTP server only after it has acknowledged. Every
// wait is a timer tick: the dialog and the main window stay live, and the dispatcher keeps filing
// replies meanwhile on the same thread.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/file_dialogs.h"
#include "common/messages.h"
#include "devices/device_table.h"
#include "operations/firmware_transfer.h"
#include "operations/firmware_upgrade_view.h"
#include "operations/tftp_transport.h"
#include "operations/timer_host.h"
#include "operations/upgrade_network.h"

namespace sd {

inline constexpr std::string_view kPasswordLengthError = "Password must be 1-20 characters long.";
inline constexpr std::string_view kFirmwareFileNotFound = "Firmware file not found";
inline constexpr std::string_view kUpgradeTriggerSendError = "Upgrade trigger send error";
inline constexpr std::string_view kTriggerFailed = "Trigger failed";
inline constexpr std::string_view kWaitState = "Wait....";
inline constexpr std::size_t kMaxUpgradePasswordLength = 20;

// The dialog's own timers, beside the transfer's (1 to 3).
inline constexpr int kMembershipTimer = 4;
inline constexpr int kTriggerWaitTimer = 5;

struct FirmwareUpgradeSettings {
  std::chrono::milliseconds membership_leave_wait{200};
  std::chrono::milliseconds membership_join_wait{300};
  // The time between the trigger and the look at its acknowledgement.
  std::chrono::milliseconds trigger_wait{2000};
  TftpSettings tftp;
};

// What the dialog works with. All of it must outlive the dialog logic.
struct FirmwareUpgradeWiring {
  // The table the switch was chosen in. The switch itself is the upgrade target the subnet
  // check recorded in the operation context; `index` is where its entry stood then.
  const DeviceTable& list;
  int index;
  IUpgradeNetwork& network;
  ITftpTransport& transport;
  // Delivers the ticks of timers 1 to 5 to OnTimer.
  ITimerHost& timers;
  // Message boxes owned by the dialog.
  IMessages& messages;
  IFileDialogs& file_dialogs;
  IFirmwareUpgradeView& view;
};

class CFirmware_Upgrade {
 public:
  enum class Phase {
    kReady,                    // "Start" may be pressed (the transfer may still be busy)
    kRenewingMembership,       // leave, 200 ms, join, 300 ms
    kAwaitingAcknowledgement,  // the trigger went out; up to 2 s
    kEnded,
  };

  explicit CFirmware_Upgrade(FirmwareUpgradeWiring wiring, FirmwareUpgradeSettings settings = {});
  // A dialog closed while the membership is renewed still leaves no password behind.
  ~CFirmware_Upgrade() { ForgetPassword(); }
  CFirmware_Upgrade(const CFirmware_Upgrade&) = delete;
  CFirmware_Upgrade& operator=(const CFirmware_Upgrade&) = delete;

  // Fills the Device IP, Device MAC and Firmware Path boxes from the operation context.
  void OnInitDialog();
  // The open dialog for "*.hex" files; the chosen path (empty when cancelled) becomes the
  // operation context's path and the box's text. A path over 127 characters is refused.
  void OnBrowse();
  // The texts of the Password and Firmware Path boxes. Ignored while an upgrade is under way.
  // They are checked once the membership is renewed; the password is wiped once the trigger is
  // built or refused.
  void OnStart(std::string_view password, std::string_view firmware_path);
  void OnTimer(int id);
  void OnTftpReceive() { transfer_.OnTftpReceive(); }
  // "Cancel" and the close box, at any time: the switch is not told.
  void OnCancel();
  // The last block was acknowledged and the short pause before the reboot watch is running:
  // Cancel no longer stops anything.
  bool ImageDelivered() const { return transfer_.State() == TransferState::kCompleted; }

  Phase CurrentPhase() const;
  // True from "Start" until the transfer has ended or failed.
  bool Busy() const;
  FirmwareTransfer& Transfer() { return transfer_; }
  const FirmwareTransfer& Transfer() const { return transfer_; }

 private:
  // After the renewal: the checks of the typed texts, then the trigger.
  void CheckAndSendTrigger();
  void SendTrigger();
  void AfterTriggerWait(bool acknowledged);
  void ForgetPassword();
  bool InMonitorList() const { return wiring_.list.Kind() == TableKind::Monitor; }

  FirmwareUpgradeWiring wiring_;
  FirmwareUpgradeSettings settings_;
  FirmwareTransfer transfer_;
  Phase phase_ = Phase::kReady;
  bool joined_ = false;  // the renewal's second step has run
  std::string password_;
  std::string path_;
};

}  // namespace sd
