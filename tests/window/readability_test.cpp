// SPDX-License-Identifier: GPL-3.0-or-later
// Every window of the program under a light and a dark desktop palette: each label, field and
// button has text that stands out from what it is drawn on. Contrast is the WCAG ratio of
// relative luminances; enabled text needs 4.5 (level AA). Disabled text is exempt from that
// rule in WCAG, but it must look disabled: its ratio at most two thirds of the ratio the same
// control has when enabled. Where the program chose the disabled colour (on its white and grey
// backgrounds) it must still reach 4.5; controls that keep the platform's colours show the
// desktop palette's own disabled text, whose lowest ratio is printed. The colours come from the palette
// each widget paints with (its own roles for its colour group, the background from the widget
// that fills it), and are checked again on the rendered pixels. Screenshots of every window
// under both palettes go to screenshots/light and screenshots/dark in the build folder.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "window/every_window.h"
#include "window/ip_address_edit.h"
#include "window/screenshot.h"

namespace sd::gui {
namespace {

using namespace sd::test;  // NOLINT: the fixtures' helpers

constexpr double kEnabledMinimum = 4.5;
constexpr double kDisabledMinimum = 4.5;
constexpr double kDisabledFainter = 1.5;  // enabled ratio / disabled ratio, at least

double Channel(int value) {
  const double c = value / 255.0;
  return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& c) {
  return 0.2126 * Channel(c.red()) + 0.7152 * Channel(c.green()) + 0.0722 * Channel(c.blue());
}

double Contrast(const QColor& a, const QColor& b) {
  const double la = Luminance(a);
  const double lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// A colour with transparency as it shows over `background`.
QColor Over(const QColor& colour, const QColor& background) {
  const double a = colour.alphaF();
  auto mix = [a](int c, int b) { return static_cast<int>(std::lround(c * a + b * (1 - a))); };
  return QColor(mix(colour.red(), background.red()), mix(colour.green(), background.green()),
                mix(colour.blue(), background.blue()));
}

// A dark desktop palette after the common dark themes: light text on dark grey, dimmed text when
// disabled.
QPalette DarkPalette() {
  QPalette p;
  auto set = [&p](QPalette::ColorRole role, QColor normal, QColor disabled) {
    for (auto group : {QPalette::Active, QPalette::Inactive}) p.setColor(group, role, normal);
    p.setColor(QPalette::Disabled, role, disabled);
  };
  const QColor text(252, 252, 252);
  const QColor dimmed(110, 113, 117);
  set(QPalette::Window, QColor(42, 46, 50), QColor(40, 44, 48));
  set(QPalette::WindowText, text, dimmed);
  set(QPalette::Base, QColor(27, 30, 32), QColor(30, 33, 35));
  set(QPalette::AlternateBase, QColor(35, 38, 41), QColor(35, 38, 41));
  set(QPalette::Text, text, dimmed);
  set(QPalette::Button, QColor(49, 54, 59), QColor(45, 50, 55));
  set(QPalette::ButtonText, text, dimmed);
  set(QPalette::BrightText, QColor(255, 255, 255), QColor(255, 255, 255));
  set(QPalette::Light, QColor(64, 70, 76), QColor(60, 66, 72));
  set(QPalette::Midlight, QColor(56, 62, 68), QColor(52, 58, 64));
  set(QPalette::Mid, QColor(36, 40, 44), QColor(36, 40, 44));
  set(QPalette::Dark, QColor(24, 27, 30), QColor(24, 27, 30));
  set(QPalette::Shadow, QColor(0, 0, 0), QColor(0, 0, 0));
  set(QPalette::Highlight, QColor(61, 174, 233), QColor(65, 65, 65));
  set(QPalette::HighlightedText, text, dimmed);
  set(QPalette::ToolTipBase, QColor(49, 54, 59), QColor(49, 54, 59));
  set(QPalette::ToolTipText, text, text);
  set(QPalette::PlaceholderText, QColor(161, 169, 177), dimmed);
  set(QPalette::Link, QColor(29, 153, 243), QColor(29, 153, 243));
  return p;
}

// The widget that fills the background `w` is drawn on: w itself when it fills its own, else
// the nearest parent that does (the window at the latest).
const QWidget* BackgroundOf(const QWidget& w) {
  const QWidget* at = &w;
  while (!at->autoFillBackground() && !at->isWindow() && at->parentWidget() != nullptr) at = at->parentWidget();
  return at;
}

// Text and background colours of a widget for a colour group, from the palettes involved.
struct Colours {
  QColor text;
  QColor background;
  QPalette::ColorRole text_role = QPalette::WindowText;
};

std::optional<Colours> PaletteColours(const QWidget& w, QPalette::ColorGroup group) {
  auto window_background = [&w, group] {
    const QWidget* b = BackgroundOf(w);
    const QPalette::ColorGroup g = b->isEnabled() ? group : QPalette::Disabled;
    return b->palette().color(g, b->backgroundRole());
  };
  const QPalette& p = w.palette();
  Colours c;
  if (qobject_cast<const QLineEdit*>(&w)) {
    c = {p.color(group, QPalette::Text), p.color(group, QPalette::Base), QPalette::Text};
  } else if (qobject_cast<const QPushButton*>(&w)) {
    c = {p.color(group, QPalette::ButtonText), p.color(group, QPalette::Button), QPalette::ButtonText};
  } else if (qobject_cast<const QLabel*>(&w)) {
    c = {p.color(group, w.foregroundRole()), window_background(), w.foregroundRole()};
  } else if (qobject_cast<const QAbstractButton*>(&w) || qobject_cast<const QGroupBox*>(&w)) {
    c = {p.color(group, QPalette::WindowText), window_background(), QPalette::WindowText};
  } else {
    return std::nullopt;
  }
  c.text = Over(c.text, c.background);
  return c;
}

// Whether the widget shows text to check: labels with text (not pictures, not empty panels),
// edits, buttons with text, group boxes with a title.
bool ShowsText(const QWidget& w) {
  if (auto* label = qobject_cast<const QLabel*>(&w)) return !label->text().trimmed().isEmpty();
  if (qobject_cast<const QLineEdit*>(&w)) return true;
  if (auto* button = qobject_cast<const QAbstractButton*>(&w)) return !button->text().isEmpty();
  if (auto* group = qobject_cast<const QGroupBox*>(&w)) return !group->title().isEmpty();
  return false;
}

// Where the widget's text is drawn, in its own coordinates: beside a radio button's or a check
// box's indicator, the line inside an edit's frame, a group box's title, or the whole widget.
QRect TextArea(const QWidget& w) {
  if (qobject_cast<const QRadioButton*>(&w) || qobject_cast<const QCheckBox*>(&w)) {
    QStyleOptionButton option;
    option.initFrom(&w);
    const bool radio = qobject_cast<const QRadioButton*>(&w) != nullptr;
    return w.style()->subElementRect(radio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents, &option,
                                     &w);
  }
  if (qobject_cast<const QLineEdit*>(&w)) {
    // The line of text, clear of the frame (drawn in the highlight colour around a focused edit).
    const int height = w.fontMetrics().height();
    return QRect(5, (w.height() - height) / 2, w.width() - 10, height);
  }
  if (qobject_cast<const QGroupBox*>(&w)) return QRect(0, 0, w.width(), w.fontMetrics().height() + 2);
  if (auto* label = qobject_cast<const QLabel*>(&w)) return label->contentsRect();
  return w.rect();
}

// From the rendered pixels of an area: the most common colour is the background, and the
// pixel that stands out most from it is the text.
std::optional<Colours> PixelColours(const QImage& shot, const QRect& area) {
  QHash<QRgb, int> counts;
  const QRect r = area.intersected(shot.rect());
  for (int y = r.top(); y <= r.bottom(); ++y) {
    for (int x = r.left(); x <= r.right(); ++x) ++counts[shot.pixel(x, y)];
  }
  if (counts.isEmpty()) return std::nullopt;
  QRgb background = counts.begin().key();
  for (auto it = counts.begin(); it != counts.end(); ++it) {
    if (it.value() > counts.value(background)) background = it.key();
  }
  QColor text = QColor(background);
  for (auto it = counts.begin(); it != counts.end(); ++it) {
    if (Contrast(QColor(it.key()), QColor(background)) > Contrast(text, QColor(background))) text = QColor(it.key());
  }
  return Colours{text, QColor(background)};
}

struct Lowest {
  double enabled = 100;
  std::string enabled_where;
  double disabled = 100;
  std::string disabled_where;
  double platform_disabled = 100;
  std::string platform_disabled_where;
  double pixels = 100;
  std::string pixels_where;
  int checked = 0;
  void Note(double& lowest, std::string& where, double ratio, const std::string& what) {
    if (ratio < lowest) lowest = ratio, where = what;
  }
};

std::string Describe(const QWidget& w) {
  std::string name = w.metaObject()->className();
  name += " '" + w.objectName().toStdString() + "'";
  if (auto* label = qobject_cast<const QLabel*>(&w)) name += " \"" + label->text().toStdString() + "\"";
  if (auto* button = qobject_cast<const QAbstractButton*>(&w)) name += " \"" + button->text().toStdString() + "\"";
  return name;
}

// Checks every text widget of a shown window and saves its screenshot.
void CheckWindow(QWidget& window, const std::string& palette_name, const std::string& window_name, Lowest& lowest) {
  // Empty edits get a sample text, so their text is drawn and measured too (not the parts of an
  // address, which hold numbers only).
  for (QLineEdit* edit : window.findChildren<QLineEdit*>()) {
    if (edit->text().isEmpty() && !qobject_cast<IpAddressEdit*>(edit->parentWidget())) {
      edit->setText(QStringLiteral("Sample text"));
    }
  }
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QApplication::processEvents();
  // Text is measured unselected: a selection shows in the platform's highlight colours.
  for (QLineEdit* edit : window.findChildren<QLineEdit*>()) edit->deselect();
  const QImage shot = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const qreal scale = shot.devicePixelRatio();
  EXPECT_FALSE(SaveScreenshot(window, palette_name + "/" + window_name).empty()) << window_name;

  const QList<QWidget*> widgets = window.findChildren<QWidget*>();
  for (QWidget* w : widgets) {
    if (!w->isVisibleTo(&window) || !ShowsText(*w)) continue;
    const std::string what = window_name + ": " + Describe(*w);
    const auto active = PaletteColours(*w, QPalette::Active);
    if (!active) continue;
    ++lowest.checked;
    const double enabled_ratio = Contrast(active->text, active->background);
    if (w->isEnabled()) {
      for (auto group : {QPalette::Active, QPalette::Inactive}) {
        const Colours c = *PaletteColours(*w, group);
        const double ratio = Contrast(c.text, c.background);
        EXPECT_GE(ratio, kEnabledMinimum) << palette_name << " " << what << " group " << group << " text "
                                          << c.text.name().toStdString() << " on "
                                          << c.background.name().toStdString();
        lowest.Note(lowest.enabled, lowest.enabled_where, ratio, what);
      }
    } else {
      const Colours c = *PaletteColours(*w, QPalette::Disabled);
      const double ratio = Contrast(c.text, c.background);
      const bool platform_colour =
          w->palette().color(QPalette::Disabled, c.text_role) == QApplication::palette(w).color(QPalette::Disabled, c.text_role);
      if (platform_colour) {
        lowest.Note(lowest.platform_disabled, lowest.platform_disabled_where, ratio, what);
      } else {
        EXPECT_GE(ratio, kDisabledMinimum) << palette_name << " " << what << " (disabled) text "
                                           << c.text.name().toStdString() << " on " << c.background.name().toStdString();
        lowest.Note(lowest.disabled, lowest.disabled_where, ratio, what);
      }
      EXPECT_GE(enabled_ratio, kDisabledFainter * ratio)
          << palette_name << " " << what << ": disabled text looks enabled (" << ratio << " against " << enabled_ratio
          << " when enabled)";
    }
    // The same on the rendered pixels, for widgets whose text area is plain (push buttons have
    // frames and gradients there, which would stand out more than their text).
    if (qobject_cast<QPushButton*>(w)) continue;
    if (auto* edit = qobject_cast<QLineEdit*>(w); edit && edit->text().isEmpty()) continue;
    const QRect area = TextArea(*w).translated(w->mapTo(&window, QPoint(0, 0)));
    const QRect pixels(area.topLeft() * scale, area.size() * scale);
    const auto measured = PixelColours(shot, pixels);
    ASSERT_TRUE(measured) << what;
    const double ratio = Contrast(measured->text, measured->background);
    if (!w->isEnabled()) continue;  // measured above, on the palette
    EXPECT_GE(ratio, kEnabledMinimum) << palette_name << " " << what << " rendered text " << measured->text.name().toStdString()
                              << " on " << measured->background.name().toStdString();
    lowest.Note(lowest.pixels, lowest.pixels_where, ratio, what);
  }
}

class ReadabilityTest : public ::testing::Test, protected OperationsFixture {
 protected:
  void SetUp() override { platform_ = QApplication::palette(); }
  void TearDown() override {
    QApplication::setPalette(platform_);
    ResetSettings();
  }

  QPalette platform_;
};

TEST_F(ReadabilityTest, EveryWindowIsReadableUnderALightAndADarkPalette) {
  struct PaletteCase {
    std::string name;
    QPalette palette;
  };
  const PaletteCase palettes[] = {{"light", platform_}, {"dark", DarkPalette()}};
  for (const PaletteCase& p : palettes) {
    QApplication::setPalette(p.palette);
    Lowest lowest;
    ForEveryWindow(*this, [&](QWidget& window, const std::string& name) { CheckWindow(window, p.name, name, lowest); });
    EXPECT_GT(lowest.checked, 60) << p.name;
    std::cout << "[ contrast ] " << p.name << " palette, " << lowest.checked << " texts: lowest enabled ratio "
              << lowest.enabled << " (" << lowest.enabled_where << "); lowest on the pixels " << lowest.pixels << " ("
              << lowest.pixels_where << "); lowest disabled ratio " << lowest.disabled << " ("
              << lowest.disabled_where << "); lowest disabled ratio in the platform's colours "
              << lowest.platform_disabled << " (" << lowest.platform_disabled_where << ")\n";
  }
}

}  // namespace
}  // namespace sd::gui
