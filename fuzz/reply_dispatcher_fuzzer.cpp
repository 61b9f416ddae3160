// SPDX-License-Identifier: GPL-3.0-or-later
// The reply dispatcher fed whole datagrams: header checks, the agent's error result, TLV
// decoding, filing into the Monitor and Discovery Lists, and traps from monitored switches into
// the event log and the trap store.
//
// Input: one byte of flags, then the datagram (at most 1499 bytes).
//   bit 0  stamp the configured manager identifier and minor version 1 into the header, so that
//          most inputs pass the header checks
//   bit 1  stamp major version 2
//   bit 2  stamp the sequence number the dispatcher expects of a set reply
//   bit 3  await a set reply from the datagram's MAC
//   bit 4  make the datagram's MAC the firmware-upgrade target
//   bit 5,6  the source address: one of two monitored switches, a discovered one or a stranger
//   bit 7  dispatch the datagram twice (the second merges into the entry the first filed)
// The lists start with two monitored switches and one discovered switch, one row selected in
// each.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "app/trap_intake.h"
#include "fuzz_support.h"
#include "net/reply_dispatcher.h"
#include "protocol/byte_io.h"
#include "protocol/operation_context.h"
#include "protocol/payload_builders.h"
#include "settings/trap_store.h"
#include "support/devices.h"
#include "support/main_dialog.h"

namespace {

struct NullIndicator : sd::ITrapIndicator {
  void ShowTrapArrived(bool) override {}
};

constexpr std::uint32_t kSources[] = {
    0xC612000A,  // 198.18.0.10, monitored
    0xC612000B,  // 198.18.0.11, monitored
    0xC6120014,  // 198.18.0.20, discovered
    0x0A000001,  // 10.0.0.1, unknown
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sd;
  auto& dir = fuzz::FuzzConfigDir::Instance();
  if (size < 1 || size > 1 + kMaxDatagram - 1) return -1;
  const std::uint8_t flags = data[0];
  std::vector<std::uint8_t> datagram(data + 1, data + size);

  test::MainDialogFixture f;  // settings applied, lists empty, operation context reset
  f.AddMonitored(test::Switch("020000000010", "198.18.0.10"));
  f.AddMonitored(test::Switch("020000000011", "198.18.0.11"));
  f.AddDiscovered(test::Switch("020000000020", "198.18.0.20"));
  f.monitor_list.SetSelected(1, true);
  f.discovery_list.SetSelected(0, true);

  TrapStore store;
  NullIndicator indicator;
  TrapIntake intake(f.dlg.Lists(), store, indicator, f.messages);
  ReplyDispatcher dispatcher(f.dlg.Lists(), f.messages,
                             [&](std::span<const std::uint8_t> payload) { intake.OnTrapReceived(payload); });

  if (datagram.size() >= kHeaderSize) {
    if (flags & 0x01) {
      PutU32(&datagram[header_offset::kManagerId], Settings.manager_id);
      PutU16(&datagram[header_offset::kVersionMinor], VERSION_MINOR_REPLY);
    }
    if (flags & 0x02) PutU16(&datagram[header_offset::kVersionMajor], VERSION_MAJOR);
    if (flags & 0x04) PutU16(&datagram[header_offset::kSequence], set_sequence.load());
    char mac_text[16] = {};
    MacBytesToText(&datagram[header_offset::kMac], mac_text);
    if (flags & 0x08) OperationContext::Instance().SetAwaitedMac(mac_text);
    if (flags & 0x10) OperationContext::Instance().SetUpgradeTargetMac(mac_text);
  }
  const std::uint32_t source = kSources[(flags >> 5) & 0x03];
  dispatcher.Dispatch(datagram, source);
  if (flags & 0x80) {
    if (datagram.size() >= kHeaderSize) PutU16(&datagram[header_offset::kSequence], set_sequence.load());
    dispatcher.Dispatch(datagram, source);
  }
  dir.Limit("syslog.log", 1 << 20);
  return 0;
}
