// SPDX-License-Identifier: GPL-3.0-or-later
// The TFTP client's receive path: a write transfer under way, fed a script of datagrams from the
// switch (or from elsewhere) and timer ticks, through a fake transport on a fake clock.
//
// Input: one byte of settings, then steps.
//   settings bits 0,1  the image: 0, 100, 512 or 1300 bytes
//   settings bit 2     the target's field mask reports that the device will not reboot
//   step: a control byte, then for a datagram its length byte and that many bytes
//     control bit 7      no datagram: the clock moves 1.6 s on (retransmissions, the pause
//                        after the last block) and nothing else is read for the step
//     control == 0x7F    Cancel
//     control bits 0,1   the source: the switch's reply port, port 69 of the switch, another
//                        port of the switch, another address

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "operations/firmware_transfer.h"
#include "protocol/operation_context.h"
#include "support/fake_clock.h"
#include "support/firmware_fakes.h"
#include "support/recording_messages.h"

namespace {

constexpr std::uint32_t kSwitch = 0xC612000A;  // 198.18.0.10
constexpr std::size_t kImageSizes[] = {0, 100, 512, 1300};

const std::string& ImagePath(std::size_t choice) {
  static const std::vector<std::string> paths = [] {
    std::vector<std::string> out;
    auto& dir = sd::fuzz::FuzzConfigDir::Instance();
    for (std::size_t size : kImageSizes) {
      std::vector<std::uint8_t> bytes(size);
      for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
      const std::string name = "image" + std::to_string(size) + ".hex";
      dir.Write(name, bytes);
      out.push_back(dir.File(name));
    }
    return out;
  }();
  return paths[choice];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sd;
  auto& dir = fuzz::FuzzConfigDir::Instance();
  if (size < 1) return -1;
  const std::uint8_t settings = data[0];

  ResetOperationContext();
  OperationContext::Instance().SetUpgradeTargetIp(kSwitch);
  OperationContext::Instance().SetUpgradeFilePath(ImagePath(settings & 0x03));

  test::FakeClock clock;
  test::FakeTimers timers{clock};
  test::FakeTftpTransport transport{clock};
  test::RecordingMessages messages;
  test::RecordingUpgradeView view;
  FirmwareTransfer transfer{transport, timers, messages, view};
  timers.SetHandler([&](int id) { transfer.OnTimer(id); });
  const std::uint32_t word3 = (settings & 0x04) ? 0xE0000000u : 0;
  transfer.SetTargetFieldMaskWord3([word3] { return word3; });
  if (transfer.OpenTftpSocket() != 0) return 0;

  const Endpoint sources[] = {{kSwitch, 50123}, {kSwitch, kTftpServerPort}, {kSwitch, 1}, {0x0A000001, 50123}};
  std::size_t at = 1;
  while (at < size) {
    const std::uint8_t control = data[at++];
    if (control & 0x80) {
      clock.Advance(test::Ms(1600));
      continue;
    }
    if (control == 0x7F) {
      transfer.OnCancel();
      continue;
    }
    if (at >= size) break;
    const std::size_t declared = data[at++];
    const std::size_t length = std::min(declared, size - at);
    transport.incoming.emplace_back(std::vector<std::uint8_t>(data + at, data + at + length),
                                    sources[control & 0x03]);
    at += length;
    transfer.OnTftpReceive();
  }
  transfer.OnCancel();
  ResetOperationContext();
  dir.Limit("syslog.log", 1 << 20);
  return 0;
}
