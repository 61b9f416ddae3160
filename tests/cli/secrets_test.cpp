// SPDX-License-Identifier: GPL-3.0-or-later
// Where the device commands' passwords come from: a prompt on a real (pseudo) terminal with its
// echo off, a file's first line, an environment variable.
#include "cli/secrets.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <sstream>
#include <thread>

#include "cli/stop_signals.h"
#include "support/temp_dir.h"

namespace sd::cli {
namespace {

// A pseudo terminal: the program's side (`terminal`) and the keyboard and screen's (`keyboard`).
struct PseudoTerminal {
  PseudoTerminal() {
    keyboard = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (keyboard < 0 || ::grantpt(keyboard) != 0 || ::unlockpt(keyboard) != 0) return;
    terminal = ::open(::ptsname(keyboard), O_RDWR | O_NOCTTY);
  }
  ~PseudoTerminal() {
    if (terminal >= 0) ::close(terminal);
    if (keyboard >= 0) ::close(keyboard);
  }
  bool Echoes() const {
    termios t{};
    return ::tcgetattr(terminal, &t) == 0 && (t.c_lflag & ECHO) != 0;
  }
  // What the terminal shows on its screen within a short while.
  std::string Screen() const {
    std::string shown;
    pollfd p{keyboard, POLLIN, 0};
    while (::poll(&p, 1, 200) > 0) {
      char chunk[256];
      const ssize_t n = ::read(keyboard, chunk, sizeof chunk);
      if (n <= 0) break;
      shown.append(chunk, static_cast<std::size_t>(n));
    }
    return shown;
  }
  void Type(std::string_view keys) const { ASSERT_EQ(::write(keyboard, keys.data(), keys.size()), static_cast<ssize_t>(keys.size())); }

  int keyboard = -1;
  int terminal = -1;
};

TEST(ReadHiddenLineTest, TheTypedLineIsNotEchoedAndTheEchoComesBack) {
  PseudoTerminal pty;
  ASSERT_GE(pty.terminal, 0);
  ASSERT_TRUE(pty.Echoes());
  std::string line;
  std::thread typist([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the echo is off by then
    pty.Type("s3cret!\n");
  });
  EXPECT_EQ(ReadHiddenLine(pty.terminal, -1, line), SecretReadEnd::kLine);
  typist.join();
  EXPECT_EQ(line, "s3cret!");
  EXPECT_EQ(pty.Screen().find("s3cret"), std::string::npos);
  EXPECT_TRUE(pty.Echoes());

  // With the echo back, what is typed now shows.
  pty.Type("visible\n");
  EXPECT_NE(pty.Screen().find("visible"), std::string::npos);
}

TEST(ReadHiddenLineTest, CtrlCEndsThePromptWithTheEchoRestored) {
  PseudoTerminal pty;
  ASSERT_GE(pty.terminal, 0);
  StopSignals stop;
  ASSERT_TRUE(stop.Ok());
  std::string line = "left over";
  std::thread typist([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pty.Type("half");
    ::kill(::getpid(), SIGINT);
  });
  EXPECT_EQ(ReadHiddenLine(pty.terminal, stop.Fd(), line), SecretReadEnd::kStopped);
  typist.join();
  EXPECT_EQ(line, "");
  EXPECT_TRUE(pty.Echoes());
  EXPECT_EQ(stop.Take(), SIGINT);
}

TEST(SecretReaderTest, FilesGiveTheirFirstLineAndVariablesTheirValue) {
  test::TempConfigDir dir;
  dir.Write("crlf", {'a', 'b', '\r', '\n', 'c', '\n'});
  dir.Write("bare", {'x', 'y'});
  dir.Write("empty", {});
  ::setenv("SD_TEST_SECRET", "from env", 1);
  struct Case {
    SecretSource source;
    std::optional<std::string> secret;
    std::string err;
  };
  using K = SecretSource::Kind;
  const Case cases[] = {
      {{K::File, dir.File("crlf")}, "ab", ""},
      {{K::File, dir.File("bare")}, "xy", ""},
      {{K::File, dir.File("empty")}, "", ""},
      {{K::File, dir.File("missing")}, std::nullopt, "switchdesk-cli: cannot read the password file " + dir.File("missing") + "\n"},
      {{K::Environment, "SD_TEST_SECRET"}, "from env", ""},
      {{K::Environment, "SD_TEST_NOT_SET"}, std::nullopt, "switchdesk-cli: the variable SD_TEST_NOT_SET is not set\n"},
  };
  for (const Case& c : cases) {
    std::istringstream in;
    std::ostringstream out, err;
    Console console{in, out, err, true};
    SecretReader reader(console);
    EXPECT_EQ(reader.Read(c.source, "Password: "), c.secret) << c.source.where;
    EXPECT_EQ(err.str(), c.err);
    EXPECT_EQ(out.str(), "");
  }
  ::unsetenv("SD_TEST_SECRET");
  // A line longer than any password is cut, not grown without end.
  std::istringstream in(std::string(1000, 'p') + "\n");
  std::ostringstream out, err;
  Console console{in, out, err, true};
  EXPECT_EQ(SecretReader(console).Read({}, "Password: ")->size(), kLongestSecretLine);
}

}  // namespace
}  // namespace sd::cli
