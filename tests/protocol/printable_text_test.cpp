// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/printable_text.h"

#include <gtest/gtest.h>

#include <string>

namespace sd {
namespace {

TEST(PrintableTextTest, EveryControlCharacterBecomesOneBlankAndTheRestStays) {
  using namespace std::string_literals;
  const struct {
    std::string in, out;
  } cases[] = {
      {"Port 3 link up", "Port 3 link up"},
      {"a\r\nb", "a  b"},
      {"\x01\x1f\x7f", "   "},
      {"tab\tend\x00x"s, "tab end x"},
      {"caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac"},   // other UTF-8 text passes
      {"a\xc2\x85" "b\xc2\x9f" "c\xc2\xa0", "a b c\xc2\xa0"},      // C1 controls (NEL), not NBSP
      {"a\xe2\x80\xa8" "b\xe2\x80\xa9" "c\xe2\x80\xa7", "a b c\xe2\x80\xa7"},  // U+2028, U+2029
      {"cut\xc2", "cut\xc2"},                                     // a sequence cut at the end
      {"\xe2\x80", "\xe2\x80"},
  };
  for (const auto& c : cases) EXPECT_EQ(PrintableText(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace sd
