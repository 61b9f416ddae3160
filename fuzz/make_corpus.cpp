// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the seed corpora of the fuzz targets: valid inputs made with the same builders the tests
// use. Run from fuzz/run.sh --seeds (or by hand) with the corpus folder; the files are kept in git.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "devices/monitor_file.h"
#include "protocol/byte_io.h"
#include "settings/settings_file.h"
#include "support/datagrams.h"
#include "support/devices.h"
#include "support/firmware_fakes.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Save(const std::filesystem::path& dir, const std::string& name, const Bytes& bytes) {
  std::filesystem::create_directories(dir);
  std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes Prefixed(std::uint8_t first, const Bytes& rest) {
  Bytes out{first};
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

void ReplyDispatcherSeeds(const std::filesystem::path& dir) {
  using sd::test::AgentDatagram;
  auto full = [] {
    AgentDatagram d;
    d.manager_id = 0x01945AE0;
    d.Text(sd::TLV_PRODUCT_NAME, "SIM-8")
        .Text(sd::TLV_SYSTEM_NAME, "edge")
        .Text(sd::TLV_LOCATION, "rack 2")
        .Address(sd::TLV_IP_ADDRESS, "198.18.0.10")
        .Address(sd::TLV_SUBNET_MASK, "255.255.255.0")
        .Address(sd::TLV_GATEWAY, "198.18.0.1")
        .Address(sd::TLV_TRAP_IP, "198.18.0.2")
        .Dhcp(1)
        .Tlv(sd::TLV_OPAQUE_21, {1, 2})
        .Tlv(sd::TLV_GROUP_INTERVAL, {0, 0, 0, 125})
        .Tlv(sd::TLV_FIELD_MASK, std::vector<std::uint8_t>(16, 0xFF));
    return d;
  };
  // flags: 0x03 stamp id, minor and major; 0x20.. source; 0x80 twice
  Save(dir, "discover_reply_monitored", Prefixed(0x03, full().Bytes()));
  AgentDatagram moved = full();
  moved.mac = {0x02, 0, 0, 0, 0, 0x11};
  Save(dir, "discover_reply_moved_twice", Prefixed(0x03 | 0x40 | 0x80, moved.Bytes()));
  AgentDatagram v1 = full();
  v1.interface_version = 1;
  v1.payload.clear();
  v1.Dhcp(0).Text(sd::TLV_PRODUCT_NAME, "OLD-5");
  Save(dir, "discover_reply_v1_stranger", Prefixed(0x03 | 0x60, v1.Bytes()));
  AgentDatagram set = full();
  set.command = sd::CMD_SET_REPLY;
  Save(dir, "set_reply_awaited", Prefixed(0x03 | 0x04 | 0x08, set.Bytes()));
  AgentDatagram refresh = full();
  refresh.command = sd::CMD_SET_REPLY;
  refresh.result = sd::RESULT_DHCP_REFRESH_FAIL;
  Save(dir, "dhcp_refresh_failure", Prefixed(0x03 | 0x04, refresh.Bytes()));
  AgentDatagram unconfigurable = full();
  unconfigurable.command = sd::CMD_UNCONFIGURABLE_REPLY;
  unconfigurable.payload.clear();
  Save(dir, "unconfigurable", Prefixed(0x03 | 0x40, unconfigurable.Bytes()));
  AgentDatagram trigger = full();
  trigger.command = sd::CMD_UPGRADE_TRIGGER_REPLY;
  trigger.payload.clear();
  Save(dir, "upgrade_trigger_reply", Prefixed(0x03 | 0x04 | 0x10, trigger.Bytes()));
  AgentDatagram trap;
  trap.manager_id = 0x01945AE0;
  trap.Trap("198.18.0.10", "Port 3 link up");
  Save(dir, "trap_monitored", Prefixed(0x03, trap.Bytes()));
  AgentDatagram foreign = full();
  foreign.manager_id = 0x01020304;
  Save(dir, "foreign_manager", Prefixed(0x00, foreign.Bytes()));
}

std::string PlainSettings() {
  return "manager_id=01945AE0\r\nbase_port=C350\r\nmulticast_group=239.255.100.100\r\n"
         "multicast_interface_on_off=1\r\nmulticast_timer_flag=1\r\nstrlen_multi_timer=3\r\n"
         "multicast_timer=125\r\n";
}

void SettingsSeeds(const std::filesystem::path& dir) {
  Save(dir, "sealed_default", Prefixed(0x00, sd::MakeSealedSettings(PlainSettings())));
  Save(dir, "sealed_default_rewritten", Prefixed(0x02, sd::MakeSealedSettings(PlainSettings())));
  Save(dir, "plain_default", Prefixed(0x01, Text(PlainSettings())));
  Save(dir, "plain_lf_rewritten",
       Prefixed(0x03, Text("manager_id=0194ZAE0\nbase_port=FFFF\nmulticast_group=239.1.1.1\n"
                           "multicast_interface_on_off=0\nmulticast_timer_flag=0\nstrlen_multi_timer=8\n"
                           "multicast_timer=12345678\n")));
}

void MonitorSeeds(const std::filesystem::path& dir) {
  using sd::test::Switch;
  Save(dir, "empty", {});
  std::vector<sd::DeviceRecord> two{Switch("020000000030", "198.18.0.30"), Switch("020000000031", "198.18.0.31", "GS-116")};
  two[1].status_image = 1;
  Save(dir, "two", sd::EncodeMonitorFile(two));
  std::vector<sd::DeviceRecord> dup{Switch("020000000010", "198.18.0.40"), Switch("020000000040", "198.18.0.10"),
                                    Switch("020000000041", "0.0.0.0")};
  Save(dir, "duplicates", sd::EncodeMonitorFile(dup));
  std::vector<sd::DeviceRecord> many;
  for (int i = 0; i < 258; ++i) {
    char mac[13];
    std::snprintf(mac, sizeof mac, "0200000%05X", i);
    many.push_back(Switch(mac, "10.0." + std::to_string(i / 200) + "." + std::to_string(i % 200 + 1)));
  }
  Save(dir, "over_capacity", sd::EncodeMonitorFile(many));
}

void TftpSeeds(const std::filesystem::path& dir) {
  auto step = [](Bytes& out, std::uint8_t control, const Bytes& d) {
    out.push_back(control);
    out.push_back(static_cast<std::uint8_t>(d.size()));
    out.insert(out.end(), d.begin(), d.end());
  };
  using sd::test::TftpAck;
  using sd::test::TftpError;
  Bytes whole{0x03};  // 1300 bytes: blocks 1..3
  for (std::uint16_t b = 0; b <= 3; ++b) step(whole, 0, TftpAck(b));
  whole.push_back(0x80);
  whole.push_back(0x80);
  whole.push_back(0x80);
  whole.push_back(0x80);
  Save(dir, "whole_transfer", whole);
  Bytes error{0x01};
  step(error, 0, TftpAck(0));
  step(error, 0, TftpError(3, "Disk full"));
  Save(dir, "error_after_first_block", error);
  Bytes silent{0x06};
  step(silent, 3, TftpAck(0));
  step(silent, 1, TftpAck(0));
  for (int i = 0; i < 12; ++i) silent.push_back(0x80);
  step(silent, 0, TftpError(0, "no nul", false));
  Save(dir, "stranger_then_silence", silent);
  Bytes cancel{0x02};
  step(cancel, 2, TftpAck(0));
  step(cancel, 0, TftpAck(7));
  cancel.push_back(0x7F);
  step(cancel, 0, TftpAck(1));
  Save(dir, "duplicate_and_cancel", cancel);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
    return 2;
  }
  const std::filesystem::path root = argv[1];
  ReplyDispatcherSeeds(root / "fuzz_reply_dispatcher");
  SettingsSeeds(root / "fuzz_settings_file");
  MonitorSeeds(root / "fuzz_monitor_file");
  TftpSeeds(root / "fuzz_tftp_receive");
  return 0;
}
