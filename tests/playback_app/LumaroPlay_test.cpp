// Playback in the windows: a found recording plays in its channel's window, the next one of
// the channel follows at its end, and the speed buttons double and halve the speed.

#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QTest>
#include <fstream>
#include <regex>
#include <QTreeWidget>

#include "LumaroTestSupport.h"
#include "platform/Display.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "playback_app/CLumaroDlg.h"
#include "playback_app/CMyPagesWnd.h"
#include "playback_app/LumaroGlobals.h"
#include "playback_app/LumaroIds.h"
#include "playback_app/SkinControls.h"
#include "playback_app/TimeStaffWnd.h"
#include "playback_app/VideoPlayerWnd.h"
#include "support/Ffmpeg.h"
#include "tests/support/TempDriveTable.h"
#include "tests/support/TempFolder.h"

using namespace lumaro;

namespace {

// A recording of the capture naming, made by ffmpeg (MPEG-4 tagged XVID) and indexed.
std::string FfmpegRecording(int channel, int minute, int seconds) {
  char folder[128], name[64];
  std::snprintf(folder, sizeof folder, "D:\\video\\2010_05_05\\%02d\\08", channel);
  std::snprintf(name, sizeof name, "2010-05-05-08%02d00 M1%02d.avi", minute, channel);
  platform::CreateFolderTree(folder);
  const std::string path = std::string(folder) + "\\" + name;
  pellix::test::FfmpegAvi options;
  options.seconds = seconds;
  options.with_audio = false;
  if (!pellix::test::MakeFfmpegAvi(platform::ToHostPath(path), options)) return {};
  lumaro_test::IndexRecording(path, static_cast<unsigned>(seconds));
  return path;
}

TEST(LumaroPlay, RowPlaysInItsWindowAndTheNextRecordingFollows) {
  lumaro_test::App();
  platform::ResetMessageBoxes();
  platform::SetDefaultMessageBoxAnswer(platform::IDOK);
  g_nResolution = 1;
  suite::test::TempDriveTable drives("CD", 'C');
  const std::string first = FfmpegRecording(1, 0, 2);
  const std::string second = FfmpegRecording(1, 1, 2);
  if (first.empty() || second.empty()) GTEST_SKIP() << "ffmpeg is not available";
  lumaro_test::ProgramFolder folder;
  CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.show();
  QTest::mouseClick(dialog.findChild<QWidget*>("BTN_MODELIST"), Qt::LeftButton);
  dialog.findChild<QCalendarWidget*>("CONTROL_CALDATE")->setSelectedDate(QDate(2010, 5, 5));
  dialog.SetChannelSelected(1, true);
  dialog.SetChannelSelected(2, true);
  QTest::mouseClick(dialog.findChild<QWidget*>("BTN_SEARCH"), Qt::LeftButton);
  auto* list = dialog.findChild<QTreeWidget*>("LIST_RESULT");
  ASSERT_EQ(list->topLevelItemCount(), 2);

  dialog.OpenResultRow(0);
  EXPECT_EQ(dialog.WindowStates()[0].nState, kWindowPlaying);
  EXPECT_EQ(dialog.SelectedWindow(), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.VideoWindow(0)->LastPicture().isNull(); }, 5000)) << "!dialog.VideoWindow(0)->LastPicture().isNull()";
  EXPECT_TRUE(dialog.findChild<QWidget*>("BTN_PAUSE")->isEnabled());
  EXPECT_FALSE(dialog.findChild<QWidget*>("BTN_PLAY")->isEnabled());

  // Save video writes an MP4 with the recording's own video packets; an existing file stays.
  suite::test::TempFolder saved("lumaro-save");
  const std::string mp4 = saved / "copy.mp4";
  dialog.SetSaveDialogRunner([&] { return mp4; });
  QTest::mouseClick(dialog.findChild<QWidget*>("BTN_SAVEVIDEO"), Qt::LeftButton);
  const std::vector<int> packets = pellix::test::ProbeVideoPacketSizes(mp4);
  EXPECT_FALSE(packets.empty());
  EXPECT_EQ(packets, pellix::test::ProbeVideoPacketSizes(platform::ToHostPath(first)));
  EXPECT_NE(pellix::test::RunCommand("ffprobe -v error -show_entries format=format_name -of csv=p=0 '" + mp4 + "'")
                .find("mp4"),
            std::string::npos);
  const std::int64_t size = platform::FileSize(mp4);
  dialog.SetSaveDialogRunner([&] { return saved / "other.mp4"; });
  std::ofstream(saved / "other.mp4") << "kept";
  QTest::mouseClick(dialog.findChild<QWidget*>("BTN_SAVEVIDEO"), Qt::LeftButton);
  EXPECT_EQ(platform::FileSize(saved / "other.mp4"), 4);
  EXPECT_EQ(platform::FileSize(mp4), size);
  EXPECT_TRUE(platform::ShownMessageBoxes().empty()) << "the refusal to replace a file is silent";
  // A save that cannot be written says so, and leaves nothing behind.
  dialog.SetSaveDialogRunner([&] { return saved / "missing/copy.mp4"; });
  QTest::mouseClick(dialog.findChild<QWidget*>("BTN_SAVEVIDEO"), Qt::LeftButton);
  ASSERT_EQ(platform::ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(platform::ShownMessageBoxes()[0].text, "The recording cannot be saved as an MP4 file.");
  EXPECT_EQ(platform::ShownMessageBoxes()[0].caption, "Lumaro Recording Playback");
  EXPECT_FALSE(platform::Exists(saved / "missing"));
  platform::ResetMessageBoxes();
  platform::SetDefaultMessageBoxAnswer(platform::IDOK);
  // The first recording ends; the second of the channel starts by itself, its row selected.
  (void)QTest::qWaitFor([&] { return dialog.WindowStates()[0].nRecordIndex == 1; }, 15000);
  ASSERT_EQ(dialog.WindowStates()[0].nRecordIndex, 1);
  EXPECT_EQ(dialog.WindowStates()[0].nState, kWindowPlaying);
  EXPECT_EQ(list->indexOfTopLevelItem(list->currentItem()), 1);
  // At the last recording the window stays idle.
  (void)QTest::qWaitFor([&] { return dialog.WindowStates()[0].nState == static_cast<int>(kWindowIdle); }, 15000);
  ASSERT_EQ(dialog.WindowStates()[0].nState, static_cast<int>(kWindowIdle));
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());

  // Speeds of the selected window: three times faster, then twice slower from 1 on another.
  dialog.OnButtonFast();
  dialog.OnButtonFast();
  dialog.OnButtonFast();
  EXPECT_EQ(dialog.SpeedText(), QStringLiteral("(8.0 X)"));
  QTest::mouseClick(dialog.Pager()->Window(1), Qt::LeftButton);
  ASSERT_EQ(dialog.SelectedWindow(), 1);
  dialog.OnButtonSlow();
  dialog.OnButtonSlow();
  EXPECT_EQ(dialog.SpeedText(), QStringLiteral("(1/4 X)"));

  // Any file opened by hand plays in the selected window; its end starts nothing else.
  QTest::mouseClick(dialog.Pager()->Window(5), Qt::LeftButton);
  dialog.SetFileDialogRunner([&] { return second; });
  QTest::mouseClick(dialog.findChild<QWidget*>("BTN_FILE"), Qt::LeftButton);
  EXPECT_EQ(dialog.WindowStates()[5].nState, kWindowPlaying);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.VideoWindow(5)->LastPicture().isNull(); }, 5000)) << "!dialog.VideoWindow(5)->LastPicture().isNull()";
  (void)QTest::qWaitFor([&] { return dialog.WindowStates()[5].nState == static_cast<int>(kWindowFree); }, 15000);
  ASSERT_EQ(dialog.WindowStates()[5].nState, static_cast<int>(kWindowFree));
}

TEST(LumaroPlay, TimeModeShowsThePlayedTimeAndTheRulerCursorRestsWhileThePlaybackStands) {
  lumaro_test::App();
  platform::ResetMessageBoxes();
  platform::SetDefaultMessageBoxAnswer(platform::IDOK);
  g_nResolution = 1;
  suite::test::TempDriveTable drives("CD", 'C');
  if (FfmpegRecording(1, 0, 8).empty()) GTEST_SKIP() << "ffmpeg is not available";
  lumaro_test::ProgramFolder folder;  // TBlack
  CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.show();
  dialog.findChild<QCalendarWidget*>("CONTROL_CALDATE")->setSelectedDate(QDate(2010, 5, 5));
  dialog.SetChannelSelected(1, true);
  dialog.SetChannelSelected(2, true);  // no recording: its window stays idle
  QTest::mouseClick(dialog.Pager()->Window(0), Qt::LeftButton);
  ASSERT_EQ(dialog.SelectedWindow(), 0);
  TimeStaffWnd* ruler = dialog.RulerArea();
  // A click on the ruler at 08:00:01 plays channel 1 from there.
  platform::PostMessage(dialog.Handle(), UM_RULER_SEEK, 8 * 3600 + 1, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.WindowStates()[0].nState == kWindowPlaying; }, 5000));
  auto label = [&](const char* name) { return dialog.findChild<CColorStatic*>(name)->Text().toStdString(); };
  // The position display writes the played time, alone and against the total, and moves the
  // ruler's cursor to the moment shown.
  ASSERT_TRUE(QTest::qWaitFor([&] { return ruler->CursorSeconds() > 8 * 3600; }, 5000));
  EXPECT_TRUE(std::regex_match(label("STC_DATETIME"), std::regex("00:00:0\\d"))) << label("STC_DATETIME");
  EXPECT_TRUE(std::regex_match(label("STC_SINGLEPLAYTIME"), std::regex("00:00:0\\d/00:00:08")))
      << label("STC_SINGLEPLAYTIME");
  EXPECT_EQ(label("STC_PLAYTIME").substr(0, 6), "08:00:");

  // Paused, the window shows no moving time: the cursor goes back to the start of the ruler.
  dialog.OnButtonPause();
  ASSERT_EQ(dialog.WindowStates()[0].nState, kWindowPaused);
  EXPECT_TRUE(QTest::qWaitFor([&] { return ruler->CursorSeconds() == 0; }, 3000)) << ruler->CursorSeconds();
  dialog.OnButtonPause();
  ASSERT_TRUE(QTest::qWaitFor([&] { return ruler->CursorSeconds() > 8 * 3600; }, 3000));
  // The same while channel 2's idle window is the selected one and channel 1 plays on.
  QTest::mouseClick(dialog.Pager()->Window(1), Qt::LeftButton);
  ASSERT_EQ(dialog.SelectedWindow(), 1);
  ASSERT_EQ(dialog.WindowStates()[1].nState, kWindowIdle);
  EXPECT_TRUE(QTest::qWaitFor([&] { return ruler->CursorSeconds() == 0; }, 3000)) << ruler->CursorSeconds();
  EXPECT_EQ(dialog.WindowStates()[0].nState, kWindowPlaying);
  dialog.OnCancel();
}

}  // namespace
