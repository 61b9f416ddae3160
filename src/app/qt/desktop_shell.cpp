#include "app/qt/desktop_shell.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtGlobal>

#include "app/qt/qt_messages.h"

namespace sd::gui {

DesktopShell::Platform DesktopShell::SystemPlatform() {
  return {
      [](const QString& program) {
        if (program.contains(QLatin1Char('/'))) {
          return QStandardPaths::findExecutable(program.section(QLatin1Char('/'), -1),
                                                {program.section(QLatin1Char('/'), 0, -2)});
        }
        return QStandardPaths::findExecutable(program);
      },
      [](const QString& program, const QStringList& arguments) {
        return QProcess::startDetached(program, arguments);
      },
      [](const char* name) -> std::optional<QString> {
        if (!qEnvironmentVariableIsSet(name)) return std::nullopt;
        return qEnvironmentVariable(name);
      },
  };
}

QStringList DesktopShell::BrowserCandidates() const {
  QStringList candidates;
  if (const std::optional<QString> browser = platform_.environment("BROWSER")) {
    for (const QString& entry : browser->split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
      candidates << entry.trimmed();
    }
  }
  candidates << QStringLiteral("xdg-open") << QStringLiteral("x-www-browser");
  return candidates;
}

bool DesktopShell::StartFirstFound(const QStringList& candidates, const QString& argument) {
  for (const QString& candidate : candidates) {
    // A candidate may carry arguments of its own, and "%s" where the argument goes; without
    // "%s" the argument comes last.
    QStringList words = QProcess::splitCommand(candidate);
    if (words.isEmpty()) continue;
    const QString program = platform_.find_program(words.takeFirst());
    if (program.isEmpty()) continue;
    bool placed = false;
    for (QString& word : words) {
      if (word.contains(QStringLiteral("%s"))) {
        word.replace(QStringLiteral("%s"), argument);
        placed = true;
      }
    }
    if (!placed) words << argument;
    return platform_.start_detached(program, words);
  }
  return false;
}

bool DesktopShell::OpenWebBrowser(std::string_view address) {
  return StartFirstFound(BrowserCandidates(), ToQString(address));
}

void DesktopShell::OpenTextEditor(std::string_view path) {
  StartFirstFound({QStringLiteral("xdg-open"), QStringLiteral("editor")}, ToQString(path));
}

}  // namespace sd::gui
