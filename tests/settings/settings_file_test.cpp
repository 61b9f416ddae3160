// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "support/recording_messages.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

using test::RecordingMessages;
using test::ShownMessage;

std::string PlainText(std::string_view base_port = "C350", std::string_view timer_digits = "3",
                      std::string_view timer = "125", std::string_view manager = "01945AE0") {
  return "manager_id=" + std::string(manager) + "\r\nbase_port=" + std::string(base_port) +
         "\r\nmulticast_group=239.255.100.100\r\nmulticast_interface_on_off=1\r\n"
         "multicast_timer_flag=1\r\nstrlen_multi_timer=" + std::string(timer_digits) +
         "\r\nmulticast_timer=" + std::string(timer) + "\r\n";
}

std::string Unscrambled(const std::vector<std::uint8_t>& file) {
  std::string s;
  for (std::size_t i = 0; i + 2 < file.size(); ++i) s.push_back(static_cast<char>(UnscrambleByte(file[i])));
  return s;
}

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetSettings(); }
  void TearDown() override { ResetSettings(); }
  test::TempConfigDir dir;
  RecordingMessages messages;
};

TEST(SettingsChecksumTest, FoldsToTheOnesComplementSum) {
  const std::vector<std::uint8_t> abc{'a', 'b', 'c'};
  EXPECT_EQ(SettingsChecksum(abc), 0x27);
  const std::vector<std::uint8_t> sealed{'a', 'b', 'c', 0xD8, 0xFF};
  EXPECT_EQ(SettingsChecksum(sealed), 0xFF);
  EXPECT_EQ(SettingsChecksum({}), 0);
  const std::vector<std::uint8_t> many(1024, 0xFF);
  EXPECT_LE(SettingsChecksum(many), 0xFF);
}

TEST(SettingsScrambleTest, PermutesPrintableBytesAndKeepsTheRest) {
  std::set<int> images;
  for (int c = 0; c < 256; ++c) {
    const auto b = static_cast<std::uint8_t>(c);
    const std::uint8_t s = ScrambleByte(b);
    EXPECT_EQ(UnscrambleByte(s), b) << c;
    if (c < 0x20 || c > 0x7F) {
      EXPECT_EQ(s, b) << c;
    } else {
      EXPECT_GE(s, 0x20);
      EXPECT_LE(s, 0x7F);
      images.insert(s);
    }
  }
  EXPECT_EQ(images.size(), 96u);
  EXPECT_EQ(ScrambleByte(' '), 32 + 29);
}

TEST_F(SettingsFileTest, LoadsTheDefaultFileTheBuildGenerates) {
  const char* build = std::getenv("SWITCHDESK_TEST_BINARY_DIR");
  ASSERT_NE(build, nullptr);
  std::filesystem::copy_file(std::string(build) + "/cfg/define.ecf", dir.File("define.ecf"));
  ASSERT_EQ(LoadSettings(messages), 0);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(Settings.manager_id, 0x01945AE0u);
  EXPECT_EQ(Settings.manager_id, 26499808u);
  EXPECT_STREQ(Settings.multicast_group, "239.255.100.100");
  EXPECT_EQ(Settings.multicast_interface_on_off, 1);
  EXPECT_EQ(Settings.multicast_timer_flag, 1);
  EXPECT_EQ(Settings.multicast_timer, 125);
  // None of the derived ports meets the TFTP client's local port.
  for (std::uint16_t p : {Settings.base_port, Settings.unicast_port, Settings.agent_port, Settings.multicast_port}) {
    EXPECT_NE(p, 64517);
    EXPECT_NE(p, 69);
  }
}

TEST_F(SettingsFileTest, HexValuesInEitherCaseAndDerivedPorts) {
  for (std::string_view port : {"00AB", "00ab"}) {
    dir.Write("define.ecf", MakeSealedSettings(PlainText(port)));
    ASSERT_EQ(LoadSettings(messages), 0);
    EXPECT_EQ(Settings.base_port, 0xAB);
    EXPECT_EQ(Settings.unicast_port, 0xAC);
    EXPECT_EQ(Settings.agent_port, 0xAD);
    EXPECT_EQ(Settings.multicast_port, 0xB1);
  }
  dir.Write("define.ecf", MakeSealedSettings(PlainText("FFFF", "3", "125", "0194ZAE0")));
  ASSERT_EQ(LoadSettings(messages), 0);
  EXPECT_EQ(Settings.manager_id, 0u) << "a non-hexadecimal character makes the value 0";
  EXPECT_EQ(Settings.agent_port, 1) << "derived ports wrap like any u16";
}

TEST_F(SettingsFileTest, RefusesDamagedMissingOversizedAndIncompleteFiles) {
  const ShownMessage checksum{"Define.ecf checksum error.", "file error", MessageIcon::Error};
  auto sealed = MakeSealedSettings(PlainText());
  sealed[7] ^= 0x01;
  struct Case {
    const char* name;
    std::optional<std::vector<std::uint8_t>> file;
    ShownMessage expected;
  };
  std::vector<std::uint8_t> long_file = MakeSealedSettings(PlainText() + std::string(300, 'x'));
  const Case cases[] = {
      {"flipped byte", sealed, checksum},
      {"missing", std::nullopt, {"Define.ecf does not exist.", "file error", MessageIcon::Error}},
      {"longer than 256 bytes", long_file, {"Define.ecf is too large.", "file error", MessageIcon::Error}},
      {"a key missing", MakeSealedSettings("id=01945AE0\r\nport=C350\r\n"),
       {"Define.ecf format error.", "file error", MessageIcon::Error}},
      {"empty", std::vector<std::uint8_t>{}, checksum},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir.File("define.ecf"));
    if (c.file) dir.Write("define.ecf", *c.file);
    messages.shown.clear();
    EXPECT_EQ(LoadSettings(messages), -1);
    EXPECT_EQ(messages.shown, std::vector<ShownMessage>{c.expected});
    EXPECT_EQ(Settings.manager_id, 0u) << "no value is taken from a refused file";
    EXPECT_EQ(Settings.base_port, 0);
    EXPECT_STREQ(Settings.multicast_group, "");
  }
}

TEST_F(SettingsFileTest, AnySingleFlippedBitIsCaught) {
  const auto sealed = MakeSealedSettings(PlainText());
  const std::vector<ShownMessage> checksum = {{"Define.ecf checksum error.", "file error", MessageIcon::Error}};
  for (std::size_t at = 0; at < sealed.size(); ++at) {
    for (int bit = 0; bit < 8; ++bit) {
      SCOPED_TRACE("byte " + std::to_string(at) + ", bit " + std::to_string(bit));
      auto damaged = sealed;
      damaged[at] = static_cast<std::uint8_t>(damaged[at] ^ (1u << bit));
      dir.Write("define.ecf", damaged);
      messages.shown.clear();
      ASSERT_EQ(LoadSettings(messages), -1);
      ASSERT_EQ(messages.shown, checksum);
      ASSERT_EQ(Settings.manager_id, 0u);
    }
  }
}

TEST_F(SettingsFileTest, RewriteGivesBackTheValueWhateverTheLengths) {
  dir.Write("define.ecf", MakeSealedSettings(PlainText("C350", "1", "0")));
  const auto original = Unscrambled(dir.Read("define.ecf"));
  const std::string lines_1_to_4 = original.substr(0, original.find("multicast_timer_flag="));
  for (const char* value : {"1225", "120", "", "7", "1225"}) {
    RewriteMulticastTimer(value, value[0] ? '1' : '0', messages);
    const auto file = dir.Read("define.ecf");
    const auto text = Unscrambled(file);
    EXPECT_EQ(text.substr(0, lines_1_to_4.size()), lines_1_to_4);
    EXPECT_EQ(text.size() + 2, file.size());
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(SettingsChecksum(file), 0xFF);
    ASSERT_EQ(LoadSettings(messages), 0);
    EXPECT_EQ(Settings.multicast_timer, std::atoi(value));
    EXPECT_EQ(Settings.multicast_timer_flag, value[0] ? 1 : 0);
    EXPECT_NE(text.find("strlen_multi_timer=" + std::to_string(std::string(value).size())), std::string::npos);
  }
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SettingsFileTest, RewriteOfADamagedFileWarnsAndSealsAfresh) {
  auto sealed = MakeSealedSettings(PlainText());
  sealed[sealed.size() - 2] ^= 0x10;
  dir.Write("define.ecf", sealed);
  RewriteMulticastTimer("130", '1', messages);
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{{"define.ecf checksum error", "Switchdesk", MessageIcon::None}}));
  ASSERT_EQ(LoadSettings(messages), 0);
  EXPECT_EQ(Settings.multicast_timer, 130);
}

TEST_F(SettingsFileTest, FailedRewriteLeavesThePreviousFileIntact) {
  const auto sealed = MakeSealedSettings(PlainText());
  dir.Write("define.ecf", sealed);
  // The new file cannot be created (its name is taken by a folder), whoever runs the test.
  std::filesystem::create_directory(dir.File("define.ecf.new"));
  RewriteMulticastTimer("130", '1', messages);
  EXPECT_EQ(messages.Texts(), std::vector<std::string>{"ECF File created fail"});
  EXPECT_EQ(dir.Read("define.ecf"), sealed);
}

TEST_F(SettingsFileTest, SealRefusesMissingAndOversizedFiles) {
  EXPECT_FALSE(SealSettingsFile(messages));
  dir.Write("define.ecf", std::vector<std::uint8_t>(1025, 'a'));
  EXPECT_FALSE(SealSettingsFile(messages));
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"open file fail", "file size too large"}));
  EXPECT_EQ(dir.Read("define.ecf").size(), 1025u) << "left without a trailer";
  dir.Write("define.ecf", {'a', 'b', 'c'});
  EXPECT_TRUE(SealSettingsFile(messages));
  EXPECT_EQ(dir.Read("define.ecf"), (std::vector<std::uint8_t>{'a', 'b', 'c', 0xD8, 0xFF}));
}

// The folder's rule itself is tested in config_folder_test.cpp.
TEST_F(SettingsFileTest, SettingsFileIsDefineEcfInTheSettingsFolder) {
  EXPECT_EQ(ConfigFolderPath(), dir.Path());
  EXPECT_EQ(SettingsFilePath(), dir.Path() + "/define.ecf");
}

}  // namespace
}  // namespace sd
