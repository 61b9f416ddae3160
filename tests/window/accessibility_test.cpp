// SPDX-License-Identifier: GPL-3.0-or-later
// Keyboards and screen readers: every field of every window has an accessible name, pictures
// that mean something are named and have tooltips, a whole address pasted into any part of an
// address control fills all four parts, and the name, location and password edits hold at most
// the 20 bytes of UTF-8 the switch stores, refusing more as the user types.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QHeaderView>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <string>

#include "window/every_window.h"
#include "window/ip_address_edit.h"
#include "window/text_limits.h"

namespace sd::gui {
namespace {

using namespace sd::test;  // NOLINT: the fixtures' helpers

class AccessibilityTest : public ::testing::Test, protected OperationsFixture {
 protected:
  void TearDown() override { ResetSettings(); }
};

// Types each character as a key press carrying it, as a keyboard layout or an input method
// delivers it (QTest::keyClicks takes only ASCII).
void Type(QWidget* widget, const QString& text) {
  for (QChar c : text) {
    const Qt::Key key = c.unicode() < 0x80 ? Qt::Key(QChar(c).toUpper().unicode()) : Qt::Key_unknown;
    QTest::sendKeyEvent(QTest::Click, widget, key, QString(c), Qt::NoModifier);
  }
}

std::string Describe(const QWidget& w) {
  return std::string(w.metaObject()->className()) + " '" + w.objectName().toStdString() + "'";
}

TEST_F(AccessibilityTest, EveryFieldOfEveryWindowHasANameAndEveryPictureATooltip) {
  int fields = 0;
  ForEveryWindow(*this, [&fields](QWidget& window, const std::string& name) {
    for (QWidget* w : window.findChildren<QWidget*>()) {
      const std::string what = name + ": " + Describe(*w);
      const bool field = qobject_cast<QLineEdit*>(w) || qobject_cast<IpAddressEdit*>(w) ||
                         qobject_cast<QRadioButton*>(w) || qobject_cast<QCheckBox*>(w) ||
                         (qobject_cast<QAbstractItemView*>(w) && !qobject_cast<QHeaderView*>(w));
      if (field) {
        ++fields;
        EXPECT_FALSE(w->accessibleName().trimmed().isEmpty()) << what;
      }
      // A picture without text says what it shows.
      if (auto* label = qobject_cast<QLabel*>(w); label && label->text().isEmpty() && !label->pixmap().isNull()) {
        EXPECT_FALSE(label->accessibleName().isEmpty()) << what;
        EXPECT_FALSE(label->toolTip().isEmpty()) << what;
      }
      // Buttons are named by their text.
      if (auto* button = qobject_cast<QPushButton*>(w)) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(button);
        ASSERT_NE(accessible, nullptr) << what;
        EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << what;
      }
    }
  });
  EXPECT_GT(fields, 50);
}

TEST_F(AccessibilityTest, FieldsAreNamedAfterTheirLabelsAndAddressPartsByTheirPlace) {
  AddMonitored(ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10"));
  ConfigurationForm form(Context(), {0, 1}, 0, 1);
  CConfiguration_Set dialog(form);
  const std::pair<int, const char*> named[] = {
      {1024, "Product name"}, {1028, "MAC Address"}, {1033, "IP Address"}, {1036, "Subnet mask"},
      {1034, "Gateway"},      {1035, "Set trap to"}, {1027, "System name"}, {1031, "Location"},
      {1022, "Password"},     {1130, "DHCP Enable"}, {1131, "DHCP Disable"}, {1032, "Group Interval"},
  };
  for (const auto& [id, name] : named) EXPECT_EQ(dialog.Control(id)->accessibleName().toStdString(), name) << id;
  auto* mask = qobject_cast<IpAddressEdit*>(dialog.Control(1036));
  ASSERT_NE(mask, nullptr);
  for (int part = 0; part < 4; ++part) {
    EXPECT_EQ(mask->Field(part)->accessibleName().toStdString(),
              "Subnet mask, part " + std::to_string(part + 1) + " of 4");
  }
  // An address control without a label has a name of its own.
  IpAddressEdit plain;
  EXPECT_EQ(plain.Field(3)->accessibleName().toStdString(), "IP address, part 4 of 4");
}

TEST_F(AccessibilityTest, StatusImagesAndTheTrapIndicatorSayWhatTheyShow) {
  TempConfigDir dir;
  dir.Write("define.ecf", MakeSealedSettings(PlainSettings(1)));
  WindowUnderTest ui;
  MainWindow& window = *ui.window;
  window.Initialise(Networking::Off);
  DeviceRecord silent = ConfigurableSwitch("001a2b3c4d5f", "192.168.1.11");
  silent.status_image = sd::kStatusImageNotAlive;
  window.Core().StoreMonitorEntry(0, ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10"));
  window.Core().StoreMonitorEntry(1, silent);
  QTreeWidget* list = window.MonitorList();
  ASSERT_EQ(list->topLevelItemCount(), 2);
  for (int row = 0; row < 2; ++row) {
    const QTreeWidgetItem* item = list->topLevelItem(row);
    const bool not_alive = item->text(1) == "192.168.1.11";
    EXPECT_EQ(item->data(0, Qt::AccessibleTextRole).toString(), not_alive ? "Not alive" : "") << row;
    EXPECT_EQ(item->toolTip(0), not_alive ? "Not alive" : "") << row;
    EXPECT_TRUE(item->text(0).isEmpty());
  }
  EXPECT_EQ(window.TrapIndicator()->accessibleName(), "No new trap");
  EXPECT_EQ(window.TrapIndicator()->toolTip(), "No new trap");
  window.SetTrapIndicator(true);
  EXPECT_EQ(window.TrapIndicator()->accessibleName(), "New trap arrived");
  EXPECT_EQ(window.TrapIndicator()->toolTip(), "New trap arrived");
}

TEST(IpAddressPasteTest, AWholeAddressFillsAllFourPartsFromAnyPart) {
  IpAddressEdit edit;
  edit.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
  struct Case {
    const char* clipboard;
    int part;
    QStringList after;  // starting from 10.0.0.5
  };
  const QStringList start{"10", "0", "0", "5"};
  const Case cases[] = {
      {"192.168.1.20", 0, {"192", "168", "1", "20"}},
      {"192.168.1.20", 2, {"192", "168", "1", "20"}},
      {" 172.16.0.254\n", 3, {"172", "16", "0", "254"}},
      // Not an address: refused, every part as it was.
      {"192.168.1.256", 1, start},
      {"192.168.1", 1, start},
      {"1.2.3.4.5", 1, start},
      {"192.168.a.20", 1, start},
      {"192..1.20", 1, start},
      {"router", 1, start},
      {"1234", 1, start},
      {"300", 1, start},
      // One part's worth goes into that part as if typed (replacing its selected text).
      {"77", 1, {"10", "77", "0", "5"}},
  };
  for (const Case& c : cases) {
    edit.SetAddress(0x0A000005);
    QLineEdit* part = edit.Field(c.part);
    part->setFocus();
    part->selectAll();
    QGuiApplication::clipboard()->setText(QString::fromLatin1(c.clipboard));
    QTest::keySequence(part, QKeySequence::Paste);
    EXPECT_EQ(edit.FieldTexts(), c.after) << c.clipboard << " into part " << c.part;
  }
}

TEST_F(AccessibilityTest, NameLocationAndPasswordEditsHoldAtMostTwentyBytesOfUtf8) {
  AddMonitored(ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10"));
  ConfigurationForm configuration_form(Context(), {0, 1}, 0, 1);
  CConfiguration_Set configuration(configuration_form);
  ChangePasswordForm password_form(Context(), {0, 1});
  CChange_Password password(password_form);
  DhcpRefreshForm dhcp_form(Context(), {0, 1});
  CDHCP_Refresh dhcp(dhcp_form);
  const std::pair<const char*, QLineEdit*> edits[] = {
      {"system name", configuration.SystemName()},
      {"location", configuration.Location()},
      {"configuration password", configuration.Password()},
      {"new password", password.NewPassword()},
      {"confirmation", password.ConfirmPassword()},
      {"original password", password.OriginalPassword()},
      {"DHCP password", dhcp.Password()},
  };
  const QString e = QString::fromUtf8("\xC3\xA9");       // 'é', two bytes
  const QString euro = QString::fromUtf8("\xE2\x82\xAC");  // '€', three bytes
  struct Case {
    const char* what;
    QString typed;
    QString kept;
  };
  const Case cases[] = {
      {"20 ASCII then more", QString(25, 'a'), QString(20, 'a')},
      {"eleven two-byte characters", e.repeated(11), e.repeated(10)},
      {"19 ASCII and a two-byte character", QString(19, 'a') + e, QString(19, 'a')},
      {"18 ASCII and a two-byte character", QString(18, 'a') + e, QString(18, 'a') + e},
      {"seven three-byte characters", euro.repeated(7), euro.repeated(6)},
      {"a refused character does not stop a shorter one", QString(18, 'a') + euro + "b", QString(18, 'a') + "b"},
  };
  for (const auto& [name, edit] : edits) {
    EXPECT_EQ(Utf8ByteLimit(*edit), 20) << name;
    for (const Case& c : cases) {
      edit->setText(QString());
      edit->setFocus();
      Type(edit, c.typed);
      EXPECT_EQ(edit->text(), c.kept) << name << ": " << c.what;
      EXPECT_LE(edit->text().toUtf8().size(), 20) << name << ": " << c.what;
    }
    // A paste that would not fit is refused whole, never cut.
    edit->setText(QString(15, 'a'));
    edit->end(false);
    QGuiApplication::clipboard()->setText(e.repeated(3));
    edit->paste();
    EXPECT_EQ(edit->text(), QString(15, 'a')) << name;
    QGuiApplication::clipboard()->setText(e.repeated(2));
    edit->paste();
    EXPECT_EQ(edit->text(), QString(15, 'a') + e.repeated(2)) << name;
  }
  // A name the switch holds in another encoding (twelve bytes 0xE9, not UTF-8) shows as twelve
  // 'é', 24 bytes of UTF-8: shown whole, it can be shortened, not lengthened.
  DeviceRecord latin1 = ConfigurableSwitch("001a2b3c4d5f", "192.168.1.11");
  SetText(latin1.system_name, std::string(12, '\xE9'));
  AddMonitored(latin1);
  ConfigurationForm latin1_form(Context(), {1, 1}, 0, 2);
  CConfiguration_Set latin1_dialog(latin1_form);
  QLineEdit* name = latin1_dialog.SystemName();
  ASSERT_EQ(name->text(), e.repeated(12));
  name->setFocus();
  name->end(false);
  Type(name, QStringLiteral("a"));
  EXPECT_EQ(name->text(), e.repeated(12));
  QTest::keyClick(name, Qt::Key_Backspace);
  EXPECT_EQ(name->text(), e.repeated(11));
  QTest::keyClick(name, Qt::Key_Backspace);
  Type(name, QStringLiteral("a"));
  EXPECT_EQ(name->text(), e.repeated(10));
}

}  // namespace
}  // namespace sd::gui
