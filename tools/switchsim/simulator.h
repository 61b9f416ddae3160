// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The switch simulator's behaviour without sockets: a set of simulated switches, the answers
// they give to the manager's datagrams, the traps they send and the control commands that
// steer them. The program around it (main.cpp) only moves bytes.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
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

  // The firmware upgrade. After the last block of an image the switch reboots: it answers
  // nothing for reboot_ms, and then comes back as it was, unconfigurable, or never.
  enum class Comeback { kNormal, kUnconfigurable, kNever };
  int reboot_ms = 3000;
  Comeback comeback = Comeback::kNormal;
  // Answers the write request (0) or this DATA block with a TFTP ERROR carrying the text.
  std::optional<std::uint16_t> tftp_error_block;
  std::string tftp_error_text = "Flash write error";
  // Where a received image is written (through a temporary name, so it appears only whole).
  std::string image_path;

  // What the switch lets a set request change: its reported mask, or the one the manager
  // assumes for its interface version.
  std::array<std::uint32_t, 4> EffectiveFieldMask() const;
};

// "ip=198.18.0.10,mac=00:1a:2b:3c:4d:5e,iface=3,name=core-1,..." (keys in Describe below; the
// upgrade's: reboot=MS, comeback=normal|unconfigurable|never, tftperror=N|none,
// tftperrortext=TEXT, image=PATH).
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
// The text of trap `number` of a storm: every "%n" in `text` replaced by the number.
std::string NumberTrapText(std::string_view text, int number);

// TFTP (RFC 1350) as the switches speak it: everything arrives on port 69, answers leave from
// another port.
inline constexpr std::uint16_t kSimTftpWrq = 2;
inline constexpr std::uint16_t kSimTftpData = 3;
inline constexpr std::uint16_t kSimTftpAck = 4;
inline constexpr std::uint16_t kSimTftpError = 5;
inline constexpr std::size_t kSimTftpBlock = 512;
// The most a switch takes; a larger image is refused with "disk full".
inline constexpr std::size_t kSimMaxImage = 64u << 20;

// The hash the "image" control command reports (FNV-1a, 64 bits).
std::uint64_t Fnv1a64(std::span<const std::uint8_t> bytes);

// The image a switch received, whole or so far.
struct ReceivedImage {
  std::string file_name;  // as the write request named it
  std::vector<std::uint8_t> bytes;
  bool complete = false;
};

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

  // The answers to one datagram that reached the TFTP port at `destination` (a switch's own
  // address). They leave from the TFTP reply port, from the switch's address.
  std::vector<Outgoing> HandleTftpDatagram(std::span<const std::uint8_t> datagram, Endpoint source,
                                           std::uint32_t destination);
  // What the switch at `ip` received by TFTP; nothing before a write request reached it.
  const ReceivedImage* Image(std::uint32_t ip) const;
  // True while the switch at `ip` reboots after an upgrade (answering nothing).
  bool Rebooting(std::uint32_t ip);

  // The time the reboots are measured with; tests give their own.
  using Clock = std::chrono::steady_clock;
  void SetClock(std::function<Clock::time_point()> clock) { clock_ = std::move(clock); }

  // One control line, such as "silence 198.18.0.12" or "trap 198.18.0.11 Port 1 link up".
  ControlOutcome Control(std::string_view line);

  // An IGMP packet seen on the switch side (IP header included); version 1 reports with a good
  // checksum are counted per group, as a snooping switch would learn members.
  void NoteIgmpPacket(std::span<const std::uint8_t> ip_packet);
  const std::map<std::uint32_t, int>& IgmpReports() const { return igmp_reports_; }
  // The polls each switch received (silent or not), by its address.
  const std::map<std::uint32_t, int>& Polls() const { return polls_; }

 private:
  std::optional<Outgoing> Answer(SimSwitch& s, const struct RequestView& request, Endpoint source);
  std::optional<Outgoing> TrapFrom(const SimSwitch& s, std::string_view text) const;
  Endpoint TrapDestination(const SimSwitch& s) const;

  // One write transfer in progress (or just finished, re-acknowledging its last block).
  struct TftpSession {
    Endpoint client;
    std::uint16_t next_block = 1;
    bool complete = false;
  };
  std::vector<std::uint8_t> TftpErrorPacket(std::uint16_t code, std::string_view text) const;
  void CompleteImage(SimSwitch& s);

  SimulatorOptions options_;
  std::vector<SimSwitch> switches_;
  std::map<std::uint32_t, int> igmp_reports_;
  std::map<std::uint32_t, int> polls_;
  std::function<Clock::time_point()> clock_ = [] { return Clock::now(); };
  std::map<std::uint32_t, bool> upgrade_armed_;  // by switch address: the trigger was accepted
  std::map<std::uint32_t, TftpSession> tftp_sessions_;
  std::map<std::uint32_t, ReceivedImage> images_;
  std::map<std::uint32_t, Clock::time_point> rebooting_until_;
};

}  // namespace sd::sim
