// The main dialog against alder_sim on loopback: the operator ticks the remote box, searches
// a Vantor device, sees its recordings in the remote list, double-clicks one and sees its
// pictures in the channel's window; stopping the window hands it back idle.
#include <QCalendarWidget>
#include <QComboBox>
#include <QLineEdit>
#include <QTreeWidget>

#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "LumaroTestSupport.h"
#include "RemoteTestSupport.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "playback_app/CLumaroDlg.h"
#include "playback_app/CRecordSetDlg.h"
#include "playback_app/VideoPlayerWnd.h"
#include "playback_app/remote/CVantorRemote.h"
#include "tests/support/TempDriveTable.h"
#include "tests/tools/alder_sim/AlderSimProcess.h"

namespace lumaro {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

TEST(LumaroDlgVantor, RemoteSearchListsTheDevicesRecordingsAndADoubleClickPlaysOne) {
  lumaro_test::DialogSurroundings surroundings;
  {
    suite::test::TempDriveTable drives("CD", 'C');
    const fs::path recordings = fs::path(drives.Root('D')) / "rec";
    fs::create_directories(recordings / "2010");
    const fs::path source = fs::path(drives.folder()) / "source.avi";
    const fs::path file = recordings / "2010" / "2010-05-25-100000 M101.avi";
    ASSERT_TRUE(lumaro_test::MakeDeviceRecording(source.string(), platform::ToWindowsPath(file.string()), 13));

    testsupport::AlderSimProcess sim;
    // Delivery paced over about two seconds, so a download is still running when asked about.
    const auto size = fs::file_size(file);
    ASSERT_TRUE(sim.Start({"--address", "127.0.0.100", "--port", "8000", "--no-live", "--recordings",
                           recordings.string(), "--pace", std::to_string(size / 2)}));

    lumaro_test::ProgramFolder folder;
    CLumaroDlg dialog(0, "D:\\Picture\\", folder.path());
    ASSERT_TRUE(dialog.OnInitDialog());
    dialog.show();
    ASSERT_TRUE(dialog.IsRemote());
    ASSERT_NE(dialog.VantorRemote(), nullptr);
    dialog.findChild<QCalendarWidget*>("CONTROL_CALDATE")->setSelectedDate(QDate(2010, 5, 25));
    dialog.SetChannelSelected(1, true);

    int asked = 0;
    dialog.SetRecordSetRunner([&](CRecordSetDlg& set) {
      ++asked;
      set.findChild<QComboBox*>("CMB_DEVICE_TYPE")->setCurrentIndex(3);
      set.findChild<QComboBox*>("CMB_ADDRESS")->setEditText("127.0.0.100");
      set.findChild<QLineEdit*>("EDIT_PORT")->setText("8000");
      set.accept();
      return set.result();
    });
    auto* list = dialog.findChild<QTreeWidget*>("LIST_RESULTREMOTE");
    auto* search = dialog.findChild<QWidget*>("BTN_SEARCH");
    QMetaObject::invokeMethod(search, "click");
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(dialog.DeviceType(), 3);
    ASSERT_TRUE(lumaro_test::PumpUntil([&] { return list->topLevelItemCount() > 0 && !search->isHidden(); }))
        << "rows: " << list->topLevelItemCount();
    EXPECT_TRUE(dialog.findChild<QWidget*>("BTN_SEARCHSTOP")->isHidden());
    EXPECT_EQ(dialog.VantorRemote()->Outstanding(), 0);
    ASSERT_EQ(list->topLevelItemCount(), 1);
    QTreeWidgetItem* row = list->topLevelItem(0);
    EXPECT_EQ(row->text(0), QStringLiteral("1"));
    EXPECT_EQ(row->text(2), QStringLiteral("2010/05/25-10:00:00"));
    EXPECT_EQ(dialog.AddressHistory().front(), "127.0.0.100");

    // The double click streams the file into the channel's window.
    const int window = dialog.Channels()[0].nWindow;
    ASSERT_EQ(window, 0);
    emit list->itemDoubleClicked(row, 0);
    EXPECT_TRUE(dialog.WindowStates()[0].bRemote);
    VideoPlayerWnd* video = dialog.VideoWindow(0);
    ASSERT_TRUE(lumaro_test::PumpUntil([&] { return !video->LastPicture().isNull(); }, 20s))
        << "remote file \"" << dialog.VantorRemote()->WindowRemoteFile(0) << "\", stream player "
        << (dialog.VantorRemote()->StreamPlayer(0) != nullptr) << ", window state " << dialog.WindowStates()[0].nState;
    const QImage first = video->LastPicture();
    EXPECT_EQ(first.width(), 352);
    EXPECT_EQ(first.height(), 288);
    // The test pattern moves: later pictures differ from the first one.
    EXPECT_TRUE(lumaro_test::PumpUntil([&] { return video->LastPicture() != first; }, 5s));
    EXPECT_EQ(dialog.WindowStates()[0].nState, kWindowPlaying);
    EXPECT_NE(dialog.VantorRemote()->StreamPlayer(0), nullptr);
    EXPECT_FALSE(dialog.VantorRemote()->WindowRemoteFile(0).empty());

    // Stop hands the window back idle and ends the transfer and the stream.
    dialog.OnButtonStop();
    EXPECT_EQ(dialog.WindowStates()[0].nState, kWindowIdle);
    EXPECT_FALSE(dialog.WindowStates()[0].bRemote);
    EXPECT_EQ(dialog.VantorRemote()->StreamPlayer(0), nullptr);
    EXPECT_TRUE(dialog.VantorRemote()->WindowRemoteFile(0).empty());

    // With no download running, Exit asks the ordinary question; while one runs, it says so.
    const std::string downExit = "A download is still running. Exit anyway?";
    platform::ResetMessageBoxes();
    platform::ScriptMessageBoxAnswers({platform::IDNO});
    dialog.OnButtonExit();
    ASSERT_EQ(platform::ShownMessageBoxes().size(), 1u);
    EXPECT_NE(platform::ShownMessageBoxes()[0].text, downExit);
    row->setSelected(true);
    platform::ScriptMessageBoxAnswers({platform::IDYES, platform::IDNO});
    dialog.DownloadSelectedRemoteRows();
    ASSERT_TRUE(lumaro_test::PumpUntil([&] { return !dialog.VantorRemote()->CurrentDownload().empty(); }));
    dialog.OnButtonExit();
    ASSERT_EQ(platform::ShownMessageBoxes().size(), 3u);
    EXPECT_EQ(platform::ShownMessageBoxes()[1].text, "Download the selected recordings?");
    EXPECT_EQ(platform::ShownMessageBoxes()[2].text, downExit);
    EXPECT_TRUE(dialog.isVisible());  // No keeps the program running
    dialog.OnCancel();
    sim.Stop();
  }
}

}  // namespace
}  // namespace lumaro
