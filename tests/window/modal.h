// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Handling the modal dialogs and message boxes a widget opens: the handler runs once the modal
// window is up (inside its event loop) and is expected to close it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

namespace sd::test {

// Watches for the next modal window and hands it to `handle`. If none shows up within the
// time limit the test fails. Destroying the watcher stops watching.
class ModalWatcher {
 public:
  explicit ModalWatcher(std::function<void(QWidget*)> handle, int limit_ms = 5000)
      : handle_(std::move(handle)), limit_ms_(limit_ms) {
    timer_ = std::make_unique<QTimer>();
    timer_->setInterval(5);
    QObject::connect(timer_.get(), &QTimer::timeout, [this] { Poll(); });
    clock_.start();
    timer_->start();
  }
  ~ModalWatcher() { timer_->stop(); }
  bool Handled() const { return handled_; }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal->isVisible()) {
      timer_->stop();
      handled_ = true;
      handle_(modal);
      return;
    }
    if (clock_.elapsed() > limit_ms_) {
      timer_->stop();
      ADD_FAILURE() << "no modal window appeared";
    }
  }

  std::function<void(QWidget*)> handle_;
  int limit_ms_;
  std::unique_ptr<QTimer> timer_;
  QElapsedTimer clock_;
  bool handled_ = false;
};

// What a message box showed.
struct SeenBox {
  std::string text;
  std::string title;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Records the next message box and closes it with the given button.
inline std::unique_ptr<ModalWatcher> AnswerNextBox(SeenBox& seen,
                                                   QMessageBox::StandardButton answer = QMessageBox::Ok) {
  return std::make_unique<ModalWatcher>([&seen, answer](QWidget* window) {
    auto* box = qobject_cast<QMessageBox*>(window);
    if (!box) {
      ADD_FAILURE() << "expected a message box, got " << window->metaObject()->className();
      if (auto* dialog = qobject_cast<QDialog*>(window)) dialog->reject();
      return;
    }
    seen = {box->text().toStdString(), box->windowTitle().toStdString(), box->icon()};
    box->button(answer)->click();
  });
}

}  // namespace sd::test
