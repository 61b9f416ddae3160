// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The open and save dialogs of the File menu. They start in the settings folder with the file
// name the core proposes and show only the files of its filter.

#include <QPointer>
#include <QString>
#include <QWidget>

#include "common/file_dialogs.h"

namespace sd::gui {

class QtFileDialogs : public IFileDialogs {
 public:
  // owner: the window the dialogs are modal to. start_folder: "" for the settings folder.
  explicit QtFileDialogs(QWidget* owner = nullptr, QString start_folder = {})
      : owner_(owner), start_folder_(std::move(start_folder)) {}

  // Asks before an existing file is replaced.
  std::optional<std::string> AskSavePath(const FileDialogRequest& request) override;
  // Only an existing file can be chosen.
  std::optional<std::string> AskOpenPath(const FileDialogRequest& request) override;

  // The filter line of a request: "name (glob)", or the name alone when it already names its
  // pattern in parentheses.
  static QString FilterOf(const FileDialogRequest& request);

 private:
  std::optional<std::string> Run(const FileDialogRequest& request, bool save);

  QPointer<QWidget> owner_;
  QString start_folder_;
};

}  // namespace sd::gui
