// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Work handed to the user-interface thread. Worker threads never touch a window or a list
// control themselves; they post a task here. Waits that must not freeze the window are posted
// with a delay instead of sleeping.

#include <chrono>
#include <functional>

namespace sd {

class IUiThread {
 public:
  virtual ~IUiThread() = default;
  // Runs `task` on the user-interface thread once `delay` has passed (at the next turn of the
  // event loop for no delay). Safe to call from any thread.
  virtual void Post(std::function<void()> task,
                    std::chrono::milliseconds delay = std::chrono::milliseconds(0)) = 0;
};

}  // namespace sd
