// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "window/colours.h"
#include "window/modal.h"
#include "window/about_dialog.h"
#include "app/startup.h"
#include "window/device_list_widget.h"
#include "window/dialog_colours.h"
#include "window/images.h"
#include "window/qt_file_dialogs.h"
#include "window/qt_messages.h"
#include "window/remote_ip_dialog.h"
#include "window/trap_info_dialog.h"
#include "settings/trap_window.h"
#include "window/screenshot.h"
#include "support/temp_dir.h"

namespace sd::gui {
namespace {

using sd::test::ModalWatcher;
using sd::test::SaveScreenshot;

using sd::test::HasWhiteBackground;
using sd::test::IsBlackOnWhite;

// ---- About ----

TEST(AboutDialogTest, ShowsBothVersionsTheSettingsFolderTheIconAndOk) {
  test::TempConfigDir dir;
  CAboutDlg about;
  EXPECT_EQ(about.windowTitle(), "About");
  EXPECT_EQ(about.ProgramVersionLabel()->text(), "Switchdesk Version 2.05");
  EXPECT_EQ(about.ProtocolVersionLabel()->text(), "Protocol Version 2.001.003");
  EXPECT_EQ(about.SettingsFolderLabel()->text().toStdString(),
            "Settings folder: " + dir.Path() + " (set by SWITCHDESK_CONFIG_DIR)");
  // A missing CAP_NET_RAW, warned about once at start-up, stays named here.
  const std::string capability = MissingCapabilityNote();
  EXPECT_EQ(about.CapabilityLabel()->text().toStdString(), capability);
  EXPECT_EQ(about.CapabilityLabel()->isVisibleTo(&about), !capability.empty());
  EXPECT_EQ(about.OkButton()->text(), "OK");
  EXPECT_TRUE(about.OkButton()->isDefault());
  EXPECT_EQ(about.IconLabel()->pixmap().toImage(),
            ImagePixmap(Image::About, ImageSize(Image::About)).toImage());
  EXPECT_EQ(about.findChildren<QPushButton*>().size(), 1);
}

TEST(AboutDialogTest, WhiteDialogWithBlackOnWhiteTextsAndPlainButton) {
  CAboutDlg about;
  EXPECT_TRUE(HasWhiteBackground(about));
  EXPECT_TRUE(IsBlackOnWhite(*about.ProgramVersionLabel()));
  EXPECT_TRUE(IsBlackOnWhite(*about.ProtocolVersionLabel()));
  EXPECT_TRUE(IsBlackOnWhite(*about.SettingsFolderLabel()));
  EXPECT_EQ(about.OkButton()->palette().color(QPalette::Button),
            QApplication::palette().color(QPalette::Button));
  SaveScreenshot(about, "about_dialog");
}

TEST(AboutDialogTest, EnterAndEscapeCloseIt) {
  for (auto [key, result] : {std::pair{Qt::Key_Return, QDialog::Accepted}, std::pair{Qt::Key_Escape, QDialog::Rejected}}) {
    CAboutDlg about;
    about.open();
    QTest::keyClick(&about, key);
    EXPECT_FALSE(about.isVisible()) << key;
    EXPECT_EQ(about.result(), result) << key;
  }
}

// ---- Remote IP ----

TEST(RemoteIpDialogTest, ShowsLabelEntryAndButtons) {
  CAdd_remoteIP dialog(nullptr);
  EXPECT_EQ(dialog.windowTitle(), "Remote IP");
  auto* label = dialog.findChild<QLabel*>("ipAddressLabel");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "IP Address");
  EXPECT_TRUE(label->alignment() & Qt::AlignHCenter);
  EXPECT_EQ(dialog.ApplyButton()->text(), "Apply");
  EXPECT_TRUE(dialog.ApplyButton()->isDefault());
  EXPECT_EQ(dialog.CancelButton()->text(), "Cancel");
  EXPECT_FALSE(dialog.CancelButton()->isDefault());
  EXPECT_EQ(dialog.AddressEdit()->FieldTexts(), (QStringList{"", "", "", ""}));
  // Colours: white dialog, black-on-white label, the entry and buttons as the platform has them.
  EXPECT_TRUE(HasWhiteBackground(dialog));
  EXPECT_TRUE(IsBlackOnWhite(*label));
  EXPECT_EQ(dialog.ApplyButton()->palette().color(QPalette::Button),
            QApplication::palette().color(QPalette::Button));
  dialog.AddressEdit()->SetAddress(0xC0A80001);
  SaveScreenshot(dialog, "remote_ip_dialog");
}

TEST(RemoteIpDialogTest, KeyboardGoesFromTheEntryToApplyThenCancel) {
  CAdd_remoteIP dialog(nullptr);
  std::vector<QWidget*> order;
  for (QWidget* w = dialog.nextInFocusChain(); w != &dialog; w = w->nextInFocusChain()) {
    if (w->focusPolicy() & Qt::TabFocus && !w->focusProxy()) order.push_back(w);
  }
  ASSERT_EQ(order.size(), 6u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], dialog.AddressEdit()->Field(i));
  EXPECT_EQ(order[4], dialog.ApplyButton());
  EXPECT_EQ(order[5], dialog.CancelButton());
}

TEST(IpAddressEditTest, ReadsBlankFieldsAsZero) {
  struct Case {
    QStringList fields;
    std::uint32_t address;
  };
  const Case cases[] = {
      {{"192", "168", "0", "1"}, 0xC0A80001},
      {{"10", "", "", "5"}, 0x0A000005},
      {{"", "", "", ""}, 0},
      {{"255", "255", "255", "255"}, 0xFFFFFFFF},
      {{"", "", "", "7"}, 7},
      {{"007", "0", "0", "0"}, 0x07000000},
  };
  for (const Case& c : cases) {
    IpAddressEdit edit;
    for (int i = 0; i < 4; ++i) edit.Field(i)->setText(c.fields[i]);
    EXPECT_EQ(edit.Address(), c.address) << c.fields.join('.').toStdString();
  }
  IpAddressEdit edit;
  edit.SetAddress(0xAC10FFFE);
  EXPECT_EQ(edit.FieldTexts(), (QStringList{"172", "16", "255", "254"}));
  EXPECT_EQ(edit.Address(), 0xAC10FFFEu);
}

TEST(IpAddressEditTest, TypingAcceptsOnlyOctetsAndMovesOnByDotOrThirdDigit) {
  struct Case {
    const char* typed;
    QStringList fields;
  };
  const Case cases[] = {
      {"192.168.0.1", {"192", "168", "0", "1"}},
      {"19216811", {"192", "168", "11", ""}},  // a third digit moves on
      {"10...5", {"10", "5", "", ""}},         // a dot in an empty field stays there
      {"0123", {"0", "", "", ""}},             // no digit may follow a leading 0
      {"256", {"25", "", "", ""}},             // 256 is no octet: the 6 is refused
      {"1a2b3", {"123", "", "", ""}},          // letters are refused
      {"300.1", {"30", "1", "", ""}},
  };
  for (const Case& c : cases) {
    IpAddressEdit edit;
    edit.show();
    edit.Field(0)->setFocus();
    QApplication::setActiveWindow(&edit);
    for (const char* p = c.typed; *p; ++p) {
      QWidget* focus = QApplication::focusWidget();
      ASSERT_NE(focus, nullptr);
      QTest::keyClicks(focus, QString(QChar::fromLatin1(*p)));
    }
    EXPECT_EQ(edit.FieldTexts(), c.fields) << c.typed;
  }
}

TEST(IpAddressEditTest, BackspaceInAnEmptyFieldGoesBack) {
  IpAddressEdit edit;
  edit.show();
  QApplication::setActiveWindow(&edit);
  edit.Field(0)->setFocus();
  QTest::keyClicks(edit.Field(0), "10.");
  ASSERT_TRUE(edit.Field(1)->hasFocus());
  QTest::keyClick(edit.Field(1), Qt::Key_Backspace);
  EXPECT_TRUE(edit.Field(0)->hasFocus());
  QTest::keyClick(edit.Field(0), Qt::Key_Backspace);
  EXPECT_EQ(edit.FieldTexts(), (QStringList{"1", "", "", ""}));
}

TEST(RemoteIpDialogTest, ApplyHandsTheAddressToTheCheckWhichDecidesWhetherItCloses) {
  for (bool acceptable : {false, true}) {
    SCOPED_TRACE(acceptable);
    std::vector<std::uint32_t> checked;
    CAdd_remoteIP dialog([&](std::uint32_t address) {
      checked.push_back(address);
      return acceptable;
    });
    dialog.open();
    const QStringList typed{"10", "", "", "5"};
    for (int i = 0; i < 4; ++i) dialog.AddressEdit()->Field(i)->setText(typed[i]);
    dialog.ApplyButton()->click();
    EXPECT_EQ(checked, std::vector<std::uint32_t>{0x0A000005});
    EXPECT_EQ(dialog.isVisible(), !acceptable);
    if (acceptable) {
      EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(dialog.AddressEdit()->FieldTexts(), typed);  // kept as typed
  }
}

TEST(RemoteIpDialogTest, EnterAppliesAndEscapeAndCancelCloseWithoutTheCheck) {
  struct Case {
    const char* name;
    std::function<void(CAdd_remoteIP&)> act;
    int checks;
    QDialog::DialogCode result;
  };
  const Case cases[] = {
      {"Enter", [](CAdd_remoteIP& d) { QTest::keyClick(d.AddressEdit()->Field(3), Qt::Key_Return); }, 1,
       QDialog::Accepted},
      {"Escape", [](CAdd_remoteIP& d) { QTest::keyClick(d.AddressEdit()->Field(0), Qt::Key_Escape); }, 0,
       QDialog::Rejected},
      {"Cancel", [](CAdd_remoteIP& d) { d.CancelButton()->click(); }, 0, QDialog::Rejected},
      {"close box", [](CAdd_remoteIP& d) { d.close(); }, 0, QDialog::Rejected},
  };
  for (const Case& c : cases) {
    int checks = 0;
    CAdd_remoteIP dialog([&](std::uint32_t) {
      ++checks;
      return true;
    });
    dialog.open();
    dialog.AddressEdit()->SetAddress(0xC0A80001);
    c.act(dialog);
    EXPECT_EQ(checks, c.checks) << c.name;
    EXPECT_FALSE(dialog.isVisible()) << c.name;
    EXPECT_EQ(dialog.result(), c.result) << c.name;
  }
}

// ---- Trap information ----

TEST(TrapInfoDialogTest, ShowsItsColumnsAndButtons) {
  TrapStore store;
  CTrap_Info dialog(store);
  EXPECT_EQ(dialog.windowTitle(), "Trap information");
  QTreeWidget* list = dialog.List();
  EXPECT_EQ(ColumnHeaders(*list), (QStringList{"S", "Time", "IP", "Event", " "}));
  const int widths[] = {20, 100, 100, 800, 30};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(list->columnWidth(i), widths[i]) << i;
    EXPECT_EQ(Qt::Alignment::fromInt(list->headerItem()->textAlignment(i)) & Qt::AlignHorizontal_Mask,
              Qt::AlignLeft)
        << i;
  }
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(dialog.ClearAllButton()->text(), "Clear all");
  EXPECT_EQ(dialog.OkButton()->text(), "OK");
  EXPECT_TRUE(dialog.OkButton()->isDefault());
  EXPECT_FALSE(dialog.ClearAllButton()->isDefault());
  EXPECT_EQ(list->topLevelItemCount(), 0);
}

class TrapInfoWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TrapSort() = {};
    store.Add("06/01/2007 14:03:09", "192.168.0.10", "Port 3 link up");
    store.Add("06/01/2007 14:05:00", "192.168.0.11", "Cold start");
    store.SetImage(1, TRAP_IMAGE_READ);
    dialog = std::make_unique<CTrap_Info>(store);
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  }
  void TearDown() override { TrapSort() = {}; }
  void Click(QPoint at) {
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, at);
    QApplication::processEvents();
  }
  QPoint RowPoint(int row) { return List()->visualItemRect(List()->topLevelItem(row)).center(); }
  QTreeWidget* List() { return dialog->List(); }

  TrapStore store;
  std::unique_ptr<CTrap_Info> dialog;
};

TEST_F(TrapInfoWindowTest, RowsShowTheUnreadImageAndTheTexts) {
  ASSERT_EQ(List()->topLevelItemCount(), 2);
  const QTreeWidgetItem* unread = List()->topLevelItem(0);
  const QTreeWidgetItem* read = List()->topLevelItem(1);
  EXPECT_FALSE(unread->icon(0).isNull());
  EXPECT_TRUE(read->icon(0).isNull());
  EXPECT_EQ(unread->text(0), "");
  EXPECT_EQ(unread->text(1), "06/01/2007 14:03:09");
  EXPECT_EQ(unread->text(2), "192.168.0.10");
  EXPECT_EQ(unread->text(3), "Port 3 link up");
  EXPECT_EQ(unread->text(4), "");
  SaveScreenshot(*dialog, "trap_window");
}

TEST_F(TrapInfoWindowTest, ClickingARowMarksItsTrapReadAndClickingBelowMarksNothing) {
  Click(QPoint(10, List()->viewport()->height() - 5));
  EXPECT_EQ(store.Slot(0).image, TRAP_IMAGE_UNREAD);
  Click(RowPoint(0));
  EXPECT_EQ(store.Slot(0).image, TRAP_IMAGE_READ);
  EXPECT_TRUE(List()->topLevelItem(0)->icon(0).isNull());
  EXPECT_TRUE(List()->selectionModel()->isRowSelected(0, QModelIndex()));
  EXPECT_EQ(List()->topLevelItem(0)->text(3), "Port 3 link up");
}

TEST_F(TrapInfoWindowTest, HeaderClicksSortAndClearAllEmptiesListAndStore) {
  QHeaderView* header = List()->header();
  const int x = header->sectionViewportPosition(kTrapColumnEvent) + 10;
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
  EXPECT_EQ(List()->topLevelItem(0)->text(3), "Port 3 link up");  // descending
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
  EXPECT_EQ(List()->topLevelItem(0)->text(3), "Cold start");

  dialog->ClearAllButton()->click();
  EXPECT_EQ(List()->topLevelItemCount(), 0);
  EXPECT_EQ(store.trap_count(), 0);
  EXPECT_TRUE(dialog->isVisible());  // "Clear all" leaves the window open
}

// ---- File dialogs ----

TEST(QtFileDialogsTest, SaveAndOpenStartInTheFolderWithTheProposedNameAndFilter) {
  sd::test::TempConfigDir dir;
  dir.Write("monitor.cfg", std::vector<std::uint8_t>(300, 0));
  QtFileDialogs dialogs;
  const FileDialogRequest save{"config File (*.cfg)", "*.cfg", "Default.cfg"};
  const FileDialogRequest open{"config File (*.cfg)", "*.cfg", "monitor.cfg"};
  struct Seen {
    QString filter;
    QString folder;
    QFileDialog::AcceptMode mode{};
    QFileDialog::FileMode file_mode{};
  };
  auto run = [](std::function<std::optional<std::string>()> ask, Seen& seen, const QString& choose) {
    ModalWatcher watcher([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      seen = {dialog->nameFilters().join(';'), dialog->directory().absolutePath(), dialog->acceptMode(),
              dialog->fileMode()};
      if (choose.isEmpty()) {
        dialog->reject();
      } else {
        dialog->selectFile(choose);
        static_cast<QDialog*>(dialog)->accept();  // as the dialog's own "Save" or "Open" button
      }
    });
    return ask();
  };

  Seen seen;
  const QString target = QString::fromStdString(dir.File("copy.cfg"));
  EXPECT_EQ(run([&] { return dialogs.AskSavePath(save); }, seen, target), dir.File("copy.cfg"));
  EXPECT_EQ(seen.filter, "config File (*.cfg)");
  EXPECT_EQ(seen.folder, QString::fromStdString(dir.Path()));
  EXPECT_EQ(seen.mode, QFileDialog::AcceptSave);

  EXPECT_EQ(run([&] { return dialogs.AskOpenPath(open); }, seen, QString::fromStdString(dir.File("monitor.cfg"))),
            dir.File("monitor.cfg"));
  EXPECT_EQ(seen.mode, QFileDialog::AcceptOpen);
  EXPECT_EQ(seen.file_mode, QFileDialog::ExistingFile);

  EXPECT_EQ(run([&] { return dialogs.AskOpenPath(open); }, seen, QString()), std::nullopt);
  EXPECT_EQ(QtFileDialogs::FilterOf({"Monitor lists", "*.cfg", ""}), "Monitor lists (*.cfg)");
}

// ---- Message boxes ----

TEST(QtMessagesTest, ShowsTheTextTitleAndIconAsked) {
  struct Case {
    MessageIcon icon;
    const char* title;
    const char* text;
    QMessageBox::Icon shown;
  };
  const Case cases[] = {
      {MessageIcon::Error, "Error", "Device must be in Monitor List.", QMessageBox::Critical},
      {MessageIcon::Warning, "Warning", "Resend failed.", QMessageBox::Warning},
      {MessageIcon::Information, "Information", "Set successful", QMessageBox::Information},
      {MessageIcon::None, "Switchdesk", "Switch cannot be configured.\nPlease upload firmware and retry.",
       QMessageBox::NoIcon},
      {MessageIcon::Error, " Error", "Invalid IP address.", QMessageBox::Critical},
  };
  QWidget owner;
  QtMessages messages(&owner);
  for (const Case& c : cases) {
    test::SeenBox seen;
    auto watcher = test::AnswerNextBox(seen);
    messages.ShowMessage(c.text, c.title, c.icon);
    EXPECT_EQ(seen.text, c.text);
    EXPECT_EQ(seen.title, c.title);
    EXPECT_EQ(seen.icon, c.shown) << c.text;
  }
}

TEST(QtMessagesTest, ABoxOpenedOverADialogBelongsToThatDialog) {
  QWidget owner;
  QtMessages messages(&owner);
  CAboutDlg dialog;
  dialog.open();
  QWidget* parent = nullptr;
  test::ModalWatcher watcher([&](QWidget* box) {
    parent = box->parentWidget();
    qobject_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click();
  });
  // The watcher only looks from inside the box's own event loop, where the box is on top.
  messages.Error("x");
  EXPECT_EQ(parent, &dialog);
}

}  // namespace
}  // namespace sd::gui
