// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/json.h"
#include "support/temp_dir.h"

namespace sd::cli {
namespace {

TEST(OutputTest, TableColumnsAreAsWideAsTheirWidestTextWithoutTrailingBlanks) {
  TableView t;
  t.headers = {"S", "IP Address", "System Name"};
  t.rows = {{"not alive", "10.0.0.1", "core"}, {"", "10.0.0.200", ""}, {"", "1.2.3.4", "h\xC3\xA4lle"}};
  EXPECT_EQ(FormatTable(t),
            "S          IP Address  System Name\n"
            "not alive  10.0.0.1    core\n"
            "           10.0.0.200\n"
            "           1.2.3.4     h\xC3\xA4lle\n");
  EXPECT_EQ(FormatTable({{"MAC Address", "IP Address"}, {}}), "MAC Address  IP Address\n");
}

// A switch names itself: whatever it sends must not move the cursor, clear the screen or break
// the JSON.
TEST(OutputTest, SwitchTextsCannotSteerTheTerminalOrBreakTheJson) {
  struct Case {
    std::string text;
    std::string terminal;
    std::string json;
  };
  const Case cases[] = {
      {"plain", "plain", "\"plain\""},
      {"a\"b\\c", "a\"b\\c", "\"a\\\"b\\\\c\""},
      {"\x1b[2J", "\\x1b[2J", "\"\\u001b[2J\""},
      {"tab\there\r\n", "tab\\x09here\\x0d\\x0a", "\"tab\\there\\r\\n\""},
      {"del\x7f", "del\\x7f", "\"del\\u007f\""},
      {"C1 \xC2\x9B" "31m", "C1 \\xc2\\x9b31m", "\"C1 \\u009b31m\""},       // U+009B, the 8-bit CSI
      {"Z\xFCrich", "Z\\xfcrich", "\"Z\\u00fcrich\""},                        // Latin-1, not UTF-8
      {"\xE2\x82\xAC 5", "\xE2\x82\xAC 5", "\"\xE2\x82\xAC 5\""},             // valid UTF-8 passes
      {"\xF0\x9F\x94\x8C", "\xF0\x9F\x94\x8C", "\"\xF0\x9F\x94\x8C\""},
      {"\xE2\x82", "\\xe2\\x82", "\"\\u00e2\\u0082\""},                       // cut short
      {"\xC0\xAF", "\\xc0\\xaf", "\"\\u00c0\\u00af\""},                       // overlong
      {"\xED\xA0\x80", "\\xed\\xa0\\x80", "\"\\u00ed\\u00a0\\u0080\""},       // a surrogate
      {"bell\x07 ff\x0c", "bell\\x07 ff\\x0c", "\"bell\\u0007 ff\\u000c\""},
      {"\xF4\x8F\xBF\xBD\xF4\x8F\xBF\xBD" "12", "\xF4\x8F\xBF\xBD\xF4\x8F\xBF\xBD" "12",  // U+10FFFD passes
       "\"\xF4\x8F\xBF\xBD\xF4\x8F\xBF\xBD" "12\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TerminalText(c.text), c.terminal) << c.terminal;
    EXPECT_EQ(JsonString(c.text), c.json) << c.terminal;
    const auto parsed = test::ParseJson(JsonString(c.text));
    ASSERT_TRUE(parsed) << c.json;
    EXPECT_EQ(parsed->type, test::Json::Type::String);
  }
}

TEST(OutputTest, JsonRowsAreObjectsKeyedByTheColumnHeadersInOrder) {
  TableView t;
  t.headers = {"MAC Address", "IP Address", "System Name"};
  t.rows = {{"020000000010", "198.18.0.10", "edge \"1\""}, {"020000000011", "198.18.0.11", ""}};
  const auto parsed = test::ParseJson(FormatJson(t));
  ASSERT_TRUE(parsed) << FormatJson(t);
  ASSERT_EQ(parsed->array.size(), 2u);
  EXPECT_EQ(parsed->array[0].Keys(), t.headers);
  EXPECT_EQ(parsed->array[0].Text("System Name"), "edge \"1\"");
  EXPECT_EQ(parsed->array[1].Text("IP Address"), "198.18.0.11");
  EXPECT_EQ(FormatJson({t.headers, {}}), "[]\n");
  // The layout scripts have read line by line: one object per line.
  EXPECT_EQ(FormatJson(t),
            "[\n"
            "  {\"MAC Address\": \"020000000010\", \"IP Address\": \"198.18.0.10\", \"System Name\": \"edge \\\"1\\\"\"},\n"
            "  {\"MAC Address\": \"020000000011\", \"IP Address\": \"198.18.0.11\", \"System Name\": \"\"}\n"
            "]\n");
}

TEST(OutputTest, TheStatusColumnNamesTheImageTheWindowDraws) {
  MemoryListControl list;
  list.AddColumn({"S", ColumnAlignment::Center, 20});
  list.AddColumn({"IP Address", ColumnAlignment::Left, 80});
  const std::pair<int, std::string> rows[] = {{kStatusImageNone, ""}, {kStatusImageWarning, "warning"},
                                              {kStatusImageNotAlive, "not alive"}};
  for (const auto& [image, name] : rows) {
    const int row = list.InsertRow(list.RowCount(), image, 0);
    list.SetText(row, 1, "10.0.0." + std::to_string(row + 1));
  }
  const TableView view = ViewOf(list, 0);
  ASSERT_EQ(view.rows.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(view.rows[i][0], rows[i].second);
  EXPECT_EQ(view.rows[2][1], "10.0.0.3");
  EXPECT_EQ(ViewOf(list).rows[2][0], "");  // without a status column: the texts as they are
}

TEST(OutputTest, EventLinesFollowTheEventLogAndJsonLinesParseBack) {
  WatchEvent verdict{WatchEvent::Kind::NotAlive, "06/01/2007 14:03:09", "192.168.0.10", "020000000010", "core", ""};
  WatchEvent recovered = verdict;
  recovered.kind = WatchEvent::Kind::Recovered;
  WatchEvent trap{WatchEvent::Kind::Trap, "06/01/2007 14:03:10", "192.168.0.11", "", "", "Port 2 \x1b link down"};
  EXPECT_EQ(FormatEventLine(verdict), "06/01/2007 14:03:09 192.168.0.10 Not alive\n");
  EXPECT_EQ(FormatEventLine(recovered), "06/01/2007 14:03:09 192.168.0.10 Recovered\n");
  EXPECT_EQ(FormatEventLine(trap), "06/01/2007 14:03:10 192.168.0.11 Trap :Port 2 \\x1b link down\n");

  struct Case {
    WatchEvent event;
    std::vector<std::string> keys;
    std::string kind;
  };
  const Case cases[] = {
      {verdict, {"event", "time", "ip", "mac", "name"}, "not alive"},
      {recovered, {"event", "time", "ip", "mac", "name"}, "recovered"},
      {trap, {"event", "time", "ip", "text"}, "trap"},
  };
  for (const Case& c : cases) {
    const std::string line = FormatEventJson(c.event);
    ASSERT_EQ(line.find('\n'), line.size() - 1) << line;
    const auto parsed = test::ParseJson(line);
    ASSERT_TRUE(parsed) << line;
    EXPECT_EQ(parsed->Keys(), c.keys);
    EXPECT_EQ(parsed->Text("event"), c.kind);
    EXPECT_EQ(parsed->Text("time"), c.event.time);
    EXPECT_EQ(parsed->Text("ip"), c.event.ip);
  }
  EXPECT_EQ(FormatEventJson(trap),
            "{\"event\": \"trap\", \"time\": \"06/01/2007 14:03:10\", \"ip\": \"192.168.0.11\", "
            "\"text\": \"Port 2 \\u001b link down\"}\n");
  EXPECT_EQ(test::ParseJson(FormatEventJson(trap))->Text("text"), "Port 2 \x1b link down");
  EXPECT_EQ(test::ParseJson(FormatEventJson(verdict))->Text("name"), "core");
}

// systemd names the journal's stream by device and inode; only the descriptor open on that very
// file is the journal, so output to a pipe or a file keeps its bytes.
TEST(OutputTest, TheJournalIsTheStreamJournalStreamNamesAndItsLinesCarryAPriority) {
  test::TempConfigDir dir;
  dir.Write("a", {});
  dir.Write("b", {});
  const int a = ::open(dir.File("a").c_str(), O_RDONLY | O_CLOEXEC);
  const int b = ::open(dir.File("b").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  struct stat st {};
  ASSERT_EQ(::fstat(a, &st), 0);
  const std::string device = std::to_string(st.st_dev), inode = std::to_string(st.st_ino);
  const std::string named = device + ":" + inode;
  EXPECT_TRUE(IsJournalStream(a, named.c_str()));
  EXPECT_FALSE(IsJournalStream(b, named.c_str()));
  for (const std::string& text : {std::string(), device, ":" + inode, device + ":", device + ":" + inode + "x",
                                  device + ":-" + inode, "+" + named, device + " :" + inode,
                                  device + ":" + inode + ":1", named + "99999999999999999999999"}) {
    EXPECT_FALSE(IsJournalStream(a, text.c_str())) << text;
  }
  EXPECT_FALSE(IsJournalStream(a, nullptr));
  EXPECT_FALSE(IsJournalStream(-1, named.c_str()));
  ::close(a);
  ::close(b);

  WatchEvent event;
  event.kind = WatchEvent::Kind::NotAlive;
  EXPECT_EQ(JournalPriority(event), "<4>");
  event.kind = WatchEvent::Kind::Recovered;
  EXPECT_EQ(JournalPriority(event), "<5>");
  event.kind = WatchEvent::Kind::Trap;
  EXPECT_EQ(JournalPriority(event), "<5>");
}

}  // namespace
}  // namespace sd::cli
