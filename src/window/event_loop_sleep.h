// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A wait on the user-interface thread that does not freeze the window: timers and socket
// notifications go on being delivered, while the user's input waits until the time is up (so a
// second click cannot start the same action again in the middle of the first).

#include <chrono>

namespace sd::gui {

void SleepKeepingEventLoop(std::chrono::milliseconds duration);

}  // namespace sd::gui
