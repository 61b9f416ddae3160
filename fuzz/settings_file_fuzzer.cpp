// SPDX-License-Identifier: GPL-3.0-or-later
// define.ecf on arbitrary bytes: ParseSettingsFile, LoadSettings from the settings folder and the
// rewrite of the report interval that the Group Interval dialog makes.
//
// Input: one byte of flags, then the file.
//   bit 0  the rest is a plain settings text: it is scrambled and sealed with a right checksum,
//          so that the fuzzer reaches the key parser past the checksum check
//   bit 1  also rewrite the report interval in the file and load the result again

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "settings/settings_file.h"
#include "support/recording_messages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sd;
  auto& dir = fuzz::FuzzConfigDir::Instance();
  if (size < 1) return -1;
  const std::uint8_t flags = data[0];
  const std::span<const std::uint8_t> rest(data + 1, size - 1);
  std::vector<std::uint8_t> file(rest.begin(), rest.end());
  if (flags & 0x01) {
    file = MakeSealedSettings(std::string_view(reinterpret_cast<const char*>(rest.data()), rest.size()));
  }

  (void)ParseSettingsFile(file);
  SettingsFault fault = SettingsFault::None;
  (void)ParseSettingsFile(file, &fault);

  test::RecordingMessages messages;
  dir.Write("define.ecf", file);
  (void)LoadSettings(messages);
  if (flags & 0x02) {
    RewriteMulticastTimer("125", '1', messages);
    (void)LoadSettings(messages);
  }
  ResetSettings();
  return 0;
}
