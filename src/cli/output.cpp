// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/output.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "devices/device_table.h"

namespace sd::cli {

namespace {

// The length of the valid UTF-8 sequence at the start of `s` (overlong forms, surrogates and
// values above U+10FFFF are not valid), or 0.
std::size_t Utf8SequenceLength(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
  const std::uint8_t b0 = byte(0);
  if (b0 < 0x80) return 1;
  std::size_t n = 0;
  std::uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3;
    if (b0 == 0xE0) low = 0xA0;
    if (b0 == 0xED) high = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4;
    if (b0 == 0xF0) low = 0x90;
    if (b0 == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < n; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return n;
}

// A C0 or C1 control character, or DEL: a sequence that a terminal may act on.
bool IsControl(std::string_view sequence) {
  const auto b0 = static_cast<std::uint8_t>(sequence[0]);
  if (sequence.size() == 1) return b0 < 0x20 || b0 == 0x7F;
  return sequence.size() == 2 && b0 == 0xC2 && static_cast<std::uint8_t>(sequence[1]) <= 0x9F;
}

std::string Hex(const char* format, unsigned value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// nlohmann::json writes the structure, the quotes and the escapes; the texts keep two rules of
// their own that it has no option for: a byte outside valid UTF-8 is read as Latin-1 (so that any
// bytes make valid JSON), and every control character but \n, \r and \t, DEL and the C1 controls
// included (a terminal may act on them), is written \u00NN. Before the library writes a text,
// each such character becomes kMarker and two hex digits, and a kMarker of the text itself is
// doubled; after it, each marker becomes the escape or the character again. kMarker (U+10FFFD,
// a private-use character) is valid UTF-8 that the library passes through unchanged.
constexpr std::string_view kMarker = "\xF4\x8F\xBF\xBD";

std::string Marked(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = Utf8SequenceLength(text.substr(i));
    const std::string_view sequence = text.substr(i, n == 0 ? 1 : n);
    i += sequence.size();
    if (n == 0 || (IsControl(sequence) && sequence != "\n" && sequence != "\r" && sequence != "\t")) {
      // The Latin-1 reading of a stray byte, and the code point of a control character, is the
      // value of its last byte (a C1 control is C2 80 to C2 9F).
      out.append(kMarker);
      out += Hex("%02x", static_cast<std::uint8_t>(sequence.back()));
    } else if (sequence == kMarker) {
      out.append(kMarker).append(kMarker);
    } else {
      out.append(sequence);
    }
  }
  return out;
}

// What the library wrote, with each marker of Marked() turned back.
std::string Unmarked(std::string_view written) {
  std::string out;
  for (std::size_t i = 0; i < written.size();) {
    const std::size_t at = written.find(kMarker, i);
    out.append(written.substr(i, at == std::string_view::npos ? written.npos : at - i));
    if (at == std::string_view::npos) break;
    i = at + kMarker.size();
    if (written.substr(i, kMarker.size()) == kMarker) {
      out.append(kMarker);
      i += kMarker.size();
    } else {
      out.append("\\u00").append(written.substr(i, 2));
      i += 2;
    }
  }
  return out;
}

// The library's writing of `value` in the layout users have parsed all along: an object on one
// line, {"key": "value", "key": "value"}, and an array of objects with one object per line,
// indented by two blanks. The library writes each member and element on a line of its own
// (indent 0, with ": " after keys); as it escapes every line end inside a string, each line end
// of its text is one of that layout, and is kept in an array and joined in an object.
std::string Written(const nlohmann::ordered_json& value) {
  const std::string text = value.dump(0, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  std::string out;
  std::string open;  // the brackets around the current character, innermost last
  bool in_string = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      out += c;
      if (c == '\\' && i + 1 < text.size()) {
        out += text[++i];
      } else if (c == '"') {
        in_string = false;
      }
      continue;
    }
    if (c == '"') in_string = true;
    if (c == '{' || c == '[') open += c;
    if ((c == '}' || c == ']') && !open.empty()) open.pop_back();
    if (c != '\n') {
      out += c;
      continue;
    }
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (!open.empty() && open.back() == '[') {
      out += '\n';
      if (next != ']') out.append(2 * open.size(), ' ');
    } else if (text[i - 1] != '{' && next != '}') {
      out += ' ';
    }
  }
  return Unmarked(out);
}

// Characters on the screen: every byte that does not continue a UTF-8 sequence.
std::size_t DisplayWidth(std::string_view text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<std::uint8_t>(c) & 0xC0) != 0x80; }));
}

}  // namespace

std::string StatusImageName(int image) {
  if (image == kStatusImageNotAlive) return "not alive";
  if (image == kStatusImageWarning) return "warning";
  return "";
}

TableView ViewOf(const MemoryListControl& list, std::optional<int> status_column) {
  TableView view;
  for (const ListColumn& c : list.Columns()) view.headers.push_back(c.header);
  for (int row = 0; row < list.RowCount(); ++row) {
    std::vector<std::string> texts;
    for (int column = 0; column < list.ColumnCount(); ++column) {
      texts.push_back(status_column == column ? StatusImageName(list.Image(row)) : list.Text(row, column));
    }
    view.rows.push_back(std::move(texts));
  }
  return view;
}

std::string TerminalText(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = Utf8SequenceLength(text.substr(i));
    if (n == 0 || IsControl(text.substr(i, n))) {
      // A control character, or a byte of no valid sequence: shown byte by byte.
      const std::size_t bytes = n == 0 ? 1 : n;
      for (std::size_t k = 0; k < bytes; ++k) out += Hex("\\x%02x", static_cast<std::uint8_t>(text[i + k]));
      i += bytes;
      continue;
    }
    out.append(text.substr(i, n));
    i += n;
  }
  return out;
}

std::string JsonString(std::string_view text) { return Written(Marked(text)); }

std::string FormatTable(const TableView& table) {
  const std::size_t columns = table.headers.size();
  std::vector<std::vector<std::string>> lines;
  lines.push_back({});
  for (const auto& h : table.headers) lines.back().push_back(TerminalText(h));
  for (const auto& row : table.rows) {
    lines.push_back({});
    for (std::size_t c = 0; c < columns; ++c) lines.back().push_back(c < row.size() ? TerminalText(row[c]) : "");
  }
  std::vector<std::size_t> widths(columns, 0);
  for (const auto& line : lines) {
    for (std::size_t c = 0; c < columns; ++c) widths[c] = std::max(widths[c], DisplayWidth(line[c]));
  }
  std::string out;
  for (const auto& line : lines) {
    std::string text;
    for (std::size_t c = 0; c < columns; ++c) {
      text += line[c];
      if (c + 1 < columns) text.append(widths[c] - DisplayWidth(line[c]) + 2, ' ');
    }
    text.erase(text.find_last_not_of(' ') + 1);
    out += text + "\n";
  }
  return out;
}

std::string FormatJson(const TableView& table) {
  nlohmann::ordered_json rows = nlohmann::ordered_json::array();
  for (const auto& row : table.rows) {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (std::size_t c = 0; c < table.headers.size(); ++c) {
      object[Marked(table.headers[c])] = Marked(c < row.size() ? row[c] : "");
    }
    rows.push_back(std::move(object));
  }
  return Written(rows) + "\n";
}

std::string FormatEventLine(const WatchEvent& event) {
  std::string line = TerminalText(event.time) + " " + TerminalText(event.ip) + " ";
  switch (event.kind) {
    case WatchEvent::Kind::NotAlive: line += "Not alive"; break;
    case WatchEvent::Kind::Recovered: line += "Recovered"; break;
    case WatchEvent::Kind::Trap: line += "Trap :" + TerminalText(event.text); break;
  }
  return line + "\n";
}

std::string FormatEventJson(const WatchEvent& event) {
  std::string kind;
  switch (event.kind) {
    case WatchEvent::Kind::NotAlive: kind = "not alive"; break;
    case WatchEvent::Kind::Recovered: kind = "recovered"; break;
    case WatchEvent::Kind::Trap: kind = "trap"; break;
  }
  nlohmann::ordered_json object = nlohmann::ordered_json::object();
  object["event"] = kind;
  object["time"] = Marked(event.time);
  object["ip"] = Marked(event.ip);
  if (event.kind == WatchEvent::Kind::Trap) {
    object["text"] = Marked(event.text);
  } else {
    object["mac"] = Marked(event.mac);
    object["name"] = Marked(event.name);
  }
  return Written(object) + "\n";
}

bool IsJournalStream(int fd, const char* journal_stream) {
  if (journal_stream == nullptr) return false;
  const std::string_view text(journal_stream);
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  const auto number = [](std::string_view digits) -> std::optional<unsigned long long> {
    unsigned long long value = 0;
    const char* end = digits.data() + digits.size();
    const auto [at, error] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || error != std::errc() || at != end) return std::nullopt;
    return value;
  };
  const auto device = number(text.substr(0, colon));
  const auto inode = number(text.substr(colon + 1));
  struct stat st {};
  if (!device || !inode || ::fstat(fd, &st) != 0) return false;
  return static_cast<unsigned long long>(st.st_dev) == *device && static_cast<unsigned long long>(st.st_ino) == *inode;
}

std::string_view JournalPriority(const WatchEvent& event) {
  return event.kind == WatchEvent::Kind::NotAlive ? "<4>" : "<5>";
}

}  // namespace sd::cli
