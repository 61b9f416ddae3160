// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs a program to its end with a given standard input and collects its standard output, its
// standard error and its exit status, for tests of command-line programs.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace sd::test {

struct ProgramResult {
  // The exit status; 128 + the signal's number when a signal ended it; -1 when it could not run
  // or had to be killed after the time limit.
  int status = -1;
  std::string out;
  std::string err;
};

inline ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& input = "",
                                std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  ProgramResult result;
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return result;
  const pid_t pid = ::fork();
  if (pid < 0) return result;
  if (pid == 0) {
    ::dup2(in[0], STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  // The input is small: written at once, then ended.
  const ::sighandler_t previous = ::signal(SIGPIPE, SIG_IGN);
  [[maybe_unused]] const auto written = ::write(in[1], input.data(), input.size());
  ::close(in[1]);
  ::signal(SIGPIPE, previous);

  const auto deadline = std::chrono::steady_clock::now() + limit;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  bool killed = false;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      ::kill(pid, SIGKILL);
      killed = true;
      break;
    }
    if (::poll(fds, 2, static_cast<int>(left.count())) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char chunk[4096];
      const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
      if (n > 0) {
        sinks[i]->append(chunk, static_cast<std::size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (const pollfd& p : fds) {
    if (p.fd >= 0) ::close(p.fd);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (killed) return result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
  return result;
}

}  // namespace sd::test
