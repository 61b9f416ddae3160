// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs a helper program (the switch simulator) with its standard input and output on pipes, for
// tests that talk to it line by line. The process is ended when the object goes.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace sd::test {

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() { Stop(); }

  bool Start(const std::vector<std::string>& argv) {
    int to_child[2], from_child[2];
    if (::pipe2(to_child, O_CLOEXEC) != 0) return false;
    if (::pipe2(from_child, O_CLOEXEC) != 0) return false;
    pid_ = ::fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      ::dup2(to_child[0], STDIN_FILENO);
      ::dup2(from_child[1], STDOUT_FILENO);
      std::vector<char*> args;
      for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      ::execvp(args[0], args.data());
      ::_exit(127);
    }
    ::close(to_child[0]);
    ::close(from_child[1]);
    in_ = to_child[1];
    out_ = from_child[0];
    return true;
  }

  bool WriteLine(const std::string& line) {
    const std::string text = line + "\n";
    return in_ >= 0 && ::write(in_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }

  // The process's id while it runs, else -1.
  pid_t Pid() const { return pid_; }

  // Sends `signal` to the process; false when it is not running.
  bool Signal(int signal) { return pid_ > 0 && ::kill(pid_, signal) == 0; }

  // Ends the process's standard input.
  void CloseInput() {
    if (in_ >= 0) ::close(in_);
    in_ = -1;
  }

  // The next line the process prints; nothing when none comes within the timeout.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      if (const auto end = pending_.find('\n'); end != std::string::npos) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || out_ < 0) return std::nullopt;
      pollfd p{out_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char chunk[4096];
      const ssize_t n = ::read(out_, chunk, sizeof chunk);
      if (n <= 0) return std::nullopt;
      pending_.append(chunk, static_cast<std::size_t>(n));
    }
  }

  // Sends one control line and collects the answer up to its closing "ok" or "error ..." line.
  std::vector<std::string> Command(const std::string& line) {
    std::vector<std::string> answer;
    if (!WriteLine(line)) return answer;
    while (auto l = ReadLine()) {
      answer.push_back(*l);
      if (*l == "ok" || l->rfind("error", 0) == 0) break;
    }
    return answer;
  }

  // Closes its input and waits for it to end; ends it by force after the grace time. Returns
  // its exit status, or -1.
  int Stop(std::chrono::milliseconds grace = std::chrono::seconds(5)) {
    if (pid_ <= 0) return -1;
    CloseInput();
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + grace;
    pid_t done = 0;
    while ((done = ::waitpid(pid_, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (done == 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    if (out_ >= 0) ::close(out_);
    out_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  std::string pending_;
};

}  // namespace sd::test
