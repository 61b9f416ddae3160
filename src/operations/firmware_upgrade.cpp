// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/firmware_upgrade.h"

#include <array>

#include "operations/secret.h"
#include "protocol/ipv4.h"
#include "protocol/operation_context.h"
#include "protocol/packet_header.h"
#include "protocol/payload_builders.h"

namespace sd {

CFirmware_Upgrade::CFirmware_Upgrade(FirmwareUpgradeWiring wiring, FirmwareUpgradeSettings settings)
    : wiring_(wiring),
      settings_(settings),
      transfer_(wiring.transport, wiring.timers, wiring.messages, wiring.view, settings.tftp) {
  // The target's entry as its list holds it when the switch reports an error: found by its key,
  // since the list may have been rebuilt in another order meanwhile.
  const DeviceTable* list = &wiring_.list;
  transfer_.SetTargetFieldMaskWord3([list] {
    const auto& context = OperationContext::Instance();
    const FindResult found = list->Kind() == TableKind::Monitor
                                 ? list->FindByIp(Ipv4ToText(context.UpgradeTargetIp()))
                                 : list->FindByMac(context.UpgradeTargetMac());
    return found.found ? list->Entry(found.index).field_mask[3] : 0u;
  });
}

CFirmware_Upgrade::Phase CFirmware_Upgrade::CurrentPhase() const {
  return transfer_.State() == TransferState::kClosed ? Phase::kEnded : phase_;
}

bool CFirmware_Upgrade::Busy() const {
  return phase_ == Phase::kRenewingMembership || phase_ == Phase::kAwaitingAcknowledgement || transfer_.Busy();
}

void CFirmware_Upgrade::OnInitDialog() {
  const auto& context = OperationContext::Instance();
  wiring_.view.ShowDeviceIp(Ipv4ToText(context.UpgradeTargetIp()));
  wiring_.view.ShowDeviceMac(context.UpgradeTargetMac());
  wiring_.view.ShowFirmwarePath(context.UpgradeFilePath());
  transfer_.ResetTransferState();
}

void CFirmware_Upgrade::OnBrowse() {
  if (CurrentPhase() == Phase::kEnded) return;
  FileDialogRequest request;
  request.filter_name = "hex File (*.hex)";
  request.filter_glob = "*.hex";
  request.initial_name = "*.hex";
  const std::string path = wiring_.file_dialogs.AskOpenPath(request).value_or(std::string());
  if (path.size() > kMaxFirmwarePathLength) {
    wiring_.messages.Error(kFirmwarePathTooLong);
    wiring_.view.FocusRefusedField(UpgradeField::kFirmwarePath);
    return;
  }
  OperationContext::Instance().SetUpgradeFilePath(path);
  wiring_.view.ShowFirmwarePath(path);
}

void CFirmware_Upgrade::OnStart(std::string_view password, std::string_view firmware_path) {
  if (CurrentPhase() == Phase::kEnded || Busy()) return;
  ForgetPassword();
  password_ = std::string(password);
  path_ = std::string(firmware_path);

  // Renew the membership first, as before every operation: leave, wait, join, wait.
  phase_ = Phase::kRenewingMembership;
  joined_ = false;
  wiring_.network.LeaveGroup();
  wiring_.timers.StartTimer(kMembershipTimer, settings_.membership_leave_wait);
}

void CFirmware_Upgrade::CheckAndSendTrigger() {
  phase_ = Phase::kReady;
  if (password_.empty() || password_.size() > kMaxUpgradePasswordLength) {
    ForgetPassword();
    wiring_.messages.Error(kPasswordLengthError);
    wiring_.view.FocusRefusedField(UpgradeField::kPassword);
    return;
  }
  // A longer path would name another file once cut; it is refused before anything is sent.
  if (path_.size() > kMaxFirmwarePathLength) {
    ForgetPassword();
    wiring_.messages.Error(kFirmwarePathTooLong);
    wiring_.view.FocusRefusedField(UpgradeField::kFirmwarePath);
    return;
  }
  switch (CheckFirmwareFile(path_)) {
    case FirmwareFileCheck::kOk: break;
    case FirmwareFileCheck::kNotFound:
      ForgetPassword();
      wiring_.messages.Error(kFirmwareFileNotFound);
      wiring_.view.FocusRefusedField(UpgradeField::kFirmwarePath);
      return;
    case FirmwareFileCheck::kTooLarge:
      ForgetPassword();
      wiring_.messages.Error(kFirmwareTooLarge);
      wiring_.view.FocusRefusedField(UpgradeField::kFirmwarePath);
      return;
  }
  OperationContext::Instance().SetUpgradeFilePath(path_);
  SendTrigger();
}

void CFirmware_Upgrade::ForgetPassword() { WipeString(password_); }

void CFirmware_Upgrade::OnTimer(int id) {
  if (id == kTftpDataTimer || id == kTftpRequestTimer || id == kTftpCompletionTimer) {
    transfer_.OnTimer(id);
    return;
  }
  if (id == kMembershipTimer) {
    if (phase_ != Phase::kRenewingMembership) {
      wiring_.timers.StopTimer(kMembershipTimer);
      return;
    }
    if (!joined_) {
      joined_ = true;
      wiring_.network.JoinGroup();
      wiring_.timers.StartTimer(kMembershipTimer, settings_.membership_join_wait);
      return;
    }
    wiring_.timers.StopTimer(kMembershipTimer);
    CheckAndSendTrigger();
  } else if (id == kTriggerWaitTimer) {
    wiring_.timers.StopTimer(kTriggerWaitTimer);
    if (phase_ != Phase::kAwaitingAcknowledgement) return;
    AfterTriggerWait(OperationContext::Instance().UpgradeAcknowledged() != 0);
  }
}

void CFirmware_Upgrade::SendTrigger() {
  // The switch the subnet check recorded, not whatever entry stands at its index now.
  const auto& context = OperationContext::Instance();
  const std::string mac = context.UpgradeTargetMac();
  const std::uint32_t ip = context.UpgradeTargetIp();
  std::array<std::uint8_t, kMaxDatagram> request{};
  TargetedHeader header;
  header.command = CMD_UPGRADE_TRIGGER;
  HexTextToBytes(mac, header.mac);
  BuildTargetedHeader(request.data(), header);
  const std::size_t length =
      kHeaderSize + EncodeUpgradeTriggerTlv(std::span(request).subspan(kHeaderSize), password_);
  ForgetPassword();
  const auto datagram = std::span<const std::uint8_t>(request.data(), length);

  // Only an acknowledgement of this trigger may start the transfer: one left over from an
  // earlier, late or refused attempt must not.
  OperationContext::Instance().SetUpgradeAcknowledged(0);
  bool sent;
  if (InMonitorList()) {
    sent = wiring_.network.SendUnicast(datagram, ip);
  } else {
    sent = wiring_.network.SendBroadcast(datagram) && wiring_.network.SendMulticast(datagram);
  }
  // The datagram carries the password.
  WipeBytes(request.data(), request.size());
  if (!sent) {
    phase_ = Phase::kReady;
    wiring_.messages.Error(kUpgradeTriggerSendError);
    return;
  }
  phase_ = Phase::kAwaitingAcknowledgement;
  wiring_.timers.StartTimer(kTriggerWaitTimer, settings_.trigger_wait);
}

void CFirmware_Upgrade::AfterTriggerWait(bool acknowledged) {
  phase_ = Phase::kReady;
  if (!acknowledged) {
    wiring_.view.ShowUpgradeState(kTriggerFailed);
    return;
  }
  if (transfer_.OpenTftpSocket() == 0) OperationContext::Instance().SetUpgradeAcknowledged(0);
  if (transfer_.State() != TransferState::kClosed) wiring_.view.ShowUpgradeState(kWaitState);
}

void CFirmware_Upgrade::OnCancel() {
  if (CurrentPhase() == Phase::kEnded) return;
  if (ImageDelivered()) {
    ForgetPassword();
    return;  // the pause after the last block ends by itself and starts the reboot watch
  }
  phase_ = Phase::kEnded;
  wiring_.timers.StopTimer(kMembershipTimer);
  wiring_.timers.StopTimer(kTriggerWaitTimer);
  ForgetPassword();
  transfer_.OnCancel();
}

}  // namespace sd
