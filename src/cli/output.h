// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the terminal shows the device lists and the watch events: aligned tables and JSON.
// Everything a switch reports is shown so that it cannot steer the terminal (control characters
// appear as \xNN) and so that JSON stays valid UTF-8 whatever bytes the switch sent.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/watch_observer.h"
#include "devices/list_control.h"

namespace sd::cli {

// A list's column headers and its rows' texts, top to bottom.
struct TableView {
  std::vector<std::string> headers;
  std::vector<std::vector<std::string>> rows;
};

// "not alive" for the not-alive image, "warning" for the warning image, else empty.
std::string StatusImageName(int image);

// The texts of `list`. When `status_column` is given, that column shows the name of the row's
// status image instead of its text (which the window leaves empty under the image).
TableView ViewOf(const MemoryListControl& list, std::optional<int> status_column = std::nullopt);

// The table with a header line, each column as wide as its widest text and two blanks between
// columns; no blanks at the ends of lines.
std::string FormatTable(const TableView& table);
// A JSON array of objects, one per row on a line of its own, each with the headers as keys in
// column order.
std::string FormatJson(const TableView& table);

// `text` with every control character (below 0x20, and 0x7F) as \xNN.
std::string TerminalText(std::string_view text);
// `text` as a quoted JSON string. Valid UTF-8 passes unchanged; a byte that is not part of a
// valid UTF-8 sequence is read as Latin-1 and written as \u00NN.
std::string JsonString(std::string_view text);

// One line (with its line end) per event:
//   "<time> <ip> Not alive", "<time> <ip> Recovered", "<time> <ip> Trap :<text>"
std::string FormatEventLine(const WatchEvent& event);
// One JSON object (with its line end) per event:
//   {"event": "not alive"|"recovered", "time": ..., "ip": ..., "mac": ..., "name": ...}
//   {"event": "trap", "time": ..., "ip": ..., "text": ...}
std::string FormatEventJson(const WatchEvent& event);

// Whether descriptor `fd` is open on the stream that `journal_stream` names: systemd sets
// $JOURNAL_STREAM to "DEVICE:INODE" (decimal) of the stream its journal reads a service's output
// from. False for a null, empty or malformed text.
bool IsJournalStream(int fd, const char* journal_stream);
// The priority prefix the journal takes off the start of a line (sd-daemon's "<N>"): "<4>"
// (warning) for a switch declared not alive, "<5>" (notice) for a recovery and for a trap.
std::string_view JournalPriority(const WatchEvent& event);

}  // namespace sd::cli
