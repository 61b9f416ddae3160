// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/event_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "settings/settings_file.h"

namespace sd {

namespace {

std::mutex& ClockMutex() {
  static std::mutex m;
  return m;
}
LocalTimeSource& Clock() {
  static LocalTimeSource source;
  return source;
}
// One append at a time within the program; O_APPEND keeps other programs' appends whole too.
std::mutex& AppendMutex() {
  static std::mutex m;
  return m;
}
std::atomic<std::uint64_t> rotation_limit{kEventLogRotationBytes};

// With the append lock held: the open log `fd` (a new one after a rotation, or -1 when the new
// file cannot be opened). A log that would pass the limit with `incoming` more bytes becomes the
// previous generation; rename() replaces an older one atomically, so either generation is always
// whole. When the rename fails the log simply grows on.
int RotateIfFull(int fd, const std::string& path, std::size_t incoming) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return fd;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (size == 0 || size + incoming <= rotation_limit.load()) return fd;
  if (::rename(path.c_str(), OldEventLogPath().c_str()) != 0) return fd;
  ::close(fd);
  return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
}

// True from a failed write until the next append that succeeds: a full disk is reported once, not
// once for every event of a storm. Guarded by AppendMutex.
bool write_failing = false;

// Writes all of `bytes` at the end of `fd`; 0 or the errno of the failure.
int WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

}  // namespace

std::tm SystemLocalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

void SetLogClock(LocalTimeSource source) {
  std::lock_guard lock(ClockMutex());
  Clock() = std::move(source);
}

std::string FormatLogTimestamp(const std::tm& t) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d %02d:%02d:%02d", t.tm_mon + 1, t.tm_mday,
                t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
  return buffer;
}

int FormatLogTimestamp(char (&buffer)[kLogTimestampLength + 1]) {
  std::tm now;
  {
    std::lock_guard lock(ClockMutex());
    now = Clock() ? Clock()() : SystemLocalTime();
  }
  const std::string text = FormatLogTimestamp(now);
  std::memset(buffer, 0, sizeof buffer);
  std::memcpy(buffer, text.data(), std::min(text.size(), kLogTimestampLength));
  return 0;
}

std::string TrapLogLine(std::string_view timestamp, std::string_view address_text,
                        std::string_view trap_text) {
  std::string line;
  line.reserve(timestamp.size() + address_text.size() + trap_text.size() + 10);
  line.append(timestamp).append(" ").append(address_text).append(" ");
  line.append("Trap :").append(trap_text).append("\r\n");
  return line;
}

std::string NotAliveLogLine(std::string_view timestamp, std::string_view address_text) {
  std::string line;
  line.append(timestamp).append(" ").append(address_text).append(" Not alive \r\n");
  return line;
}

std::string EventLogPath() { return ConfigFolderPath() + "/syslog.log"; }
std::string OldEventLogPath() { return EventLogPath() + ".1"; }

void SetEventLogRotationLimit(std::uint64_t bytes) {
  rotation_limit = bytes == 0 ? kEventLogRotationBytes : bytes;
}

int AppendToEventLog(std::span<const std::uint8_t> bytes, IMessages& messages) {
  const std::string path = EventLogPath();
  std::unique_lock lock(AppendMutex());
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd >= 0) fd = RotateIfFull(fd, path, bytes.size());
  if (fd < 0) {
    lock.unlock();  // the message may wait for the user; other appends need not
    messages.Error(kEventLogMissing);
    return -1;
  }
  // A write cut short by a full disk is taken back, so the log never holds part of a line.
  struct stat before {};
  const bool sized = ::fstat(fd, &before) == 0;
  int error = WriteAll(fd, bytes);
  if (error != 0 && sized) {
    while (::ftruncate(fd, before.st_size) != 0 && errno == EINTR) {
    }
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0) {
    write_failing = false;
    return 0;
  }
  const bool first_failure = !write_failing;
  write_failing = true;
  lock.unlock();
  if (first_failure) {
    messages.Error("Syslog.log could not be written (" + std::string(std::strerror(error)) +
                   ").\nEvents are not logged until it can be written again.");
  }
  return -1;
}

int ClearEventLog() {
  const std::string path = EventLogPath();
  std::lock_guard lock(AppendMutex());
  ::unlink(OldEventLogPath().c_str());
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return errno;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  ::close(fd);
  return 0;
}

int AppendToEventLog(std::string_view text, IMessages& messages) {
  return AppendToEventLog(
      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
      messages);
}

}  // namespace sd
