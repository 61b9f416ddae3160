// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/desktop_shell.h"

#include <gtest/gtest.h>

#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sd::gui {
namespace {

// A desktop with the given programs installed and environment, recording what is started.
// Programs given with a path are found when that path is installed; others are in /usr/bin.
struct FakeDesktop {
  FakeDesktop(std::vector<std::string> programs, std::optional<QString> browser)
      : installed(std::move(programs)), browser_variable(std::move(browser)) {}

  std::vector<std::string> installed;
  std::optional<QString> browser_variable;
  std::optional<QString> http_handler;       // what `xdg-mime query default x-scheme-handler/http` says
  std::map<QString, QString> desktop_entries;  // id -> text
  bool start_succeeds = true;
  std::vector<QStringList> started;  // program first, then its arguments
  std::vector<QStringList> queried;
  bool answer_later = false;
  std::function<void()> later;  // the desktop's answer, held back

  DesktopShell Shell() {
    return DesktopShell({
        [this](const QString& program) {
          for (const std::string& p : installed) {
            if (program.toStdString() != p) continue;
            return program.startsWith(QLatin1Char('/')) ? program : QStringLiteral("/usr/bin/") + program;
          }
          return QString();
        },
        [this](const QString& program, const QStringList& arguments) {
          started.push_back(QStringList{program} + arguments);
          return start_succeeds;
        },
        [this](const char* name) -> std::optional<QString> {
          if (std::string(name) == "BROWSER") return browser_variable;
          return std::nullopt;
        },
        [this](const QString& program, const QStringList& arguments,
               std::function<void(std::optional<QString>)> done) {
          queried.push_back(QStringList{program} + arguments);
          std::optional<QString> answer;
          if (program == "/usr/bin/xdg-mime" &&
              arguments == QStringList{"query", "default", "x-scheme-handler/http"}) {
            answer = http_handler;
          }
          // The desktop answers at once, or later when the test says so.
          if (answer_later) {
            later = [done, answer] { done(answer); };
          } else {
            done(answer);
          }
        },
        [this](const QString& id) -> std::optional<QString> {
          const auto it = desktop_entries.find(id);
          if (it == desktop_entries.end()) return std::nullopt;
          return it->second;
        },
    });
  }
};

// What OpenWebBrowser reported: nothing while it has not answered.
std::optional<bool> Open(DesktopShell& shell, const char* address) {
  auto result = std::make_shared<std::optional<bool>>();
  shell.OpenWebBrowser(address, [result](bool started) { *result = started; });
  return *result;
}

const QString kFirefoxEntry = QStringLiteral(
    "[Desktop Entry]\nName=Firefox ESR\nExec=/usr/lib/firefox-esr/firefox-esr %u\nIcon=firefox-esr\n"
    "[Desktop Action new-private-window]\nExec=/usr/lib/firefox-esr/firefox-esr --private-window %u\n");

TEST(DesktopShellTest, BrowserIsBrowserVariableThenTheDesktopDefaultThenXWwwBrowser) {
  struct Case {
    const char* name;
    std::vector<std::string> installed;
    std::optional<QString> browser_variable;
    std::optional<QString> http_handler;
    QStringList expected;  // empty: nothing started
  };
  const std::vector<std::string> desktop = {"xdg-mime", "/usr/lib/firefox-esr/firefox-esr", "x-www-browser"};
  const Case cases[] = {
      {"$BROWSER wins", {"firefox", "xdg-mime"}, "firefox", "chromium.desktop", {"/usr/bin/firefox", "192.168.0.10"}},
      {"first found of a list", {"chromium", "xdg-open"}, "missing:chromium:firefox", std::nullopt,
       {"/usr/bin/chromium", "192.168.0.10"}},
      {"%s stands for the address", {"firefox"}, "firefox --new-window %s", std::nullopt,
       {"/usr/bin/firefox", "--new-window", "192.168.0.10"}},
      {"unset: the desktop's default", desktop, std::nullopt, "firefox-esr.desktop",
       {"/usr/lib/firefox-esr/firefox-esr", "192.168.0.10"}},
      {"nothing in $BROWSER found: the desktop's default", desktop, "missing", "firefox-esr.desktop",
       {"/usr/lib/firefox-esr/firefox-esr", "192.168.0.10"}},
      {"empty $BROWSER", desktop, "", "firefox-esr.desktop", {"/usr/lib/firefox-esr/firefox-esr", "192.168.0.10"}},
      {"a list of handlers: the first", desktop, std::nullopt, "firefox-esr.desktop;chromium.desktop",
       {"/usr/lib/firefox-esr/firefox-esr", "192.168.0.10"}},
      {"no default set", desktop, std::nullopt, "", {"/usr/bin/x-www-browser", "192.168.0.10"}},
      {"default without an entry", desktop, std::nullopt, "gone.desktop", {"/usr/bin/x-www-browser", "192.168.0.10"}},
      {"default's program not installed", {"xdg-mime", "x-www-browser"}, std::nullopt, "firefox-esr.desktop",
       {"/usr/bin/x-www-browser", "192.168.0.10"}},
      {"no xdg-mime", {"/usr/lib/firefox-esr/firefox-esr", "x-www-browser"}, std::nullopt, "firefox-esr.desktop",
       {"/usr/bin/x-www-browser", "192.168.0.10"}},
      {"xdg-open is not asked: it takes the address for a file", {"xdg-open"}, std::nullopt, std::nullopt, {}},
      {"no browser at all", {}, "missing", std::nullopt, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDesktop fake{c.installed, c.browser_variable};
    fake.http_handler = c.http_handler;
    fake.desktop_entries[QStringLiteral("firefox-esr.desktop")] = kFirefoxEntry;
    DesktopShell shell = fake.Shell();
    EXPECT_EQ(Open(shell, "192.168.0.10"), !c.expected.isEmpty());
    if (c.expected.isEmpty()) {
      EXPECT_TRUE(fake.started.empty());
    } else {
      ASSERT_EQ(fake.started.size(), 1u);
      EXPECT_EQ(fake.started[0], c.expected);
    }
  }
}

TEST(DesktopShellTest, TheDesktopIsAskedOnlyWhenBrowserVariableNamesNothingInstalled) {
  FakeDesktop fake{{"firefox", "xdg-mime"}, "firefox"};
  fake.http_handler = QStringLiteral("firefox-esr.desktop");
  DesktopShell shell = fake.Shell();
  EXPECT_EQ(Open(shell, "10.0.0.5"), true);
  EXPECT_TRUE(fake.queried.empty());
}

// Asking the desktop never holds the caller: the browser starts when the answer comes, and an
// answer that comes after the shell is gone starts nothing.
TEST(DesktopShellTest, TheDesktopsAnswerIsAwaitedWithoutBlocking) {
  FakeDesktop fake{{"xdg-mime", "/usr/lib/firefox-esr/firefox-esr"}, std::nullopt};
  fake.http_handler = QStringLiteral("firefox-esr.desktop");
  fake.desktop_entries[QStringLiteral("firefox-esr.desktop")] = kFirefoxEntry;
  fake.answer_later = true;
  std::vector<bool> reported;
  {
    DesktopShell shell = fake.Shell();
    shell.OpenWebBrowser("10.0.0.5", [&](bool started) { reported.push_back(started); });
    EXPECT_TRUE(reported.empty());
    EXPECT_TRUE(fake.started.empty());
    ASSERT_TRUE(fake.later);
    fake.later();
    EXPECT_EQ(reported, std::vector<bool>{true});
    EXPECT_EQ(fake.started, (std::vector<QStringList>{{"/usr/lib/firefox-esr/firefox-esr", "10.0.0.5"}}));
    shell.OpenWebBrowser("10.0.0.6", [&](bool started) { reported.push_back(started); });
  }
  fake.later();
  EXPECT_EQ(reported.size(), 1u);
  EXPECT_EQ(fake.started.size(), 1u);
}

// The real query runs as a child process watched by the event loop: the loop keeps turning
// while it runs, and its answer arrives through the loop.
TEST(DesktopShellTest, TheSystemQueryAnswersThroughTheEventLoop) {
  const DesktopShell::Platform platform = DesktopShell::SystemPlatform();
  std::optional<std::optional<QString>> answer;
  const QString sh = QStandardPaths::findExecutable(QStringLiteral("sh"));
  ASSERT_FALSE(sh.isEmpty());
  platform.read_output(sh, {QStringLiteral("-c"), QStringLiteral("sleep 0.3; echo firefox-esr.desktop")},
                       [&](std::optional<QString> out) { answer = out; });
  EXPECT_FALSE(answer.has_value()) << "the query waited for the program";
  int turns = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++turns; });
  ticker.start(10);
  ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 5000));
  EXPECT_EQ(*answer, QStringLiteral("firefox-esr.desktop"));
  EXPECT_GT(turns, 5) << "the event loop stood still while the program ran";
  answer.reset();
  platform.read_output(sh, {QStringLiteral("-c"), QStringLiteral("exit 3")}, [&](std::optional<QString> out) { answer = out; });
  ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 5000));
  EXPECT_EQ(*answer, std::nullopt);

  // A program that never answers is given up at the time limit, and killed without a wait.
  answer.reset();
  turns = 0;
  platform.read_output(sh, {QStringLiteral("-c"), QStringLiteral("exec sleep 30")},
                       [&](std::optional<QString> out) { answer = out; });
  ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 10000));
  EXPECT_EQ(*answer, std::nullopt);
  EXPECT_GT(turns, 100) << "the event loop stood still while waiting for the time limit";
  const int before = turns;
  QTest::qWait(300);  // the killed child is reaped and its object deleted on the event loop
  EXPECT_GT(turns, before);
}

TEST(DesktopShellTest, DesktopEntryExecIsReadFromTheDesktopEntryGroupOnly) {
  struct Case {
    const char* name;
    QString text;
    std::optional<QString> exec;
  };
  const Case cases[] = {
      {"plain", "[Desktop Entry]\nType=Application\nExec=firefox %u\n", "firefox %u"},
      {"blanks around =", "[Desktop Entry]\nExec = chromium %U \n", "chromium %U"},
      {"an action's Exec is not it", kFirefoxEntry, "/usr/lib/firefox-esr/firefox-esr %u"},
      {"action group first", "[Desktop Action x]\nExec=wrong\n[Desktop Entry]\nExec=right %u\n", "right %u"},
      {"comments and localised keys", "[Desktop Entry]\n# Exec=commented\nExec[de]=nein\nExec=ja\n", "ja"},
      {"string escapes", "[Desktop Entry]\nExec=\"/opt/my\\sbrowser/run\" %u\n", "\"/opt/my browser/run\" %u"},
      {"none", "[Desktop Entry]\nName=x\n", std::nullopt},
      {"CR LF lines", "[Desktop Entry]\r\nExec=epiphany %u\r\n", "epiphany %u"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DesktopEntryExec(c.text), c.exec);
  }
}

TEST(DesktopShellTest, ExecFieldCodesTakeTheAddressAndNothingElse) {
  struct Case {
    QString exec;
    QStringList expected;
  };
  const Case cases[] = {
      {"firefox %u", {"firefox", "10.0.0.5"}},
      {"chromium %U", {"chromium", "10.0.0.5"}},
      {"browser %F", {"browser", "10.0.0.5"}},
      {"browser", {"browser", "10.0.0.5"}},
      {"browser --new-tab %u --x", {"browser", "--new-tab", "10.0.0.5", "--x"}},
      {"browser --url=%u", {"browser", "--url=10.0.0.5"}},
      {"browser %i %c %k %u", {"browser", "10.0.0.5"}},
      {"browser %u %U", {"browser", "10.0.0.5"}},
      {"browser 100%% %u", {"browser", "100%", "10.0.0.5"}},
      {"\"/opt/my browser/run\" %u", {"/opt/my browser/run", "10.0.0.5"}},
      {"sh -c \"echo \\\"%u\\\" \\$HOME\"", {"sh", "-c", "echo \"%u\" $HOME", "10.0.0.5"}},
      {"\"unclosed %u", {}},
      {"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exec.toStdString());
    EXPECT_EQ(ExpandDesktopExec(c.exec, QStringLiteral("10.0.0.5")), c.expected);
  }
}

TEST(DesktopShellTest, ABrowserThatFailsToStartIsReportedAndNoOtherIsTried) {
  FakeDesktop desktop{{"firefox", "xdg-open"}, "firefox"};
  desktop.start_succeeds = false;
  DesktopShell shell = desktop.Shell();
  EXPECT_EQ(Open(shell, "10.0.0.5"), false);
  EXPECT_EQ(desktop.started.size(), 1u);
}

TEST(DesktopShellTest, TextEditorIsXdgOpenElseTheEditorAlternative) {
  const std::pair<std::vector<std::string>, QStringList> cases[] = {
      {{"xdg-open", "editor"}, {"/usr/bin/xdg-open", "/cfg/syslog.log"}},
      {{"editor"}, {"/usr/bin/editor", "/cfg/syslog.log"}},
      {{}, {}},
  };
  for (const auto& [installed, expected] : cases) {
    FakeDesktop desktop{installed, std::nullopt};
    DesktopShell shell = desktop.Shell();
    EXPECT_EQ(shell.OpenTextEditor("/cfg/syslog.log"), !expected.isEmpty());
    if (expected.isEmpty()) {
      EXPECT_TRUE(desktop.started.empty());
    } else {
      ASSERT_EQ(desktop.started.size(), 1u);
      EXPECT_EQ(desktop.started[0], expected);
    }
  }
}

TEST(DesktopShellTest, AnXdgOpenThatFailsToStartFallsBackToTheEditorAlternative) {
  FakeDesktop desktop{{"xdg-open", "editor"}, std::nullopt};
  desktop.start_succeeds = false;
  DesktopShell shell = desktop.Shell();
  EXPECT_FALSE(shell.OpenTextEditor("/cfg/syslog.log"));
  EXPECT_EQ(desktop.started, (std::vector<QStringList>{{"/usr/bin/xdg-open", "/cfg/syslog.log"},
                                                       {"/usr/bin/editor", "/cfg/syslog.log"}}));
}

}  // namespace
}  // namespace sd::gui
