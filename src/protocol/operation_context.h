// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The process-wide record of the pending device operation: whose set reply is awaited, and the
// firmware upgrade's target, file, acknowledgement and progress. Every access is guarded, so
// the firmware transfer may run on another thread than the dispatcher.

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace sd {

class OperationContext {
 public:
  static OperationContext& Instance();

  std::string AwaitedMac() const;
  void SetAwaitedMac(std::string_view mac_text);
  std::uint32_t AwaitedIp() const;
  void SetAwaitedIp(std::uint32_t ip);
  // Ends the wait for a set reply: empty MAC, address 0.
  void ClearAwaited();

  std::string UpgradeTargetMac() const;
  void SetUpgradeTargetMac(std::string_view mac_text);
  std::uint32_t UpgradeTargetIp() const;
  void SetUpgradeTargetIp(std::uint32_t ip);
  std::string UpgradeFilePath() const;
  void SetUpgradeFilePath(std::string_view path);  // kept to 127 characters
  std::uint16_t UpgradeAcknowledged() const;
  void SetUpgradeAcknowledged(std::uint16_t flag);
  std::int32_t UpgradeBytesSent() const;
  void AddUpgradeBytesSent(std::int32_t n);
  void ResetUpgradeBytesSent();

  void Reset();

 private:
  OperationContext() = default;
  mutable std::mutex mutex_;
  std::string awaited_mac_;
  std::uint32_t awaited_ip_ = 0;
  std::string upgrade_target_mac_;
  std::uint32_t upgrade_target_ip_ = 0;
  std::string upgrade_file_path_;
  std::uint16_t upgrade_acknowledged_ = 0;
  std::int32_t upgrade_bytes_sent_ = 0;
};

// Empties the three texts and sets the four numbers to 0.
void ResetOperationContext();

}  // namespace sd
