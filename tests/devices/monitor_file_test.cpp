// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/monitor_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "support/devices.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

using test::Switch;

TEST(MonitorFileFormatTest, RecordsAreWrittenRawExceptThatPasswordsBecomeZeros) {
  DeviceRecord a = Switch("001a2b3c4d5e", "192.168.0.1");
  SetText(a.password, "secret");
  SetText(a.new_password, "newsecret");
  a.missed_polls = 4;
  a.status_image = kStatusImageNotAlive;
  const DeviceRecord b = Switch("001a2b3c4d5f", "192.168.0.2");
  const DeviceRecord both[] = {a, b};
  const std::vector<std::uint8_t> bytes = EncodeMonitorFile(both);

  ASSERT_EQ(bytes.size(), 600u);
  DeviceRecord expected = a;
  std::memset(expected.password, 0, sizeof expected.password);
  std::memset(expected.new_password, 0, sizeof expected.new_password);
  EXPECT_EQ(std::memcmp(bytes.data(), &expected, 300), 0);
  EXPECT_EQ(std::memcmp(bytes.data() + 300, &b, 300), 0);
  // group_interval -1 at offset 248.
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 248, bytes.begin() + 252),
            (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_TRUE(EncodeMonitorFile({}).empty());
}

TEST(MonitorFileFormatTest, OnlyWholeRecordsDecodeAndTheirTextsEndInsideTheirFields) {
  EXPECT_FALSE(DecodeMonitorFile(std::vector<std::uint8_t>(301)).has_value());
  EXPECT_TRUE(DecodeMonitorFile({})->empty());

  std::vector<std::uint8_t> bytes(300, 'A');  // no NUL anywhere
  const auto records = DecodeMonitorFile(bytes);
  ASSERT_EQ(records->size(), 1u);
  const DeviceRecord& r = (*records)[0];
  EXPECT_EQ(std::strlen(r.mac_text), 15u);
  EXPECT_EQ(std::strlen(r.product_name), 40u);
  EXPECT_EQ(std::strlen(r.ip_text), 19u);
  EXPECT_EQ(std::strlen(r.group_interval_text), 5u);
  EXPECT_EQ(r.ip, 0x41414141u);  // numbers are kept as stored
}

TEST(MonitorFileReadTest, ReadsAtMost256RecordsAndTellsUnreadableFromInvalid) {
  test::TempConfigDir dir;
  dir.Write("long.cfg", std::vector<std::uint8_t>(257 * 300 + 1, 0));
  const MonitorFileContents longer = ReadMonitorFile(dir.File("long.cfg"));
  EXPECT_EQ(longer.status, MonitorFileStatus::Ok);
  EXPECT_EQ(longer.records.size(), 256u);

  dir.Write("odd.cfg", std::vector<std::uint8_t>(599, 0));
  EXPECT_EQ(ReadMonitorFile(dir.File("odd.cfg")).status, MonitorFileStatus::Invalid);
  EXPECT_EQ(ReadMonitorFile(dir.File("missing.cfg")).status, MonitorFileStatus::Unreadable);
  EXPECT_EQ(ReadMonitorFile(dir.Path()).status, MonitorFileStatus::Unreadable);  // a folder
}

TEST(MonitorFileWriteTest, AReplacementThatCannotBeWrittenLeavesNothingBehind) {
  test::TempConfigDir dir;
  const std::vector<std::uint8_t> bytes(300, 1);
  EXPECT_NE(ReplaceFileContents(dir.File("no-such-folder/monitor.cfg"), bytes), 0);
  // A folder in the way: the rename fails and the new file is removed again.
  std::filesystem::create_directory(dir.File("taken"));
  std::filesystem::create_directory(dir.File("taken/inside"));
  EXPECT_NE(ReplaceFileContents(dir.File("taken"), bytes), 0);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                          std::filesystem::directory_iterator()),
            1);

  EXPECT_EQ(ReplaceFileContents(dir.File("monitor.cfg"), bytes), 0);
  EXPECT_EQ(dir.Read("monitor.cfg"), bytes);
}

}  // namespace
}  // namespace sd
