// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Configuration setting" dialog without its widgets: what it shows when it opens, its DHCP
// radio buttons, and "Set", which checks the fields in a fixed order and sends one set request.
// The window's dialog shows View(), forwards the radio clicks and "Set" here, and closes when
// OnSet returns true.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "operations/operation_gate.h"
#include "operations/set_requests.h"
#include "protocol/device_record.h"

namespace sd {

// Longest system name, location and password the dialogs take, in bytes of UTF-8 (what the
// switch stores). Longer texts are refused, never cut.
inline constexpr std::size_t kDialogTextLimit = 20;
// Longest group interval text.
inline constexpr std::size_t kGroupIntervalTextLimit = 4;

inline constexpr std::string_view kPasswordLengthMessage = "Password must be 1-20 characters long.";
inline constexpr std::string_view kSystemNameLengthMessage = "System name must be at most 20 bytes long.";
inline constexpr std::string_view kLocationLengthMessage = "Location must be at most 20 bytes long.";
inline constexpr std::string_view kInvalidIpMessage = "Invalid IP address.";
inline constexpr std::string_view kDuplicateIpMessage = "Duplicate IP address.";
inline constexpr std::string_view kDuplicateIpTitle = "Setting fail";
inline constexpr std::string_view kInvalidSubnetMaskMessage = "Invalid subnet mask.";
inline constexpr std::string_view kInvalidGatewayMessage = "Invalid gateway IP address.";
inline constexpr std::string_view kGatewaySubnetMessage = "Gateway and IP addresses are not in the same subnet.";
inline constexpr std::string_view kTrapIpMessage = "Error Trap IP";
inline constexpr std::string_view kGroupIntervalDigitsMessage = "Group Interval only includes 0-9";
inline constexpr std::string_view kSwitchGroupIntervalRangeMessage =
    "Group Interval value must between 120-1225\n0 means disable switch group interval";

// The state of the dialog's controls.
struct ConfigurationView {
  // Read-only texts.
  std::string product_name;
  std::string mac_text;
  // Edits (at most kDialogTextLimit bytes).
  std::string system_name;
  std::string location;
  // Address controls; nothing: the control starts empty (the stored text is empty or not an
  // address).
  std::uint32_t ip = 0;
  std::optional<std::uint32_t> subnet_mask;
  std::optional<std::uint32_t> gateway;
  std::optional<std::uint32_t> trap_ip;
  // "Enable" (1130) and "Disable" (1131).
  bool dhcp_radios_enabled = false;
  bool dhcp_enable_checked = false;
  bool dhcp_disable_checked = false;
  // The IP address, subnet mask and gateway controls.
  bool addresses_enabled = true;
  // Label 1138 and edit 1032 (at most kGroupIntervalTextLimit characters).
  bool group_interval_visible = false;
  bool group_interval_enabled = false;
  std::string group_interval_text;
  bool operator==(const ConfigurationView&) const = default;
};

// The controls as the dialog opens on `entry`. `group_interval_setting_on`: the settings'
// multicast_interface_on_off is 1.
ConfigurationView InitialConfigurationView(const DeviceRecord& entry, bool group_interval_setting_on);

// What the user typed when pressing "Set". An address control's blank parts read as 0.
struct ConfigurationInput {
  std::string system_name;
  std::string location;
  std::string password;
  std::uint32_t ip = 0;
  std::uint32_t subnet_mask = 0;
  std::uint32_t gateway = 0;
  std::uint32_t trap_ip = 0;
  std::string group_interval_text;
};

// The fields "Set" checks, by their control numbers.
enum class ConfigurationField {
  SystemName = 1027,
  Location = 1031,
  Password = 1022,
  Ip = 1033,
  SubnetMask = 1036,
  Gateway = 1034,
  TrapIp = 1035,
  GroupInterval = 1032,
};

// A refusal of "Set": the field found wrong, its text and title (always with the error icon).
struct Refusal {
  ConfigurationField field;
  std::string_view text;
  std::string_view title = kTitleError;
  bool operator==(const Refusal&) const = default;
};

// The address rules, each on a host-order address.
bool IsValidSwitchAddress(std::uint32_t ip);  // first octet 1-222, last octet not 0
bool IsValidMaskOctets(std::uint32_t mask);   // first octet not 0, last octet not 255
bool IsContiguousMask(std::uint32_t mask);    // ones from the top, then only zeros
// The address is the network or the broadcast address of its subnet (never for a mask of all
// ones, whose subnet has one address).
bool IsNetworkOrBroadcast(std::uint32_t ip, std::uint32_t mask);

class ConfigurationForm {
 public:
  // Opens on the target's entry as it is now. The entry counts are those of the two lists when
  // the user pressed "Configure settings"; the duplicate-address test looks at no entry beyond.
  ConfigurationForm(const RequestContext& context, const TargetDevice& target, int discovery_count,
                    int monitor_count);

  const ConfigurationView& View() const { return view_; }
  const TargetDevice& Target() const { return target_; }

  // "Enable": checked, "Disable" unchecked, the IP, subnet mask and gateway controls disabled.
  void OnDhcpEnable();
  // "Disable": checked, "Enable" unchecked, the three controls enabled.
  void OnDhcpDisable();

  // "Set": renews the group membership, then checks the fields in their order (the first
  // failure is shown and the dialog stays open: false) and sends the request (true: the dialog
  // closes, whatever the send gave). A switch no longer listed is refused before the checks
  // (false). The typed password is wiped before this returns.
  bool OnSet(ConfigurationInput input);
  // The field the last "Set" refused, for the dialog to give it the focus once the message is
  // closed; nothing when it was not refused by a field check.
  std::optional<ConfigurationField> FailedField() const { return failed_field_; }

 private:
  // `target` is the chosen switch as the lists hold it at "Set".
  std::optional<Refusal> FillRecord(const ConfigurationInput& input, const TargetDevice& target,
                                    DeviceRecord& record) const;
  std::optional<Refusal> CheckAddresses(const ConfigurationInput& input, const TargetDevice& target,
                                        DeviceRecord& record) const;
  bool IsDuplicate(std::uint32_t ip, const TargetDevice& target) const;

  RequestContext context_;
  TargetDevice target_;
  int discovery_count_;
  int monitor_count_;
  ChosenTarget chosen_;
  ConfigurationView view_;
  std::optional<ConfigurationField> failed_field_;
};

}  // namespace sd
