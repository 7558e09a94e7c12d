// The main dialog against alder_sim on loopback: the operator ticks the remote box, searches
// a Vantor device, sees its recordings in the remote list, double-clicks one and sees its
// pictures in the channel's window; stopping the window hands it back idle.
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTreeWidget>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "LumaroTestSupport.h"
#include "RemoteTestSupport.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
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

// A search through the login dialog for a Vantor device at `address` (as typed).
void SearchVantor(CLumaroDlg& dialog, const std::string& address) {
  dialog.SetRecordSetRunner([address](CRecordSetDlg& set) {
    set.findChild<QComboBox*>("CMB_DEVICE_TYPE")->setCurrentIndex(3);
    set.findChild<QComboBox*>("CMB_ADDRESS")->setEditText(QString::fromStdString(address));
    set.accept();
    return set.result();
  });
  QMetaObject::invokeMethod(dialog.findChild<QWidget*>("BTN_SEARCH"), "click");
}

bool SearchButtonBack(CLumaroDlg& dialog) { return !dialog.findChild<QWidget*>("BTN_SEARCH")->isHidden(); }

std::string English(const char* key, const CLumaroDlg& dialog) {
  return platform::ReadProfileString(dialog.LanguageFilePath(), "TEXT_STRING", key);
}

// Channels 2 and 4 selected after 1 and 3 were released: each keeps the window it was given
// (1 and 3), and a row of channel 4 must play in window 3 over window 3's own connection,
// not in the second window of the search.
TEST(LumaroDlgVantor, AChannelsRowPlaysInItsOwnWindowAndItsPictureCanBeSnapped) {
  lumaro_test::DialogSurroundings surroundings;
  {
    suite::test::TempDriveTable drives("CD", 'C');
    const fs::path recordings = fs::path(drives.Root('D')) / "rec";
    fs::create_directories(recordings / "2010");
    const fs::path source = fs::path(drives.folder()) / "source.avi";
    ASSERT_TRUE(lumaro_test::MakeDeviceRecording(
        source.string(), platform::ToWindowsPath((recordings / "2010" / "2010-05-25-090000 M102.avi").string()), 13));
    fs::copy_file(recordings / "2010" / "2010-05-25-090000 M102.avi",
                  recordings / "2010" / "2010-05-25-110000 M104.avi");

    testsupport::AlderSimProcess sim;
    ASSERT_TRUE(sim.Start({"--address", "127.0.0.181", "--port", "8000", "--no-live", "--recordings",
                           recordings.string()}));
    lumaro_test::ProgramFolder folder;
    CLumaroDlg dialog(0, "D:\\Picture\\", folder.path());
    ASSERT_TRUE(dialog.OnInitDialog());
    dialog.show();
    dialog.findChild<QCalendarWidget*>("CONTROL_CALDATE")->setSelectedDate(QDate(2010, 5, 25));
    for (int channel : {1, 2, 3, 4}) dialog.SetChannelSelected(channel, true);
    dialog.SetChannelSelected(1, false);
    dialog.SetChannelSelected(3, false);
    ASSERT_EQ(dialog.Channels()[1].nWindow, 1);
    ASSERT_EQ(dialog.Channels()[3].nWindow, 3);

    auto* list = dialog.findChild<QTreeWidget*>("LIST_RESULTREMOTE");
    SearchVantor(dialog, "127.0.0.181");
    ASSERT_TRUE(lumaro_test::PumpUntil([&] { return SearchButtonBack(dialog); }, 20s));
    ASSERT_EQ(list->topLevelItemCount(), 2);
    int row = -1;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      if (list->topLevelItem(i)->text(0) == QStringLiteral("4")) row = i;
    ASSERT_GE(row, 0);

    dialog.OpenRemoteRow(row);
    EXPECT_EQ(dialog.SelectedWindow(), 3);
    VideoPlayerWnd* video = dialog.VideoWindow(3);
    ASSERT_TRUE(lumaro_test::PumpUntil([&] { return !video->LastPicture().isNull(); }, 20s))
        << "window 1 streams: " << (dialog.VantorRemote()->StreamPlayer(1) != nullptr);
    // The device answered window 3's connection: its transfer and stream are window 3's.
    EXPECT_NE(dialog.VantorRemote()->StreamPlayer(3), nullptr);
    EXPECT_EQ(dialog.VantorRemote()->WindowRemoteFile(3), "2010\\2010-05-25-110000 M104.avi");
    EXPECT_EQ(dialog.VantorRemote()->StreamPlayer(1), nullptr);
    EXPECT_FALSE(dialog.WindowStates()[1].bRemote);
    EXPECT_TRUE(dialog.VideoWindow(1)->LastPicture().isNull());

    // A snapshot of the streamed window is written and reported like any other.
    platform::ResetMessageBoxes();
    const std::string saved = English("IDS_SNAP_OK", dialog) + ": ";
    dialog.OnButtonSnap();
    ASSERT_TRUE(lumaro_test::PumpUntil([&] { return !platform::ShownMessageBoxes().empty(); }, 10s))
        << "the snapshot of a streamed window was never taken";
    const std::string text = platform::ShownMessageBoxes()[0].text;
    ASSERT_EQ(text.rfind(saved, 0), 0u) << text;
    std::ifstream bitmap(platform::ToHostPath(text.substr(saved.size())), std::ios::binary);
    ASSERT_TRUE(bitmap.good()) << text;
    char header[26] = {};
    bitmap.read(header, sizeof header);
    EXPECT_EQ(std::string(header, 2), "BM");
    std::int32_t width = 0, height = 0;
    std::memcpy(&width, header + 18, 4);
    std::memcpy(&height, header + 22, 4);
    EXPECT_EQ(width, 352);
    EXPECT_EQ(std::abs(height), 288);

    dialog.OnButtonStop();
    EXPECT_EQ(dialog.VantorRemote()->StreamPlayer(3), nullptr);
    dialog.OnCancel();
    sim.Stop();
  }
}

// A loopback port that takes connections (the system completes them) and never answers.
class DeafPort {
 public:
  DeafPort(const char* address, std::uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &at.sin_addr);
    ok_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 && ::listen(fd_, 16) == 0;
  }
  ~DeafPort() { ::close(fd_); }
  bool ok() const { return ok_; }

 private:
  int fd_ = -1;
  bool ok_ = false;
};

// An address given as a name is looked up; an address that leads nowhere says why, in the
// program's language, and is not offered again in the address history.
TEST(LumaroDlgVantor, NamesAreResolvedAndFailedSearchesSayWhyWithoutJoiningTheHistory) {
  lumaro_test::DialogSurroundings surroundings;
  {
    suite::test::TempDriveTable drives("CD", 'C');
    const fs::path recordings = fs::path(drives.Root('D')) / "rec";
    fs::create_directories(recordings / "2010");
    std::ofstream(recordings / "2010" / "2010-05-25-100000 M101.avi") << "RIFF";
    testsupport::AlderSimProcess sim;
    ASSERT_TRUE(sim.Start({"--address", "127.0.0.182", "--port", "8000", "--no-live", "--recordings",
                           recordings.string()}));
    DeafPort deaf("127.0.0.184", 4200);
    ASSERT_TRUE(deaf.ok());

    lumaro_test::ProgramFolder folder;
    CLumaroDlg dialog(0, "D:\\Picture\\", folder.path());
    ASSERT_TRUE(dialog.OnInitDialog());
    dialog.show();
    dialog.findChild<QCalendarWidget*>("CONTROL_CALDATE")->setSelectedDate(QDate(2010, 5, 25));
    dialog.SetChannelSelected(1, true);
    auto* list = dialog.findChild<QTreeWidget*>("LIST_RESULTREMOTE");
    const std::string title = English("IDS_APP_TITLE", dialog);
    const std::vector<std::string>& history = dialog.AddressHistory();
    const auto inHistory = [&](const std::string& address) {
      return std::find(history.begin(), history.end(), address) != history.end();
    };

    // "127.182" is no dotted address: only the resolver makes 127.0.0.182 of it.
    platform::ResetMessageBoxes();
    SearchVantor(dialog, "127.182");
    ASSERT_TRUE(lumaro_test::PumpUntil([&] { return SearchButtonBack(dialog); }, 20s));
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
    EXPECT_EQ(list->topLevelItemCount(), 1);
    ASSERT_FALSE(history.empty());
    EXPECT_EQ(history.front(), "127.182");

    struct Failure {
      std::string address;
      const char* key;
    };
    dialog.VantorRemote()->SetAnswerWait(1500ms);
    for (const Failure& failure : {Failure{"no-such-device.invalid", "IDS_ERR_DOMAIN_NAME"},
                                   Failure{"300.1.2.3", "IDS_ERR_DOMAIN_NAME"},
                                   Failure{"127.0.0.183", "IDS_ERR_CONNECT_REFUSED"},
                                   Failure{"127.0.0.184", "IDS_ERR_NO_ANSWER"}}) {
      SCOPED_TRACE(failure.address);
      platform::ResetMessageBoxes();
      SearchVantor(dialog, failure.address);
      ASSERT_TRUE(lumaro_test::PumpUntil([&] { return !platform::ShownMessageBoxes().empty(); }, 20s))
          << "the search failed in silence";
      EXPECT_TRUE(lumaro_test::PumpUntil([&] { return SearchButtonBack(dialog); }, 5s));
      ASSERT_EQ(platform::ShownMessageBoxes().size(), 1u);
      EXPECT_EQ(platform::ShownMessageBoxes()[0].text, English(failure.key, dialog));
      EXPECT_EQ(platform::ShownMessageBoxes()[0].caption, title);
      EXPECT_EQ(list->topLevelItemCount(), 0);
      EXPECT_FALSE(inHistory(failure.address));
    }
    EXPECT_EQ(history.front(), "127.182");
    dialog.OnCancel();
    sim.Stop();
  }
}

// The login and record-set dialogs offer the port of the device type they show, and the port
// the operator typed for a type comes back for that type, also in the next session.
TEST(LumaroDlgVantor, TheSearchDialogsOfferTheTypesPortAndKeepTheTypedOne) {
  lumaro_test::DialogSurroundings surroundings;
  {
    suite::test::TempDriveTable drives("CD", 'C');
    lumaro_test::ProgramFolder folder;
    std::vector<std::string> offered;  // type and port each dialog showed on opening
    const auto offeredNow = [](CRecordSetDlg& set) {
      return std::to_string(set.findChild<QComboBox*>("CMB_DEVICE_TYPE")->currentIndex()) + ":" +
             set.findChild<QLineEdit*>("EDIT_PORT")->text().toStdString();
    };
    // Opens the dialog, notes what it offers, then chooses `type` and types `port` (when
    // given) before OK.
    const auto answer = [&](int type, const char* port) {
      return [&, type, port](CRecordSetDlg& set) {
        offered.push_back(offeredNow(set));
        auto* types = set.findChild<QComboBox*>("CMB_DEVICE_TYPE");
        if (types->currentIndex() != type) {
          types->setCurrentIndex(type);
          emit types->activated(type);
          offered.push_back(offeredNow(set));
        }
        if (port) set.findChild<QLineEdit*>("EDIT_PORT")->setText(QString::fromLatin1(port));
        set.accept();
        return set.result();
      };
    };
    {
      CLumaroDlg dialog(0, "D:\\Picture\\", folder.path());
      ASSERT_TRUE(dialog.OnInitDialog());
      dialog.SetChannelSelected(1, true);
      // Without the remote box, client mode asks which recorder's recordings are meant.
      dialog.findChild<QCheckBox*>("CHK_REMOTE")->setChecked(false);
      ASSERT_FALSE(dialog.IsRemote());
      dialog.SetRecordSetRunner(answer(3, "8001"));
      dialog.OnButtonSearch();
      dialog.SetRecordSetRunner(answer(2, "8632"));
      dialog.OnButtonSearch();
      dialog.SetRecordSetRunner(answer(3, nullptr));
      dialog.OnButtonSearch();
      EXPECT_EQ(offered, (std::vector<std::string>{"3:8000", "3:8001", "2:8630", "2:8632", "3:8001"}));
      dialog.OnCancel();
    }
    offered.clear();
    CLumaroDlg again(0, "D:\\Picture\\", folder.path());
    ASSERT_TRUE(again.OnInitDialog());
    again.SetChannelSelected(1, true);
    // The login dialog (client mode ticks the remote box) offers the same ports; type 0 was
    // never typed.
    ASSERT_TRUE(again.IsRemote());
    again.SetRecordSetRunner([&](CRecordSetDlg& set) {
      offered.push_back(offeredNow(set));
      auto* types = set.findChild<QComboBox*>("CMB_DEVICE_TYPE");
      for (int type : {2, 0}) {
        types->setCurrentIndex(type);
        emit types->activated(type);
        offered.push_back(offeredNow(set));
      }
      set.reject();
      return set.result();
    });
    again.OnButtonSearch();
    EXPECT_EQ(offered, (std::vector<std::string>{"3:8001", "2:8632", "0:8670"}));
    again.OnCancel();
  }
}

}  // namespace
}  // namespace lumaro
