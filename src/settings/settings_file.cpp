// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "protocol/payload_builders.h"

namespace sd {

SettingsValues Settings;

namespace {

constexpr std::size_t kStartupBufferSize = 256;
constexpr std::size_t kRewriteBufferSize = 1024;
constexpr int kScrambleMultiplier = 37;
constexpr int kScrambleOffset = 29;
constexpr int kScrambleRange = 96;
constexpr std::string_view kFileErrorTitle = "file error";

// Extended Euclid: the inverse of a modulo m, taken into 0..m-1.
int ModularInverse(int a, int m) {
  int old_r = a, r = m, old_s = 1, s = 0;
  while (r != 0) {
    const int q = old_r / r;
    int t = old_r - q * r;
    old_r = r;
    r = t;
    t = old_s - q * s;
    old_s = s;
    s = t;
  }
  int inverse = old_s % m;
  if (inverse < 0) inverse += m;
  return inverse;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path, std::size_t limit,
                                                       bool* too_large) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  char buf[512];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    bytes.insert(bytes.end(), buf, buf + in.gcount());
    if (bytes.size() > limit) {
      if (too_large) *too_large = true;
      return std::nullopt;
    }
  }
  return bytes;
}

// Writes bytes to a new file beside `path` and moves it into place; false when any step fails,
// in which case `path` is left as it was.
bool ReplaceFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                           IMessages& messages) {
  const std::string temp = path + ".new";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) ok = false; else done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) ok = false;
  ok = ok && SealSettingsFile(messages, temp);
  if (ok) {
    const int sync_fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (sync_fd < 0 || ::fsync(sync_fd) != 0) ok = false;
    if (sync_fd >= 0) ::close(sync_fd);
  }
  if (ok && std::rename(temp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

// Leading decimal digits as a number; no digits give 0.
int LeadingDecimal(std::string_view text) {
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > 99999999) break;
  }
  return static_cast<int>(value);
}

}  // namespace

void ApplySettings(const ParsedSettings& v) {
  Settings.manager_id = v.manager_id;
  Settings.base_port = v.base_port;
  Settings.unicast_port = static_cast<std::uint16_t>(v.base_port + 1);
  Settings.agent_port = static_cast<std::uint16_t>(v.base_port + 2);
  Settings.multicast_port = static_cast<std::uint16_t>(v.base_port + 6);
  std::memset(Settings.multicast_group, 0, sizeof Settings.multicast_group);
  std::memcpy(Settings.multicast_group, v.multicast_group.data(),
              std::min(v.multicast_group.size(), sizeof Settings.multicast_group - 1));
  Settings.multicast_interface_on_off = v.multicast_interface_on_off;
  Settings.multicast_timer_flag = v.multicast_timer_flag;
  Settings.multicast_timer = v.multicast_timer;
}

void ResetSettings() { ApplySettings(ParsedSettings{}); Settings.unicast_port = Settings.agent_port = Settings.multicast_port = 0; }

std::string SettingsFilePath() { return ConfigFolderPath() + "/define.ecf"; }

std::uint16_t SettingsChecksum(std::span<const std::uint8_t> bytes) {
  std::uint16_t sum = 0;
  for (std::uint8_t b : bytes) sum = static_cast<std::uint16_t>(sum + b);
  for (int fold = 0; fold < 2; ++fold) sum = static_cast<std::uint16_t>((sum & 0xFF) + (sum >> 8));
  return sum;
}

std::uint8_t ScrambleByte(std::uint8_t c) {
  if (c < 0x20 || c > 0x7F) return c;
  return static_cast<std::uint8_t>(((c - 32) * kScrambleMultiplier + kScrambleOffset) % kScrambleRange + 32);
}

std::uint8_t UnscrambleByte(std::uint8_t c) {
  if (c < 0x20 || c > 0x7F) return c;
  static const int inverse = ModularInverse(kScrambleMultiplier, kScrambleRange);
  int x = ((c - 32 - kScrambleOffset) * inverse) % kScrambleRange;
  if (x < 0) x += kScrambleRange;
  return static_cast<std::uint8_t>(x + 32);
}

std::optional<ParsedSettings> ParseSettingsFile(std::span<const std::uint8_t> file,
                                                SettingsFault* fault) {
  auto fail = [&](SettingsFault f) -> std::optional<ParsedSettings> {
    if (fault) *fault = f;
    return std::nullopt;
  };
  if (fault) *fault = SettingsFault::None;
  if (file.size() > kStartupBufferSize) return fail(SettingsFault::TooLarge);
  if (file.size() < 2 || SettingsChecksum(file) != 0xFF) return fail(SettingsFault::Checksum);

  // Drop every CR LF pair, then unscramble the text (the trailer is not text).
  std::string text;
  text.reserve(file.size());
  for (std::size_t i = 0; i < file.size(); ++i) {
    if (file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n') {
      ++i;
      continue;
    }
    text.push_back(static_cast<char>(file[i]));
  }
  const std::size_t text_length = file.size() - 2;
  for (std::size_t i = 0; i < text.size() && i < text_length; ++i) {
    text[i] = static_cast<char>(UnscrambleByte(static_cast<std::uint8_t>(text[i])));
  }

  // Each value stands at a fixed width right after the n-th "=" of the text; a value is cut
  // at the end of the text or at a NUL, as the zero-filled reader buffer would cut it.
  std::size_t cursor = 0;
  auto next_value = [&](std::size_t width) -> std::optional<std::string> {
    const std::size_t eq = text.find('=', cursor);
    if (eq == std::string::npos) return std::nullopt;
    cursor = eq + 1;
    std::string value = text.substr(cursor, width);
    if (auto nul = value.find('\0'); nul != std::string::npos) value.resize(nul);
    return value;
  };
  std::optional<std::string> values[7];
  const std::size_t widths[6] = {8, 4, 15, 1, 1, 1};
  for (int i = 0; i < 6; ++i) {
    values[i] = next_value(widths[i]);
    if (!values[i]) return fail(SettingsFault::Format);
  }
  // The timer's width is the line 6 digit; the format allows at most 8 digits.
  const int timer_width = std::min(LeadingDecimal(*values[5]), 8);
  values[6] = next_value(static_cast<std::size_t>(timer_width));
  if (!values[6]) return fail(SettingsFault::Format);

  ParsedSettings out;
  std::array<std::uint8_t, 4> id{};
  if (HexTextToBytes(*values[0], id) == 0) {
    out.manager_id = (std::uint32_t{id[0]} << 24) | (std::uint32_t{id[1]} << 16) |
                     (std::uint32_t{id[2]} << 8) | id[3];
  }
  std::array<std::uint8_t, 2> port{};
  if (HexTextToBytes(*values[1], port) == 0) {
    out.base_port = static_cast<std::uint16_t>((port[0] << 8) | port[1]);
  }
  out.multicast_group = *values[2];
  out.multicast_interface_on_off = LeadingDecimal(*values[3]);
  out.multicast_timer_flag = LeadingDecimal(*values[4]);
  out.multicast_timer = LeadingDecimal(*values[6]);
  return out;
}

int LoadSettings(IMessages& messages) {
  bool too_large = false;
  auto file = ReadWholeFile(SettingsFilePath(), kStartupBufferSize, &too_large);
  if (!file) {
    messages.ShowMessage(too_large ? "Define.ecf is too large." : "Define.ecf does not exist.",
                         kFileErrorTitle, MessageIcon::Error);
    return -1;
  }
  SettingsFault fault = SettingsFault::None;
  auto parsed = ParseSettingsFile(*file, &fault);
  if (!parsed) {
    messages.ShowMessage(fault == SettingsFault::Format ? "Define.ecf format error."
                                                        : "Define.ecf checksum error.",
                         kFileErrorTitle, MessageIcon::Error);
    return -1;
  }
  ApplySettings(*parsed);
  return 0;
}

void RewriteMulticastTimer(std::string_view timer_text, char timer_flag, IMessages& messages) {
  const std::string path = SettingsFilePath();
  bool too_large = false;
  auto file = ReadWholeFile(path, kRewriteBufferSize, &too_large);
  if (!file) {
    messages.Plain(too_large ? "file size too large" : "open file fail");
    return;
  }
  if (SettingsChecksum(*file) != 0xFF) messages.Plain("define.ecf checksum error");

  std::string text(file->begin(), file->end());
  for (char& c : text) c = static_cast<char>(UnscrambleByte(static_cast<std::uint8_t>(c)));

  const std::size_t on_off = text.find("multicast_interface_on_off=");
  const std::size_t flag_key = on_off == std::string::npos ? on_off : text.find("multicast_timer_flag=", on_off);
  const std::size_t length_key = flag_key == std::string::npos ? flag_key : text.find("strlen_multi_timer=", flag_key);
  const std::size_t timer_key = length_key == std::string::npos ? length_key : text.find("multicast_timer=", length_key);
  if (timer_key == std::string::npos) {
    messages.Plain("define.ecf format error");
    return;
  }
  const std::size_t flag_at = flag_key + std::strlen("multicast_timer_flag=");
  const std::size_t length_at = length_key + std::strlen("strlen_multi_timer=");
  const std::size_t timer_at = timer_key + std::strlen("multicast_timer=");
  const std::size_t old_length =
      length_at < text.size() ? static_cast<std::size_t>(std::min(LeadingDecimal(text.substr(length_at, 1)), 8)) : 0;

  // The two bytes after the old value (the line end) follow the new value too.
  std::string line_end;
  for (std::size_t i = timer_at + old_length; i < timer_at + old_length + 2; ++i) {
    line_end.push_back(i < text.size() ? text[i] : '\0');
  }
  const std::string_view value = timer_text.substr(0, 8);
  if (flag_at < text.size()) text[flag_at] = timer_flag;
  if (length_at < text.size()) text[length_at] = static_cast<char>('0' + value.size());
  text.resize(std::min(timer_at, text.size()));
  text.append(value);
  text.append(line_end);
  // The file ends at the first zero byte of the new text.
  if (auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);

  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size());
  for (char c : text) bytes.push_back(ScrambleByte(static_cast<std::uint8_t>(c)));
  if (!ReplaceFileAtomically(path, bytes, messages)) messages.Plain("ECF File created fail");
}

bool SealSettingsFile(IMessages& messages, const std::string& path) {
  bool too_large = false;
  auto file = ReadWholeFile(path, kRewriteBufferSize, &too_large);
  if (!file) {
    messages.Plain(too_large ? "file size too large" : "open file fail");
    return false;
  }
  const auto c = static_cast<std::uint8_t>(SettingsChecksum(*file));
  const std::uint8_t trailer[2] = {static_cast<std::uint8_t>(0xFF - c), 0xFF};
  std::ofstream out(path, std::ios::binary | std::ios::app);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(trailer), 2);
  out.flush();
  return static_cast<bool>(out);
}

std::vector<std::uint8_t> MakeSealedSettings(std::string_view plain) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < plain.size(); ++i) {
    const char c = plain[i];
    if (c == '\n' && (i == 0 || plain[i - 1] != '\r')) bytes.push_back('\r');
    bytes.push_back(ScrambleByte(static_cast<std::uint8_t>(c)));
  }
  const auto c = static_cast<std::uint8_t>(SettingsChecksum(bytes));
  bytes.push_back(static_cast<std::uint8_t>(0xFF - c));
  bytes.push_back(0xFF);
  return bytes;
}

}  // namespace sd
