// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/operation_context.h"

namespace sd {

namespace {
// MAC texts are 12 digits; the record field holds 15 characters and a NUL.
constexpr std::size_t kMacTextMax = 15;
constexpr std::size_t kFilePathMax = 127;

std::string Cut(std::string_view s, std::size_t max) { return std::string(s.substr(0, max)); }
}  // namespace

OperationContext& OperationContext::Instance() {
  static OperationContext context;
  return context;
}

std::string OperationContext::AwaitedMac() const {
  std::lock_guard lock(mutex_);
  return awaited_mac_;
}
void OperationContext::SetAwaitedMac(std::string_view mac) {
  std::lock_guard lock(mutex_);
  awaited_mac_ = Cut(mac, kMacTextMax);
}
std::uint32_t OperationContext::AwaitedIp() const {
  std::lock_guard lock(mutex_);
  return awaited_ip_;
}
void OperationContext::SetAwaitedIp(std::uint32_t ip) {
  std::lock_guard lock(mutex_);
  awaited_ip_ = ip;
}
void OperationContext::ClearAwaited() {
  std::lock_guard lock(mutex_);
  awaited_mac_.clear();
  awaited_ip_ = 0;
}
std::string OperationContext::UpgradeTargetMac() const {
  std::lock_guard lock(mutex_);
  return upgrade_target_mac_;
}
void OperationContext::SetUpgradeTargetMac(std::string_view mac) {
  std::lock_guard lock(mutex_);
  upgrade_target_mac_ = Cut(mac, kMacTextMax);
}
std::uint32_t OperationContext::UpgradeTargetIp() const {
  std::lock_guard lock(mutex_);
  return upgrade_target_ip_;
}
void OperationContext::SetUpgradeTargetIp(std::uint32_t ip) {
  std::lock_guard lock(mutex_);
  upgrade_target_ip_ = ip;
}
std::string OperationContext::UpgradeFilePath() const {
  std::lock_guard lock(mutex_);
  return upgrade_file_path_;
}
void OperationContext::SetUpgradeFilePath(std::string_view path) {
  std::lock_guard lock(mutex_);
  upgrade_file_path_ = Cut(path, kFilePathMax);
}
std::uint16_t OperationContext::UpgradeAcknowledged() const {
  std::lock_guard lock(mutex_);
  return upgrade_acknowledged_;
}
void OperationContext::SetUpgradeAcknowledged(std::uint16_t flag) {
  std::lock_guard lock(mutex_);
  upgrade_acknowledged_ = flag;
}
std::int32_t OperationContext::UpgradeBytesSent() const {
  std::lock_guard lock(mutex_);
  return upgrade_bytes_sent_;
}
void OperationContext::AddUpgradeBytesSent(std::int32_t n) {
  std::lock_guard lock(mutex_);
  upgrade_bytes_sent_ += n;
}
void OperationContext::ResetUpgradeBytesSent() {
  std::lock_guard lock(mutex_);
  upgrade_bytes_sent_ = 0;
}
void OperationContext::Reset() {
  std::lock_guard lock(mutex_);
  awaited_mac_.clear();
  awaited_ip_ = 0;
  upgrade_target_mac_.clear();
  upgrade_target_ip_ = 0;
  upgrade_file_path_.clear();
  upgrade_acknowledged_ = 0;
  upgrade_bytes_sent_ = 0;
}

void ResetOperationContext() { OperationContext::Instance().Reset(); }

}  // namespace sd
