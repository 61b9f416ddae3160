// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/desktop_shell.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QtGlobal>

#include "window/qt_messages.h"

namespace sd::gui {

namespace {

constexpr int kQueryTimeoutMs = 3000;

// The general escapes of a desktop entry's string values.
QString UnescapeValue(const QString& value) {
  QString out;
  for (qsizetype i = 0; i < value.size(); ++i) {
    const QChar c = value[i];
    if (c != QLatin1Char('\\') || i + 1 == value.size()) {
      out += c;
      continue;
    }
    const QChar next = value[++i];
    if (next == QLatin1Char('s')) out += QLatin1Char(' ');
    else if (next == QLatin1Char('n')) out += QLatin1Char('\n');
    else if (next == QLatin1Char('t')) out += QLatin1Char('\t');
    else if (next == QLatin1Char('r')) out += QLatin1Char('\r');
    else if (next == QLatin1Char('\\')) out += QLatin1Char('\\');
    else out += QLatin1Char('\\') + QString(next);
  }
  return out;
}

struct ExecWord {
  QString text;
  bool quoted = false;
};

// Splits an Exec value into words: blanks separate them; a word in double quotes keeps its
// blanks, and in it a backslash takes the next character as it is.
std::optional<QList<ExecWord>> SplitExec(const QString& exec) {
  QList<ExecWord> words;
  ExecWord word;
  bool in_word = false;
  bool in_quotes = false;
  for (qsizetype i = 0; i < exec.size(); ++i) {
    const QChar c = exec[i];
    if (in_quotes) {
      if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
        word.text += exec[++i];
      } else if (c == QLatin1Char('"')) {
        in_quotes = false;
      } else {
        word.text += c;
      }
    } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
      if (in_word) words << word;
      word = ExecWord{};
      in_word = false;
    } else if (c == QLatin1Char('"')) {
      in_quotes = true;
      in_word = true;
      word.quoted = true;
    } else {
      word.text += c;
      in_word = true;
    }
  }
  if (in_quotes) return std::nullopt;
  if (in_word) words << word;
  return words;
}

}  // namespace

std::optional<QString> DesktopEntryExec(const QString& entry_text) {
  bool in_entry = false;
  for (const QString& raw : entry_text.split(QLatin1Char('\n'))) {
    const QString line = raw.trimmed();
    if (line.startsWith(QLatin1Char('['))) {
      in_entry = line == QStringLiteral("[Desktop Entry]");
      continue;
    }
    if (!in_entry || line.startsWith(QLatin1Char('#'))) continue;
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0 || line.left(eq).trimmed() != QStringLiteral("Exec")) continue;
    return UnescapeValue(line.mid(eq + 1).trimmed());
  }
  return std::nullopt;
}

QStringList ExpandDesktopExec(const QString& exec, const QString& argument) {
  const std::optional<QList<ExecWord>> words = SplitExec(exec);
  if (!words || words->isEmpty()) return {};
  QStringList command;
  bool placed = false;
  for (const ExecWord& word : *words) {
    if (word.quoted) {
      command << word.text;
      continue;
    }
    QString expanded;
    bool dropped = false;
    for (qsizetype i = 0; i < word.text.size(); ++i) {
      const QChar c = word.text[i];
      if (c != QLatin1Char('%') || i + 1 == word.text.size()) {
        expanded += c;
        continue;
      }
      const char code = word.text[++i].toLatin1();
      switch (code) {
        case '%': expanded += QLatin1Char('%'); break;
        case 'u': case 'U': case 'f': case 'F':
          // One argument in all: a second file code gets nothing.
          if (placed) {
            dropped = true;
          } else {
            expanded += argument;
            placed = true;
          }
          break;
        default: dropped = true; break;  // %i, %c, %k and the deprecated codes
      }
    }
    // A word of codes that all went away is no argument at all.
    if (dropped && expanded.isEmpty()) continue;
    command << expanded;
  }
  if (command.isEmpty()) return {};
  if (!placed) command << argument;
  return command;
}

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
      [](const QString& program, const QStringList& arguments,
         std::function<void(std::optional<QString>)> done) {
        // Signals, not a wait: the event loop runs on while the program answers. The first of
        // its end, its failure to start and the time limit answers; the process object goes
        // once the child has ended (a killed child is reaped first, so no wait ever blocks).
        auto* process = new QProcess;
        auto answered = std::make_shared<bool>(false);
        auto answer = [process, answered, done = std::move(done)](std::optional<QString> output) {
          if (*answered) return;
          *answered = true;
          done(std::move(output));
        };
        QObject::connect(process, &QProcess::finished, process,
                         [process, answer](int code, QProcess::ExitStatus status) {
                           if (status != QProcess::NormalExit || code != 0) {
                             answer(std::nullopt);
                           } else {
                             answer(QString::fromLocal8Bit(process->readAllStandardOutput()).trimmed());
                           }
                           process->deleteLater();
                         });
        QObject::connect(process, &QProcess::errorOccurred, process,
                         [process, answer](QProcess::ProcessError error) {
                           if (error != QProcess::FailedToStart) return;
                           answer(std::nullopt);
                           process->deleteLater();
                         });
        QTimer::singleShot(kQueryTimeoutMs, process, [process, answer] {
          answer(std::nullopt);
          process->kill();
        });
        process->setStandardErrorFile(QProcess::nullDevice());
        process->start(program, arguments, QIODevice::ReadOnly);
      },
      [](const QString& desktop_id) -> std::optional<QString> {
        const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktop_id);
        QFile file(path);
        if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) return std::nullopt;
        return QString::fromUtf8(file.readAll());
      },
  };
}

void DesktopShell::DefaultBrowserCommand(const QString& address,
                                         std::function<void(std::optional<QStringList>)> done) const {
  const QString query = platform_.find_program(QStringLiteral("xdg-mime"));
  if (query.isEmpty()) return done(std::nullopt);
  const auto command_of = [this, address](const std::optional<QString>& id) -> std::optional<QStringList> {
    // The answer is one desktop id; a list separated by ';' starts with the preferred one.
    const QString first = id ? id->section(QLatin1Char(';'), 0, 0).trimmed() : QString();
    if (!first.endsWith(QStringLiteral(".desktop"))) return std::nullopt;
    const std::optional<QString> entry = platform_.desktop_entry(first);
    if (!entry) return std::nullopt;
    const std::optional<QString> exec = DesktopEntryExec(*entry);
    if (!exec) return std::nullopt;
    QStringList command = ExpandDesktopExec(*exec, address);
    if (command.isEmpty()) return std::nullopt;
    return command;
  };
  platform_.read_output(query, {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("x-scheme-handler/http")},
                        [command_of, done = std::move(done), alive = std::weak_ptr<bool>(alive_)](
                            std::optional<QString> id) {
                          const std::shared_ptr<bool> still = alive.lock();
                          if (!still || !*still) return;
                          done(command_of(id));
                        });
}

QList<QStringList> DesktopShell::BrowserVariableCommands(const QString& address) const {
  QList<QStringList> commands;
  const std::optional<QString> browser = platform_.environment("BROWSER");
  if (!browser) return commands;
  for (const QString& entry : browser->split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
    // An entry may carry arguments of its own, and "%s" where the address goes; without "%s"
    // the address comes last.
    QStringList words = QProcess::splitCommand(entry.trimmed());
    if (words.isEmpty()) continue;
    bool placed = false;
    for (QString& word : words) {
      if (word.contains(QStringLiteral("%s"))) {
        word.replace(QStringLiteral("%s"), address);
        placed = true;
      }
    }
    if (!placed) words << address;
    commands << words;
  }
  return commands;
}

std::optional<bool> DesktopShell::StartIfFound(QStringList command) {
  if (command.isEmpty()) return std::nullopt;
  const QString program = platform_.find_program(command.takeFirst());
  if (program.isEmpty()) return std::nullopt;
  return platform_.start_detached(program, command);
}

void DesktopShell::OpenWebBrowser(std::string_view text, std::function<void(bool started)> done) {
  const QString address = ToQString(text);
  for (const QStringList& command : BrowserVariableCommands(address)) {
    if (const std::optional<bool> started = StartIfFound(command)) return done(*started);
  }
  // The desktop is asked only when $BROWSER names nothing that is installed.
  DefaultBrowserCommand(address, [this, address, done = std::move(done)](std::optional<QStringList> command) {
    if (command) {
      if (const std::optional<bool> started = StartIfFound(*command)) return done(*started);
    }
    done(StartIfFound({QStringLiteral("x-www-browser"), address}).value_or(false));
  });
}

bool DesktopShell::OpenTextEditor(std::string_view path) {
  const QString file = ToQString(path);
  if (StartIfFound({QStringLiteral("xdg-open"), file}).value_or(false)) return true;
  return StartIfFound({QStringLiteral("editor"), file}).value_or(false);
}

}  // namespace sd::gui
