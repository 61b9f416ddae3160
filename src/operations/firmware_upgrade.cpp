#include "operations/firmware_upgrade.h"

#include <array>

#include "protocol/ipv4.h"
#include "protocol/operation_context.h"
#include "protocol/packet_header.h"
#include "protocol/payload_builders.h"

namespace sd {

CFirmware_Upgrade::CFirmware_Upgrade(FirmwareUpgradeWiring wiring, FirmwareUpgradeSettings settings)
    : wiring_(wiring),
      settings_(settings),
      transfer_(wiring.transport, wiring.timers, wiring.messages, wiring.view, settings.tftp) {
  const DeviceTable* list = &wiring_.list;
  const int index = wiring_.index;
  transfer_.SetTargetFieldMaskWord3([list, index] { return list->Entry(index).field_mask[3]; });
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
    return;
  }
  OperationContext::Instance().SetUpgradeFilePath(path);
  wiring_.view.ShowFirmwarePath(path);
}

void CFirmware_Upgrade::OnStart(std::string_view password, std::string_view firmware_path) {
  if (CurrentPhase() == Phase::kEnded || Busy()) return;
  if (password.empty() || password.size() > kMaxUpgradePasswordLength) {
    wiring_.messages.Error(kPasswordLengthError);
    return;
  }
  // A longer path would name another file once cut; it is refused before anything is sent.
  if (firmware_path.size() > kMaxFirmwarePathLength) {
    wiring_.messages.Error(kFirmwarePathTooLong);
    return;
  }
  const std::string path(firmware_path);
  switch (CheckFirmwareFile(path)) {
    case FirmwareFileCheck::kOk: break;
    case FirmwareFileCheck::kNotFound: wiring_.messages.Error(kFirmwareFileNotFound); return;
    case FirmwareFileCheck::kTooLarge: wiring_.messages.Error(kFirmwareTooLarge); return;
  }
  OperationContext::Instance().SetUpgradeFilePath(path);
  password_ = std::string(password);

  // Renew the membership before the request, as before every operation: leave, wait, join, wait.
  phase_ = Phase::kRenewingMembership;
  joined_ = false;
  wiring_.network.LeaveGroup();
  wiring_.timers.StartTimer(kMembershipTimer, settings_.membership_leave_wait);
}

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
    SendTrigger();
  } else if (id == kTriggerWaitTimer) {
    if (phase_ != Phase::kAwaitingAcknowledgement) {
      wiring_.timers.StopTimer(kTriggerWaitTimer);
      return;
    }
    waited_ += settings_.trigger_poll;
    const bool acknowledged = OperationContext::Instance().UpgradeAcknowledged() != 0;
    if (acknowledged || waited_ >= settings_.trigger_wait) {
      wiring_.timers.StopTimer(kTriggerWaitTimer);
      AfterTriggerWait(acknowledged);
    }
  }
}

void CFirmware_Upgrade::SendTrigger() {
  const DeviceRecord target = wiring_.list.Entry(wiring_.index);
  std::array<std::uint8_t, kMaxDatagram> request{};
  TargetedHeader header;
  header.command = CMD_UPGRADE_TRIGGER;
  HexTextToBytes(GetText(target.mac_text), header.mac);
  BuildTargetedHeader(request.data(), header);
  const std::size_t length =
      kHeaderSize + EncodeUpgradeTriggerTlv(std::span(request).subspan(kHeaderSize), password_);
  password_.clear();
  const auto datagram = std::span<const std::uint8_t>(request.data(), length);

  // Only an acknowledgement of this trigger may start the transfer: one left over from an
  // earlier, late or refused attempt must not.
  OperationContext::Instance().SetUpgradeAcknowledged(0);
  bool sent;
  if (InMonitorList()) {
    sent = wiring_.network.SendUnicast(datagram, target.ip);
  } else {
    sent = wiring_.network.SendBroadcast(datagram) && wiring_.network.SendMulticast(datagram);
  }
  if (!sent) {
    phase_ = Phase::kReady;
    wiring_.messages.Error(kUpgradeTriggerSendError);
    return;
  }
  phase_ = Phase::kAwaitingAcknowledgement;
  waited_ = std::chrono::milliseconds(0);
  wiring_.timers.StartTimer(kTriggerWaitTimer, settings_.trigger_poll);
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
  phase_ = Phase::kEnded;
  wiring_.timers.StopTimer(kMembershipTimer);
  wiring_.timers.StopTimer(kTriggerWaitTimer);
  password_.clear();
  transfer_.OnCancel();
}

}  // namespace sd
