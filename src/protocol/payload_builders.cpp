// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/payload_builders.h"

#include <cstring>

#include "protocol/byte_io.h"
#include "protocol/operation_context.h"

namespace sd {

namespace {

// Appends TLVs to a bounded buffer.
class TlvWriter {
 public:
  explicit TlvWriter(std::span<std::uint8_t> out) : out_(out) {}
  std::size_t Size() const { return size_; }

  void Text(std::uint16_t type, std::string_view value) {
    if (!Begin(type, 4 + value.size())) return;
    std::memcpy(out_.data() + size_ + 4, value.data(), value.size());
    size_ += 4 + value.size();
  }
  void U8(std::uint16_t type, std::uint8_t value) {
    if (!Begin(type, 5)) return;
    out_[size_ + 4] = value;
    size_ += 5;
  }
  void U16(std::uint16_t type, std::uint16_t value) {
    if (!Begin(type, 6)) return;
    PutU16(out_.data() + size_ + 4, value);
    size_ += 6;
  }
  void U32(std::uint16_t type, std::uint32_t value) {
    if (!Begin(type, 8)) return;
    PutU32(out_.data() + size_ + 4, value);
    size_ += 8;
  }

 private:
  bool Begin(std::uint16_t type, std::size_t total) {
    if (total > 0xFFFF || out_.size() - size_ < total) return false;
    PutU16(out_.data() + size_, type);
    PutU16(out_.data() + size_ + 2, static_cast<std::uint16_t>(total));
    return true;
  }
  std::span<std::uint8_t> out_;
  std::size_t size_ = 0;
};

bool Allows(std::uint32_t mask, std::uint16_t type) { return (mask >> (type - 1)) & 1u; }

}  // namespace

std::size_t EncodeSettingsTlvs(std::span<std::uint8_t> out, const DeviceRecord& r,
                               std::uint16_t mode) {
  const std::uint32_t mask = r.field_mask[0];
  TlvWriter w(out);
  if (Allows(mask, TLV_PASSWORD)) w.Text(TLV_PASSWORD, GetText(r.password));
  if (Allows(mask, TLV_PRODUCT_NAME)) w.Text(TLV_PRODUCT_NAME, GetText(r.product_name));
  if (Allows(mask, TLV_SYSTEM_NAME)) w.Text(TLV_SYSTEM_NAME, GetText(r.system_name));
  if (Allows(mask, TLV_LOCATION)) w.Text(TLV_LOCATION, GetText(r.location));

  // Switching DHCP on sends the switch's own addresses as 0.0.0.0; the trap receiver stays.
  const bool dhcp_on = mode == DHCP_MODE_ON;
  if (Allows(mask, TLV_IP_ADDRESS)) {
    w.U32(TLV_IP_ADDRESS, dhcp_on ? 0 : r.ip);
    OperationContext::Instance().SetAwaitedIp(r.ip);
  }
  if (Allows(mask, TLV_GATEWAY)) w.U32(TLV_GATEWAY, dhcp_on ? 0 : r.gateway);
  if (Allows(mask, TLV_TRAP_IP)) w.U32(TLV_TRAP_IP, r.trap_ip);
  if (Allows(mask, TLV_SUBNET_MASK)) w.U32(TLV_SUBNET_MASK, dhcp_on ? 0 : r.subnet_mask);

  if (!GetText(r.new_password).empty() && Allows(mask, TLV_NEW_PASSWORD)) {
    w.Text(TLV_NEW_PASSWORD, GetText(r.new_password));
  }
  if (r.dhcp != DHCP_NOT_REPORTED && Allows(mask, TLV_DHCP) && mode != DHCP_MODE_UNCHANGED) {
    const std::uint16_t value = mode == DHCP_MODE_ON ? r.dhcp : 0;
    if (r.interface_version == 1) {
      w.U8(TLV_DHCP, static_cast<std::uint8_t>(value));
    } else {
      w.U16(TLV_DHCP, value);
    }
  }
  if (r.group_interval != GROUP_INTERVAL_NOT_REPORTED && Allows(mask, TLV_GROUP_INTERVAL)) {
    w.U32(TLV_GROUP_INTERVAL, static_cast<std::uint32_t>(r.group_interval));
  }
  return w.Size();
}

std::size_t EncodePasswordTlvs(std::span<std::uint8_t> out, const DeviceRecord& r) {
  const std::uint32_t mask = r.field_mask[0];
  TlvWriter w(out);
  if (Allows(mask, TLV_PASSWORD)) w.Text(TLV_PASSWORD, GetText(r.password));
  if (!GetText(r.new_password).empty() && Allows(mask, TLV_NEW_PASSWORD)) {
    w.Text(TLV_NEW_PASSWORD, GetText(r.new_password));
  }
  return w.Size();
}

std::size_t EncodeUpgradeTriggerTlv(std::span<std::uint8_t> out, std::string_view password) {
  TlvWriter w(out);
  w.Text(TLV_PASSWORD, password);
  return w.Size();
}

int HexTextToBytes(std::string_view text, std::span<std::uint8_t> out) {
  auto value = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (char c : text) {
    if (value(c) < 0) return -1;
  }
  for (std::size_t i = 0; 2 * i + 1 < text.size() && i < out.size(); ++i) {
    out[i] = static_cast<std::uint8_t>(16 * value(text[2 * i]) + value(text[2 * i + 1]));
  }
  return 0;
}

void MacBytesToText(const std::uint8_t* bytes, char (&out)[16]) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::memset(out, 0, sizeof out);
  for (int i = 0; i < 6; ++i) {
    out[2 * i] = kDigits[bytes[i] >> 4];
    out[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
}

}  // namespace sd
