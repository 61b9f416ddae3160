// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/qt_ui_thread.h"

#include <QMetaObject>
#include <QTimer>

namespace sd::gui {

void QtUiThread::Post(std::function<void()> task, std::chrono::milliseconds delay) {
  // A queued call is safe from any thread; the timer is then started on the context's thread.
  QMetaObject::invokeMethod(
      &context_,
      [this, task = std::move(task), delay]() mutable {
        if (delay.count() <= 0) {
          task();
        } else {
          QTimer::singleShot(delay, &context_, std::move(task));
        }
      },
      Qt::QueuedConnection);
}

}  // namespace sd::gui
