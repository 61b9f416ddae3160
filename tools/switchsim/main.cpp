// SPDX-License-Identifier: GPL-3.0-or-later
// switchsim: plays any number of switches of the management protocol on one UDP port, for the
// lab and the end-to-end tests. Control lines come on standard input (and, with --control, on a
// UNIX socket); every command is answered by "ok" or "error ...", after any data lines.
#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "common/messages.h"
#include "net/udp_socket.h"
#include "protocol/ipv4.h"
#include "protocol/payload_builders.h"
#include "settings/settings_file.h"
#include "tools/switchsim/simulator.h"

namespace {

using sd::sim::Simulator;

constexpr const char* kUsage =
    "usage: switchsim [options]\n"
    "  --switch DEF        one switch: ip=A,mac=M[,iface=N,major=N,minor=N,product=T,name=T,\n"
    "                      location=T,netmask=A,gateway=A,trap=A,dhcp=on|off|none,\n"
    "                      interval=N|none,password=T,fields=HEX|H:H:H:H|none,unconfigurable,silent,\n"
    "                      lease=A|none,refresh=ok|fail,reboot=MS,\n"
    "                      comeback=normal|unconfigurable|never,tftperror=BLOCK|none,\n"
    "                      tftperrortext=T,image=PATH]\n"
    "                      lease: the address DHCP hands out; refresh=fail: DHCP refreshes fail;\n"
    "                      ip=0.0.0.0: a switch without a lease, which answers from 0.0.0.0 to\n"
    "                      255.255.255.255 (sent as a raw frame: needs CAP_NET_RAW)\n"
    "  --switches FILE     one DEF per line ('#' starts a comment)\n"
    "  --agent-port N      port to answer on (default: base port + 2 from define.ecf)\n"
    "  --manager-id HEX    manager id stamped on traps (default: from define.ecf)\n"
    "  --manager-port N    manager's unicast port for traps (default: base port + 1)\n"
    "  --manager A         trap receiver for switches that have none\n"
    "  --group A           multicast group (default: from define.ecf)\n"
    "  --no-join           do not join the group\n"
    "  --watch-igmp        count IGMP v1 membership reports (needs privilege)\n"
    "  --control PATH      also read control lines from a UNIX socket at PATH\n"
    "  --tftp-port N       port of the switches' TFTP server (default 69; 0: none). Answers\n"
    "                      leave from another port, as the switches' do\n"
    "define.ecf is read from the settings folder ($SWITCHDESK_CONFIG_DIR, else as\n"
    "switchdesk-cli --version names it) when a value is not given.\n"
    "       switchsim --send PATH LINE...\n"
    "                      send control lines to a running simulator's control socket and print\n"
    "                      its answers; exit status 1 when one was an error\n"
    "Control: ping | list | add DEF | set IP DEF | silence IP|all | resume IP|all |\n"
    "         trap IP TEXT | traps N IP TEXT | raw IP HEX | image IP | igmp | polls | quit\n"
    "         polls lists the polls each switch received\n"
    "         traps sends N traps back to back; a %n in its TEXT becomes each trap's number 1..N\n";

class StderrMessages : public sd::IMessages {
 public:
  void ShowMessage(std::string_view text, std::string_view title, sd::MessageIcon) override {
    std::fprintf(stderr, "switchsim: %.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
                 static_cast<int>(text.size()), text.data());
  }
};

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

// A source of control lines: standard input or one connection of the control socket.
struct ControlPeer {
  int in = -1;
  int out = -1;
  std::string pending;
};

struct Options {
  std::vector<std::string> definitions;
  std::optional<std::uint16_t> agent_port, manager_port;
  std::optional<std::uint32_t> manager_id, group;
  std::uint32_t manager = 0;
  bool join = true;
  bool watch_igmp = false;
  std::string control_path;
  std::optional<std::uint16_t> tftp_port;  // nothing: 69, when it can be had
};

bool ReadDefinitionFile(const std::string& path, std::vector<std::string>& definitions) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    const auto start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    definitions.push_back(line.substr(start));
  }
  return true;
}

std::optional<Options> ParseArguments(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= argc) return std::nullopt;
      return std::string(argv[++i]);
    };
    auto port = [&]() -> std::optional<std::uint16_t> {
      const auto v = value();
      if (!v) return std::nullopt;
      const long n = std::strtol(v->c_str(), nullptr, 10);
      if (n <= 0 || n > 65535) return std::nullopt;
      return static_cast<std::uint16_t>(n);
    };
    auto address = [&]() -> std::optional<std::uint32_t> {
      const auto v = value();
      return v ? sd::TextToIpv4(*v) : std::nullopt;
    };
    if (arg == "--switch") {
      const auto v = value();
      if (!v) return std::nullopt;
      o.definitions.push_back(*v);
    } else if (arg == "--switches") {
      const auto v = value();
      if (!v || !ReadDefinitionFile(*v, o.definitions)) return std::nullopt;
    } else if (arg == "--agent-port") {
      if (!(o.agent_port = port())) return std::nullopt;
    } else if (arg == "--manager-port") {
      if (!(o.manager_port = port())) return std::nullopt;
    } else if (arg == "--manager-id") {
      const auto v = value();
      std::uint8_t id[4] = {};
      if (!v || v->size() != 8 || sd::HexTextToBytes(*v, id) != 0) return std::nullopt;
      o.manager_id = (std::uint32_t{id[0]} << 24) | (std::uint32_t{id[1]} << 16) | (std::uint32_t{id[2]} << 8) | id[3];
    } else if (arg == "--manager") {
      const auto a = address();
      if (!a) return std::nullopt;
      o.manager = *a;
    } else if (arg == "--group") {
      if (!(o.group = address())) return std::nullopt;
    } else if (arg == "--no-join") {
      o.join = false;
    } else if (arg == "--watch-igmp") {
      o.watch_igmp = true;
    } else if (arg == "--tftp-port") {
      const auto v = value();
      if (!v) return std::nullopt;
      const long n = std::strtol(v->c_str(), nullptr, 10);
      if (n < 0 || n > 65535 || v->find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
      o.tftp_port = static_cast<std::uint16_t>(n);
    } else if (arg == "--control") {
      const auto v = value();
      if (!v) return std::nullopt;
      o.control_path = *v;
    } else {
      return std::nullopt;
    }
  }
  return o;
}

// Fills what the options leave open from define.ecf.
bool CompleteFromSettings(Options& o) {
  if (o.agent_port && o.manager_port && o.manager_id && (o.group || !o.join)) return true;
  StderrMessages messages;
  if (sd::LoadSettings(messages) != 0) return false;
  if (!o.agent_port) o.agent_port = sd::Settings.agent_port;
  if (!o.manager_port) o.manager_port = sd::Settings.unicast_port;
  if (!o.manager_id) o.manager_id = sd::Settings.manager_id;
  if (!o.group) o.group = sd::TextToIpv4(sd::Settings.multicast_group);
  return o.group.has_value() || !o.join;
}

int OpenControlSocket(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  if (path.size() >= sizeof a.sun_path) return ::close(fd), -1;
  std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
  ::unlink(path.c_str());
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 8) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The switches' TFTP server: requests and data arrive on the TFTP port at a switch's address;
// answers leave from a second socket on a port of the system's choosing, from that address.
struct TftpSockets {
  std::optional<sd::UdpSocket> server;
  std::optional<sd::UdpSocket> reply;
};

// Opens the TFTP sockets. An explicit port must be had; the default 69 is given up with a
// warning when it cannot (another server, or no privilege).
bool OpenTftpSockets(const Options& o, TftpSockets& t) {
  const std::uint16_t port = o.tftp_port.value_or(69);
  if (port == 0) return true;
  auto server = sd::UdpSocket::Open();
  auto reply = sd::UdpSocket::Open();
  const bool ok = server && reply && server->EnablePacketInfo() && server->SetReceiveBufferSize(1 << 20) &&
                  server->Bind(port) && reply->EnablePacketInfo() && reply->Bind(0);
  if (!ok) {
    std::fprintf(stderr, "switchsim: cannot open the TFTP port %u: %s\n", port, std::strerror(errno));
    return !o.tftp_port.has_value();
  }
  server->SetNonBlocking(false);
  reply->SetNonBlocking(false);
  t.server = std::move(server);
  t.reply = std::move(reply);
  return true;
}

// A switch on DHCP without a lease has no address to answer from: it answers from 0.0.0.0 to
// the limited broadcast address, the one destination a receiver takes such a datagram for. The
// system fills in a zero source address of every IP socket, so the frame is built here and sent
// on the first interface that is up and not the loopback (the switch side of the lab's link).
class NoAddressSender {
 public:
  explicit NoAddressSender(std::uint16_t source_port) : source_port_(source_port) {}
  ~NoAddressSender() {
    if (fd_ >= 0) ::close(fd_);
  }
  NoAddressSender(const NoAddressSender&) = delete;
  NoAddressSender& operator=(const NoAddressSender&) = delete;

  bool Send(std::span<const std::uint8_t> payload, std::uint16_t to_port) {
    if (fd_ < 0 && !Open()) return false;
    std::vector<std::uint8_t> packet(28 + payload.size());
    const auto put16 = [&](std::size_t at, std::uint32_t v) {
      packet[at] = static_cast<std::uint8_t>(v >> 8);
      packet[at + 1] = static_cast<std::uint8_t>(v);
    };
    packet[0] = 0x45;  // IPv4, a 20-byte header
    put16(2, static_cast<std::uint32_t>(packet.size()));
    packet[8] = 64;  // time to live
    packet[9] = IPPROTO_UDP;
    for (std::size_t i = 16; i < 20; ++i) packet[i] = 0xFF;  // to 255.255.255.255, from 0.0.0.0
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 20; i += 2) sum += static_cast<std::uint32_t>(packet[i] << 8 | packet[i + 1]);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    put16(10, ~sum & 0xFFFF);
    put16(20, source_port_);
    put16(22, to_port);
    put16(24, static_cast<std::uint32_t>(8 + payload.size()));  // no UDP checksum (0)
    std::copy(payload.begin(), payload.end(), packet.begin() + 28);
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_protocol = htons(ETH_P_IP);
    to.sll_ifindex = ifindex_;
    to.sll_halen = 6;
    std::memset(to.sll_addr, 0xFF, 6);
    return ::sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
           static_cast<ssize_t>(packet.size());
  }

 private:
  // Raw frames go out only on an up interface that carries a lab address (198.18.0.0/15), so
  // a simulator started outside the lab's namespaces never broadcasts onto a real network.
  bool Open() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return false;
    for (const ifaddrs* a = list; a != nullptr && ifindex_ == 0; a = a->ifa_next) {
      if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) continue;
      if ((a->ifa_flags & IFF_UP) == 0 || (a->ifa_flags & IFF_LOOPBACK) != 0) continue;
      const auto address = ntohl(reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr);
      if ((address & 0xFFFE0000u) != 0xC6120000u) continue;
      ifindex_ = static_cast<int>(::if_nametoindex(a->ifa_name));
    }
    ::freeifaddrs(list);
    if (ifindex_ == 0) return false;
    fd_ = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, htons(ETH_P_IP));
    return fd_ >= 0;
  }

  std::uint16_t source_port_;
  int fd_ = -1;
  int ifindex_ = 0;
};

class Program {
 public:
  Program(Simulator& sim, sd::UdpSocket& udp, TftpSockets& tftp, std::uint16_t agent_port)
      : sim_(sim), udp_(udp), tftp_(tftp), no_address_(agent_port) {}

  void Send(const std::vector<sd::sim::Outgoing>& sends) { SendThrough(udp_, sends); }

  void OnTftpDatagram() {
    const auto r = tftp_.server->Receive(buffer_);
    if (!r) return;
    SendThrough(*tftp_.reply,
                sim_.HandleTftpDatagram(std::span(buffer_.data(), r->size), r->source, r->destination.value_or(0)));
  }

  void SendThrough(sd::UdpSocket& socket, const std::vector<sd::sim::Outgoing>& sends) {
    for (const auto& o : sends) {
      if (o.source == 0 && &socket == &udp_) {
        if (!no_address_.Send(o.bytes, o.to.port)) {
          std::fprintf(stderr, "switchsim: send from 0.0.0.0 to port %u failed: %s\n", o.to.port, std::strerror(errno));
        }
        continue;
      }
      if (!socket.SendFrom(o.bytes, o.to, o.source)) {
        std::fprintf(stderr, "switchsim: send from %s to %s:%u failed: %s\n", sd::Ipv4ToText(o.source).c_str(),
                     sd::Ipv4ToText(o.to.address).c_str(), o.to.port, std::strerror(errno));
      }
    }
  }

  void OnDatagram() {
    const auto r = udp_.Receive(buffer_);
    if (!r) return;
    Send(sim_.HandleDatagram(std::span(buffer_.data(), r->size), r->source, r->destination.value_or(0)));
  }

  // Reads what the peer sent; false when it is gone. Sets quit on "quit".
  bool OnControl(ControlPeer& peer) {
    char chunk[4096];
    const ssize_t n = ::read(peer.in, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) return true;
    if (n <= 0) return false;
    peer.pending.append(chunk, static_cast<std::size_t>(n));
    std::size_t end;
    while ((end = peer.pending.find('\n')) != std::string::npos) {
      std::string line = peer.pending.substr(0, end);
      peer.pending.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      auto outcome = sim_.Control(line);
      Send(outcome.sends);
      std::string answer;
      for (const auto& l : outcome.lines) answer += l + "\n";
      WriteAll(peer.out, answer);
      if (outcome.quit) quit = true;
    }
    return true;
  }

  bool quit = false;

 private:
  Simulator& sim_;
  sd::UdpSocket& udp_;
  TftpSockets& tftp_;
  NoAddressSender no_address_;
  std::array<std::uint8_t, sd::kMaxDatagram> buffer_{};
};

// --send: a client of the control socket, for scripts. Each line's answer ends with "ok" or an
// "error ..." line.
int SendControlLines(const std::string& path, const std::vector<std::string>& lines) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  if (fd < 0 || path.size() >= sizeof a.sun_path) {
    std::fprintf(stderr, "switchsim: no control socket at %s\n", path.c_str());
    if (fd >= 0) ::close(fd);
    return 1;
  }
  std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    std::fprintf(stderr, "switchsim: cannot connect to %s: %s\n", path.c_str(), std::strerror(errno));
    ::close(fd);
    return 1;
  }
  int status = 0;
  std::string pending;
  for (const std::string& line : lines) {
    WriteAll(fd, line + "\n");
    bool answered = false;
    while (!answered) {
      std::size_t end;
      while (!answered && (end = pending.find('\n')) != std::string::npos) {
        const std::string answer = pending.substr(0, end);
        pending.erase(0, end + 1);
        std::printf("%s\n", answer.c_str());
        if (answer.rfind("error", 0) == 0) status = 1;
        answered = answer == "ok" || answer.rfind("error", 0) == 0;
      }
      if (answered) break;
      char chunk[4096];
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        std::fprintf(stderr, "switchsim: the simulator closed the connection\n");
        ::close(fd);
        return 1;
      }
      pending.append(chunk, static_cast<std::size_t>(n));
    }
  }
  std::fflush(stdout);
  ::close(fd);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  ::signal(SIGPIPE, SIG_IGN);
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "--send") == 0) {
    return SendControlLines(argv[2], std::vector<std::string>(argv + 3, argv + argc));
  }
  auto options = ParseArguments(argc, argv);
  if (!options) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (!CompleteFromSettings(*options)) {
    std::fputs("switchsim: no settings: give --agent-port, --manager-port, --manager-id and --group\n", stderr);
    return 2;
  }

  Simulator sim({*options->manager_id, options->manager, *options->manager_port, options->group.value_or(0)});
  for (const auto& definition : options->definitions) {
    std::string error;
    const auto s = sd::sim::ParseNewSwitch(definition, &error);
    if (!s || !sim.Add(*s)) {
      std::fprintf(stderr, "switchsim: %s: %s\n", definition.c_str(), s ? "address or MAC already played" : error.c_str());
      return 2;
    }
  }

  auto udp = sd::UdpSocket::Open();
  if (!udp || !udp->SetReuseAddress(true) || !udp->EnablePacketInfo() || !udp->SetBroadcast(true) ||
      !udp->SetReceiveBufferSize(1 << 20) || !udp->Bind(*options->agent_port)) {
    std::fprintf(stderr, "switchsim: cannot open the agent port %u: %s\n", *options->agent_port, std::strerror(errno));
    return 1;
  }
  // Sends wait for room rather than fail; reads happen only when poll() says one is waiting.
  udp->SetNonBlocking(false);
  if (options->join && !udp->JoinGroup(*options->group)) {
    std::fprintf(stderr, "switchsim: cannot join %s: %s\n", sd::Ipv4ToText(*options->group).c_str(), std::strerror(errno));
    return 1;
  }
  std::optional<sd::RawIgmpSocket> igmp;
  if (options->watch_igmp) {
    igmp = sd::RawIgmpSocket::Open();
    if (!igmp || (options->group && !igmp->JoinGroup(*options->group))) {
      std::fprintf(stderr, "switchsim: cannot watch IGMP: %s\n", std::strerror(errno));
      return 1;
    }
  }
  int control_listener = -1;
  if (!options->control_path.empty()) {
    control_listener = OpenControlSocket(options->control_path);
    if (control_listener < 0) {
      std::fprintf(stderr, "switchsim: cannot listen on %s\n", options->control_path.c_str());
      return 1;
    }
  }

  TftpSockets tftp;
  if (!OpenTftpSockets(*options, tftp)) return 1;

  Program program(sim, *udp, tftp, *options->agent_port);
  std::vector<ControlPeer> peers;
  peers.push_back({STDIN_FILENO, STDOUT_FILENO, {}});
  WriteAll(STDOUT_FILENO, "ready agent_port=" + std::to_string(*options->agent_port) +
                              " switches=" + std::to_string(sim.Switches().size()) + "\n");

  std::array<std::uint8_t, sd::kMaxDatagram> igmp_buffer{};
  while (!program.quit) {
    std::vector<pollfd> fds;
    fds.push_back({udp->Fd(), POLLIN, 0});
    fds.push_back({igmp ? igmp->Fd() : -1, POLLIN, 0});
    fds.push_back({control_listener, POLLIN, 0});
    fds.push_back({tftp.server ? tftp.server->Fd() : -1, POLLIN, 0});
    for (const auto& p : peers) fds.push_back({p.in, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents & POLLIN) program.OnDatagram();
    if (tftp.server && (fds[3].revents & POLLIN)) program.OnTftpDatagram();
    if (igmp && (fds[1].revents & POLLIN)) {
      if (const auto r = igmp->Receive(igmp_buffer)) sim.NoteIgmpPacket(std::span(igmp_buffer.data(), r->size));
    }
    // Only the peers that were polled have an entry in fds; a new connection waits for the
    // next round.
    constexpr std::size_t kFirstPeer = 4;
    for (std::size_t i = fds.size() - kFirstPeer; i-- > 0;) {
      if (!(fds[kFirstPeer + i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      if (program.OnControl(peers[i])) continue;
      if (peers[i].in == STDIN_FILENO) {
        // Without a control socket the end of standard input ends the simulator.
        if (control_listener < 0) program.quit = true;
      } else {
        ::close(peers[i].in);
      }
      peers.erase(peers.begin() + static_cast<long>(i));
    }
    if (fds[2].revents & POLLIN) {
      const int client = ::accept4(control_listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) peers.push_back({client, client, {}});
    }
  }
  if (control_listener >= 0) {
    ::close(control_listener);
    ::unlink(options->control_path.c_str());
  }
  return 0;
}
