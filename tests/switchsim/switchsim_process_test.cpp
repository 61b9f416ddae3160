// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator program on loopback addresses only (127.0.0.0/8): no group is joined, nothing
// leaves the host's loopback interface.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <array>
#include <thread>

#include "net/udp_socket.h"
#include "protocol/device_record.h"
#include "protocol/packet_header.h"
#include "protocol/trap_payload.h"
#include "settings/settings_file.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

using Buffer = std::array<std::uint8_t, kMaxDatagram>;

std::uint16_t FreeLoopbackPort() {
  auto s = UdpSocket::Open();
  if (!s || !s->Bind(0, kAnyAddress)) return 0;
  return s->LocalEndpoint()->port;
}

std::optional<ReceivedDatagram> ReceiveWithin(UdpSocket& s, Buffer& buffer, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (std::chrono::steady_clock::now() < deadline) {
    if (auto r = s.Receive(buffer)) return r;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return std::nullopt;
}

class SwitchsimProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings.manager_id = 0x01945AE0;
    auto s = UdpSocket::Open();
    ASSERT_TRUE(s && s->Bind(0, kLoopbackAddress));
    manager = std::move(*s);
    agent_port = FreeLoopbackPort();
    ASSERT_NE(agent_port, 0);
    ASSERT_TRUE(sim.Start({SWITCHSIM_PATH, "--agent-port", std::to_string(agent_port), "--manager-port",
                           std::to_string(manager->LocalEndpoint()->port), "--manager-id", "01945AE0",
                           "--no-join", "--manager", "127.0.0.1", "--tftp-port", "0",
                           "--switch", "ip=127.0.0.11,mac=02:00:00:00:00:0b,name=first",
                           "--switch", "ip=127.0.0.12,mac=02:00:00:00:00:0c,iface=1,name=second"}));
    const auto ready = sim.ReadLine();
    ASSERT_TRUE(ready);
    EXPECT_EQ(*ready, "ready agent_port=" + std::to_string(agent_port) + " switches=2");
  }
  void TearDown() override { ResetSettings(); }

  // Polls a switch; the reply's source and decoded system name, or nothing.
  std::optional<std::pair<Endpoint, std::string>> Poll(std::uint32_t ip, std::chrono::milliseconds wait) {
    std::uint8_t request[kHeaderSize];
    BuildRequestHeader(request, CMD_POLL);
    if (!manager->SendTo(request, {ip, agent_port})) return std::nullopt;
    Buffer buffer{};
    const auto r = ReceiveWithin(*manager, buffer, wait);
    if (!r) return std::nullopt;
    const auto header = ParseHeader(std::span(buffer.data(), r->size));
    EXPECT_TRUE(header);
    if (!header) return std::nullopt;
    EXPECT_EQ(header->command, 6);
    DeviceRecord record = ZeroRecord();
    record.interface_version = header->interface_version;
    DecodeDeviceTlvs(std::span(buffer.data(), r->size).subspan(kHeaderSize), record);
    return std::make_pair(r->source, std::string(GetText(record.system_name)));
  }

  std::optional<UdpSocket> manager;
  std::uint16_t agent_port = 0;
  test::ChildProcess sim;
};

TEST_F(SwitchsimProcessTest, AnswersEachSwitchFromItsOwnAddress) {
  const auto first = Poll(0x7F00000B, std::chrono::seconds(5));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->first, (Endpoint{0x7F00000B, agent_port}));
  EXPECT_EQ(first->second, "first");
  const auto second = Poll(0x7F00000C, std::chrono::seconds(5));
  ASSERT_TRUE(second);
  EXPECT_EQ(second->first, (Endpoint{0x7F00000C, agent_port}));
  EXPECT_EQ(second->second, "second");
  EXPECT_EQ(sim.Command("quit"), (std::vector<std::string>{"ok"}));
  EXPECT_EQ(sim.Stop(), 0);
}

TEST_F(SwitchsimProcessTest, ASilencedSwitchStopsAnsweringAndComesBack) {
  EXPECT_EQ(sim.Command("silence 127.0.0.11"), (std::vector<std::string>{"ok"}));
  EXPECT_FALSE(Poll(0x7F00000B, std::chrono::milliseconds(300)));
  EXPECT_EQ(sim.Command("resume 127.0.0.11"), (std::vector<std::string>{"ok"}));
  EXPECT_TRUE(Poll(0x7F00000B, std::chrono::seconds(5)));
}

TEST_F(SwitchsimProcessTest, SendsTrapsToTheManagersUnicastPort) {
  EXPECT_EQ(sim.Command("traps 3 127.0.0.12 Fan failure"), (std::vector<std::string>{"ok"}));
  for (int i = 0; i < 3; ++i) {
    Buffer buffer{};
    const auto r = ReceiveWithin(*manager, buffer, std::chrono::seconds(5));
    ASSERT_TRUE(r) << i;
    EXPECT_EQ(r->source, (Endpoint{0x7F00000C, agent_port}));
    const auto datagram = std::span(buffer.data(), r->size);
    EXPECT_EQ(ParseHeader(datagram)->command, CMD_TRAP);
    const auto trap = ParseTrapPayload(datagram.subspan(kHeaderSize));
    EXPECT_EQ(trap.address, 0x7F00000Cu);
    EXPECT_EQ(trap.text, "Fan failure");
  }
}

TEST_F(SwitchsimProcessTest, EndsWithItsInput) { EXPECT_EQ(sim.Stop(), 0); }

// A control connection on a UNIX socket: sends a line, returns everything read up to "ok".
std::string ControlOverSocket(const std::string& path, const std::string& line) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
  std::string answer;
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::write(fd, (line + "\n").data(), line.size() + 1) == static_cast<ssize_t>(line.size() + 1)) {
    char chunk[4096];
    ssize_t n;
    while (answer.find("ok\n") == std::string::npos && (n = ::read(fd, chunk, sizeof chunk)) > 0) {
      answer.append(chunk, static_cast<std::size_t>(n));
    }
  }
  if (fd >= 0) ::close(fd);
  return answer;
}

TEST(SwitchsimControlSocketTest, TakesCommandsOnTheSocketAndOutlivesItsInput) {
  test::TempConfigDir dir;
  const std::string path = dir.File("sim.sock");
  test::ChildProcess sim;
  ASSERT_TRUE(sim.Start({SWITCHSIM_PATH, "--agent-port", std::to_string(FreeLoopbackPort()), "--manager-port", "9",
                         "--manager-id", "01945AE0", "--no-join", "--tftp-port", "0", "--control", path,
                         "--switch", "ip=127.0.0.11,mac=02:00:00:00:00:0b"}));
  ASSERT_TRUE(sim.ReadLine());
  sim.CloseInput();  // with a control socket, the end of the input does not end the simulator
  EXPECT_EQ(ControlOverSocket(path, "silence 127.0.0.11"), "ok\n");
  EXPECT_NE(ControlOverSocket(path, "list").find("ip=127.0.0.11,mac=02:00:00:00:00:0b"), std::string::npos);
  EXPECT_NE(ControlOverSocket(path, "list").find("silent=1"), std::string::npos);

  // The same from a script: switchsim --send prints each answer; an error answer fails it.
  struct Case {
    std::vector<std::string> lines;
    std::vector<std::string> printed;
    int status;
  };
  const Case cases[] = {
      {{"resume 127.0.0.11", "ping"}, {"ok", "ok"}, 0},
      {{"silence 127.0.0.99", "ping"}, {"error unknown switch", "ok"}, 1},
  };
  for (const Case& c : cases) {
    test::ChildProcess client;
    std::vector<std::string> argv = {SWITCHSIM_PATH, "--send", path};
    argv.insert(argv.end(), c.lines.begin(), c.lines.end());
    ASSERT_TRUE(client.Start(argv));
    std::vector<std::string> printed;
    while (auto line = client.ReadLine(std::chrono::seconds(5))) printed.push_back(*line);
    EXPECT_EQ(printed, c.printed) << c.lines[0];
    EXPECT_EQ(client.Stop(), c.status) << c.lines[0];
  }
  EXPECT_EQ(ControlOverSocket(path, "list").find("silent=1"), std::string::npos);
  EXPECT_EQ(ControlOverSocket(path, "quit"), "ok\n");
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(SwitchsimStartTest, RefusesToStartWithoutSettingsOrWithBadOptions) {
  test::TempConfigDir empty;  // no define.ecf here
  for (const std::vector<std::string>& args : {
           std::vector<std::string>{SWITCHSIM_PATH, "--no-join"},
           std::vector<std::string>{SWITCHSIM_PATH, "--agent-port", "70000"},
           std::vector<std::string>{SWITCHSIM_PATH, "--agent-port", "1", "--manager-port", "2", "--manager-id",
                                    "00000001", "--no-join", "--switch", "ip=127.0.0.1"},
       }) {
    test::ChildProcess sim;
    ASSERT_TRUE(sim.Start(args));
    EXPECT_EQ(sim.Stop(), 2) << args.back();
  }
}

}  // namespace
}  // namespace sd
