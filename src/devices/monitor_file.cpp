// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/monitor_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "settings/settings_file.h"

namespace sd {

std::string MonitorFilePath() { return ConfigFolderPath() + "/monitor.cfg"; }

std::vector<std::uint8_t> EncodeMonitorFile(std::span<const DeviceRecord> entries) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(entries.size() * kMonitorRecordSize);
  for (DeviceRecord record : entries) {
    std::memset(record.password, 0, sizeof record.password);
    std::memset(record.new_password, 0, sizeof record.new_password);
    const auto* p = reinterpret_cast<const std::uint8_t*>(&record);
    bytes.insert(bytes.end(), p, p + kMonitorRecordSize);
  }
  return bytes;
}

void TerminateTexts(DeviceRecord& r) {
  auto terminate = [](auto& field) { SetText(field, GetText(field)); };
  terminate(r.mac_text);
  terminate(r.product_name);
  terminate(r.system_name);
  terminate(r.location);
  terminate(r.group_interval_text);
  terminate(r.ip_text);
  terminate(r.trap_ip_text);
  terminate(r.subnet_mask_text);
  terminate(r.gateway_text);
  terminate(r.password);
  terminate(r.new_password);
}

std::optional<std::vector<DeviceRecord>> DecodeMonitorFile(std::span<const std::uint8_t> bytes) {
  if (bytes.size() % kMonitorRecordSize != 0) return std::nullopt;
  std::vector<DeviceRecord> records(bytes.size() / kMonitorRecordSize);
  for (std::size_t i = 0; i < records.size(); ++i) {
    std::memcpy(&records[i], bytes.data() + i * kMonitorRecordSize, kMonitorRecordSize);
    TerminateTexts(records[i]);
  }
  return records;
}

MonitorFileContents ReadMonitorFile(const std::string& path) {
  MonitorFileContents out;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return out;
  std::vector<std::uint8_t> bytes(kMonitorFileReadLimit);
  std::size_t done = 0;
  bool failed = false;
  while (done < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failed = true;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (failed) return out;
  bytes.resize(done);
  auto records = DecodeMonitorFile(bytes);
  if (!records) {
    out.status = MonitorFileStatus::Invalid;
    return out;
  }
  out.status = MonitorFileStatus::Ok;
  out.records = std::move(*records);
  return out;
}

int ReplaceFileContents(const std::string& path, std::span<const std::uint8_t> bytes) {
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return errno;
  int error = 0;
  std::size_t done = 0;
  while (error == 0 && done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
    } else if (n == 0) {
      error = EIO;
    } else {
      done += static_cast<std::size_t>(n);
    }
  }
  if (error == 0 && ::fchmod(fd, 0644) != 0) error = errno;
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && std::rename(temp.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) ::unlink(temp.c_str());
  return error;
}

}  // namespace sd
