// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The installation settings in define.ecf: a scrambled text of seven lines with an 8-bit
// checksum trailer, read once at start-up. Only the IGMP report interval and its flag are ever
// written back.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/messages.h"
#include "settings/config_folder.h"

namespace sd {

struct SettingsValues {
  std::uint32_t manager_id = 0;
  std::uint16_t base_port = 0;       // local port of the broadcast socket
  std::uint16_t unicast_port = 0;    // base_port + 1
  std::uint16_t agent_port = 0;      // base_port + 2: where every request goes
  std::uint16_t multicast_port = 0;  // base_port + 6
  char multicast_group[16] = {};
  int multicast_interface_on_off = 0;
  // Read once a second by the IGMP report thread while the Group Interval dialog may write them.
  std::atomic<int> multicast_timer_flag{0};
  std::atomic<int> multicast_timer{0};
};

// The process-wide settings: all zero until LoadSettings succeeds.
extern SettingsValues Settings;

// The values of a settings text, before they are put into Settings.
struct ParsedSettings {
  std::uint32_t manager_id = 0;
  std::uint16_t base_port = 0;
  std::string multicast_group;
  int multicast_interface_on_off = 0;
  int multicast_timer_flag = 0;
  int multicast_timer = 0;
};

// Sets Settings (and the ports derived from base_port) from parsed values.
void ApplySettings(const ParsedSettings& values);
// Puts every value back to zero.
void ResetSettings();

// define.ecf in the settings folder (ConfigFolderPath, settings/config_folder.h).
std::string SettingsFilePath();

// The checksum of define.ecf: the 8-bit ones' complement sum of the bytes, 0..255.
std::uint16_t SettingsChecksum(std::span<const std::uint8_t> bytes);
// The fixed substitution of the printable bytes 32..127; other bytes pass unchanged.
std::uint8_t ScrambleByte(std::uint8_t c);
std::uint8_t UnscrambleByte(std::uint8_t c);

// Checks and decodes the whole stored file (trailer included). Nothing when the checksum is
// wrong, the file is longer than 256 bytes or a key is missing.
enum class SettingsFault { None, Checksum, TooLarge, Format };
std::optional<ParsedSettings> ParseSettingsFile(std::span<const std::uint8_t> file,
                                                SettingsFault* fault = nullptr);

// Reads define.ecf into Settings. 0 on success; -1 (after telling the user, and with Settings
// untouched) when the file is missing, too large, damaged or incomplete.
int LoadSettings(IMessages& messages);

// Writes a new report interval (0 to 4 decimal digits) and flag ('0' or '1') into define.ecf,
// keeping every other byte of the text, and seals it. The new file replaces the old one only
// once it is complete, so a failed write leaves the previous file intact.
void RewriteMulticastTimer(std::string_view timer_text, char timer_flag, IMessages& messages);

// Appends the checksum trailer to the file in its current state (define.ecf by default).
// Returns false when the file could not be opened, was too large or the trailer not written.
bool SealSettingsFile(IMessages& messages, const std::string& path = SettingsFilePath());

// Scrambles a plain settings text (LF or CR LF lines) and appends its trailer: the bytes of a
// sealed define.ecf.
std::vector<std::uint8_t> MakeSealedSettings(std::string_view plain_text);

}  // namespace sd
