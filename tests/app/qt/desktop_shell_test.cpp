#include "app/qt/desktop_shell.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sd::gui {
namespace {

// A desktop with the given programs installed and environment, recording what is started.
struct FakeDesktop {
  FakeDesktop(std::vector<std::string> programs, std::optional<QString> browser)
      : installed(std::move(programs)), browser_variable(std::move(browser)) {}

  std::vector<std::string> installed;
  std::optional<QString> browser_variable;
  bool start_succeeds = true;
  std::vector<QStringList> started;  // program first, then its arguments

  DesktopShell Shell() {
    return DesktopShell({
        [this](const QString& program) {
          for (const std::string& p : installed) {
            if (program.toStdString() == p) return QStringLiteral("/usr/bin/") + program;
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
    });
  }
};

TEST(DesktopShellTest, BrowserIsTheFirstFoundOfBrowserVariableThenXdgOpenThenXWwwBrowser) {
  struct Case {
    const char* name;
    std::vector<std::string> installed;
    std::optional<QString> browser_variable;
    QStringList expected;  // empty: nothing started
  };
  const Case cases[] = {
      {"$BROWSER wins", {"firefox", "xdg-open"}, "firefox", {"/usr/bin/firefox", "192.168.0.10"}},
      {"first found of a list", {"chromium", "xdg-open"}, "missing:chromium:firefox",
       {"/usr/bin/chromium", "192.168.0.10"}},
      {"%s stands for the address", {"firefox"}, "firefox --new-window %s",
       {"/usr/bin/firefox", "--new-window", "192.168.0.10"}},
      {"unset: xdg-open", {"xdg-open", "x-www-browser"}, std::nullopt, {"/usr/bin/xdg-open", "192.168.0.10"}},
      {"nothing in $BROWSER found", {"x-www-browser"}, "missing", {"/usr/bin/x-www-browser", "192.168.0.10"}},
      {"empty $BROWSER", {"xdg-open"}, "", {"/usr/bin/xdg-open", "192.168.0.10"}},
      {"no browser at all", {}, "missing", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDesktop desktop{c.installed, c.browser_variable};
    DesktopShell shell = desktop.Shell();
    EXPECT_EQ(shell.OpenWebBrowser("192.168.0.10"), !c.expected.isEmpty());
    if (c.expected.isEmpty()) {
      EXPECT_TRUE(desktop.started.empty());
    } else {
      ASSERT_EQ(desktop.started.size(), 1u);
      EXPECT_EQ(desktop.started[0], c.expected);
    }
  }
}

TEST(DesktopShellTest, ABrowserThatFailsToStartIsReportedAndNoOtherIsTried) {
  FakeDesktop desktop{{"firefox", "xdg-open"}, "firefox"};
  desktop.start_succeeds = false;
  DesktopShell shell = desktop.Shell();
  EXPECT_FALSE(shell.OpenWebBrowser("10.0.0.5"));
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
    shell.OpenTextEditor("/cfg/syslog.log");
    if (expected.isEmpty()) {
      EXPECT_TRUE(desktop.started.empty());
    } else {
      ASSERT_EQ(desktop.started.size(), 1u);
      EXPECT_EQ(desktop.started[0], expected);
    }
  }
}

}  // namespace
}  // namespace sd::gui
