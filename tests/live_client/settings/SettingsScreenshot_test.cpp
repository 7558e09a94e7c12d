// Pictures of the settings sheet on each of its pages and of the notifier, for people to look
// at. Runs only when KORVEL_SCREENSHOT_DIR names the folder to write them to, on a real (or
// virtual) X display:
//   KORVEL_SCREENSHOT_DIR=build/screenshots QT_QPA_PLATFORM=xcb
//     xvfb-run -a -s "-screen 0 1024x768x24" build/tests/KorvelSettings_test
//     --gtest_filter='*Screenshot*'

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>
#include <cstdlib>

#include "live_client/core/KorvelGlobals.h"
#include "live_client/settings/CCameraSetDlg.h"
#include "live_client/settings/CErrReportDlg.h"
#include "live_client/settings/CPageSet.h"
#include "live_client/settings/CRecordDlg.h"
#include "live_client/settings/CTaskbarNotifier.h"
#include "live_client/settings/CTreePropSheet.h"
#include "live_client/settings/KorvelSettings.h"
#include "live_client/storage/MWeek.h"
#include "tests/live_client/settings/SettingsTestSupport.h"

namespace {

using settings_test::SettingsTest;
using settings_test::WhenModal;

TEST_F(SettingsTest, Screenshots) {
  const char* folder = std::getenv("KORVEL_SCREENSHOT_DIR");
  if (!folder) GTEST_SKIP() << "KORVEL_SCREENSHOT_DIR not set";
  const QString out = QString::fromLocal8Bit(folder) + QStringLiteral("/");

  g_PageInfo[0].camera[0].strCamDesc = "Gate";
  g_PageInfo[0].camera[0].strSvrDesc = "North DVR";
  g_PageInfo[0].camera[0].strAddr = "10.0.0.5";
  g_PageInfo[0].camera[1].strCamDesc = "Yard";
  g_PageInfo[0].camera[1].strSvrDesc = "North DVR";
  g_PageInfo[0].camera[1].strAddr = "10.0.0.5";
  g_PageInfo[0].camera[1].nChannel = 1;
  CKorvelSettings settings;
  settings.m_nRecDriveMask = 1;
  std::vector<std::string> disks{"D:\\", "E:\\"};
  RegisterSchedulePage(g_PageInfo, ClientRecordingTally());
  std::unique_ptr<CTreePropSheet> sheet(
      BuildSettingsSheet(skin_, g_PageInfo, settings, disks, nullptr, nullptr, nullptr));
  // The schedule page with window 1 picked and Monday to Friday 08-17 painted.
  const auto pickAndPaint = [](CPropertyPage* page) {
    auto* tree = page->findChild<QTreeWidget*>("TREE_WINDOWS");
    auto* week = page->findChild<MWeek*>("GRID_WEEK");
    if (!tree || !week || !tree->topLevelItem(0) || !tree->topLevelItem(0)->child(0)) return;
    tree->setCurrentItem(tree->topLevelItem(0)->child(0));
    week->SetAllCells(0);
    for (int day = 1; day <= 5; ++day)
      for (int hour = 8; hour <= 17; ++hour) week->SetCell(day, hour, 1);
  };
  WhenModal("CTreePropSheet", [&](QWidget*) {
    for (int i = 0; i < sheet->PageCount(); ++i) {
      sheet->SetActivePage(i);
      if (i == 1) pickAndPaint(sheet->GetPage(i));
      QTest::qWait(200);
      sheet->grab().save(out + QStringLiteral("korvel-settings-page%1.png").arg(i + 1));
    }
    sheet->reject();
  });
  sheet->DoModal();

  // The schedule page again in the Chinese texts, whose labels differ in width.
  ASSERT_TRUE(skin_.LoadLanguage("Chinese"));
  std::unique_ptr<CTreePropSheet> chinese(
      BuildSettingsSheet(skin_, g_PageInfo, settings, disks, nullptr, nullptr, nullptr));
  WhenModal("CTreePropSheet", [&](QWidget*) {
    chinese->SetActivePage(1);
    pickAndPaint(chinese->GetPage(1));
    QTest::qWait(200);
    chinese->grab().save(out + QStringLiteral("korvel-settings-page2-chinese.png"));
    chinese->reject();
  });
  chinese->DoModal();
  ASSERT_TRUE(skin_.LoadLanguage("English"));

  CCameraSetDlg camera(skin_, g_PageInfo, 0, 1, nullptr);
  camera.show();
  QTest::qWait(200);
  camera.grab().save(out + QStringLiteral("korvel-camera-dialog.png"));
  camera.reject();

  // The camera list with the editor of window 3 after OK with channel 99: what is left on the
  // screen for the operator (the editor drawn over the page while it is open).
  {
    CPageSet page(skin_, g_PageInfo, nullptr);
    ASSERT_TRUE(page.InitPage());
    page.resize(640, 420);
    page.show();
    CCameraSetDlg editor(skin_, g_PageInfo, 0, 2, nullptr, &page);
    editor.show();
    const auto type = [&](const char* field, const QString& text) {
      if (auto* edit = editor.findChild<QLineEdit*>(QString::fromLatin1(field))) edit->setText(text);
    };
    type("EDIT_CAMDESC", QStringLiteral("Loading bay"));
    type("EDIT_SVRDESC", QStringLiteral("South DVR"));
    type("EDIT_ADDR", QStringLiteral("10.0.0.7"));
    type("EDIT_USER", QStringLiteral("admin"));
    type("EDIT_PASSWORD", QStringLiteral("secret"));
    type("EDIT_CHANNEL", QStringLiteral("99"));
    if (auto* ok = editor.findChild<QPushButton*>(QStringLiteral("IDOK"))) ok->click();
    QTest::qWait(200);
    QImage shot = page.grab().toImage();
    if (editor.isVisible()) {
      QPainter painter(&shot);
      const QImage over = editor.grab().toImage();
      painter.drawImage((shot.width() - over.width()) / 2, (shot.height() - over.height()) / 2, over);
    }
    shot.save(out + QStringLiteral("korvel-camera-editor-refused.png"));
  }

  CErrReportDlg report(skin_, g_PageInfo);
  report.Report(ErrReportKind::Connect, 104, 0, 0);
  report.Report(ErrReportKind::ConnectionLost, 0, 0, 1);
  QTest::qWait(200);
  report.grab().save(out + QStringLiteral("korvel-error-report.png"));
  report.hide();

  CTaskbarNotifier notifier(nullptr, nullptr);
  notifier.SetSkin(skin_.PicturePath("TaskBarNotify_MSN.bmp"));
  notifier.SetTextFont("MS San Serif", 90);
  notifier.SetTextColor(0xC80000, 0xC80000);
  notifier.SetTextRect(QRect(10, 40, notifier.width() - 20, notifier.height() - 65));
  notifier.SetTextStyle(kNotifierTextHighlight);
  notifier.Show("Snap", "C:\\Pic\\10.0.0.5\\01\\20100525-080000.JPG", 500, 3000, 500, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return (notifier.AnimationState()) == (CTaskbarNotifier::State::Showing); }, 3000));
  QTest::qWait(200);
  QScreen* screen = QGuiApplication::primaryScreen();
  screen->grabWindow(0).save(out + QStringLiteral("korvel-notifier-screen.png"));
  notifier.grab().save(out + QStringLiteral("korvel-notifier.png"));
}

}  // namespace
