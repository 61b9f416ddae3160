// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// monitor.cfg, the saved Monitor List: the entries in index order, each as the raw 300 bytes of
// its DeviceRecord, back to back, with no header, count or checksum. A file whose length is not
// a whole number of records is refused; only the first 256 records are ever read.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "devices/device_table.h"
#include "protocol/device_record.h"

namespace sd {

inline constexpr std::size_t kMonitorRecordSize = sizeof(DeviceRecord);
inline constexpr std::size_t kMonitorFileReadLimit = kDeviceTableCapacity * kMonitorRecordSize;

// The fixed file in the settings folder.
std::string MonitorFilePath();

// The file bytes for `entries`. The password fields are written as zeros: no password typed
// for an operation ever reaches the disk.
std::vector<std::uint8_t> EncodeMonitorFile(std::span<const DeviceRecord> entries);

// The records of `bytes`, or nothing when its length is not a multiple of 300. A file is not
// trusted to hold terminated texts: every text field comes back NUL-terminated inside its field.
std::optional<std::vector<DeviceRecord>> DecodeMonitorFile(std::span<const std::uint8_t> bytes);

// Cuts every text field of `record` so that it ends with a NUL inside the field.
void TerminateTexts(DeviceRecord& record);

enum class MonitorFileStatus { Ok, Unreadable, Invalid };

struct MonitorFileContents {
  MonitorFileStatus status = MonitorFileStatus::Unreadable;
  std::vector<DeviceRecord> records;
};

// Reads at most the first 256 records' worth of bytes of `path`. Unreadable (no records) when
// the file cannot be opened or read, Invalid when the bytes read are not whole records.
MonitorFileContents ReadMonitorFile(const std::string& path);

// Writes `bytes` to a new file beside `path`, flushes it and renames it over `path`, so that
// `path` holds either its previous contents or all of `bytes`. 0 on success, else the errno of
// the step that failed (the new file is removed again).
int ReplaceFileContents(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace sd
