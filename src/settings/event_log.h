// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The event log syslog.log in the settings folder: one line per trap, not-alive verdict or
// firmware event, each "MM/DD/YYYY hh:mm:ss <address> <event>\r\n". Lines are only appended.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "common/messages.h"

namespace sd {

inline constexpr std::size_t kLogTimestampLength = 19;
inline constexpr std::string_view kEventLogMissing = "Syslog.log does not exist.";

// The local time the log stamps lines with. The program uses the system clock; tests replace it.
using LocalTimeSource = std::function<std::tm()>;
std::tm SystemLocalTime();
// Replaces the clock of every later FormatLogTimestamp; an empty source restores the system's.
void SetLogClock(LocalTimeSource source);

// "%02d/%02d/%04d %02d:%02d:%02d": month, day, year, hour, minute, second.
std::string FormatLogTimestamp(const std::tm& time);
// Writes the current local time in that format (19 characters and a NUL); returns 0.
int FormatLogTimestamp(char (&buffer)[kLogTimestampLength + 1]);

// The lines of the two writers in the network and device code, each complete with its CR LF:
//   "<timestamp> <address> Trap :<text>\r\n"  (the text kept whole)
//   "<timestamp> <address> Not alive \r\n"
std::string TrapLogLine(std::string_view timestamp, std::string_view address_text,
                        std::string_view trap_text);
std::string NotAliveLogLine(std::string_view timestamp, std::string_view address_text);

std::string EventLogPath();
// The previous generation of the log, kept when syslog.log grows past the rotation limit.
std::string OldEventLogPath();

// syslog.log is kept at most this long: an append that would take it past the limit first
// renames it to syslog.log.1 (replacing the older generation in one step) and starts a new file.
// 256 switches declared not alive at every 5-second tick write some 200 MB a day.
inline constexpr std::uint64_t kEventLogRotationBytes = 16u << 20;
// Replaces the limit (tests); 0 restores kEventLogRotationBytes.
void SetEventLogRotationLimit(std::uint64_t bytes);

// Appends exactly these bytes to syslog.log, creating the file when it does not exist, after the
// rotation above when the file would grow past the limit. 0 on
// success; -1 when the file cannot be opened (after "Syslog.log does not exist." with the title
// "Error") or the bytes could not all be written: then the file is left as it was, and the first
// of a run of such failures is reported ("Syslog.log could not be written (REASON).", "Error").
// Appends from any thread of the program are serialised, and each goes to the end of the file in
// one piece, so lines never mix or get lost.
int AppendToEventLog(std::span<const std::uint8_t> bytes, IMessages& messages);
int AppendToEventLog(std::string_view text, IMessages& messages);

// "Clear log": deletes syslog.log (and its previous generation) and creates it again empty,
// between two appends. Nothing is asked or reported here: 0 when the log is empty now, else the
// error number of what failed (the log could not be removed, or not made again).
int ClearEventLog();

}  // namespace sd
