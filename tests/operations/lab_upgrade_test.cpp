// SPDX-License-Identifier: GPL-3.0-or-later
// The firmware upgrade end to end in the lab (tools/lab/lab.sh run): the manager core with its
// real sockets in the manager namespace, the simulator in the switch namespace, and random loss
// made with nftables inside the lab's namespaces. Every packet stays on the lab's veth pair.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <regex>
#include <sstream>
#include <thread>

#include "app/network_engine.h"
#include "net/event_loop.h"
#include "operations/firmware_upgrade.h"
#include "operations/manager_subnet.h"
#include "operations/reboot_watch.h"
#include "protocol/operation_context.h"
#include "support/firmware_fakes.h"
#include "support/lab.h"
#include "support/main_dialog.h"
#include "support/temp_dir.h"
#include "tools/switchsim/simulator.h"

namespace sd {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using test::ShownMessage;

const ShownMessage kSuccess{"Firmware upgrade successful.", "Information", MessageIcon::Information};
const ShownMessage kFailure{"Firmware upgrade failed.", "Information", MessageIcon::Warning};

struct NoIndicator : ITrapIndicator {
  void ShowTrapArrived(bool) override {}
};

std::vector<std::uint8_t> RandomImage(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

// Runs a shell command; its exit status.
int Shell(const std::string& command) { return std::system(command.c_str()); }

// Drops `percent` of the TFTP datagrams at random in both directions, where they arrive, as a
// lossy link would (a drop on the way out would fail the sender's call instead): the write
// request and DATA (to port 69) in the switch namespace, the acknowledgements (to the client
// port) in the manager namespace. Removed again when the object goes.
class RandomLoss {
 public:
  explicit RandomLoss(int percent) {
    const std::string sw = std::string("ip netns exec ") + std::getenv("LAB_SWITCH_NS") + " ";
    const std::string table = "nft add table inet sdloss && nft add chain inet sdloss in "
                              "'{ type filter hook input priority 0; }' && nft add rule inet sdloss in ";
    const std::string rule = " numgen random mod 100 '<' " + std::to_string(percent) + " counter drop";
    ok_ = Shell(table + "udp dport 64517" + rule) == 0 &&
          Shell(sw + "sh -c \"" + table + "udp dport 69" + rule + "\"") == 0;
  }
  ~RandomLoss() {
    Shell("nft delete table inet sdloss 2>/dev/null");
    Shell(std::string("ip netns exec ") + std::getenv("LAB_SWITCH_NS") + " nft delete table inet sdloss 2>/dev/null");
  }
  bool Ok() const { return ok_; }
  // The packets the two rules dropped so far.
  static long Dropped() {
    long total = 0;
    for (const std::string& prefix : {std::string(), std::string("ip netns exec ") + std::getenv("LAB_SWITCH_NS") + " "}) {
      FILE* p = ::popen((prefix + "nft list table inet sdloss").c_str(), "r");
      if (p == nullptr) continue;
      char line[512];
      while (std::fgets(line, sizeof line, p) != nullptr) {
        if (const char* c = std::strstr(line, "counter packets ")) total += std::atol(c + 16);
      }
      ::pclose(p);
    }
    return total;
  }

 private:
  bool ok_ = false;
};

// tshark capturing UDP on the switch side of the lab's veth pair into a file, ended by SIGINT
// so that it writes out everything it captured.
class Capture {
 public:
  explicit Capture(const std::string& path) : path_(path) {
    const std::string ns = std::getenv("LAB_SWITCH_NS");
    const std::string interface = std::string("sd") + std::getenv("LAB_NAME") + "s";
    pid_ = ::fork();
    if (pid_ == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, STDOUT_FILENO);
      ::dup2(null, STDERR_FILENO);
      ::execlp("ip", "ip", "netns", "exec", ns.c_str(), "tshark", "-q", "-F", "pcap", "-i", interface.c_str(), "-f",
               "udp", "-w", path.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  ~Capture() { Stop(); }
  // True once tshark has written the file's header, that is, captures.
  bool WaitStarted() {
    for (int i = 0; i < 200 && pid_ > 0; ++i) {
      struct stat st {};
      if (::stat(path_.c_str(), &st) == 0 && st.st_size >= 24) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  void Stop() {
    if (pid_ <= 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the last packets reach the file
    ::kill(pid_, SIGINT);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  std::string path_;
  pid_t pid_ = -1;
};

// The lines a command prints.
std::vector<std::string> Lines(const std::string& command) {
  std::vector<std::string> lines;
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return lines;
  char line[4096];
  while (std::fgets(line, sizeof line, p) != nullptr) {
    std::string l(line);
    while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
    lines.push_back(l);
  }
  ::pclose(p);
  return lines;
}

class LabUpgradeTest : public ::testing::Test, protected test::MainDialogFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(test::RequireLab());
    if (IsSkipped()) return;
    test::ApplyLabSettings();
    ResetOperationContext();
    set_sequence = 0;
  }
  void TearDown() override {
    upgrade.reset();
    loop.UnwatchAll();
    engine.reset();
    sim.Stop();
  }

  // The simulator with one switch at 198.18.0.10 that keeps what it receives in the test's
  // folder; the manager core; a discovery that finds the switch.
  void Start(const std::string& extra_definition = "") {
    ASSERT_TRUE(test::StartLabSimulator(
        sim, {"ip=198.18.0.10,mac=02:00:00:00:00:10,password=admin,reboot=2000,image=" + dir.File("received.bin") +
              extra_definition}));
    engine = std::make_unique<NetworkEngine>(dlg.Lists(), messages, indicator, loop, traps);
    ASSERT_TRUE(engine->CreateSocketSet());
    for (const auto& w : engine->SocketWatches()) {
      loop.WatchReadable(w.fd, [this, s = w.socket] { engine->ReceiveDatagram(*s); });
    }
    network = std::make_unique<SocketSetUpgradeNetwork>(engine->Sockets());
    reboot_seen = std::make_unique<RebootSeenOf<ReplyDispatcher>>(engine->Dispatcher());
    engine->OnDiscover();
    ASSERT_TRUE(loop.RunUntil([&] { return dlg.DiscoveryTable().Count() == 1; }, seconds(5)));
    SystemInterfaceAddresses addresses;
    ASSERT_EQ(CheckManagerSubnet(dlg.DiscoveryTable(), 0, messages, addresses), 1);
    ASSERT_TRUE(messages.shown.empty());
  }

  // The dialog on the discovered switch, and the main window's reboot watch it starts.
  void OpenDialog(FirmwareUpgradeSettings settings = {}, RebootWatchSettings watch_settings = {}) {
    upgrade.reset();
    view = test::RecordingUpgradeView();
    dialog_messages.shown.clear();
    watch = std::make_unique<RebootWatch>(*network, *reboot_seen, [this] { dlg.ClearDiscoveryList(); }, messages,
                                          watch_timers, watch_settings);
    view.on_start_reboot_watch = [this] { watch->WatchReboot(); };
    upgrade = std::make_unique<CFirmware_Upgrade>(
        FirmwareUpgradeWiring{dlg.DiscoveryTable(), 0, *network, transport, dialog_timers, dialog_messages,
                             file_dialogs, view},
        settings);
    upgrade->OnInitDialog();
  }

  std::vector<std::uint8_t> WriteImage(std::size_t size, unsigned seed) {
    auto image = RandomImage(size, seed);
    dir.Write("firmware.hex", image);
    return image;
  }
  // "Start" and on until the dialog ends; true when it ended within the time.
  bool StartUpload(std::chrono::milliseconds limit) {
    upgrade->OnStart("admin", dir.File("firmware.hex"));
    return loop.RunUntil([&] { return view.ended.has_value(); }, limit);
  }
  std::string ImageLine() {
    const auto answer = sim.Command("image 198.18.0.10");
    return answer.empty() ? std::string() : answer[0];
  }
  static std::string Hash(const std::vector<std::uint8_t>& bytes) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(sim::Fnv1a64(bytes)));
    return text;
  }

  test::TempConfigDir dir;
  test::ChildProcess sim;
  EventLoop loop;
  TrapStore traps;
  NoIndicator indicator;
  std::unique_ptr<NetworkEngine> engine;
  std::unique_ptr<SocketSetUpgradeNetwork> network;
  std::unique_ptr<RebootSeenOf<ReplyDispatcher>> reboot_seen;
  std::unique_ptr<RebootWatch> watch;
  UiThreadTimers watch_timers{loop, [this](int id) {
                                if (watch) watch->OnTimer(id);
                              }};
  UiThreadTimers dialog_timers{loop, [this](int id) {
                                 if (upgrade) upgrade->OnTimer(id);
                               }};
  UdpTftpTransport transport{[this](int fd) { loop.WatchReadable(fd, [this] { upgrade->OnTftpReceive(); }); },
                             [this](int fd) { loop.Unwatch(fd); }};
  test::RecordingMessages dialog_messages;
  test::RecordingUpgradeView view;
  std::unique_ptr<CFirmware_Upgrade> upgrade;
};

TEST_F(LabUpgradeTest, FromStartToFirmwareUpgradeSuccessful) {
  ASSERT_NO_FATAL_FAILURE(Start());
  OpenDialog();
  const auto image = WriteImage(1 << 20, 1);
  ASSERT_TRUE(StartUpload(seconds(60)));
  EXPECT_EQ(view.ended, DialogEnd::kCompleted);
  EXPECT_EQ(view.states.front(), "Wait....");
  EXPECT_EQ(view.states.back(), "Complete...1048576/1048576 bytes");
  EXPECT_TRUE(dialog_messages.shown.empty()) << dialog_messages.shown[0].text;
  EXPECT_EQ(dir.Read("received.bin"), image);

  // The reboot watch: 12 s, then probes until the switch answers again.
  ASSERT_TRUE(loop.RunUntil([&] { return !watch->Running(); }, seconds(40)));
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{kSuccess}));
  EXPECT_EQ(watch->Verdict(), RebootVerdict::kBack);
  EXPECT_EQ(dlg.DiscoveryTable().Count(), 1);
}

TEST_F(LabUpgradeTest, ImagesOfEverySizeArriveByteForByte) {
  ASSERT_NO_FATAL_FAILURE(Start(",reboot=0"));
  FirmwareUpgradeSettings quick;
  quick.tftp.completion_pause = milliseconds(10);
  for (const std::size_t size : {0u, 1u, 511u, 512u, 513u, 1536u, 1u << 20}) {
    OpenDialog(quick);
    view.on_start_reboot_watch = [] {};
    const auto image = WriteImage(size, static_cast<unsigned>(size));
    ASSERT_TRUE(StartUpload(seconds(30))) << size;
    EXPECT_EQ(view.ended, DialogEnd::kCompleted) << size;
    EXPECT_EQ(dir.Read("received.bin"), image) << size;
    EXPECT_EQ(ImageLine().rfind("image 198.18.0.10 size=" + std::to_string(size) + " fnv1a64=" + Hash(image) +
                                    " complete=1", 0),
              0u)
        << ImageLine();
  }
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LabUpgradeTest, AFewHundredKibibytesUnderFivePercentLossInBothDirections) {
  ASSERT_NO_FATAL_FAILURE(Start(",reboot=0"));
  RandomLoss loss(5);
  ASSERT_TRUE(loss.Ok()) << "nftables rules in the lab namespaces";
  // A lossy link costs one retransmission wait per lost datagram; with the window's 1.5 s timers
  // a few hundred blocks would take minutes, so this upload retries every 100 ms. The timeline
  // itself is the fake-clock tests' business.
  FirmwareUpgradeSettings settings;
  settings.tftp.request_interval = milliseconds(100);
  settings.tftp.data_interval = milliseconds(100);
  settings.tftp.completion_pause = milliseconds(10);
  OpenDialog(settings);
  view.on_start_reboot_watch = [] {};
  const auto image = WriteImage(320 * 1024 + 77, 5);
  ASSERT_TRUE(StartUpload(seconds(120)));
  EXPECT_EQ(view.ended, DialogEnd::kCompleted);
  EXPECT_TRUE(dialog_messages.shown.empty()) << dialog_messages.shown[0].text;
  EXPECT_EQ(dir.Read("received.bin"), image);
  EXPECT_GT(RandomLoss::Dropped(), 0) << "the link lost datagrams";
}

TEST_F(LabUpgradeTest, ThirtyTwoKibibytesUnderFivePercentLossWithTheWindowsTimers) {
  ASSERT_NO_FATAL_FAILURE(Start(",reboot=0"));
  RandomLoss loss(5);
  ASSERT_TRUE(loss.Ok());
  FirmwareUpgradeSettings settings;
  settings.tftp.completion_pause = milliseconds(10);
  OpenDialog(settings);
  view.on_start_reboot_watch = [] {};
  const auto image = WriteImage(32 * 1024, 32);
  ASSERT_TRUE(StartUpload(seconds(150)));
  EXPECT_EQ(view.ended, DialogEnd::kCompleted);
  EXPECT_EQ(dir.Read("received.bin"), image);
}

TEST_F(LabUpgradeTest, ASwitchThatDoesNotComeBackOrNeedsFirmwareIsAFailure) {
  for (const std::string comeback : {"never", "unconfigurable"}) {
    SCOPED_TRACE(comeback);
    ASSERT_NO_FATAL_FAILURE(Start(",reboot=300,comeback=" + comeback));
    FirmwareUpgradeSettings quick;
    quick.tftp.completion_pause = milliseconds(10);
    OpenDialog(quick, RebootWatchSettings{milliseconds(100), milliseconds(200), 10});
    WriteImage(3000, 3);
    ASSERT_TRUE(StartUpload(seconds(30)));
    ASSERT_TRUE(loop.RunUntil([&] { return !watch->Running(); }, seconds(30)));
    EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{kFailure}));
    EXPECT_EQ(watch->ProbeCount(), 10);
    // Next round: a new simulator and engine.
    upgrade.reset();
    loop.UnwatchAll();
    engine.reset();
    sim.Stop();
    messages.shown.clear();
    dlg.ClearDiscoveryList();
  }
}

TEST_F(LabUpgradeTest, ASwitchSwitchedOffMidTransferIsAFailureThatSaysHowFarItGot) {
  ASSERT_NO_FATAL_FAILURE(Start(",reboot=0"));
  FirmwareUpgradeSettings quick;
  quick.tftp.data_interval = milliseconds(100);
  OpenDialog(quick);
  const std::size_t size = 8u << 20;
  WriteImage(size, 11);
  upgrade->OnStart("admin", dir.File("firmware.hex"));
  auto bytes_sent = [&] {
    long sent = 0;
    return std::sscanf(view.State().c_str(), "Upgrading...%ld/", &sent) == 1 ? sent : 0L;
  };
  ASSERT_TRUE(loop.RunUntil([&] { return bytes_sent() >= (1L << 20); }, seconds(30))) << view.State();

  // Off without a word: the switch's port answers nothing more (the kernel then refuses the
  // datagrams), and the client gives up after its retransmissions.
  ASSERT_TRUE(sim.Signal(SIGKILL));
  const std::regex failed(R"(Firmware upgrade failed, translate (\d+)/8388608 bytes)");
  ASSERT_TRUE(loop.RunUntil([&] { return std::regex_match(view.State(), failed); }, seconds(20))) << view.State();
  std::smatch m;
  const std::string state = view.State();
  ASSERT_TRUE(std::regex_match(state, m, failed));
  const long reached = std::stol(m[1]);
  EXPECT_GE(reached, 1L << 20);
  EXPECT_LT(reached, static_cast<long>(size));
  EXPECT_FALSE(view.ended.has_value()) << "the dialog stays open for another try";
  EXPECT_FALSE(watch->Running()) << "no reboot watch after a failed transfer";
  EXPECT_TRUE(dialog_messages.shown.empty()) << dialog_messages.shown[0].text;
  const auto log = dir.Read("syslog.log");
  EXPECT_NE(std::string(log.begin(), log.end()).find(" 198.18.0.10 " + state), std::string::npos)
      << std::string(log.begin(), log.end());
}

TEST_F(LabUpgradeTest, AWrongPasswordAndATftpErrorEndAsTheyShould) {
  ASSERT_NO_FATAL_FAILURE(Start(",tftperror=2,tftperrortext=Image checksum error"));
  OpenDialog();
  WriteImage(5000, 9);
  upgrade->OnStart("guess", dir.File("firmware.hex"));
  ASSERT_TRUE(loop.RunUntil([&] { return !view.states.empty(); }, seconds(10)));
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Password error."}));
  EXPECT_EQ(view.states, (std::vector<std::string>{"Trigger failed"}));

  ASSERT_TRUE(StartUpload(seconds(30)));
  EXPECT_EQ(view.ended, DialogEnd::kFailed);
  EXPECT_EQ(dialog_messages.shown,
            (std::vector<ShownMessage>{{"Image checksum error\nThe device will reboot. Please wait",
                                        "Firmware upgrade failed.", MessageIcon::Error}}));
  const auto log = dir.Read("syslog.log");
  EXPECT_NE(std::string(log.begin(), log.end()).find(" 198.18.0.10 Image checksum error \r\n"), std::string::npos);
}

TEST_F(LabUpgradeTest, TsharkDecodesEveryDatagramOfAnUploadAsWellFormedTftp) {
  if (Shell("command -v tshark >/dev/null 2>&1") != 0) GTEST_SKIP() << "tshark (Debian package tshark) is not installed";
  ASSERT_NO_FATAL_FAILURE(Start(",reboot=0"));
  FirmwareUpgradeSettings quick;
  quick.tftp.completion_pause = milliseconds(10);
  OpenDialog(quick);
  view.on_start_reboot_watch = [] {};
  const std::string pcap = dir.File("upload.pcap");
  Capture capture(pcap);
  ASSERT_TRUE(capture.WaitStarted());
  const std::size_t size = 20 * 512 + 300;
  WriteImage(size, 20);
  ASSERT_TRUE(StartUpload(seconds(30)));
  capture.Stop();

  // Every datagram of the transfer is TFTP, none malformed or flagged by the dissector.
  const auto tftp_ports = Lines("tshark -r " + pcap + " -Y 'udp.port == 69 || udp.port == 64517' 2>/dev/null");
  const auto decoded = Lines("tshark -r " + pcap +
                             " -Y tftp -T fields -E separator=, -e udp.srcport -e udp.dstport -e tftp.opcode"
                             " -e tftp.block -e tftp.type 2>/dev/null");
  const auto faults = Lines("tshark -r " + pcap + " -Y '_ws.malformed || _ws.expert.severity >= warning' 2>/dev/null");
  EXPECT_TRUE(faults.empty()) << faults[0];
  ASSERT_EQ(decoded.size(), tftp_ports.size());
  ASSERT_EQ(decoded.size(), 2 * (size / 512 + 2)) << "write request, blocks and their acknowledgements";

  // Write request in octet mode from the client port to 69; DATA in order, all to port 69;
  // acknowledgements from the switch's other port.
  EXPECT_EQ(decoded[0], "64517,69,2,,octet");
  int next_data = 1;
  for (std::size_t i = 1; i < decoded.size(); ++i) {
    std::stringstream fields(decoded[i]);
    std::string src, dst, opcode, block;
    std::getline(fields, src, ',');
    std::getline(fields, dst, ',');
    std::getline(fields, opcode, ',');
    std::getline(fields, block, ',');
    if (i % 2 == 1) {
      EXPECT_EQ(opcode, "4") << decoded[i];
      EXPECT_EQ(dst, "64517");
      EXPECT_NE(src, "69");
      EXPECT_EQ(block, std::to_string(i / 2)) << decoded[i];
    } else {
      EXPECT_EQ(opcode, "3") << decoded[i];
      EXPECT_EQ(src + "/" + dst, "64517/69");
      EXPECT_EQ(block, std::to_string(next_data++)) << decoded[i];
    }
  }
}

}  // namespace
}  // namespace sd
