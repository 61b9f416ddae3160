// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/secrets.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "operations/secret.h"

namespace sd::cli {

namespace {

// Takes characters up to the line end into `line`, which never grows past its reserved
// capacity, so that no copy of a secret is left behind by a reallocation.
class LineCollector {
 public:
  explicit LineCollector(std::string& line) : line_(line) {
    WipeString(line_);
    line_.reserve(kLongestSecretLine);
  }
  // False once the line has ended.
  bool Take(char c) {
    if (c == '\n') return false;
    if (line_.size() < kLongestSecretLine) line_.push_back(c);
    return true;
  }
  // A line read from a file may end in CR LF.
  void DropCarriageReturn() {
    if (!line_.empty() && line_.back() == '\r') line_.back() = '\0', line_.pop_back();
  }

 private:
  std::string& line_;
};

}  // namespace

SecretReadEnd ReadHiddenLine(int fd, int stop_fd, std::string& line) {
  LineCollector collector(line);
  termios saved{};
  const bool terminal = ::tcgetattr(fd, &saved) == 0;
  if (terminal) {
    termios quiet = saved;
    quiet.c_lflag &= static_cast<tcflag_t>(~(ECHO | ECHOE | ECHOK | ECHONL));
    if (::tcsetattr(fd, TCSAFLUSH, &quiet) != 0) return SecretReadEnd::kError;
  }
  SecretReadEnd end = SecretReadEnd::kLine;
  for (;;) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {stop_fd, POLLIN, 0}};
    const int ready = ::poll(fds, stop_fd >= 0 ? 2 : 1, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      end = SecretReadEnd::kError;
      break;
    }
    if (stop_fd >= 0 && (fds[1].revents & POLLIN)) {
      end = SecretReadEnd::kStopped;
      break;
    }
    if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char c = 0;
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      end = SecretReadEnd::kEndOfInput;
      break;
    }
    if (!collector.Take(c)) break;
  }
  if (terminal) ::tcsetattr(fd, TCSAFLUSH, &saved);
  if (end != SecretReadEnd::kLine) WipeString(line);
  return end;
}

void SecretReader::Refuse(std::string_view why) {
  console_.err << "switchdesk-cli: " << why << '\n';
  console_.err.flush();
}

std::optional<std::string> SecretReader::Read(const SecretSource& source, std::string_view prompt) {
  stopped_ = false;
  switch (source.kind) {
    case SecretSource::Kind::Prompt: return Prompt(prompt);
    case SecretSource::Kind::File: return FromFile(source.where);
    case SecretSource::Kind::Environment: return FromEnvironment(source.where);
  }
  return std::nullopt;
}

std::optional<std::string> SecretReader::Prompt(std::string_view prompt) {
  if (!console_.interactive) {
    Refuse("there is no terminal to ask for the password at; give --password-file PATH or --password-env NAME "
           "(--new-password-file or --new-password-env for a new one)");
    return std::nullopt;
  }
  console_.err << prompt;
  console_.err.flush();
  std::string line;
  SecretReadEnd end;
  if (console_.terminal_fd >= 0) {
    end = ReadHiddenLine(console_.terminal_fd, stop_fd_, line);
  } else {
    LineCollector collector(line);
    end = SecretReadEnd::kEndOfInput;
    for (char c; console_.in.get(c);) {
      end = SecretReadEnd::kLine;
      if (!collector.Take(c)) break;
    }
    if (end != SecretReadEnd::kLine) WipeString(line);
  }
  // The line end typed was not echoed.
  console_.err << '\n';
  console_.err.flush();
  if (end == SecretReadEnd::kLine) return line;
  stopped_ = end == SecretReadEnd::kStopped;
  if (!stopped_) Refuse("no password was typed");
  return std::nullopt;
}

std::optional<std::string> SecretReader::FromFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    Refuse("cannot read the password file " + path);
    return std::nullopt;
  }
  std::string line;
  LineCollector collector(line);
  bool ok = true;
  for (;;) {
    char c = 0;
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0 || !collector.Take(c)) break;
  }
  ::close(fd);
  if (!ok) {
    WipeString(line);
    Refuse("cannot read the password file " + path);
    return std::nullopt;
  }
  collector.DropCarriageReturn();
  return line;
}

std::optional<std::string> SecretReader::FromEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) {
    Refuse("the variable " + name + " is not set");
    return std::nullopt;
  }
  std::string line;
  LineCollector collector(line);
  for (const char* p = value; *p != '\0' && collector.Take(*p); ++p) {
  }
  return line;
}

}  // namespace sd::cli
