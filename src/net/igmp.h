// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// IGMP version 1 membership reports: the 8-byte message, the schedule of the report thread and
// the thread itself. The thread keeps the manager's membership of the multicast group alive on
// networks whose switches forget members that do not report.

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <thread>
#include <vector>

namespace sd {

inline constexpr std::size_t kIgmpReportSize = 8;
inline constexpr std::uint8_t IGMP_V1_REPORT = 0x12;  // version 1, type 2 (Host Membership Report)

// The Internet checksum (RFC 1071): the ones' complement of the ones' complement sum of the
// bytes taken as big-endian 16-bit words, an odd last byte padded with zero.
std::uint16_t InternetChecksum(std::span<const std::uint8_t> bytes);

// 12 00 <checksum> <group in network order>.
std::array<std::uint8_t, kIgmpReportSize> BuildIgmpReport(std::uint32_t group);

// An IGMP message found in a received IPv4 packet (as a raw socket delivers it).
struct IgmpMessage {
  std::uint8_t type = 0;
  std::uint32_t group = 0;
  std::uint32_t source = 0;
  bool checksum_ok = false;
};
// Nothing when the packet is not IPv4 carrying IGMP or is too short for its own headers.
std::optional<IgmpMessage> ParseIgmpPacket(std::span<const std::uint8_t> ip_packet);

// The report thread's loop, one pass per second, as steps a test can drive:
//   flag off: the pass only waits a second;
//   interval changed since the last pass: remember it and restart the count;
//   wait a second, count it; when the count reaches the interval, restart it and send.
// An interval of 0 (or below) never sends.
class IgmpReportSchedule {
 public:
  // Start of a pass with the values read before its one-second wait; false when reports are
  // off (the pass then only waits).
  bool BeginPass(int flag, int interval);
  // End of a pass, after the wait, with the interval read then; true when a report is due.
  bool EndPass(int interval);
  // One whole pass with one reading of the values.
  bool Tick(int flag, int interval) { return BeginPass(flag, interval) && EndPass(interval); }

  int Counter() const { return counter_; }

 private:
  int counter_ = 0;
  int last_interval_ = 0;
};

// Sends one report; the thread does not look at the result.
using IgmpReportSend = std::function<void(std::span<const std::uint8_t, kIgmpReportSize>)>;

// Runs the report loop until a stop is requested; each pass's wait ends early on a stop.
// `flag` and `interval` are read every pass (another thread may change them at any time).
void IgmpReportThreadProc(std::stop_token stop, std::uint32_t group, const std::atomic<int>& flag,
                          const std::atomic<int>& interval, const IgmpReportSend& send,
                          std::chrono::milliseconds pass = std::chrono::seconds(1));

// The report thread: starts at construction, is stopped and joined at destruction.
class IgmpReportThread {
 public:
  IgmpReportThread(std::uint32_t group, const std::atomic<int>& flag, const std::atomic<int>& interval,
                   IgmpReportSend send, std::chrono::milliseconds pass = std::chrono::seconds(1));
  // The running thread refers to this object, so it stays where it was made.
  IgmpReportThread(const IgmpReportThread&) = delete;
  IgmpReportThread& operator=(const IgmpReportThread&) = delete;
  void RequestStop() { thread_.request_stop(); }

 private:
  IgmpReportSend send_;
  std::jthread thread_;
};

// The program's report thread: the group from Settings.multicast_group (read once, now),
// Settings.multicast_timer_flag and Settings.multicast_timer, and a raw IGMP socket opened here.
// Null when the raw socket cannot be opened (it needs privilege) or the group is not an
// address; the caller tells the user once and the program goes on without reports.
// Each report goes out once for each interface index `interfaces` gives at that moment (0: by
// the default route); without it, once by the default route.
std::unique_ptr<IgmpReportThread> StartIgmpReportThread(std::function<std::vector<unsigned>()> interfaces = {});

}  // namespace sd
