// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/device_record.h"

#include <cstdio>

#include "protocol/byte_io.h"
#include "protocol/ipv4.h"

namespace sd {

void SetIp(DeviceRecord& r, std::uint32_t a) {
  r.ip = a;
  SetText(r.ip_text, Ipv4ToText(a));
}
void SetTrapIp(DeviceRecord& r, std::uint32_t a) {
  r.trap_ip = a;
  SetText(r.trap_ip_text, Ipv4ToText(a));
}
void SetSubnetMask(DeviceRecord& r, std::uint32_t a) {
  r.subnet_mask = a;
  SetText(r.subnet_mask_text, Ipv4ToText(a));
}
void SetGateway(DeviceRecord& r, std::uint32_t a) {
  r.gateway = a;
  SetText(r.gateway_text, Ipv4ToText(a));
}

std::array<std::uint32_t, 4> DefaultFieldMask(std::uint16_t interface_version) {
  switch (interface_version) {
    case 1: return {0x1FF, 0, 0, 0};
    case 2: return {0x3FF, 0, 0, 0};
    default: return {0, 0, 0, 0};
  }
}

std::string FormatProtocolVersion(std::uint16_t major, std::uint16_t minor, std::uint16_t iface) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d.%03x.%03d", major, minor, iface);
  return buf;
}

namespace {

template <std::size_t N>
void CopyValue(char (&field)[N], std::span<const std::uint8_t> value) {
  SetText(field, std::string_view(reinterpret_cast<const char*>(value.data()), value.size()));
}

}  // namespace

void DecodeDeviceTlvs(std::span<const std::uint8_t> payload, DeviceRecord& r) {
  ByteReader in(payload);
  while (in.Remaining() > 0) {
    // Every TLV starts with its type and length; a fragment shorter than that ends decoding.
    if (!in.Has(4)) return;
    const std::uint16_t type = *in.U16();
    const std::uint16_t length = *in.U16();

    // Variable-length TLVs use their length field; one below 4 or beyond the datagram ends
    // decoding rather than being trusted.
    auto variable_value = [&]() -> std::optional<std::span<const std::uint8_t>> {
      if (length < 4) return std::nullopt;
      return in.Bytes(length - 4u);
    };
    // Fixed-size TLVs occupy their fixed width whatever the length field says.
    auto fixed_value = [&](std::size_t total) -> std::optional<std::span<const std::uint8_t>> {
      return in.Bytes(total - 4);
    };

    switch (type) {
      case TLV_PRODUCT_NAME:
      case TLV_SYSTEM_NAME:
      case TLV_LOCATION:
      case TLV_PASSWORD: {
        auto v = variable_value();
        if (!v) return;
        if (type == TLV_PRODUCT_NAME) CopyValue(r.product_name, *v);
        if (type == TLV_SYSTEM_NAME) CopyValue(r.system_name, *v);
        if (type == TLV_LOCATION) CopyValue(r.location, *v);
        if (type == TLV_PASSWORD) CopyValue(r.password, *v);
        break;
      }
      case TLV_NEW_PASSWORD:
        if (!variable_value()) return;
        break;
      case TLV_IP_ADDRESS:
      case TLV_SUBNET_MASK:
      case TLV_GATEWAY:
      case TLV_TRAP_IP: {
        auto v = fixed_value(8);
        if (!v) return;
        const std::uint32_t a = GetU32(v->data());
        if (type == TLV_IP_ADDRESS) SetIp(r, a);
        if (type == TLV_SUBNET_MASK) SetSubnetMask(r, a);
        if (type == TLV_GATEWAY) SetGateway(r, a);
        if (type == TLV_TRAP_IP) SetTrapIp(r, a);
        break;
      }
      case TLV_DHCP: {
        // One value byte from interface version 1 devices, a 16-bit value from all others.
        if (r.interface_version == 1) {
          auto v = fixed_value(5);
          if (!v) return;
          r.dhcp = (*v)[0];
        } else {
          auto v = fixed_value(6);
          if (!v) return;
          r.dhcp = GetU16(v->data());
        }
        break;
      }
      case TLV_OPAQUE_21: {
        auto v = fixed_value(6);
        if (!v) return;
        std::memcpy(r.opaque_21, v->data(), 2);
        break;
      }
      case TLV_GROUP_INTERVAL: {
        auto v = fixed_value(8);
        if (!v) return;
        r.group_interval = static_cast<std::int32_t>(GetU32(v->data()));
        break;
      }
      case TLV_FIELD_MASK: {
        auto v = fixed_value(20);
        if (!v) return;
        for (std::size_t i = 0; i < 4; ++i) r.field_mask[i] = GetU32(v->data() + 4 * i);
        break;
      }
      default:
        return;
    }
  }
}

}  // namespace sd
