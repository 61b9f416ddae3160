// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/device_table.h"

#include <algorithm>

#include "devices/liveness.h"

namespace sd {

DeviceTable::DeviceTable(TableKind kind, const IListControl& list) : kind_(kind), list_(list) {
  entries_.fill(ZeroRecord());
}

int DeviceTable::Count() const { return std::clamp(list_.RowCount(), 0, kDeviceTableCapacity); }

FindResult DeviceTable::FindByMac(std::string_view text) const {
  const int count = Count();
  if (kind_ == TableKind::Monitor && text.empty()) return {count, false};
  std::lock_guard lock(mutex_);
  for (int i = 0; i < count; ++i) {
    const std::string_view mac = GetText(entries_[static_cast<std::size_t>(i)].mac_text);
    if (kind_ == TableKind::Monitor && mac.empty()) continue;
    if (mac == text) return {i, true};
  }
  return {count, false};
}

FindResult DeviceTable::FindByIp(std::string_view text) const {
  const int count = Count();
  std::lock_guard lock(mutex_);
  for (int i = 0; i < count; ++i) {
    if (GetText(entries_[static_cast<std::size_t>(i)].ip_text) == text) return {i, true};
  }
  return {count, false};
}

void DeviceTable::Clear() {
  std::lock_guard lock(mutex_);
  entries_.fill(ZeroRecord());
}

bool DeviceTable::Survives(const DeviceRecord& entry) const {
  // An entry is in use while it holds its key; a zeroed entry has none. A monitored switch that
  // lost its DHCP lease holds 0.0.0.0 and stays.
  return kind_ == TableKind::Discovery ? !GetText(entry.mac_text).empty() : !GetText(entry.ip_text).empty();
}

void DeviceTable::Compact(int limit) {
  limit = std::clamp(limit, 0, kDeviceTableCapacity);
  std::lock_guard lock(mutex_);
  std::size_t kept = 0;
  for (std::size_t i = 0; i < static_cast<std::size_t>(limit); ++i) {
    if (!Survives(entries_[i])) continue;
    if (kept != i) entries_[kept] = entries_[i];
    ++kept;
  }
  std::fill(entries_.begin() + static_cast<std::ptrdiff_t>(kept), entries_.end(), ZeroRecord());
}

DeviceRecord DeviceTable::Entry(int index) const {
  if (!InRange(index)) return ZeroRecord();
  std::lock_guard lock(mutex_);
  return entries_[static_cast<std::size_t>(index)];
}

std::vector<DeviceRecord> DeviceTable::Entries(int count) const {
  count = std::clamp(count, 0, kDeviceTableCapacity);
  std::lock_guard lock(mutex_);
  return {entries_.begin(), entries_.begin() + count};
}

bool DeviceTable::Store(int index, const DeviceRecord& record) {
  if (!InRange(index)) return false;
  std::lock_guard lock(mutex_);
  entries_[static_cast<std::size_t>(index)] = record;
  return true;
}

bool DeviceTable::Update(int index, const std::function<void(DeviceRecord&)>& change) {
  if (!InRange(index)) return false;
  std::lock_guard lock(mutex_);
  change(entries_[static_cast<std::size_t>(index)]);
  return true;
}

void DeviceTable::Zero(int index) { Store(index, ZeroRecord()); }

void DeviceTable::UpdateAll(const std::function<void(std::span<DeviceRecord, kDeviceTableCapacity>)>& change) {
  std::lock_guard lock(mutex_);
  change(entries_);
}

void DeviceTable::NotePollSent(int index) {
  if (!InRange(index)) return;
  std::lock_guard lock(mutex_);
  CountRequestSent(entries_[static_cast<std::size_t>(index)]);
}

void DeviceTable::NotePollSentToAll() {
  std::lock_guard lock(mutex_);
  for (DeviceRecord& entry : entries_) {
    if (GetText(entry.ip_text).empty()) break;
    CountRequestSent(entry);
  }
}

std::optional<std::uint32_t> DeviceTable::NotePollSentAndGetIp(int index) {
  if (!InRange(index)) return std::nullopt;
  std::lock_guard lock(mutex_);
  DeviceRecord& entry = entries_[static_cast<std::size_t>(index)];
  if (GetText(entry.ip_text).empty()) return std::nullopt;
  CountRequestSent(entry);
  return entry.ip;
}

}  // namespace sd
