// The settings button of the main dialog: the sheet, what it saves and what the dialog shows
// afterwards; and the pop-ups the dialog owns.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "live_client/core/KorvelConfig.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelIds.h"
#include "live_client/settings/CErrReportDlg.h"
#include "live_client/settings/CPageSet.h"
#include "live_client/settings/CTaskbarNotifier.h"
#include "live_client/settings/CTreePropSheet.h"
#include "live_client/settings/KorvelSettings.h"
#include "platform/Files.h"
#include "tests/live_client/core/KorvelDialogFixture.h"
#include "tests/live_client/settings/SettingsTestSupport.h"

namespace {

using korvel_test::KorvelDialogTest;
using settings_test::SettingsTest;
using settings_test::WhenModal;

void TypeInto(QWidget* dialog, const char* field, const QString& text) {
  auto* edit = dialog->findChild<QLineEdit*>(QString::fromLatin1(field));
  ASSERT_NE(edit, nullptr) << field;
  edit->setText(text);
}

void PressOk(QWidget* dialog) {
  QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("IDOK")), Qt::LeftButton);
}

TEST_F(KorvelDialogTest, SettingsButtonEditsSavesAndRefreshesTheGridAndTree) {
  ASSERT_TRUE(OpenDialog());
  const std::string config = ClientHost() + "/Korvel.cfg";
  std::filesystem::remove(config);

  // Window 3 of page 1 gets a camera through the sheet, then OK.
  WhenModal("CTreePropSheet", [](QWidget* modal) {
    auto* sheet = static_cast<CTreePropSheet*>(modal);
    auto* page = static_cast<CPageSet*>(sheet->GetPage(0));
    WhenModal("CCameraSetDlg", [](QWidget* camera) {
      TypeInto(camera, "EDIT_CAMDESC", QStringLiteral("Door"));
      TypeInto(camera, "EDIT_SVRDESC", QStringLiteral("Lobby DVR"));
      TypeInto(camera, "EDIT_ADDR", QStringLiteral("10.0.0.7"));
      PressOk(camera);
    });
    page->EditWindow(2);
    PressOk(sheet);
  });
  Click("BTN_CONFIG");

  EXPECT_EQ(g_PageInfo[0].camera[2].strAddr, "10.0.0.7");
  ASSERT_TRUE(std::filesystem::exists(config));
  CPageInfo saved[kPageCount];
  CKorvelSettings settings;
  ASSERT_EQ(LoadConfigFile(ClientWindows(), saved, settings), 1);
  EXPECT_EQ(saved[0].camera[2].strAddr, "10.0.0.7");
  EXPECT_EQ(saved[0].camera[2].strCamDesc, "Door");
  EXPECT_EQ(VideoWindow(2)->TitleLabel()->text(), QString("Lobby DVR      Door"));
  auto* tree = Child<QTreeWidget>("TREE_CONFIG");
  EXPECT_TRUE(tree->topLevelItem(0)->child(2)->text(0).contains("10.0.0.7"));

  // Cancelled: nothing of the sheet's own fields is kept, the dialog refreshes all the same.
  std::filesystem::remove(config);
  WhenModal("CTreePropSheet", [](QWidget* modal) {
    auto* sheet = static_cast<CTreePropSheet*>(modal);
    sheet->GetPage(sheet->PageCount() - 1)->findChild<QLineEdit*>("EDIT_FREESPACE")->setText("900");
    QTest::mouseClick(sheet->findChild<QPushButton*>("IDCANCEL"), Qt::LeftButton);
  });
  Click("BTN_CONFIG");
  EXPECT_EQ(dialog_->m_nFreeSpaceMB, 600);
  EXPECT_TRUE(std::filesystem::exists(config));
}

TEST_F(KorvelDialogTest, ThePopupsBelongToTheMainDialog) {
  ASSERT_TRUE(OpenDialog());
  CTaskbarNotifier* notifier = FindNotifier(dialog_.get());
  ASSERT_NE(notifier, nullptr);
  EXPECT_EQ(notifier->size(), QSize(230, 130));
  EXPECT_FALSE(notifier->isVisible());
  // The notice names the picture where it lies on this computer, not by its drive letter.
  NotifySnapshotResult(*dialog_, false, "C:\\Pic\\1.JPG");
  EXPECT_EQ(notifier->TextStyle(), 0u);
  EXPECT_EQ(notifier->Text(), English("IDS_SNAP_FAIL").toStdString() + "\r\n" + drives_->Root('C') + "/Pic/1.JPG");
  NotifySnapshotResult(*dialog_, true, "C:\\Pic\\2.JPG");
  EXPECT_EQ(notifier->Text(), drives_->Root('C') + "/Pic/2.JPG");
  EXPECT_EQ(notifier->TextStyle(), kNotifierTextHighlight);
  EXPECT_EQ(notifier->AppearIntervalMs(), 500 / 130);
  EXPECT_TRUE(notifier->isVisible());

  CErrReportDlg* report = FindErrReport(dialog_.get());
  ASSERT_NE(report, nullptr);
  EXPECT_FALSE(report->isVisible());
  g_PageInfo[0].camera[6].strCamDesc = "Hall";
  // A worker's report reaches the main dialog and is passed on.
  ASSERT_TRUE(platform::PostMessage(dialog_->Handle(), korvel::WM_KORVEL_ERRREPORT,
                                    (1 + 100) * 65536 + 1, 6 * 65536 + 0));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !report->ReportText().empty(); }, 2000));
  EXPECT_NE(report->ReportText().find("Hall"), std::string::npos);
  EXPECT_NE(report->ReportText().find("OVER TIME"), std::string::npos);
  EXPECT_TRUE(report->isVisible());
}

TEST_F(KorvelDialogTest, AClickOnTheSnapshotNoticeOpensThePicturesFolderOnThisComputer) {
  std::vector<std::pair<std::string, std::vector<std::string>>> started;
  SetProgramLauncher([&](const std::string& program, const std::vector<std::string>& arguments) {
    started.emplace_back(program, arguments);
    return true;
  });
  const std::string folder = drives_->Root('C') + "/Pic/10.0.0.5/01";
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/20100525-080000.JPG") << "x";
  ASSERT_TRUE(OpenDialog());
  CTaskbarNotifier* notifier = FindNotifier(dialog_.get());
  ASSERT_NE(notifier, nullptr);
  const auto clickNotice = [&] {
    QTest::mouseRelease(notifier, Qt::LeftButton, {}, notifier->rect().center());
    QTest::qWait(100);  // the click reaches the dialog as a posted message
  };

  NotifySnapshotResult(*dialog_, true, "C:\\Pic\\10.0.0.5\\01\\20100525-080000.JPG");
  EXPECT_EQ(notifier->Text(), folder + "/20100525-080000.JPG");
  clickNotice();
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].first, "xdg-open");
  EXPECT_EQ(started[0].second, std::vector<std::string>{folder});

  // A failure notice names no picture that exists: a click opens nothing.
  NotifySnapshotResult(*dialog_, false, "C:\\Pic\\10.0.0.5\\01\\20100525-080001.JPG");
  clickNotice();
  EXPECT_EQ(started.size(), 1u);
  SetProgramLauncher({});
}

}  // namespace
