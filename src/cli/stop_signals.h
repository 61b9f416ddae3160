// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ctrl-C (SIGINT), SIGTERM and SIGHUP as readable data instead of interruptions: while an object
// lives, the three signals are blocked in the thread that made it (and in every thread started
// after it, which inherits the mask) and arrive on a signalfd that the event loop watches. So a
// stop request ends the loop between two events, and the program can join its threads and close
// its sockets before it exits.

#include <signal.h>

#include <optional>

namespace sd::cli {

class StopSignals {
 public:
  StopSignals();
  // Closes the descriptor and unblocks the signals again.
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // False when the signals could not be blocked or the descriptor not opened.
  bool Ok() const { return fd_ >= 0; }
  // Readable when a stop signal is pending.
  int Fd() const { return fd_; }
  // The pending signal's number, taken off the descriptor; nothing when none is pending.
  std::optional<int> Take();

 private:
  sigset_t previous_{};
  bool blocked_ = false;
  int fd_ = -1;
};

}  // namespace sd::cli
