// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One device list's table: 256 DeviceRecord entries, of which the first Count() are in use and
// the rest are zero. There is no counter of its own: the number in use is the row count of the
// list control that shows the table. Rows are matched to entries by their key text (MAC address
// in the Discovery List, IP address in the Monitor List), never by position, because a sort
// reorders rows and not entries.
//
// Threads: the user-interface thread does everything here; the poll thread may call only
// NotePollSentAndGetIp. The entries are guarded by the table's own mutex, which every method
// takes and none holds across a call into a list control or a message box.

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "devices/list_control.h"
#include "protocol/device_record.h"

namespace sd {

inline constexpr int kDeviceTableCapacity = 256;

// DeviceRecord::row_state
inline constexpr std::uint32_t kRowStateNew = 0;       // no row yet: the next refresh inserts one
inline constexpr std::uint32_t kRowShown = 1;          // the next refresh rewrites its row
inline constexpr std::uint32_t kRowShownNotAlive = 2;  // Monitor List: declared not alive

// DeviceRecord::status_image, the index into the Monitor List's status images.
inline constexpr std::int32_t kStatusImageNone = kNoImage;
inline constexpr std::int32_t kStatusImageWarning = 0;
inline constexpr std::int32_t kStatusImageNotAlive = 1;

enum class TableKind { Discovery, Monitor };

struct FindResult {
  int index;  // the entry found, or Count() (where a new entry would go)
  bool found;
  bool operator==(const FindResult&) const = default;
};

class DeviceTable {
 public:
  // `list` shows this table and gives Count(); it must outlive the table.
  DeviceTable(TableKind kind, const IListControl& list);
  DeviceTable(const DeviceTable&) = delete;
  DeviceTable& operator=(const DeviceTable&) = delete;

  TableKind Kind() const { return kind_; }

  // The number of entries in use: the row count of the list control (at most 256).
  int Count() const;

  // First entry of [0, Count()) whose mac_text (ip_text) equals `text` byte for byte. The
  // Monitor List's FindByMac never matches an entry with an empty mac_text (devices added by
  // address that have not answered yet).
  FindResult FindByMac(std::string_view text) const;
  FindResult FindByIp(std::string_view text) const;

  // Zeroes all 256 entries.
  void Clear();
  // Closes the gaps left by zeroed entries among [0, limit), keeping the order of the survivors,
  // and zeroes the rest up to entry 255. An entry survives while it holds its key: a Discovery
  // List entry its mac_text, a Monitor List entry its ip_text (also "0.0.0.0").
  void Compact(int limit);

  // A copy of entry `index`; a zero record outside 0..255.
  DeviceRecord Entry(int index) const;
  // Copies of entries [0, count).
  std::vector<DeviceRecord> Entries(int count) const;
  // Overwrites entry `index`; false (nothing written) outside 0..255.
  bool Store(int index, const DeviceRecord& record);
  // Runs `change` on entry `index` under the table's lock; false outside 0..255. `change` must
  // not call back into the table.
  bool Update(int index, const std::function<void(DeviceRecord&)>& change);
  void Zero(int index);
  // Runs `change` on all 256 entries at once under the table's lock, so that the poll thread
  // sees the table either before or after the change, never half of it. `change` must leave the
  // entries in use packed from entry 0 and the rest zero, and must not call back into the table.
  void UpdateAll(const std::function<void(std::span<DeviceRecord, kDeviceTableCapacity>)>& change);

  // Liveness counting before a request is sent by unicast to entry `index`.
  void NotePollSent(int index);
  // Liveness counting before a request that reaches every device is sent by broadcast and
  // multicast: every entry in index order up to the first one whose ip_text is empty.
  void NotePollSentToAll();
  // For the poll thread: when entry `index` holds a device (its ip_text is not empty), counts the
  // poll and returns the address to send it to (0 for a switch without an address), both under
  // the lock; otherwise nothing, and the entry is not touched. The end of the list is the first
  // entry without an ip_text (or index 256), as for every other walk over the Monitor List.
  std::optional<std::uint32_t> NotePollSentAndGetIp(int index);

 private:
  static bool InRange(int index) { return index >= 0 && index < kDeviceTableCapacity; }
  bool Survives(const DeviceRecord& entry) const;

  const TableKind kind_;
  const IListControl& list_;
  mutable std::mutex mutex_;
  std::array<DeviceRecord, kDeviceTableCapacity> entries_;
};

}  // namespace sd
