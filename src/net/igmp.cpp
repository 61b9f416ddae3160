// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/igmp.h"

#include <climits>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "net/udp_socket.h"
#include "protocol/byte_io.h"
#include "protocol/ipv4.h"
#include "settings/settings_file.h"

namespace sd {

std::uint16_t InternetChecksum(std::span<const std::uint8_t> bytes) {
  std::uint32_t sum = 0;
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) sum += static_cast<std::uint32_t>((bytes[i] << 8) | bytes[i + 1]);
  if (i < bytes.size()) sum += static_cast<std::uint32_t>(bytes[i] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

std::array<std::uint8_t, kIgmpReportSize> BuildIgmpReport(std::uint32_t group) {
  std::array<std::uint8_t, kIgmpReportSize> r{};
  r[0] = IGMP_V1_REPORT;
  PutU32(r.data() + 4, group);
  PutU16(r.data() + 2, InternetChecksum(r));
  return r;
}

std::optional<IgmpMessage> ParseIgmpPacket(std::span<const std::uint8_t> packet) {
  constexpr std::uint8_t kProtocolIgmp = 2;
  ByteReader in(packet);
  const auto version_ihl = in.U8();
  if (!version_ihl || (*version_ihl >> 4) != 4) return std::nullopt;
  const std::size_t header_length = std::size_t{*version_ihl & 0x0Fu} * 4;
  if (header_length < 20 || !in.Skip(8)) return std::nullopt;  // to the protocol byte
  const auto protocol = in.U8();
  if (!protocol || *protocol != kProtocolIgmp || !in.Skip(2)) return std::nullopt;
  const auto source = in.U32();
  if (!source || !in.Skip(header_length - 16)) return std::nullopt;  // destination and options

  // The IGMP message runs to the end of the packet; version 1/2 messages are 8 bytes.
  const std::size_t message_length = in.Remaining();
  const auto message = in.Bytes(message_length);
  if (!message || message_length < kIgmpReportSize) return std::nullopt;
  ByteReader m(*message);
  IgmpMessage out;
  out.type = *m.U8();
  m.Skip(3);
  out.group = *m.U32();
  out.source = *source;
  out.checksum_ok = InternetChecksum(*message) == 0;
  return out;
}

bool IgmpReportSchedule::BeginPass(int flag, int interval) {
  if (flag == 0) return false;
  if (interval != last_interval_) {
    last_interval_ = interval;
    counter_ = 0;
  }
  return true;
}

bool IgmpReportSchedule::EndPass(int interval) {
  if (counter_ < INT_MAX) ++counter_;
  if (counter_ == interval) {
    counter_ = 0;
    return true;
  }
  return false;
}

void IgmpReportThreadProc(std::stop_token stop, std::uint32_t group, const std::atomic<int>& flag,
                          const std::atomic<int>& interval, const IgmpReportSend& send,
                          std::chrono::milliseconds pass) {
  const auto report = BuildIgmpReport(group);
  IgmpReportSchedule schedule;
  std::mutex mutex;
  std::condition_variable_any wake;
  // Waits one pass; false when a stop was requested.
  auto wait = [&] {
    std::unique_lock lock(mutex);
    wake.wait_for(lock, stop, pass, [] { return false; });
    return !stop.stop_requested();
  };
  while (!stop.stop_requested()) {
    const bool on = schedule.BeginPass(flag.load(), interval.load());
    if (!wait()) return;
    if (on && schedule.EndPass(interval.load())) send(report);
  }
}

IgmpReportThread::IgmpReportThread(std::uint32_t group, const std::atomic<int>& flag,
                                   const std::atomic<int>& interval, IgmpReportSend send,
                                   std::chrono::milliseconds pass)
    : send_(std::move(send)),
      thread_([this, group, &flag, &interval, pass](std::stop_token stop) {
        IgmpReportThreadProc(stop, group, flag, interval, send_, pass);
      }) {}

std::unique_ptr<IgmpReportThread> StartIgmpReportThread(std::function<std::vector<unsigned>()> interfaces) {
  const auto group = TextToIpv4(Settings.multicast_group);
  if (!group) return nullptr;
  auto socket = RawIgmpSocket::Open();
  if (!socket) return nullptr;
  auto shared = std::make_shared<RawIgmpSocket>(std::move(*socket));
  const std::uint32_t destination = *group;
  return std::make_unique<IgmpReportThread>(
      destination, Settings.multicast_timer_flag, Settings.multicast_timer,
      [shared, destination, interfaces = std::move(interfaces)](std::span<const std::uint8_t, kIgmpReportSize> report) {
        if (!interfaces) {
          shared->SendTo(report, destination);
          return;
        }
        for (unsigned index : interfaces()) shared->SendOn(report, destination, index);
      });
}

}  // namespace sd
