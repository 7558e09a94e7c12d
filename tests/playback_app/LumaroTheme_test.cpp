// The shipped themes as the operator reads them: every text of the main dialog stands out
// from what is drawn behind it by at least 4.5:1 (time mode and list mode, both screen sizes,
// chosen channels, the calendar, the ruler and the download display), and pictures of the
// main window in each theme for people to look at (when LUMARO_THEME_SHOTS names a folder).

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QTableView>
#include <QTest>
#include <QHeaderView>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>

#include "LumaroTestSupport.h"
#include "platform/Display.h"
#include "platform/MessageBox.h"
#include "playback_app/CLumaroDlg.h"
#include "playback_app/LumaroGlobals.h"
#include "playback_app/SkinControls.h"
#include "playback_app/TimeStaffWnd.h"
#include "tests/support/TempDriveTable.h"

using namespace lumaro;
using lumaro_test::ProgramFolder;

namespace {

constexpr double kReadable = 4.5;

double Luminance(const QColor& c) {
  auto channel = [](int value) {
    const double v = value / 255.0;
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double Contrast(const QColor& a, const QColor& b) {
  double la = Luminance(a), lb = Luminance(b);
  if (la < lb) std::swap(la, lb);
  return (la + 0.05) / (lb + 0.05);
}

std::string Rgb(const QColor& c) {
  return std::to_string(c.red()) + "," + std::to_string(c.green()) + "," + std::to_string(c.blue());
}

// What a text in `area` shows: the drawn colour is the pixel of `shown` that stands out most
// from `under` at the same place; its contrast is taken against the least favourable pixel
// of `under` in the area (a gradient or picture behind the text counts at its worst).
// `under` null: the area's own most frequent colour is what lies behind the text.
struct Reading {
  bool drawn = false;
  double contrast = 21;
  QColor text, back;
};

Reading Read(const QImage& shown, const QImage* under, QRect area) {
  area &= shown.rect();
  Reading reading;
  QColor common;
  if (!under) {
    std::map<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
      for (int x = area.left(); x <= area.right(); ++x) ++counts[shown.pixel(x, y)];
    int best = 0;
    for (const auto& [rgb, count] : counts)
      if (count > best) best = count, common = QColor(rgb);
  }
  auto backAt = [&](int x, int y) { return under ? under->pixelColor(x, y) : common; };
  double most = 1;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) {
      const double c = Contrast(shown.pixelColor(x, y), backAt(x, y));
      if (c > most) most = c, reading.text = shown.pixelColor(x, y);
    }
  reading.drawn = most > 1.5;
  if (!reading.drawn) return reading;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) {
      const QColor back = backAt(x, y);
      const double c = Contrast(reading.text, back);
      if (c < reading.contrast) reading.contrast = c, reading.back = back;
    }
  return reading;
}

class Screen1440 : public platform::DisplayProvider {
 public:
  platform::DisplayMode CurrentMode() override { return {32, 1440, 900, 60}; }
  std::vector<platform::DisplayMode> Modes() override { return {CurrentMode()}; }
};

class LumaroThemeTest : public ::testing::Test {
 protected:
  void SetUp() override { surroundings_.emplace(); }
  void TearDown() override {
    surroundings_.reset();
    g_nResolution = 1;
  }

  // Every text of the dialog as shown now that falls short, as "what: contrast (text on back)".
  static std::vector<std::string> Unreadable(CLumaroDlg& dialog, const std::string& where) {
    std::vector<std::string> faults;
    auto note = [&](const std::string& what, const Reading& reading) {
      if (reading.contrast >= kReadable) return;
      std::ostringstream text;
      text << where << " " << what << ": " << reading.contrast << " (" << Rgb(reading.text) << " on "
           << Rgb(reading.back) << ")";
      faults.push_back(text.str());
    };

    // Labels, the remote check box and the download percent are drawn over the dialog's
    // background: compare the dialog with and without them.
    std::vector<QWidget*> texts;
    for (CColorStatic* label : dialog.findChildren<CColorStatic*>())
      if (label->isVisible() && !label->Text().isEmpty()) texts.push_back(label);
    for (QWidget* widget : {static_cast<QWidget*>(dialog.findChild<QCheckBox*>("CHK_REMOTE")),
                            static_cast<QWidget*>(dialog.findChild<QLabel*>("STC_DOWNPERCENT"))})
      if (widget && widget->isVisible()) texts.push_back(widget);
    const QImage shown = dialog.grab().toImage();
    for (QWidget* widget : texts) widget->hide();
    const QImage under = dialog.grab().toImage();
    for (QWidget* widget : texts) widget->show();
    for (QWidget* widget : texts) {
      QRect area = widget->geometry();
      if (qobject_cast<QCheckBox*>(widget)) area.setLeft(area.left() + 20);  // the box itself is no text
      const Reading reading = Read(shown, &under, area);
      if (!reading.drawn) faults.push_back(where + " " + widget->objectName().toStdString() + ": no text to be seen");
      else note(widget->objectName().toStdString(), reading);
    }

    // Button captions on each face the operator meets: normal, pointer over, pressed or chosen.
    for (CPictureButton* button : dialog.findChildren<CPictureButton*>()) {
      if (!button->isVisible() || !button->HasCaption() || button->text().isEmpty()) continue;
      const QFontMetrics metrics(button->font());
      for (int face : {kFaceNormal, kFaceHover, kFacePressed}) {
        const QImage& picture = button->Pictures()[static_cast<std::size_t>(face)];
        const QRect caption(button->CaptionOffset().x, button->CaptionOffset().y,
                            metrics.horizontalAdvance(button->text()), metrics.height());
        const QRect area = caption & picture.rect().adjusted(2, 2, -2, -2);
        Reading reading;
        reading.text = button->CaptionColorOn(face);
        for (int y = area.top(); y <= area.bottom(); ++y)
          for (int x = area.left(); x <= area.right(); ++x) {
            const double c = Contrast(reading.text, picture.pixelColor(x, y));
            if (c < reading.contrast) reading.contrast = c, reading.back = picture.pixelColor(x, y);
          }
        note(button->objectName().toStdString() + " face " + std::to_string(face), reading);
      }
    }

    // The calendar: names, week numbers, days (also of the months around) and the chosen day,
    // and its month and year.
    auto* calendar = dialog.findChild<QCalendarWidget*>("CONTROL_CALDATE");
    if (calendar && calendar->isVisible()) {
      const QImage image = calendar->grab().toImage();
      auto* view = calendar->findChild<QTableView*>("qt_calendar_calendarview");
      QAbstractItemModel* model = view->model();
      for (int row = 0; row < model->rowCount(); ++row)
        for (int column = 0; column < model->columnCount(); ++column) {
          const QModelIndex index = model->index(row, column);
          const QString text = model->data(index, Qt::DisplayRole).toString();
          if (text.isEmpty()) continue;
          QRect cell = view->visualRect(index).adjusted(1, 1, -1, -1);
          cell.moveTopLeft(view->viewport()->mapTo(calendar, cell.topLeft()));
          const Reading reading = Read(image, nullptr, cell);
          const std::string what = "calendar cell " + text.toStdString();
          if (!reading.drawn) faults.push_back(where + " " + what + ": no text to be seen");
          else note(what, reading);
        }
      for (const char* name : {"qt_calendar_monthbutton", "qt_calendar_yearbutton"}) {
        auto* button = calendar->findChild<QToolButton*>(name);
        if (!button || !button->isVisible()) continue;
        QRect area = button->rect();
        area.moveTopLeft(button->mapTo(calendar, QPoint(0, 0)));
        note(name, Read(image, nullptr, area));
      }
    }

    // The result lists: their headers and rows, the chosen row too.
    for (const char* name : {"LIST_RESULT", "LIST_RESULTREMOTE"}) {
      auto* list = dialog.findChild<QTreeWidget*>(name);
      if (!list || !list->isVisible() || list->topLevelItemCount() == 0) continue;
      const QImage image = list->grab().toImage();
      for (int row = 0; row < list->topLevelItemCount(); ++row) {
        QRect area = list->visualItemRect(list->topLevelItem(row)).adjusted(1, 1, -1, -1);
        area.setWidth(std::min(area.width(), list->columnWidth(0) - 2));
        area.moveTopLeft(list->viewport()->mapTo(list, area.topLeft()));
        note(std::string(name) + " row " + std::to_string(row), Read(image, nullptr, area));
      }
      QHeaderView* header = list->header();
      QRect area(header->sectionViewportPosition(0) + 1, 1, header->sectionSize(0) - 2, header->height() - 2);
      area.moveTopLeft(header->viewport()->mapTo(list, area.topLeft()));
      note(std::string(name) + " header", Read(image, nullptr, area));
    }

    // The ruler: its hour scale and the chosen channels' row labels.
    TimeStaffWnd* ruler = dialog.RulerArea();
    if (ruler && ruler->isVisible()) {
      const QImage image = ruler->grab().toImage();
      const int rows = TimeStaffWnd::kVisibleRows * TimeStaffWnd::kRowHeight;
      note("ruler scale", Read(image, nullptr, QRect(TimeStaffWnd::kX0 - 8, rows + 2, 200, image.height() - rows - 2)));
      note("ruler row label", Read(image, nullptr, QRect(0, 1, TimeStaffWnd::kLabelWidth, TimeStaffWnd::kRowHeight - 1)));
    }
    return faults;
  }

  // Shows what appears only now and then: the search wait and the running download's name,
  // its fixed label and percent.
  static void ShowOccasionalTexts(CLumaroDlg& dialog) {
    for (const char* name : {"STC_WAITING", "STC_FILENAME", "STC_DF"}) {
      auto* label = dialog.findChild<CColorStatic*>(name);
      label->show();
      if (label->Text().isEmpty()) label->SetText(QStringLiteral("2010-05-25-100000 M101.avi"));
    }
    // A row in each result list, the first one chosen.
    for (const char* name : {"LIST_RESULT", "LIST_RESULTREMOTE"}) {
      auto* list = dialog.findChild<QTreeWidget*>(name);
      for (const char* channel : {"1", "2"}) {
        auto* item = new QTreeWidgetItem(list);
        item->setText(0, QString::fromLatin1(channel));
        item->setText(1, QStringLiteral("Manual"));
      }
      list->setCurrentItem(list->topLevelItem(0));
      list->topLevelItem(0)->setSelected(true);
    }
    auto* percent = dialog.findChild<QLabel*>("STC_DOWNPERCENT");
    percent->setText(QStringLiteral("45%"));
    percent->show();
  }

  std::optional<lumaro_test::DialogSurroundings> surroundings_;
};

TEST_F(LumaroThemeTest, EveryTextOfEveryShippedThemeStandsOutFromItsBackground) {
  suite::test::TempDriveTable drives("CD", 'C');
  std::vector<std::string> faults;
  for (int resolution : {1, 2}) {
    g_nResolution = resolution;
    std::shared_ptr<platform::DisplayProvider> previous;
    if (resolution == 2) previous = platform::SetDisplayProvider(std::make_shared<Screen1440>());
    for (const char* theme : {"TBlack", "Blue"}) {
      ProgramFolder folder(theme);
      const std::string name = std::string(theme) + (resolution == 1 ? " 1024" : " 1440");
      {
        // Standalone: time mode with two chosen channels.
        CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
        ASSERT_TRUE(dialog.OnInitDialog()) << name;
        dialog.show();
        dialog.SetChannelSelected(1, true);
        dialog.SetChannelSelected(2, true);
        ShowOccasionalTexts(dialog);
        for (const std::string& fault : Unreadable(dialog, name + " time mode")) faults.push_back(fault);
        // List mode of the local search: its search labels and the local list.
        dialog.OnModeList();
        ShowOccasionalTexts(dialog);
        for (const std::string& fault : Unreadable(dialog, name + " local list mode")) faults.push_back(fault);
        dialog.OnCancel();
      }
      {
        // Started by the live client: list mode with the recorder controls.
        CLumaroDlg dialog(0, "D:\\Picture\\", folder.path());
        ASSERT_TRUE(dialog.OnInitDialog()) << name;
        dialog.show();
        ShowOccasionalTexts(dialog);
        for (const std::string& fault : Unreadable(dialog, name + " list mode")) faults.push_back(fault);
        dialog.OnCancel();
      }
    }
    if (previous) platform::SetDisplayProvider(previous);
  }
  std::string listed;
  for (const std::string& fault : faults) listed += fault + "\n";
  EXPECT_TRUE(faults.empty()) << faults.size() << " texts fall short:\n" << listed;
}

TEST_F(LumaroThemeTest, PicturesOfTheMainWindowInEachTheme) {
  const char* shots = std::getenv("LUMARO_THEME_SHOTS");
  if (!shots) GTEST_SKIP() << "LUMARO_THEME_SHOTS not set";
  suite::test::TempDriveTable drives("CD", 'C');
  for (const char* theme : {"TBlack", "Blue"}) {
    ProgramFolder folder(theme);
    CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
    ASSERT_TRUE(dialog.OnInitDialog());
    dialog.show();
    dialog.SetChannelSelected(2, true);
    dialog.SetChannelSelected(3, true);
    QTest::qWait(100);
    const QString name = QStringLiteral("%1/lumaro-theme-%2.png").arg(QString::fromLocal8Bit(shots), QLatin1String(theme));
    EXPECT_TRUE(dialog.grab().save(name)) << name.toStdString();
  }
}

}  // namespace
