// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A switch's text as it may enter a log line, a stored trap or a message box: every control
// character becomes one blank, so that no text a switch sends can end a line early and write a
// line that reads like the manager's own. The C0 controls and DEL are replaced byte by byte; the
// C1 controls (U+0080 to U+009F, NEL among them) and the line and paragraph separators U+2028 and
// U+2029, which some editors also break lines at, are replaced in their UTF-8 form. All other
// bytes, other UTF-8 text included, pass unchanged.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace sd {

std::string PrintableText(std::string_view text);
std::string PrintableText(std::span<const std::uint8_t> bytes);

}  // namespace sd
