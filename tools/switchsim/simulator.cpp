// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/switchsim/simulator.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "net/igmp.h"
#include "protocol/byte_io.h"
#include "protocol/device_record.h"
#include "protocol/ipv4.h"
#include "protocol/packet_header.h"
#include "protocol/payload_builders.h"
#include "protocol/trap_payload.h"

namespace sd::sim {

// What a switch looks at in a request.
struct RequestView {
  PacketHeader header;
  std::span<const std::uint8_t> payload;
  bool to_all = false;  // sent to the broadcast address or the group
  std::uint32_t destination = 0;
};

namespace {

constexpr std::size_t kProductNameMax = 40;
constexpr std::size_t kShortTextMax = 20;
constexpr int kMaxTrapStorm = 100000;
// The largest UDP payload over IPv4: raw sends may exceed the protocol's 1500 bytes, to see what
// the manager makes of an oversize datagram.
constexpr std::size_t kMaxUdpPayload = 65507;

// ---- small text helpers ----

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return parts;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
  return s;
}

// The first blank-separated word of `line`, removed from it.
std::string_view NextWord(std::string_view& line) {
  line = Trim(line);
  const std::size_t end = line.find(' ');
  const std::string_view word = line.substr(0, end);
  line = end == std::string_view::npos ? std::string_view{} : line.substr(end + 1);
  return word;
}

template <typename T>
std::optional<T> Number(std::string_view text, int base = 10) {
  if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  T value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

std::optional<std::array<std::uint8_t, 6>> ParseMac(std::string_view text) {
  std::string digits;
  for (char c : text) {
    if (c != ':' && c != '-') digits.push_back(c);
  }
  std::array<std::uint8_t, 6> mac{};
  if (digits.size() != 12 || HexTextToBytes(digits, mac) != 0) return std::nullopt;
  return mac;
}

std::string MacText(const std::array<std::uint8_t, 6>& mac) {
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return text;
}

std::optional<bool> Flag(std::string_view value) {
  if (value.empty() || value == "1" || value == "on" || value == "yes") return true;
  if (value == "0" || value == "off" || value == "no") return false;
  return std::nullopt;
}

bool IsMulticast(std::uint32_t address) { return (address >> 28) == 0xE; }

const char* ComebackText(SimSwitch::Comeback c) {
  switch (c) {
    case SimSwitch::Comeback::kNormal: return "normal";
    case SimSwitch::Comeback::kUnconfigurable: return "unconfigurable";
    case SimSwitch::Comeback::kNever: return "never";
  }
  return "normal";
}

// A zero-terminated text of a TFTP request; nothing when the terminator is missing.
std::optional<std::string> CString(ByteReader& in) {
  std::string text;
  while (const auto c = in.U8()) {
    if (*c == 0) return text;
    text.push_back(static_cast<char>(*c));
  }
  return std::nullopt;
}

// ---- TLVs ----

void PutTlvHeader(std::vector<std::uint8_t>& out, std::uint16_t type, std::size_t total) {
  std::uint8_t h[4];
  PutU16(h, type);
  PutU16(h + 2, static_cast<std::uint16_t>(total));
  out.insert(out.end(), h, h + 4);
}
void PutText(std::vector<std::uint8_t>& out, std::uint16_t type, std::string_view text) {
  PutTlvHeader(out, type, 4 + text.size());
  out.insert(out.end(), text.begin(), text.end());
}
void PutU32Tlv(std::vector<std::uint8_t>& out, std::uint16_t type, std::uint32_t value) {
  PutTlvHeader(out, type, 8);
  std::uint8_t v[4];
  PutU32(v, value);
  out.insert(out.end(), v, v + 4);
}

// The fields of a set request. Nothing when a TLV is malformed: a length below 4, a value that
// runs past the datagram or a fixed-size value of the wrong width.
struct SetFields {
  std::optional<std::string> password, new_password, product_name, system_name, location;
  std::optional<std::uint32_t> ip, subnet_mask, gateway, trap_ip;
  std::optional<std::uint16_t> dhcp;
  std::optional<std::int32_t> group_interval;
};

std::optional<SetFields> ParseSetTlvs(std::span<const std::uint8_t> payload) {
  SetFields f;
  ByteReader in(payload);
  while (in.Remaining() > 0) {
    const auto type = in.U16();
    const auto length = in.U16();
    if (!type || !length || *length < 4) return std::nullopt;
    const auto value = in.Bytes(*length - 4u);
    if (!value) return std::nullopt;
    const std::string text(reinterpret_cast<const char*>(value->data()), value->size());
    auto address = [&]() -> std::optional<std::uint32_t> {
      if (value->size() != 4) return std::nullopt;
      return GetU32(value->data());
    };
    switch (*type) {
      case TLV_PASSWORD: f.password = text; break;
      case TLV_NEW_PASSWORD: f.new_password = text; break;
      case TLV_PRODUCT_NAME: f.product_name = text; break;
      case TLV_SYSTEM_NAME: f.system_name = text; break;
      case TLV_LOCATION: f.location = text; break;
      case TLV_IP_ADDRESS: if (!(f.ip = address())) return std::nullopt; break;
      case TLV_SUBNET_MASK: if (!(f.subnet_mask = address())) return std::nullopt; break;
      case TLV_GATEWAY: if (!(f.gateway = address())) return std::nullopt; break;
      case TLV_TRAP_IP: if (!(f.trap_ip = address())) return std::nullopt; break;
      case TLV_DHCP:
        // One byte from managers talking to interface version 1, two bytes otherwise.
        if (value->size() == 1) f.dhcp = (*value)[0];
        else if (value->size() == 2) f.dhcp = GetU16(value->data());
        else return std::nullopt;
        break;
      case TLV_GROUP_INTERVAL:
        if (value->size() != 4) return std::nullopt;
        f.group_interval = static_cast<std::int32_t>(GetU32(value->data()));
        break;
      default:
        break;  // a switch passes over what it does not know
    }
  }
  return f;
}

bool Allows(const std::array<std::uint32_t, 4>& mask, std::uint16_t type) {
  return type >= 1 && type <= 32 && ((mask[0] >> (type - 1)) & 1u);
}

// Applies the fields the switch's mask allows, as a switch would. Returns the result code.
std::uint16_t ApplySet(SimSwitch& s, const SetFields& f) {
  if (!s.password.empty() && f.password != s.password) return RESULT_PASSWORD;
  const auto mask = s.EffectiveFieldMask();
  auto allowed = [&](std::uint16_t type) { return Allows(mask, type); };

  const bool had_dhcp = s.dhcp && *s.dhcp == 1;
  if (f.dhcp && allowed(TLV_DHCP)) s.dhcp = static_cast<std::uint16_t>(*f.dhcp != 0 ? 1 : 0);
  // With DHCP on the addresses come from the DHCP server: the 0.0.0.0 a manager sends then
  // leaves the current ones, or the switch moves to the lease the simulated server has for it.
  const bool from_dhcp = s.dhcp && *s.dhcp == 1;
  if (from_dhcp && !had_dhcp && s.lease) s.ip = *s.lease;
  auto take_address = [&](const std::optional<std::uint32_t>& v, std::uint16_t type, std::uint32_t& field) {
    if (!v || !allowed(type)) return;
    if (*v == 0 && (from_dhcp || type == TLV_IP_ADDRESS)) return;
    field = *v;
  };
  take_address(f.ip, TLV_IP_ADDRESS, s.ip);
  take_address(f.subnet_mask, TLV_SUBNET_MASK, s.subnet_mask);
  take_address(f.gateway, TLV_GATEWAY, s.gateway);
  if (f.trap_ip && allowed(TLV_TRAP_IP)) s.trap_ip = *f.trap_ip;
  if (f.product_name && allowed(TLV_PRODUCT_NAME)) s.product_name = f.product_name->substr(0, kProductNameMax);
  if (f.system_name && allowed(TLV_SYSTEM_NAME)) s.system_name = f.system_name->substr(0, kShortTextMax);
  if (f.location && allowed(TLV_LOCATION)) s.location = f.location->substr(0, kShortTextMax);
  if (f.group_interval && allowed(TLV_GROUP_INTERVAL)) s.group_interval = *f.group_interval;
  if (f.new_password && allowed(TLV_NEW_PASSWORD)) s.password = f.new_password->substr(0, kShortTextMax);
  return RESULT_OK;
}

// A DHCP refresh: the switch renews its lease (and uses DHCP from then on) unless no server
// answers. Names, addresses and passwords in the request are not applied.
std::uint16_t ApplyDhcpRefresh(SimSwitch& s, const SetFields& f) {
  if (!s.password.empty() && f.password != s.password) return RESULT_PASSWORD;
  if (s.dhcp_refresh_fails) return RESULT_DHCP_REFRESH_FAIL;
  s.dhcp = 1;
  if (s.lease) s.ip = *s.lease;
  return RESULT_OK;
}

}  // namespace

bool IsDhcpRefresh(const PacketHeader& h) {
  return (h.command == CMD_SET || h.command == CMD_SET_UNICAST) && h.version_minor == 1 && h.interface_version == 3;
}

std::array<std::uint32_t, 4> SimSwitch::EffectiveFieldMask() const {
  return field_mask.value_or(DefaultFieldMask(interface_version));
}

std::optional<SimSwitch> ParseSwitchDefinition(std::string_view definition, const SimSwitch& base, std::string* error) {
  SimSwitch s = base;
  auto fail = [&](std::string why) -> std::optional<SimSwitch> {
    if (error) *error = std::move(why);
    return std::nullopt;
  };
  for (std::string_view item : Split(Trim(definition), ',')) {
    item = Trim(item);
    if (item.empty()) continue;
    const std::size_t eq = item.find('=');
    const std::string_view key = eq == std::string_view::npos ? item : item.substr(0, eq);
    const std::string_view value = eq == std::string_view::npos ? std::string_view{} : item.substr(eq + 1);
    auto address = [&](std::uint32_t& field) {
      const auto a = TextToIpv4(value);
      if (a) field = *a;
      return a.has_value();
    };
    auto u16 = [&](std::uint16_t& field) {
      const auto v = Number<std::uint16_t>(value);
      if (v) field = *v;
      return v.has_value();
    };
    bool ok = true;
    if (key == "ip") ok = address(s.ip);
    else if (key == "netmask") ok = address(s.subnet_mask);
    else if (key == "gateway") ok = address(s.gateway);
    else if (key == "trap") ok = address(s.trap_ip);
    else if (key == "mac") {
      const auto mac = ParseMac(value);
      if ((ok = mac.has_value())) s.mac = *mac;
    } else if (key == "major") ok = u16(s.version_major);
    else if (key == "minor") ok = u16(s.version_minor);
    else if (key == "iface") ok = u16(s.interface_version);
    else if (key == "product") s.product_name = value;
    else if (key == "name") s.system_name = value;
    else if (key == "location") s.location = value;
    else if (key == "password") s.password = value;
    else if (key == "dhcp") {
      if (value == "none") s.dhcp.reset();
      else if (const auto f = Flag(value)) s.dhcp = *f ? 1 : 0;
      else ok = false;
    } else if (key == "interval") {
      if (value == "none") s.group_interval.reset();
      else if (const auto v = Number<std::int32_t>(value)) s.group_interval = *v;
      else ok = false;
    } else if (key == "fields") {
      if (value == "none") {
        s.field_mask.reset();
      } else {
        std::array<std::uint32_t, 4> mask{};
        const auto words = Split(value, ':');
        ok = words.size() == 1 || words.size() == 4;
        for (std::size_t i = 0; ok && i < words.size(); ++i) {
          const auto w = Number<std::uint32_t>(words[i], 16);
          if ((ok = w.has_value())) mask[i] = *w;
        }
        if (ok) s.field_mask = mask;
      }
    } else if (key == "lease") {
      if (value == "none") {
        s.lease.reset();
      } else {
        std::uint32_t a = 0;
        if ((ok = address(a))) s.lease = a;
      }
    } else if (key == "refresh") {
      if (value == "ok") s.dhcp_refresh_fails = false;
      else if (value == "fail") s.dhcp_refresh_fails = true;
      else ok = false;
    } else if (key == "reboot") {
      const auto v = Number<int>(value);
      if ((ok = v && *v >= 0)) s.reboot_ms = *v;
    } else if (key == "comeback") {
      if (value == "normal") s.comeback = SimSwitch::Comeback::kNormal;
      else if (value == "unconfigurable") s.comeback = SimSwitch::Comeback::kUnconfigurable;
      else if (value == "never") s.comeback = SimSwitch::Comeback::kNever;
      else ok = false;
    } else if (key == "tftperror") {
      if (value == "none") s.tftp_error_block.reset();
      else if (const auto v = Number<std::uint16_t>(value)) s.tftp_error_block = *v;
      else ok = false;
    } else if (key == "tftperrortext") {
      s.tftp_error_text = value;
    } else if (key == "image") {
      s.image_path = value;
    } else if (key == "unconfigurable" || key == "silent") {
      const auto f = Flag(value);
      if ((ok = f.has_value())) (key == "silent" ? s.silent : s.unconfigurable) = *f;
    } else {
      return fail("unknown key " + std::string(key));
    }
    if (!ok) return fail("bad value for " + std::string(key));
  }
  return s;
}

std::optional<SimSwitch> ParseNewSwitch(std::string_view definition, std::string* error) {
  SimSwitch base;
  base.system_name.clear();
  auto s = ParseSwitchDefinition(definition, base, error);
  if (!s) return s;
  // ip=0.0.0.0 is a switch without a lease; a definition without ip= has no address at all.
  const bool has_ip = definition.rfind("ip=", 0) == 0 || definition.find(",ip=") != std::string_view::npos;
  if (!has_ip || s->mac == std::array<std::uint8_t, 6>{}) {
    if (error) *error = "a switch needs ip and mac";
    return std::nullopt;
  }
  const bool named = definition.find("name=") != std::string_view::npos;
  if (!named) s->system_name = "switch-" + std::to_string(s->ip & 0xFF);
  // Interface version 3 and later report their capabilities; none reported means none allowed.
  if (definition.find("fields=") == std::string_view::npos && s->interface_version >= 3) {
    s->field_mask = std::array<std::uint32_t, 4>{0x2003FF, 0, 0, 0};
  }
  return s;
}

std::string Describe(const SimSwitch& s) {
  char mask[40] = "none";
  if (s.field_mask) {
    std::snprintf(mask, sizeof mask, "%x:%x:%x:%x", (*s.field_mask)[0], (*s.field_mask)[1],
                  (*s.field_mask)[2], (*s.field_mask)[3]);
  }
  return "ip=" + Ipv4ToText(s.ip) + ",mac=" + MacText(s.mac) + ",major=" + std::to_string(s.version_major) +
         ",minor=" + std::to_string(s.version_minor) + ",iface=" + std::to_string(s.interface_version) +
         ",product=" + s.product_name + ",name=" + s.system_name + ",location=" + s.location +
         ",netmask=" + Ipv4ToText(s.subnet_mask) + ",gateway=" + Ipv4ToText(s.gateway) +
         ",trap=" + Ipv4ToText(s.trap_ip) +
         ",dhcp=" + (s.dhcp ? (*s.dhcp ? "on" : "off") : "none") +
         ",interval=" + (s.group_interval ? std::to_string(*s.group_interval) : "none") +
         ",password=" + s.password + ",fields=" + mask + ",unconfigurable=" + (s.unconfigurable ? "1" : "0") +
         ",silent=" + (s.silent ? "1" : "0") + ",lease=" + (s.lease ? Ipv4ToText(*s.lease) : "none") +
         ",refresh=" + (s.dhcp_refresh_fails ? "fail" : "ok") + ",reboot=" + std::to_string(s.reboot_ms) +
         ",comeback=" + ComebackText(s.comeback) +
         ",tftperror=" + (s.tftp_error_block ? std::to_string(*s.tftp_error_block) : "none") +
         ",tftperrortext=" + s.tftp_error_text + ",image=" + s.image_path;
}

std::vector<std::uint8_t> DeviceTlvs(const SimSwitch& s) {
  std::vector<std::uint8_t> out;
  PutText(out, TLV_PRODUCT_NAME, s.product_name);
  PutText(out, TLV_SYSTEM_NAME, s.system_name);
  PutText(out, TLV_LOCATION, s.location);
  PutU32Tlv(out, TLV_IP_ADDRESS, s.ip);
  PutU32Tlv(out, TLV_SUBNET_MASK, s.subnet_mask);
  PutU32Tlv(out, TLV_GATEWAY, s.gateway);
  PutU32Tlv(out, TLV_TRAP_IP, s.trap_ip);
  if (s.dhcp) {
    if (s.interface_version == 1) {
      PutTlvHeader(out, TLV_DHCP, 5);
      out.push_back(static_cast<std::uint8_t>(*s.dhcp));
    } else {
      PutTlvHeader(out, TLV_DHCP, 6);
      out.push_back(0);
      out.push_back(static_cast<std::uint8_t>(*s.dhcp));
    }
  }
  if (s.group_interval) PutU32Tlv(out, TLV_GROUP_INTERVAL, static_cast<std::uint32_t>(*s.group_interval));
  if (s.field_mask) {
    PutTlvHeader(out, TLV_FIELD_MASK, 20);
    for (std::uint32_t word : *s.field_mask) {
      std::uint8_t w[4];
      PutU32(w, word);
      out.insert(out.end(), w, w + 4);
    }
  }
  return out;
}

namespace {

std::vector<std::uint8_t> Header(const SimSwitch& s, std::uint16_t command, std::uint16_t result,
                                 std::uint32_t manager_id, std::uint16_t sequence) {
  std::vector<std::uint8_t> d(kHeaderSize, 0);
  PutU16(d.data() + header_offset::kVersionMajor, s.version_major);
  PutU16(d.data() + header_offset::kVersionMinor, s.version_minor);
  std::memcpy(d.data() + header_offset::kMac, s.mac.data(), 6);
  PutU16(d.data() + header_offset::kInterfaceVersion, s.interface_version);
  PutU16(d.data() + header_offset::kCommand, command);
  PutU16(d.data() + header_offset::kResult, result);
  PutU32(d.data() + header_offset::kManagerId, manager_id);
  PutU16(d.data() + header_offset::kSequence, sequence);
  return d;
}

}  // namespace

std::vector<std::uint8_t> BuildReply(const SimSwitch& s, std::uint16_t command, std::uint16_t result,
                                     std::uint32_t manager_id, std::uint16_t sequence, bool header_only) {
  auto d = Header(s, command, result, manager_id, sequence);
  if (!header_only) {
    const auto tlvs = DeviceTlvs(s);
    d.insert(d.end(), tlvs.begin(), tlvs.end());
  }
  return d;
}

std::vector<std::uint8_t> BuildTrap(const SimSwitch& s, std::uint32_t manager_id, std::string_view text) {
  auto d = Header(s, CMD_TRAP, RESULT_OK, manager_id, 0);
  AppendTrapPayload(d, s.ip, text);
  return d;
}

bool Simulator::Add(const SimSwitch& s) {
  for (const auto& other : switches_) {
    if (other.ip == s.ip || other.mac == s.mac) return false;
  }
  switches_.push_back(s);
  return true;
}

SimSwitch* Simulator::FindByIp(std::uint32_t ip) {
  for (auto& s : switches_) {
    if (s.ip == ip) return &s;
  }
  return nullptr;
}

std::optional<Outgoing> Simulator::Answer(SimSwitch& s, const RequestView& r, Endpoint source) {
  const bool mine = r.destination == s.ip;
  // The broadcast address of the switch's own subnet reaches it as 255.255.255.255 does.
  const bool to_all = r.to_all || (s.subnet_mask != 0 && s.subnet_mask != 0xFFFFFFFF && r.destination == (s.ip | ~s.subnet_mask));
  if (r.header.command == CMD_POLL && mine) ++polls_[s.ip];
  if (s.silent || Rebooting(s.ip)) return std::nullopt;
  const std::uint32_t from = s.ip;  // a reply leaves from the address the request reached
  auto reply = [&](std::uint16_t command, std::uint16_t result, std::uint16_t sequence, bool header_only) {
    return Outgoing{from, source, BuildReply(s, command, result, r.header.manager_id, sequence, header_only)};
  };
  switch (r.header.command) {
    case CMD_DISCOVER:
      if (!to_all && !mine) return std::nullopt;
      if (s.unconfigurable) return reply(CMD_UNCONFIGURABLE_REPLY, RESULT_OK, 0, true);
      return reply(CMD_DISCOVER_REPLY, RESULT_OK, 0, false);
    case CMD_POLL:
      if (!mine) return std::nullopt;
      if (s.unconfigurable) return reply(CMD_UNCONFIGURABLE_REPLY, RESULT_OK, 0, true);
      return reply(CMD_POLL_REPLY, RESULT_OK, 0, false);
    case CMD_SET:
    case CMD_SET_UNICAST: {
      if (r.header.mac != s.mac || s.unconfigurable) return std::nullopt;
      if (r.header.command == CMD_SET_UNICAST ? !mine : !(to_all || mine)) return std::nullopt;
      const std::uint16_t command = r.header.command == CMD_SET ? CMD_SET_REPLY : CMD_SET_UNICAST_REPLY;
      const auto fields = ParseSetTlvs(r.payload);
      const std::uint16_t result =
          !fields ? RESULT_PARAMETERS : IsDhcpRefresh(r.header) ? ApplyDhcpRefresh(s, *fields) : ApplySet(s, *fields);
      return reply(command, result, r.header.sequence, false);
    }
    case CMD_UPGRADE_TRIGGER: {
      // A switch that needs firmware takes an upgrade too.
      if (r.header.mac != s.mac || !(to_all || mine)) return std::nullopt;
      const auto fields = ParseSetTlvs(r.payload);
      std::uint16_t result = RESULT_OK;
      if (!fields) result = RESULT_PARAMETERS;
      else if (!s.password.empty() && fields->password != s.password) result = RESULT_PASSWORD;
      if (result == RESULT_OK) upgrade_armed_[s.ip] = true;
      return reply(CMD_UPGRADE_TRIGGER_REPLY, result, r.header.sequence, false);
    }
    default:
      return std::nullopt;
  }
}

std::vector<Outgoing> Simulator::HandleDatagram(std::span<const std::uint8_t> datagram, Endpoint source,
                                                std::uint32_t destination) {
  std::vector<Outgoing> out;
  const auto header = ParseHeader(datagram);
  if (!header || header->version_major != VERSION_MAJOR) return out;
  RequestView r;
  r.header = *header;
  r.payload = datagram.subspan(kHeaderSize);
  r.destination = destination;
  r.to_all = destination == kLimitedBroadcast || IsMulticast(destination);
  for (auto& s : switches_) {
    if (auto o = Answer(s, r, source)) out.push_back(std::move(*o));
  }
  return out;
}

std::uint64_t Fnv1a64(std::span<const std::uint8_t> bytes) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (std::uint8_t b : bytes) {
    h ^= b;
    h *= 0x100000001b3ull;
  }
  return h;
}

bool Simulator::Rebooting(std::uint32_t ip) {
  const auto it = rebooting_until_.find(ip);
  if (it == rebooting_until_.end()) return false;
  if (clock_() < it->second) return true;
  rebooting_until_.erase(it);
  // Back from the reboot: what the new firmware makes of the switch.
  if (SimSwitch* s = FindByIp(ip); s && s->comeback == SimSwitch::Comeback::kUnconfigurable) s->unconfigurable = true;
  return false;
}

const ReceivedImage* Simulator::Image(std::uint32_t ip) const {
  const auto it = images_.find(ip);
  return it == images_.end() ? nullptr : &it->second;
}

std::vector<std::uint8_t> Simulator::TftpErrorPacket(std::uint16_t code, std::string_view text) const {
  // Sized once and filled in place (opcode, code, text, NUL): GCC 12 at -O3 reports a false
  // -Warray-bounds when a 4-byte vector grows by insert.
  std::vector<std::uint8_t> d(4 + text.size() + 1, 0);
  PutU16(d.data(), kSimTftpError);
  PutU16(d.data() + 2, code);
  std::copy(text.begin(), text.end(), d.begin() + 4);
  return d;
}

void Simulator::CompleteImage(SimSwitch& s) {
  ReceivedImage& image = images_[s.ip];
  image.complete = true;
  upgrade_armed_[s.ip] = false;
  if (!s.image_path.empty()) {
    const std::string part = s.image_path + ".part";
    {
      std::ofstream out(part, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(image.bytes.data()), static_cast<std::streamsize>(image.bytes.size()));
    }
    std::rename(part.c_str(), s.image_path.c_str());
  }
  rebooting_until_[s.ip] = s.comeback == SimSwitch::Comeback::kNever
                               ? Clock::time_point::max()
                               : clock_() + std::chrono::milliseconds(s.reboot_ms);
}

std::vector<Outgoing> Simulator::HandleTftpDatagram(std::span<const std::uint8_t> datagram, Endpoint source,
                                                    std::uint32_t destination) {
  std::vector<Outgoing> out;
  SimSwitch* s = FindByIp(destination);
  if (s == nullptr || s->silent) return out;
  auto send = [&](std::vector<std::uint8_t> bytes) { out.push_back({s->ip, source, std::move(bytes)}); };
  auto ack = [&](std::uint16_t block) {
    std::vector<std::uint8_t> d(4);
    PutU16(d.data(), kSimTftpAck);
    PutU16(d.data() + 2, block);
    send(std::move(d));
  };
  auto fail = [&](std::uint16_t code, std::string_view text) {
    send(TftpErrorPacket(code, text));
    tftp_sessions_.erase(s->ip);
    upgrade_armed_[s->ip] = false;
  };

  ByteReader in(datagram);
  const auto opcode = in.U16();
  if (!opcode) return out;
  const auto session = tftp_sessions_.find(s->ip);
  switch (*opcode) {
    case kSimTftpWrq: {
      if (Rebooting(s->ip)) return out;
      const auto file_name = CString(in);
      const auto mode = file_name ? CString(in) : std::nullopt;
      if (!mode) {
        send(TftpErrorPacket(4, "Illegal TFTP operation"));
        return out;
      }
      // A repeated request of the transfer just started: its acknowledgement was lost.
      if (session != tftp_sessions_.end() && session->second.client == source && session->second.next_block == 1 &&
          !session->second.complete) {
        ack(0);
        return out;
      }
      std::string lower = *mode;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (!upgrade_armed_[s->ip]) {
        send(TftpErrorPacket(2, "Upgrade not triggered"));
      } else if (lower != "octet") {
        send(TftpErrorPacket(0, "Only octet mode"));
      } else if (s->tftp_error_block == 0) {
        fail(0, s->tftp_error_text);
      } else {
        tftp_sessions_[s->ip] = TftpSession{source, 1, false};
        images_[s->ip] = ReceivedImage{*file_name, {}, false};
        ack(0);
      }
      return out;
    }
    case kSimTftpData: {
      const auto block = in.U16();
      if (!block || session == tftp_sessions_.end()) return out;
      TftpSession& t = session->second;
      if (source != t.client) {
        send(TftpErrorPacket(5, "Unknown transfer ID"));
        return out;
      }
      const auto payload = *in.Bytes(in.Remaining());
      if (payload.size() > kSimTftpBlock) {
        fail(4, "Illegal TFTP operation");
        return out;
      }
      if (*block == static_cast<std::uint16_t>(t.next_block - 1)) {
        ack(*block);  // a repeat: our acknowledgement was lost (the last one, too, while rebooting)
        return out;
      }
      if (*block != t.next_block || t.complete) return out;
      if (s->tftp_error_block == *block) {
        fail(0, s->tftp_error_text);
        return out;
      }
      ReceivedImage& image = images_[s->ip];
      if (image.bytes.size() + payload.size() > kSimMaxImage) {
        fail(3, "Disk full or allocation exceeded");
        return out;
      }
      image.bytes.insert(image.bytes.end(), payload.begin(), payload.end());
      ack(*block);
      ++t.next_block;
      if (payload.size() < kSimTftpBlock) {
        t.complete = true;
        CompleteImage(*s);
      }
      return out;
    }
    case kSimTftpError:
      if (session != tftp_sessions_.end() && session->second.client == source) tftp_sessions_.erase(session);
      return out;
    default:
      return out;
  }
}

std::string NumberTrapText(std::string_view text, int number) {
  const std::string digits = std::to_string(number);
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 'n') {
      out += digits;
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

Endpoint Simulator::TrapDestination(const SimSwitch& s) const {
  return {s.trap_ip != 0 ? s.trap_ip : options_.manager_address, options_.manager_port};
}

std::optional<Outgoing> Simulator::TrapFrom(const SimSwitch& s, std::string_view text) const {
  const Endpoint to = TrapDestination(s);
  if (to.address == 0 || to.port == 0) return std::nullopt;
  return Outgoing{s.ip, to, BuildTrap(s, options_.manager_id, text)};
}

void Simulator::NoteIgmpPacket(std::span<const std::uint8_t> ip_packet) {
  const auto m = ParseIgmpPacket(ip_packet);
  if (m && m->type == IGMP_V1_REPORT && m->checksum_ok) ++igmp_reports_[m->group];
}

ControlOutcome Simulator::Control(std::string_view line) {
  ControlOutcome out;
  auto done = [&](std::string last = "ok") {
    out.lines.push_back(std::move(last));
    return out;
  };
  std::string_view rest = line;
  const std::string_view command = NextWord(rest);
  auto switch_arg = [&]() -> SimSwitch* {
    const auto ip = TextToIpv4(NextWord(rest));
    return ip ? FindByIp(*ip) : nullptr;
  };

  if (command.empty() || command.front() == '#') return out;  // nothing to answer
  if (command == "ping") return done();
  if (command == "quit") {
    out.quit = true;
    return done();
  }
  if (command == "list") {
    for (const auto& s : switches_) out.lines.push_back(Describe(s));
    return done();
  }
  if (command == "image") {
    const auto ip = TextToIpv4(NextWord(rest));
    if (!ip || !FindByIp(*ip)) return done("error unknown switch");
    const ReceivedImage* image = Image(*ip);
    if (!image) return done("error no image received");
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a64(image->bytes)));
    out.lines.push_back("image " + Ipv4ToText(*ip) + " size=" + std::to_string(image->bytes.size()) +
                        " fnv1a64=" + hash + " complete=" + (image->complete ? "1" : "0") +
                        " rebooting=" + (Rebooting(*ip) ? "1" : "0") + " file=" + image->file_name);
    return done();
  }
  if (command == "polls") {
    for (const auto& [ip, count] : polls_) out.lines.push_back("polls " + Ipv4ToText(ip) + " " + std::to_string(count));
    return done();
  }
  if (command == "igmp") {
    for (const auto& [group, count] : igmp_reports_) {
      out.lines.push_back("igmp " + Ipv4ToText(group) + " " + std::to_string(count));
    }
    return done();
  }
  if (command == "add") {
    std::string error;
    const auto s = ParseNewSwitch(Trim(rest), &error);
    if (!s) return done("error " + error);
    if (!Add(*s)) return done("error address or MAC already played");
    return done();
  }
  if (command == "silence" || command == "resume") {
    const bool silent = command == "silence";
    const std::string_view which = Trim(rest);
    if (which == "all") {
      for (auto& s : switches_) s.silent = silent;
      return done();
    }
    SimSwitch* s = switch_arg();
    if (!s) return done("error unknown switch");
    s->silent = silent;
    return done();
  }
  if (command == "set") {
    SimSwitch* s = switch_arg();
    if (!s) return done("error unknown switch");
    std::string error;
    const auto changed = ParseSwitchDefinition(Trim(rest), *s, &error);
    if (!changed) return done("error " + error);
    for (const auto& other : switches_) {
      if (&other != s && (other.ip == changed->ip || other.mac == changed->mac)) {
        return done("error address or MAC already played");
      }
    }
    *s = *changed;
    return done();
  }
  if (command == "trap" || command == "traps") {
    int count = 1;
    if (command == "traps") {
      const auto n = Number<int>(NextWord(rest));
      if (!n || *n < 0 || *n > kMaxTrapStorm) return done("error count must be 0 to " + std::to_string(kMaxTrapStorm));
      count = *n;
    }
    SimSwitch* s = switch_arg();
    if (!s) return done("error unknown switch");
    const auto trap = TrapFrom(*s, rest);
    if (!trap) return done("error no trap receiver");
    // In a storm, "%n" in the text becomes each trap's number, 1 to N, so that every trap of it
    // can be told apart at the receiver.
    const bool numbered = command == "traps" && rest.find("%n") != std::string_view::npos;
    for (int i = 1; i <= count; ++i) {
      out.sends.push_back(numbered ? *TrapFrom(*s, NumberTrapText(rest, i)) : *trap);
    }
    return done();
  }
  if (command == "raw") {
    SimSwitch* s = switch_arg();
    if (!s) return done("error unknown switch");
    const std::string_view hex = Trim(rest);
    std::vector<std::uint8_t> bytes(hex.size() / 2);
    if (hex.size() % 2 != 0 || bytes.size() > kMaxUdpPayload || HexTextToBytes(hex, bytes) != 0) {
      return done("error bytes must be pairs of hexadecimal digits, at most 65507 bytes");
    }
    const Endpoint to = TrapDestination(*s);
    if (to.address == 0 || to.port == 0) return done("error no trap receiver");
    out.sends.push_back({s->ip, to, std::move(bytes)});
    return done();
  }
  return done("error unknown command " + std::string(command));
}

}  // namespace sd::sim
