#pragma once
// The switch simulator's behaviour without sockets: a set of simulated switches, the answers
// they give to the manager's datagrams, the traps they send and the control commands that
// steer them. The program around it (main.cpp) only moves bytes.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "net/udp_socket.h"
#include "protocol/packet_header.h"

namespace sd::sim {

// The reply a switch gives to CMD_POLL; the manager files any unlisted code as device information.
inline constexpr std::uint16_t CMD_POLL_REPLY = 6;

struct SimSwitch {
  std::uint32_t ip = 0;
  std::array<std::uint8_t, 6> mac{};
  std::uint16_t version_major = 2;
  std::uint16_t version_minor = 1;
  std::uint16_t interface_version = 2;
  std::string product_name = "SIM-8P";
  std::string system_name;
  std::string location = "lab";
  std::uint32_t subnet_mask = 0xFFFFFF00;
  std::uint32_t gateway = 0;
  std::uint32_t trap_ip = 0;
  std::optional<std::uint16_t> dhcp = 0;              // 0 off, 1 on; nothing: not reported
  std::optional<std::int32_t> group_interval;          // nothing: not reported
  std::string password = "admin";
  std::optional<std::array<std::uint32_t, 4>> field_mask;  // sent in replies when present
  bool unconfigurable = false;
  bool silent = false;
  // The address the simulated DHCP server hands out when the switch turns DHCP on or renews its
  // lease; nothing: the switch keeps the address it has.
  std::optional<std::uint32_t> lease;
  // Answers a DHCP refresh with RESULT_DHCP_REFRESH_FAIL (no server answered).
  bool dhcp_refresh_fails = false;

  // What the switch lets a set request change: its reported mask, or the one the manager
  // assumes for its interface version.
  std::array<std::uint32_t, 4> EffectiveFieldMask() const;
};

// "ip=198.18.0.10,mac=00:1a:2b:3c:4d:5e,iface=3,name=core-1,..." (keys in Describe below).
// Applied over `base`, so the same text can change an existing switch. Nothing, with a reason in
// `error`, when a key or value is not understood. A new switch needs ip and mac.
std::optional<SimSwitch> ParseSwitchDefinition(std::string_view definition, const SimSwitch& base,
                                         std::string* error = nullptr);
std::optional<SimSwitch> ParseNewSwitch(std::string_view definition, std::string* error = nullptr);
// The switch in the same syntax, every key written out.
std::string Describe(const SimSwitch& s);

// A datagram to send: from which local address, to where.
struct Outgoing {
  std::uint32_t source = 0;
  Endpoint to;
  std::vector<std::uint8_t> bytes;
};

// A set request in its DHCP-refresh form: version 2.001.003 in the header.
bool IsDhcpRefresh(const PacketHeader& header);

// The device information TLVs a switch reports about itself.
std::vector<std::uint8_t> DeviceTlvs(const SimSwitch& s);
// A reply datagram: header echoing the request's manager_id (and sequence, when given), then the
// device TLVs unless `header_only`.
std::vector<std::uint8_t> BuildReply(const SimSwitch& s, std::uint16_t command, std::uint16_t result,
                                     std::uint32_t manager_id, std::uint16_t sequence, bool header_only);
// A CMD_TRAP datagram from the switch.
std::vector<std::uint8_t> BuildTrap(const SimSwitch& s, std::uint32_t manager_id, std::string_view text);

struct SimulatorOptions {
  std::uint32_t manager_id = 0;     // stamped on traps
  std::uint32_t manager_address = 0;  // where traps go when a switch has no trap receiver
  std::uint16_t manager_port = 0;   // the manager's unicast port, base + 1
  std::uint32_t group = 0;          // the multicast group requests may be sent to
};

struct ControlOutcome {
  std::vector<std::string> lines;  // the answer; the last line is "ok" or "error ..."
  std::vector<Outgoing> sends;
  bool quit = false;
};

class Simulator {
 public:
  explicit Simulator(SimulatorOptions options) : options_(options) {}

  // Adds a switch; false when its address or MAC is already played.
  bool Add(const SimSwitch& s);
  const std::vector<SimSwitch>& Switches() const { return switches_; }
  SimSwitch* FindByIp(std::uint32_t ip);

  // The answers to one datagram that reached the agent port. `destination` is the address it
  // was sent to: the broadcast address or the group reach every switch, a switch's own address
  // only that switch.
  std::vector<Outgoing> HandleDatagram(std::span<const std::uint8_t> datagram, Endpoint source,
                                       std::uint32_t destination);

  // One control line, such as "silence 198.18.0.12" or "trap 198.18.0.11 Port 1 link up".
  ControlOutcome Control(std::string_view line);

  // An IGMP packet seen on the switch side (IP header included); version 1 reports with a good
  // checksum are counted per group, as a snooping switch would learn members.
  void NoteIgmpPacket(std::span<const std::uint8_t> ip_packet);
  const std::map<std::uint32_t, int>& IgmpReports() const { return igmp_reports_; }

 private:
  std::optional<Outgoing> Answer(SimSwitch& s, const struct RequestView& request, Endpoint source);
  std::optional<Outgoing> TrapFrom(const SimSwitch& s, std::string_view text) const;
  Endpoint TrapDestination(const SimSwitch& s) const;

  SimulatorOptions options_;
  std::vector<SimSwitch> switches_;
  std::map<std::uint32_t, int> igmp_reports_;
};

}  // namespace sd::sim
