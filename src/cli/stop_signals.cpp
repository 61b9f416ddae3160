// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/stop_signals.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

namespace sd::cli {

StopSignals::StopSignals() {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGHUP);
  blocked_ = ::pthread_sigmask(SIG_BLOCK, &stop, &previous_) == 0;
  if (blocked_) fd_ = ::signalfd(-1, &stop, SFD_NONBLOCK | SFD_CLOEXEC);
}

StopSignals::~StopSignals() {
  if (fd_ >= 0) ::close(fd_);
  if (blocked_) ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

std::optional<int> StopSignals::Take() {
  if (fd_ < 0) return std::nullopt;
  signalfd_siginfo info{};
  ssize_t n;
  do {
    n = ::read(fd_, &info, sizeof info);
  } while (n < 0 && errno == EINTR);
  if (n != static_cast<ssize_t>(sizeof info)) return std::nullopt;
  return static_cast<int>(info.ssi_signo);
}

}  // namespace sd::cli
