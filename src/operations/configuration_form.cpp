// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/configuration_form.h"

#include <vector>

#include "devices/device_rows.h"
#include "operations/secret.h"
#include "protocol/ipv4.h"
#include "settings/settings_file.h"

namespace sd {

namespace {

std::uint32_t FirstOctet(std::uint32_t a) { return a >> 24; }
std::uint32_t LastOctet(std::uint32_t a) { return a & 0xFFu; }

// A stored dotted text as the address it spells; nothing for an empty text or anything else.
std::optional<std::uint32_t> StoredAddress(std::string_view text) { return TextToIpv4(text); }

bool AllDigits(std::string_view text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The decimal value of a digit text; an empty text is 0. Stops growing past `cap` so that no
// length of text can overflow.
int DecimalValue(std::string_view digits, int cap) {
  int v = 0;
  for (char c : digits) {
    v = v * 10 + (c - '0');
    if (v > cap) return cap;
  }
  return v;
}

}  // namespace

bool IsValidSwitchAddress(std::uint32_t ip) {
  return FirstOctet(ip) >= 1 && FirstOctet(ip) <= 222 && LastOctet(ip) != 0;
}

bool IsValidMaskOctets(std::uint32_t mask) { return FirstOctet(mask) != 0 && LastOctet(mask) != 255; }

bool IsContiguousMask(std::uint32_t mask) {
  const std::uint32_t host = ~mask;
  return (host & (host + 1)) == 0;
}

bool IsNetworkOrBroadcast(std::uint32_t ip, std::uint32_t mask) {
  const std::uint32_t host = ~mask;
  return host != 0 && ((ip & host) == 0 || (ip & host) == host);
}

ConfigurationView InitialConfigurationView(const DeviceRecord& entry, bool group_interval_setting_on) {
  ConfigurationView v;
  v.product_name = GetText(entry.product_name);
  v.system_name = GetText(entry.system_name);
  v.location = GetText(entry.location);
  v.mac_text = GetText(entry.mac_text);
  v.ip = entry.ip;
  v.subnet_mask = StoredAddress(GetText(entry.subnet_mask_text));
  v.gateway = StoredAddress(GetText(entry.gateway_text));
  v.trap_ip = StoredAddress(GetText(entry.trap_ip_text));
  if (entry.dhcp == DHCP_NOT_REPORTED) {
    v.dhcp_radios_enabled = false;
  } else {
    v.dhcp_radios_enabled = true;
    v.dhcp_enable_checked = entry.dhcp == DHCP_ON;
    v.dhcp_disable_checked = entry.dhcp == DHCP_OFF;
  }
  v.addresses_enabled = !v.dhcp_enable_checked;
  v.group_interval_visible = group_interval_setting_on;
  if (group_interval_setting_on && entry.group_interval != GROUP_INTERVAL_NOT_REPORTED) {
    v.group_interval_enabled = true;
    v.group_interval_text = std::to_string(entry.group_interval);
  }
  return v;
}

ConfigurationForm::ConfigurationForm(const RequestContext& context, const TargetDevice& target,
                                     int discovery_count, int monitor_count)
    : context_(context),
      target_(target),
      discovery_count_(discovery_count),
      monitor_count_(monitor_count),
      chosen_(context.lists, target),
      view_(InitialConfigurationView(TargetEntry(context.lists, target), GroupIntervalSettingOn())) {}

void ConfigurationForm::OnDhcpEnable() {
  view_.dhcp_enable_checked = true;
  view_.dhcp_disable_checked = false;
  view_.addresses_enabled = false;
}

void ConfigurationForm::OnDhcpDisable() {
  view_.dhcp_disable_checked = true;
  view_.dhcp_enable_checked = false;
  view_.addresses_enabled = true;
}

bool ConfigurationForm::IsDuplicate(std::uint32_t ip, const TargetDevice& target) const {
  // The switch itself may appear in both lists; its own entries never count against it.
  const std::string_view own_mac = view_.mac_text;
  auto other_device_at = [&](const DeviceRecord& e) {
    const std::string_view mac = GetText(e.mac_text);
    return e.ip == ip && !(!own_mac.empty() && mac == own_mac);
  };
  const std::vector<DeviceRecord> monitor = context_.lists.MonitorTable().Entries(monitor_count_);
  if (target.in_monitor_list) {
    for (int i = 0; i < static_cast<int>(monitor.size()); ++i) {
      if (i != target.index && other_device_at(monitor[static_cast<std::size_t>(i)])) return true;
    }
    for (const DeviceRecord& e : context_.lists.DiscoveryTable().Entries(discovery_count_)) {
      if (other_device_at(e)) return true;
    }
    return false;
  }
  for (const DeviceRecord& e : monitor) {
    if (other_device_at(e)) return true;
  }
  return false;
}

std::optional<Refusal> ConfigurationForm::CheckAddresses(const ConfigurationInput& input,
                                                         const TargetDevice& target,
                                                         DeviceRecord& record) const {
  record.ip = input.ip;
  if (!IsValidSwitchAddress(record.ip)) return Refusal{ConfigurationField::Ip, kInvalidIpMessage};
  if (IsDuplicate(record.ip, target)) return Refusal{ConfigurationField::Ip, kDuplicateIpMessage, kDuplicateIpTitle};
  if (!IsValidMaskOctets(input.subnet_mask)) return Refusal{ConfigurationField::SubnetMask, kInvalidSubnetMaskMessage};
  SetSubnetMask(record, input.subnet_mask);
  if (!IsValidSwitchAddress(input.gateway)) return Refusal{ConfigurationField::Gateway, kInvalidGatewayMessage};
  SetGateway(record, input.gateway);
  if (IsNetworkOrBroadcast(record.ip, record.subnet_mask)) {
    return Refusal{ConfigurationField::SubnetMask, kInvalidSubnetMaskMessage};
  }
  if ((record.ip & record.subnet_mask) != (record.gateway & record.subnet_mask)) {
    return Refusal{ConfigurationField::Gateway, kGatewaySubnetMessage};
  }
  if (!IsContiguousMask(record.subnet_mask)) return Refusal{ConfigurationField::SubnetMask, kInvalidSubnetMaskMessage};
  return std::nullopt;
}

std::optional<Refusal> ConfigurationForm::FillRecord(const ConfigurationInput& input, const TargetDevice& target,
                                                     DeviceRecord& record) const {
  record.dhcp = DHCP_NOT_REPORTED;
  record.group_interval = GROUP_INTERVAL_NOT_REPORTED;
  if (view_.dhcp_disable_checked) record.dhcp = DHCP_OFF;
  if (view_.dhcp_enable_checked) record.dhcp = DHCP_ON;

  SetText(record.product_name, view_.product_name);
  // The fields hold kDialogTextLimit bytes: a longer text is refused rather than cut, which could
  // split a character.
  if (input.system_name.size() > kDialogTextLimit) return Refusal{ConfigurationField::SystemName, kSystemNameLengthMessage};
  if (input.location.size() > kDialogTextLimit) return Refusal{ConfigurationField::Location, kLocationLengthMessage};
  SetText(record.system_name, input.system_name);
  SetText(record.location, input.location);

  if (input.password.empty() || input.password.size() > kDialogTextLimit) {
    return Refusal{ConfigurationField::Password, kPasswordLengthMessage};
  }
  SetText(record.password, input.password);
  SetText(record.mac_text, view_.mac_text);

  // With DHCP on the switch's addresses come from the DHCP server: they are neither read nor
  // checked, and go out as 0.0.0.0.
  if (record.dhcp == DHCP_OFF || record.dhcp == DHCP_NOT_REPORTED) {
    if (auto refusal = CheckAddresses(input, target, record)) return refusal;
  }

  SetTrapIp(record, input.trap_ip);
  if (record.trap_ip != 0 && IsValidHostAddress(record.trap_ip) != 0) {
    return Refusal{ConfigurationField::TrapIp, kTrapIpMessage};
  }

  if (Settings.multicast_interface_on_off == 1 && view_.group_interval_enabled) {
    const std::string_view text = input.group_interval_text;
    if (!AllDigits(text)) return Refusal{ConfigurationField::GroupInterval, kGroupIntervalDigitsMessage};
    const int v = DecimalValue(text, 100000);
    if (v != 0 && (v < 120 || v > 1225)) {
      return Refusal{ConfigurationField::GroupInterval, kSwitchGroupIntervalRangeMessage};
    }
    SetText(record.group_interval_text, text);
    record.group_interval = v;
  }

  // The switch's capabilities as its entry holds them now.
  const DeviceRecord entry = TargetEntry(context_.lists, target);
  std::memcpy(record.field_mask, entry.field_mask, sizeof record.field_mask);
  return std::nullopt;
}

bool ConfigurationForm::OnSet(ConfigurationInput input) {
  failed_field_.reset();
  context_.sender.RefreshMulticastMembership();
  const std::optional<TargetDevice> target = FindChosenTarget(context_, chosen_);
  if (!target) {
    WipeString(input.password);
    return false;
  }
  DeviceRecord record = ZeroRecord();
  const std::optional<Refusal> refusal = FillRecord(input, *target, record);
  WipeString(input.password);
  if (refusal) {
    WipeRecordSecrets(record);
    failed_field_ = refusal->field;
    context_.messages.ShowMessage(refusal->text, refusal->title, MessageIcon::Error);
    return false;
  }
  SendConfiguration(context_, record, *target);
  WipeRecordSecrets(record);
  return true;
}

}  // namespace sd
