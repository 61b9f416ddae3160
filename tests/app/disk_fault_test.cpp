// SPDX-License-Identifier: GPL-3.0-or-later
// The settings folder on a disk that is full or read-only: a small tmpfs mounted over a test
// folder in a private mount namespace, so nothing outside this process sees it. Every writer of
// the folder ("Monitor save", the event log, the settings rewrite) must say clearly that it failed
// and leave the previous monitor.cfg, syslog.log and define.ecf byte for byte as they were; once
// the disk has room again, each works again.
//
// Needs root for the mount namespace: without root the program exits 77 (skipped), unless
// SWITCHDESK_REQUIRE_LAB is set, which makes that a failure.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "devices/monitor_file.h"
#include "settings/event_log.h"
#include "settings/settings_file.h"
#include "support/devices.h"
#include "support/main_dialog.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

using test::ShownMessage;

enum class Fault { Full, ReadOnly };

constexpr const char* kPlainSettings =
    "manager_id=01945AE0\r\nbase_port=C350\r\nmulticast_group=239.255.100.100\r\n"
    "multicast_interface_on_off=1\r\nmulticast_timer_flag=1\r\nstrlen_multi_timer=3\r\nmulticast_timer=125\r\n";

// A 256 KiB tmpfs over the test's settings folder, unmounted before the folder is removed.
class SmallDisk {
 public:
  explicit SmallDisk(const std::string& path) : path_(path) {
    mounted_ = ::mount("switchdesk-test", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k,mode=0755") == 0;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }

  // Writes a filler file until the disk refuses another byte.
  bool Fill() {
    const int fd = ::open((path_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const std::vector<char> chunk(4096, 'f');
    ssize_t n = 0;
    do {
      n = ::write(fd, chunk.data(), chunk.size());
    } while (n > 0);
    const bool full = n < 0 && errno == ENOSPC;
    ::close(fd);
    return full;
  }
  bool MakeReadOnly() { return Remount(MS_RDONLY); }
  // Room again: read-write, and the filler gone.
  bool Free() { return Remount(0) && (::unlink((path_ + "/filler").c_str()) == 0 || errno == ENOENT); }

 private:
  bool Remount(unsigned long flags) {
    return ::mount(nullptr, path_.c_str(), nullptr, MS_REMOUNT | MS_NOSUID | MS_NODEV | flags, "size=256k") == 0;
  }
  std::string path_;
  bool mounted_ = false;
};

class DiskFaultTest : public ::testing::TestWithParam<Fault> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(disk.Mounted()) << std::strerror(errno);
    // What the folder holds before the fault: two monitored switches saved, a sealed define.ecf,
    // and an event log whose last page is all but full, so a new line is cut by a full disk.
    fixture.AddMonitored(test::Switch("02000000000a", "10.0.0.10"));
    fixture.AddMonitored(test::Switch("02000000000b", "10.0.0.11"));
    fixture.dlg.OnMonitorSave();
    dir.Write("define.ecf", MakeSealedSettings(kPlainSettings));
    dir.Write("syslog.log", std::vector<std::uint8_t>(4090, 'x'));
    ASSERT_TRUE(fixture.messages.shown.empty());
    before = Snapshot();
    ASSERT_EQ(before.at("monitor.cfg").size(), 600u);

    // A third switch, not yet saved.
    fixture.AddMonitored(test::Switch("02000000000c", "10.0.0.12"));
    ASSERT_TRUE(GetParam() == Fault::Full ? disk.Fill() : disk.MakeReadOnly());
  }

  // Every file of the folder but the filler, with its bytes.
  std::map<std::string, std::vector<std::uint8_t>> Snapshot() const {
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
      const std::string name = entry.path().filename().string();
      if (name != "filler") files[name] = dir.Read(name);
    }
    return files;
  }

  test::TempConfigDir dir;
  SmallDisk disk{dir.Path()};
  test::MainDialogFixture fixture;
  std::map<std::string, std::vector<std::uint8_t>> before;
};

TEST_P(DiskFaultTest, EveryWriterSaysSoAndLeavesThePreviousFilesIntact) {
  const bool full = GetParam() == Fault::Full;
  const std::string reason = full ? "No space left on device" : "Read-only file system";
  const std::string line = "06/01/2007 14:03:09 10.0.0.10 Trap :Port 1 link down\r\n";

  fixture.dlg.OnMonitorSave();
  RewriteMulticastTimer("130", '1', fixture.messages);
  AppendToEventLog(line, fixture.messages);
  AppendToEventLog(line, fixture.messages);  // a run of failures is reported once

  const std::vector<ShownMessage> expected = {
      {"The Monitor List could not be saved to " + dir.File("monitor.cfg") + ": " + reason +
           ".\nThe file on disk is unchanged.",
       "Error", MessageIcon::Error},
      {"ECF File created fail", "Switchdesk", MessageIcon::None},
      // A read-only log cannot even be opened, which has its own message, shown every time.
      full ? ShownMessage{"Syslog.log could not be written (No space left on device).\n"
                          "Events are not logged until it can be written again.",
                          "Error", MessageIcon::Error}
           : ShownMessage{"Syslog.log does not exist.", "Error", MessageIcon::Error},
  };
  std::vector<ShownMessage> shown = fixture.messages.shown;
  if (!full) {
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[3], expected[2]);
    shown.pop_back();
  }
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(Snapshot(), before) << "a file changed, or a temporary file was left behind";

  // The settings still load from the untouched define.ecf, and the saved list from monitor.cfg.
  ASSERT_EQ(LoadSettings(fixture.messages), 0);
  test::MainDialogFixture restarted;
  restarted.dlg.LoadMonitorFileAtStartup();
  EXPECT_EQ(restarted.dlg.MonitorTable().Count(), 2);

  // Room again: every writer works.
  ASSERT_TRUE(disk.Free()) << std::strerror(errno);
  fixture.messages.shown.clear();
  fixture.dlg.OnMonitorSave();
  RewriteMulticastTimer("130", '1', fixture.messages);
  EXPECT_EQ(AppendToEventLog(line, fixture.messages), 0);
  EXPECT_TRUE(fixture.messages.shown.empty());
  EXPECT_EQ(dir.Read("monitor.cfg").size(), 900u);
  ASSERT_EQ(LoadSettings(fixture.messages), 0);
  EXPECT_EQ(Settings.multicast_timer, 130);
  std::vector<std::uint8_t> log = before.at("syslog.log");
  log.insert(log.end(), line.begin(), line.end());
  EXPECT_EQ(dir.Read("syslog.log"), log);
}

INSTANTIATE_TEST_SUITE_P(, DiskFaultTest, ::testing::Values(Fault::Full, Fault::ReadOnly),
                         [](const auto& param_info) { return param_info.param == Fault::Full ? "Full" : "ReadOnly"; });

}  // namespace
}  // namespace sd

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // A mount namespace of our own, in which mounts do not propagate back to the host's.
  if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0 ||
      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    if (std::getenv("SWITCHDESK_REQUIRE_LAB") != nullptr) {
      std::fprintf(stderr, "SWITCHDESK_REQUIRE_LAB is set: these tests need root for a private mount namespace\n");
      return 1;
    }
    std::fprintf(stderr, "skipped: these tests need root for a private mount namespace\n");
    return 77;
  }
  return RUN_ALL_TESTS();
}
