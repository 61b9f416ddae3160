// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/qt_file_dialogs.h"

#include <QDir>
#include <QFileDialog>

#include "settings/settings_file.h"

namespace sd::gui {

QString QtFileDialogs::FilterOf(const FileDialogRequest& request) {
  const QString name = QString::fromStdString(request.filter_name);
  if (name.contains(QLatin1Char('('))) return name;
  return name + QStringLiteral(" (") + QString::fromStdString(request.filter_glob) + QLatin1Char(')');
}

std::optional<std::string> QtFileDialogs::Run(const FileDialogRequest& request, bool save) {
  const QString folder = start_folder_.isEmpty() ? QString::fromStdString(ConfigFolderPath()) : start_folder_;
  QFileDialog dialog(owner_.data(), QString(), QDir(folder).filePath(QString::fromStdString(request.initial_name)),
                     FilterOf(request));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return QDir::toNativeSeparators(dialog.selectedFiles().constFirst()).toStdString();
}

std::optional<std::string> QtFileDialogs::AskSavePath(const FileDialogRequest& request) {
  return Run(request, true);
}

std::optional<std::string> QtFileDialogs::AskOpenPath(const FileDialogRequest& request) {
  return Run(request, false);
}

}  // namespace sd::gui
