// The main dialog as the operator meets it: start-up in both modes, local search in list and
// time mode over recordings written by the record-file library, client mode's record-set
// dialog, exit rules, theme and language files with their failures.

#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimeEdit>
#include <QTreeWidget>
#include <fstream>
#include <optional>
#include <regex>
#include <thread>

#include "LumaroTestSupport.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "platform/TimeText.h"
#include "playback_app/CLumaroDlg.h"
#include "playback_app/CMyPagesWnd.h"
#include "playback_app/CRecordSetDlg.h"
#include "playback_app/VideoPlayerWnd.h"
#include "playback_app/LumaroGlobals.h"
#include "playback_app/LumaroIds.h"
#include "playback_app/SkinControls.h"
#include "tests/support/TempDriveTable.h"

using namespace lumaro;
using lumaro_test::MakeRecording;
using lumaro_test::ProgramFolder;

namespace {

std::vector<std::string> ShownTexts() {
  std::vector<std::string> texts;
  for (const auto& box : platform::ShownMessageBoxes()) texts.push_back(box.text);
  return texts;
}

class LumaroDlgTest : public ::testing::Test {
 protected:
  void SetUp() override { surroundings_.emplace(); }
  void TearDown() override {
    surroundings_.reset();
    g_nResolution = 1;
  }

  template <typename T>
  static T* Child(QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  // Rows of the local result list as "channel|type|time|path".
  static std::vector<std::string> Rows(CLumaroDlg& dialog) {
    std::vector<std::string> rows;
    QTreeWidget* list = Child<QTreeWidget>(dialog, "LIST_RESULT");
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      const QTreeWidgetItem* item = list->topLevelItem(i);
      rows.push_back((item->text(0) + "|" + item->text(1) + "|" + item->text(2) + "|" + item->text(3)).toStdString());
    }
    return rows;
  }

  static void SetDay(CLumaroDlg& dialog, int year, int month, int day) {
    Child<QCalendarWidget>(dialog, "CONTROL_CALDATE")->setSelectedDate(QDate(year, month, day));
  }

  std::optional<lumaro_test::DialogSurroundings> surroundings_;
};

TEST_F(LumaroDlgTest, StandaloneStartsInTimeModeAndOffersNoRecorderSearch) {
  suite::test::TempDriveTable drives("CD", 'C');
  ProgramFolder folder;
  CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog()) << ::testing::PrintToString(ShownTexts());
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Lumaro Recording Playback"));
  dialog.show();
  EXPECT_EQ(dialog.Mode(), ViewMode::Time);
  EXPECT_EQ(dialog.ThemeName(), "TBlack");
  EXPECT_EQ(dialog.Drivers().m_strDrivers, "D");
  EXPECT_TRUE(Child<QWidget>(dialog, "CHK_REMOTE")->isHidden());
  EXPECT_TRUE(Child<QWidget>(dialog, "CMB_DEVICE_TYPE")->isHidden());
  EXPECT_TRUE(Child<QWidget>(dialog, "STC_DEVICE_TYPE")->isHidden());  // the combo's caption goes with it
  EXPECT_TRUE(Child<QWidget>(dialog, "BTN_SEARCH")->isHidden());
  EXPECT_TRUE(Child<QWidget>(dialog, "LIST_RESULT")->isHidden());
  EXPECT_FALSE(Child<QWidget>(dialog, "BTN_MODETIME")->isHidden());
  EXPECT_FALSE(Child<QWidget>(dialog, "BTN_MODELIST")->isHidden());
  EXPECT_FALSE(Child<QWidget>(dialog, "WNDCOLOR_AUTO")->isHidden());
  EXPECT_FALSE(Child<QWidget>(dialog, "BTN_FILE")->isEnabled());
  // The theme places every button at its rectangle and gives it its pictures' size.
  auto* play = Child<CPictureButton>(dialog, "BTN_PLAY");
  const std::string theme = dialog.Theme().file;
  EXPECT_EQ(play->x(), platform::GetPrivateProfileInt("BTN_PLAY", "POSITION_X", -1, theme.c_str()));
  EXPECT_EQ(play->width(), platform::GetPrivateProfileInt("BTN_PLAY", "POSITION_CX", -1, theme.c_str()));
  EXPECT_FALSE(play->isEnabled());  // no window plays
  // TBlack shows four channel buttons beside the ruler rows.
  EXPECT_FALSE(Child<QWidget>(dialog, "CH 4")->isHidden());
  EXPECT_TRUE(Child<QWidget>(dialog, "CH 5")->isHidden());
  // Clock labels run from the start.
  EXPECT_TRUE(std::regex_match(Child<CColorStatic>(dialog, "STC_CLOCKTIME")->Text().toStdString(),
                               std::regex("\\d\\d:\\d\\d:\\d\\d")));

  QTest::mouseClick(Child<QWidget>(dialog, "BTN_MODELIST"), Qt::LeftButton);
  EXPECT_EQ(dialog.Mode(), ViewMode::List);
  EXPECT_FALSE(Child<QWidget>(dialog, "BTN_SEARCH")->isHidden());
  EXPECT_FALSE(Child<QWidget>(dialog, "LIST_RESULT")->isHidden());
  EXPECT_FALSE(Child<QWidget>(dialog, "CONTROL_TIMEFROM")->isHidden());
  EXPECT_TRUE(Child<QWidget>(dialog, "CHK_REMOTE")->isHidden());
  EXPECT_TRUE(Child<QWidget>(dialog, "WNDCOLOR_AUTO")->isHidden());
  EXPECT_TRUE(Child<QWidget>(dialog, "BTN_FILE")->isEnabled());
  // The last message number of the dialog's range is answered with 0.
  EXPECT_EQ(platform::SendMessage(dialog.Handle(), UM_RESERVED_479, 1, 2), 0);
}

TEST_F(LumaroDlgTest, ListModeSearchFiltersByTypeAndTimeAndNeverSearchesTheSystemDrive) {
  suite::test::TempDriveTable drives("CDE", 'C');
  const std::string overlapping = MakeRecording('D', "", 1, 7, 59, 0, 'T', 120);
  const std::string ended = MakeRecording('D', "", 2, 7, 59, 0, 'T', 60);
  const std::string manual = MakeRecording('E', "", 3, 9, 0, 0, 'M', 600);
  const std::string timer = MakeRecording('E', "", 3, 9, 10, 0, 'T', 600);
  const std::string alarm = MakeRecording('E', "", 3, 9, 20, 0, 'A', 600);
  const std::string late = MakeRecording('D', "", 1, 23, 59, 30, 'M', 20);
  MakeRecording('C', "", 1, 10, 0, 0, 'M', 600);  // on the system drive
  ProgramFolder folder;
  CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.show();
  QTest::mouseClick(Child<QWidget>(dialog, "BTN_MODELIST"), Qt::LeftButton);
  SetDay(dialog, 2010, 5, 5);

  // No channel chosen: the operator is told so.
  QTest::mouseClick(Child<QWidget>(dialog, "BTN_SEARCH"), Qt::LeftButton);
  EXPECT_EQ(ShownTexts(), (std::vector<std::string>{"Please select at least one channel first."}));
  platform::ResetMessageBoxes();

  QTest::mouseClick(Child<QWidget>(dialog, "CH 1"), Qt::LeftButton);
  dialog.SetChannelSelected(2, true);
  dialog.SetChannelSelected(3, true);
  EXPECT_EQ(dialog.Channels()[0].nWindow, 0);
  EXPECT_EQ(dialog.Channels()[2].nWindow, 2);
  Child<QTimeEdit>(dialog, "CONTROL_TIMEFROM")->setTime(QTime(8, 0, 0));
  QTest::mouseClick(Child<QWidget>(dialog, "BTN_SEARCH"), Qt::LeftButton);
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{
                              "1|Timer|07:59:00|" + overlapping,
                              "1|Manual|23:59:30|" + late,
                              "3|Manual|09:00:00|" + manual,
                              "3|Timer|09:10:00|" + timer,
                              "3|Alarm|09:20:00|" + alarm,
                          }));
  EXPECT_TRUE(Child<QTreeWidget>(dialog, "LIST_RESULT")->topLevelItem(0)->isSelected());
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());

  // Only the timer recordings, only up to 09:15.
  Child<QComboBox>(dialog, "CMB_RECORDTYPE")->setCurrentIndex(2);
  Child<QTimeEdit>(dialog, "CONTROL_TIMETO")->setTime(QTime(9, 15, 0));
  QTest::mouseClick(Child<QWidget>(dialog, "BTN_SEARCH"), Qt::LeftButton);
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"1|Timer|07:59:00|" + overlapping, "3|Timer|09:10:00|" + timer}));

  // Releasing a channel takes its rows out of the list.
  dialog.SetChannelSelected(1, false);
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"3|Timer|09:10:00|" + timer}));
  EXPECT_EQ(dialog.WindowStates()[0].nState, kWindowFree);

  // An end earlier than the start is refused.
  Child<QTimeEdit>(dialog, "CONTROL_TIMETO")->setTime(QTime(7, 0, 0));
  QTest::mouseClick(Child<QWidget>(dialog, "BTN_SEARCH"), Qt::LeftButton);
  EXPECT_EQ(ShownTexts(), (std::vector<std::string>{"The end time is earlier than the start time."}));
  EXPECT_EQ(platform::ShownMessageBoxes().back().caption, "Lumaro Recording Playback");
}

TEST_F(LumaroDlgTest, TimeModeFindsEveryRecordingOfTheDayWithItsTimes) {
  suite::test::TempDriveTable drives("CD", 'C');
  const std::string first = MakeRecording('D', "", 5, 0, 0, 10, 'M', 1800);
  const std::string second = MakeRecording('D', "", 5, 12, 30, 0, 'A', 5);
  const std::string third = MakeRecording('D', "", 5, 23, 40, 0, 'T', 1200);
  MakeRecording('D', "", 5, 12, 0, 0, 'M', 60, 2010, 5, 6);  // the next day
  ProgramFolder folder;
  CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.show();
  SetDay(dialog, 2010, 5, 5);
  // Filters of list mode play no part in time mode.
  Child<QComboBox>(dialog, "CMB_RECORDTYPE")->setCurrentIndex(3);
  Child<QTimeEdit>(dialog, "CONTROL_TIMEFROM")->setTime(QTime(12, 0, 0));
  Child<QTimeEdit>(dialog, "CONTROL_TIMETO")->setTime(QTime(13, 0, 0));
  dialog.SetChannelSelected(5, true);
  const auto& records = dialog.Channels()[4].records;
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].strPath, first);
  EXPECT_EQ(records[1].strPath, second);
  EXPECT_EQ(records[2].strPath, third);
  platform::LocalTime start{2010, 5, 0, 5, 12, 30, 0, 0};
  EXPECT_EQ(records[1].tStart, platform::FromLocalTime(start));
  EXPECT_EQ(records[1].tEnd, records[1].tStart + 5);
  EXPECT_EQ(records[1].nType, kRecordAlarm);
  EXPECT_EQ(dialog.RulerLabel(5), "05");
  EXPECT_TRUE(Child<QWidget>(dialog, "LIST_RESULT")->isHidden());

  // A new day searches the selected channels again.
  SetDay(dialog, 2010, 5, 6);
  ASSERT_EQ(dialog.Channels()[4].records.size(), 1u);
  // List mode starts empty; back in time mode the day is searched again.
  QTest::mouseClick(Child<QWidget>(dialog, "BTN_MODELIST"), Qt::LeftButton);
  EXPECT_TRUE(dialog.Channels()[4].records.empty());
  QTest::mouseClick(Child<QWidget>(dialog, "BTN_MODETIME"), Qt::LeftButton);
  EXPECT_EQ(dialog.Channels()[4].records.size(), 1u);
}

TEST_F(LumaroDlgTest, ClientModeSearchesTheChosenRecordersFolder) {
  suite::test::TempDriveTable drives("CDE", 'C');
  const std::string wanted = MakeRecording('E', "10.0.0.5[SVR8000]", 7, 8, 0, 0, 'M', 600);
  MakeRecording('E', "10.0.0.6[SVR8000]", 7, 8, 0, 0, 'M', 600);  // another recorder
  MakeRecording('D', "", 7, 9, 0, 0, 'M', 600);                   // standalone folder
  ProgramFolder folder;
  CLumaroDlg dialog(0, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.show();
  EXPECT_TRUE(dialog.IsClientMode());
  EXPECT_EQ(dialog.Mode(), ViewMode::List);
  EXPECT_TRUE(dialog.IsRemote());
  auto* remote = Child<QCheckBox>(dialog, "CHK_REMOTE");
  EXPECT_TRUE(remote->isChecked());
  EXPECT_FALSE(remote->isHidden());
  EXPECT_FALSE(Child<QWidget>(dialog, "LIST_RESULTREMOTE")->isHidden());
  EXPECT_TRUE(Child<QWidget>(dialog, "LIST_RESULT")->isHidden());
  EXPECT_TRUE(Child<QWidget>(dialog, "BTN_MODETIME")->isHidden());
  EXPECT_TRUE(Child<QWidget>(dialog, "BTN_MODELIST")->isHidden());

  // The operator switches to the local recordings.
  QTest::mouseClick(remote, Qt::LeftButton, {}, QPoint(4, remote->height() / 2));
  ASSERT_FALSE(dialog.IsRemote());
  EXPECT_FALSE(Child<QWidget>(dialog, "LIST_RESULT")->isHidden());
  EXPECT_EQ(dialog.DeviceType(), 3);
  SetDay(dialog, 2010, 5, 5);
  dialog.SetChannelSelected(7, true);

  std::vector<std::string> portMessages;
  dialog.SetRecordSetRunner([&](CRecordSetDlg& set) {
    set.findChild<QComboBox*>("CMB_ADDRESS")->setEditText("10.0.0.5");
    auto* port = set.findChild<QLineEdit*>("EDIT_PORT");
    for (const char* text : {"80a0", "9000"}) {
      port->setText(text);
      set.accept();
      EXPECT_NE(set.result(), QDialog::Accepted) << text;
    }
    portMessages = ShownTexts();
    platform::ResetMessageBoxes();
    port->setText("8000");
    set.accept();
    return set.result();
  });
  QTest::mouseClick(Child<QWidget>(dialog, "BTN_SEARCH"), Qt::LeftButton);
  EXPECT_EQ(portMessages, (std::vector<std::string>{"INVLID PORT\xA3\xBAIT SHOULD BE A INTEGER",
                                                    "INVLID PORT: IT SHOULD BE BETWEEN 0 TO 9000"}));
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"7|Manual|08:00:00|" + wanted}));
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());

  // Cancelling the record-set dialog searches nothing.
  Child<QTreeWidget>(dialog, "LIST_RESULT")->clear();
  dialog.SetRecordSetRunner([](CRecordSetDlg&) { return static_cast<int>(QDialog::Rejected); });
  QTest::mouseClick(Child<QWidget>(dialog, "BTN_SEARCH"), Qt::LeftButton);
  EXPECT_TRUE(Rows(dialog).empty());
}

TEST_F(LumaroDlgTest, ExitAsksEscapeDoesNotAndEnterNeverCloses) {
  suite::test::TempDriveTable drives("CD", 'C');
  ProgramFolder folder;
  {
    CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
    ASSERT_TRUE(dialog.OnInitDialog());
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    platform::ScriptMessageBoxAnswers({platform::IDNO});
    QTest::mouseClick(Child<QWidget>(dialog, "BTN_EXIT"), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(ShownTexts(), (std::vector<std::string>{"Do you want to exit the playback program?"}));
    EXPECT_EQ(platform::ShownMessageBoxes().back().type & platform::MB_TYPEMASK, platform::MB_YESNO);
    platform::ScriptMessageBoxAnswers({platform::IDYES});
    QTest::mouseClick(Child<QWidget>(dialog, "BTN_EXIT"), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
  }
  EXPECT_EQ(platform::ReadProfileString(folder.File("Lumaro.ini"), "UI_CONFIG", "THEMENAME"), "TBlack");

  platform::ResetMessageBoxes();
  CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.show();
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());
}

TEST_F(LumaroDlgTest, EscapeInFullScreenLeavesFullScreenAndOnlyThenCloses) {
  suite::test::TempDriveTable drives("CD", 'C');
  ProgramFolder folder;
  CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.show();
  QTest::mouseClick(Child<QWidget>(dialog, "BTN_FULLSCREEN"), Qt::LeftButton);
  ASSERT_TRUE(dialog.IsFullScreen());
  QTest::keyClick(dialog.Pager()->Window(0), Qt::Key_Escape);
  EXPECT_FALSE(dialog.IsFullScreen());
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_FALSE(Child<QWidget>(dialog, "BTN_EXIT")->isHidden());
  // Outside full screen Esc closes as before, without a question (no download runs).
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());
}

TEST_F(LumaroDlgTest, TheDialogMenuOffersAboutWhenTheLanguageFileNamesIt) {
  suite::test::TempDriveTable drives("CD", 'C');
  ProgramFolder folder;
  {
    CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
    ASSERT_TRUE(dialog.OnInitDialog());
    QMenu menu;
    dialog.FillContextMenu(menu);
    ASSERT_FALSE(menu.actions().isEmpty());
    QAction* about = menu.actions().front();
    EXPECT_EQ(about->text(), QStringLiteral("About Lumaro..."));
    QString shown;
    dialog.SetAboutRunner([&](QDialog& box) {
      EXPECT_EQ(box.objectName(), QStringLiteral("IDD_ABOUTBOX"));
      if (auto* text = box.findChild<QLabel*>("AboutText")) shown = text->text();
    });
    about->trigger();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Lumaro Recording Playback\nLumaro "))) << shown.toStdString();
  }
  // Without the entry's text the menu starts with the themes, and nothing complains.
  platform::WritePrivateProfileString("TEXT_STRING", "IDS_ABOUTBOX", nullptr,
                                      (folder.path() + "/Language/Lumaro/Language.English").c_str());
  CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  QMenu menu;
  dialog.FillContextMenu(menu);
  for (QAction* action : menu.actions()) EXPECT_NE(action->objectName(), QStringLiteral("About"));
  EXPECT_FALSE(menu.actions().isEmpty());
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());
}

TEST_F(LumaroDlgTest, WorkerMessagesReachTheDialogOnItsOwnThread) {
  suite::test::TempDriveTable drives("CD", 'C');
  ProgramFolder folder;
  CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.SetChannelSelected(9, true);
  dialog.SetChannelSelected(4, true);
  ASSERT_EQ(dialog.SelectedWindow(), 1);
  std::thread worker([&] { platform::PostMessage(dialog.Handle(), UM_CHANNEL_EVENT, 9, 4); });
  worker.join();
  (void)QTest::qWaitFor([&] { return dialog.SelectedWindow() == 0; }, 5000);
  ASSERT_EQ(dialog.SelectedWindow(), 0);
}

TEST_F(LumaroDlgTest, ThemeAndLanguageFilesAndTheirFailures) {
  suite::test::TempDriveTable drives("CD", 'C');
  {
    // Blue at 1440 x 900: its own folder, wide ruler blocks, all 24 channel buttons.
    g_nResolution = 2;
    ProgramFolder folder("Blue");
    CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
    ASSERT_TRUE(dialog.OnInitDialog()) << ::testing::PrintToString(ShownTexts());
    EXPECT_EQ(dialog.Theme().file, folder.path() + "\\UI_Skin\\Lumaro\\Blue1440,900Theme\\Blue1440,900Theme.ini");
    EXPECT_TRUE(g_bTheme1440);
    EXPECT_FALSE(Child<QWidget>(dialog, "CH24")->isHidden());
    // The Blue themes place the playback labels too: speed, size, times, disk and clock.
    for (const char* label : {"LABEL_SPEED", "STC_SPEED", "STC_FILESIZE", "STC_SINGLEPLAYTIME", "STC_CLOCKTIME",
                              "STC_CLOCKDATE", "STC_DISK", "STC_DATETIME"})
      EXPECT_FALSE(Child<QWidget>(dialog, label)->isHidden()) << label;

    // Switch to TBlack through its theme command, then to Chinese texts.
    const auto& themes = dialog.ThemeNames();
    const auto tblack = std::find(themes.begin(), themes.end(), "TBlack");
    ASSERT_NE(tblack, themes.end());
    dialog.OnThemeCommand(kCommandThemeFirst + static_cast<int>(tblack - themes.begin()));
    EXPECT_EQ(dialog.ThemeName(), "TBlack");
    EXPECT_TRUE(Child<QWidget>(dialog, "CH24")->isHidden());
    EXPECT_FALSE(Child<QWidget>(dialog, "LABEL_SPEED")->isHidden());
    const auto& languages = dialog.Languages();
    const auto chinese = std::find_if(languages.begin(), languages.end(),
                                      [](const LanguageEntry& entry) { return entry.name == "Chinese"; });
    ASSERT_NE(chinese, languages.end());
    dialog.OnLanguageCommand(kCommandLanguageFirst + static_cast<int>(chinese - languages.begin()));
    EXPECT_EQ(Child<QTreeWidget>(dialog, "LIST_RESULT")->headerItem()->text(0), QString::fromUtf8("通道"));
    EXPECT_EQ(Child<QWidget>(dialog, "BTN_PLAY")->toolTip(), QString::fromUtf8("播放"));
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
    g_nResolution = 1;
  }
  {
    // A theme without its ruler line width does not start.
    ProgramFolder folder;
    const std::string theme = folder.path() + "/UI_Skin/Lumaro/TBlack1024,768Theme/TBlack1024,768Theme.ini";
    platform::WritePrivateProfileString("TimeStaff", "LineWidth", nullptr, theme.c_str());
    CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
    EXPECT_FALSE(dialog.OnInitDialog());
    const std::string path = folder.path() + "\\UI_Skin\\Lumaro\\TBlack1024,768Theme\\TBlack1024,768Theme.ini";
    EXPECT_EQ(ShownTexts(), (std::vector<std::string>{"ReadConfigInt - [SEC: TimeStaff - KEY:LineWidth] : [PATH: " +
                                                      path + "]\xA3\xBA\xB6\xC1\xC8\xA1\xC5\xE4\xD6\xC3\xCA\xA7\xB0\xDC"}));
  }
  platform::ResetMessageBoxes();
  {
    // A language file without the mute button's tooltip does not start either.
    ProgramFolder folder;
    const std::string language = folder.path() + "/Language/Lumaro/Language.English";
    platform::WritePrivateProfileString("TIP_STRING", "IDS_TIP_MUTE", nullptr, language.c_str());
    CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
    EXPECT_FALSE(dialog.OnInitDialog());
    ASSERT_EQ(ShownTexts().size(), 1u);
    EXPECT_EQ(ShownTexts()[0], "ReadConfigString - [SEC: TIP_STRING - KEY:IDS_TIP_MUTE] : [PATH: " + folder.path() +
                                   "\\Language\\Lumaro\\Language.English]\xA3\xBAREAD CFG STRING FAIL");
  }
  platform::ResetMessageBoxes();
  {
    // A theme name that names no folder: the picture loader and the reader say which file.
    ProgramFolder folder("Missing");
    CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
    EXPECT_FALSE(dialog.OnInitDialog());
    ASSERT_FALSE(ShownTexts().empty());
    EXPECT_NE(ShownTexts()[0].find("ThemeDescription"), std::string::npos);
  }
}

TEST_F(LumaroDlgTest, PagerShowsThePageOfTheSelectedWindow) {
  suite::test::TempDriveTable drives("CD", 'C');
  ProgramFolder folder;
  CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.show();
  CMyPagesWnd* pager = dialog.Pager();
  EXPECT_EQ(pager->Split(), 4);
  auto visible = [&] {
    std::vector<int> shown;
    for (int i = 0; i < kVideoWindows; ++i)
      if (!pager->Window(i)->isHidden()) shown.push_back(i);
    return shown;
  };
  QTest::mouseClick(pager->Window(12), Qt::LeftButton);
  EXPECT_EQ(dialog.SelectedWindow(), 12);
  QTest::mouseClick(Child<QWidget>(dialog, "BTN_VIDEOWND9"), Qt::LeftButton);
  EXPECT_EQ(visible(), (std::vector<int>{7, 8, 9, 10, 11, 12, 13, 14, 15}));
  QTest::mouseClick(Child<QWidget>(dialog, "BTN_VIDEOWND4"), Qt::LeftButton);
  EXPECT_EQ(visible(), (std::vector<int>{12, 13, 14, 15}));
  // The selected cell is framed green, the others in the theme's frame colour.
  const QImage shown = pager->grab().toImage();
  const QRect selected = pager->CellRect(12);
  EXPECT_EQ(shown.pixelColor(selected.left(), selected.center().y()), QColor(0, 255, 0));
  const QRect other = pager->CellRect(13);
  EXPECT_EQ(shown.pixelColor(other.left(), other.center().y()), QColor(90, 90, 96));

  // Enter shows the selected window alone and back; a double click does the same.
  QTest::keyClick(&dialog, Qt::Key_Return);
  EXPECT_EQ(visible(), (std::vector<int>{12}));
  EXPECT_EQ(pager->Window(12)->size(), pager->size() - QSize(2, 2));
  QTest::keyClick(&dialog, Qt::Key_Return);
  EXPECT_EQ(visible(), (std::vector<int>{12, 13, 14, 15}));
  QTest::mouseDClick(pager->Window(14), Qt::LeftButton);
  EXPECT_EQ(visible(), (std::vector<int>{14}));
  EXPECT_EQ(dialog.SelectedWindow(), 14);
  QTest::mouseClick(Child<QWidget>(dialog, "BTN_VIDEOWND16"), Qt::LeftButton);
  EXPECT_EQ(visible().size(), 16u);

  // Full screen hides every other control and brings them back as the view mode says.
  QTest::mouseClick(Child<QWidget>(dialog, "BTN_FULLSCREEN"), Qt::LeftButton);
  EXPECT_TRUE(dialog.IsFullScreen());
  EXPECT_EQ(pager->geometry(), QRect(0, 0, dialog.width(), dialog.height()));
  EXPECT_TRUE(Child<QWidget>(dialog, "BTN_EXIT")->isHidden());
  EXPECT_TRUE(Child<QWidget>(dialog, "CH 1")->isHidden());
  QTest::mouseClick(pager->Window(3), Qt::RightButton);
  EXPECT_FALSE(dialog.IsFullScreen());
  EXPECT_FALSE(Child<QWidget>(dialog, "BTN_EXIT")->isHidden());
  EXPECT_FALSE(Child<QWidget>(dialog, "CH 1")->isHidden());
  EXPECT_TRUE(Child<QWidget>(dialog, "BTN_SEARCH")->isHidden());  // still time mode
}

TEST_F(LumaroDlgTest, WithoutASearchableDriveTheDialogClosesSilently) {
  suite::test::TempDriveTable drives("C", 'C');
  ProgramFolder folder;
  CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
  EXPECT_FALSE(dialog.OnInitDialog());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());
}

}  // namespace
