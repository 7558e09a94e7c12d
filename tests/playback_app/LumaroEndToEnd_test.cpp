// From the live client's recording to the playback program's windows: real MPEG-4 streams
// are recorded through the capture library as the live client records a capture-card channel,
// the playback program finds them through the day's index (client mode in list mode, and the
// standalone time ruler), plays them, and what the player engine shows is held against
// libavcodec's decode of the same frames.

#include <gtest/gtest.h>

#include "platform/codecs/Vfw.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "LiveRecording.h"
#include "LumaroTestSupport.h"
#include "decoder_library/Halvane.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/MessageBox.h"
#include "player_engine/Pellix.h"
#include "playback_app/CLumaroDlg.h"
#include "playback_app/CRecordSetDlg.h"
#include "playback_app/LumaroGlobals.h"
#include "playback_app/SkinControls.h"
#include "playback_app/TimeStaffWnd.h"
#include "playback_app/VideoPlayerWnd.h"
#include "support/Ffmpeg.h"
#include "tests/support/TempDriveTable.h"

using namespace lumaro;
using lumaro_test::LiveRecording;
using lumaro_test::ShownPictures;

namespace {

// The player engine decodes with XviD (and deblocks the luma as XviD does), the reference is
// libavcodec's decoder: the two differ in rounding, so pictures cannot match byte for byte and
// are compared by PSNR (they score about 55 dB). Neighbouring frames of the test stream score
// far lower against each other (checked in SetUp), so a wrong or stale frame cannot pass.
constexpr double kMinPsnr = 45.0;
constexpr int kStreamFrames = 60;  // four seconds at the capture's 15 frames per second
constexpr int kGop = 15;

const test_media::EncodedStream& Stream() {
  static const test_media::EncodedStream stream = lumaro_test::LiveStream(kStreamFrames, kGop);
  return stream;
}

const std::vector<std::vector<std::uint8_t>>& Reference() {
  static const std::vector<std::vector<std::uint8_t>> pictures = test_media::ReferenceDecode("mpeg4", Stream());
  return pictures;
}

// "YYYY-MM-DD-HHMMSS" of a recording's file name as the calendar date and the second of the day.
QDate NameDate(const std::string& path) {
  const std::string name = FileNameOf(path);
  return QDate(std::atoi(name.substr(0, 4).c_str()), std::atoi(name.substr(5, 2).c_str()),
               std::atoi(name.substr(8, 2).c_str()));
}
int NameSecondOfDay(const std::string& path) {
  const std::string name = FileNameOf(path);
  return std::atoi(name.substr(11, 2).c_str()) * 3600 + std::atoi(name.substr(13, 2).c_str()) * 60 +
         std::atoi(name.substr(15, 2).c_str());
}

// Every picture shown is one of the recording's frames, in playing order, and the playback
// reached the recording's last frame.
void ExpectShowsTheRecording(const ShownPictures& shown, const LiveRecording& recording, const char* what) {
  const auto pictures = shown.Pictures();
  ASSERT_GE(pictures.size(), static_cast<std::size_t>(recording.frames / 2)) << what;
  const lumaro_test::PictureMatch match =
      lumaro_test::MatchPictures(pictures, Reference(), recording.firstFrame, recording.frames);
  EXPECT_TRUE(match.InOrder()) << what;
  EXPECT_GE(match.DistinctFrames(), static_cast<std::size_t>(recording.frames / 2)) << what;
  EXPECT_GE(match.MinPsnr(), kMinPsnr) << what;
  EXPECT_EQ(match.frames.back(), recording.firstFrame + recording.frames - 1) << what;
  std::printf("%s: %zu pictures shown, lowest PSNR %.1f dB\n", what, pictures.size(), match.MinPsnr());
}

double MeanDifference(const QImage& shown, const std::vector<std::uint8_t>& bgra) {
  const QImage picture = shown.convertToFormat(QImage::Format_RGB32);
  if (bgra.size() != static_cast<std::size_t>(picture.width()) * picture.height() * 4) return 1e9;
  double sum = 0;
  std::size_t count = 0;
  for (int y = 0; y < picture.height(); ++y) {
    const std::uint8_t* row = picture.constScanLine(y);
    const std::uint8_t* expected = bgra.data() + static_cast<std::size_t>(y) * picture.width() * 4;
    for (int x = 0; x < picture.width() * 4; ++x) {
      if (x % 4 == 3) continue;
      sum += std::abs(static_cast<int>(row[x]) - static_cast<int>(expected[x]));
      ++count;
    }
  }
  return count ? sum / static_cast<double>(count) : 1e9;
}

class LumaroEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    lumaro_test::App();
    platform::ResetMessageBoxes();
    platform::SetDefaultMessageBoxAnswer(platform::IDOK);
    g_nResolution = 1;
    ASSERT_EQ(DEC_LoadLibrary(), 1);
    ASSERT_EQ(Stream().frames.size(), static_cast<std::size_t>(kStreamFrames));
    ASSERT_EQ(Reference().size(), static_cast<std::size_t>(kStreamFrames));
    for (int i = 1; i < kStreamFrames; ++i) {
      const auto& previous = Reference()[static_cast<std::size_t>(i - 1)];
      ASSERT_LT(test_media::Psnr(previous, Reference()[static_cast<std::size_t>(i)].data(), previous.size()), kMinPsnr - 10)
          << i;
    }
  }
  void TearDown() override {
    DEC_FreeLibrary();
    platform::ResetMessageBoxes();
  }
  template <typename T>
  static T* Child(QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  static QWidget* ChannelButton(CLumaroDlg& dialog, int channel) {
    return dialog.findChild<QWidget*>(QStringLiteral("CH%1").arg(channel, 2, 10, QLatin1Char(' ')));
  }
};

TEST_F(LumaroEndToEnd, ClientModeListSearchFindsTheLiveClientsRecordingsAndPlaysTheirPictures) {
  suite::test::TempDriveTable drives("CDE", 'C');
  const std::time_t now = std::time(nullptr);
  // Channel 2 recorded from the first picture; channel 4 from a delta frame, so its file
  // begins at the next key frame. A second recorder's recording of channel 2 is not wanted.
  const LiveRecording second =
      lumaro_test::RecordLive(Stream(), 1, lumaro_test::LiveRecordFolder('D', "10.0.0.5", 8000, 1, now), 0, kStreamFrames);
  const LiveRecording fourth =
      lumaro_test::RecordLive(Stream(), 3, lumaro_test::LiveRecordFolder('E', "10.0.0.5", 8000, 3, now), 3, kStreamFrames);
  const LiveRecording other =
      lumaro_test::RecordLive(Stream(), 1, lumaro_test::LiveRecordFolder('E', "10.0.0.6", 8000, 1, now), 0, kStreamFrames);
  ASSERT_FALSE(second.path.empty());
  ASSERT_FALSE(fourth.path.empty());
  ASSERT_FALSE(other.path.empty());
  EXPECT_EQ(second.firstFrame, 0);
  EXPECT_EQ(fourth.firstFrame, kGop);

  lumaro_test::ProgramFolder folder;
  CLumaroDlg dialog(0, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.show();
  auto* remote = Child<QCheckBox>(dialog, "CHK_REMOTE");
  QTest::mouseClick(remote, Qt::LeftButton, {}, QPoint(4, remote->height() / 2));
  ASSERT_FALSE(dialog.IsRemote());
  Child<QCalendarWidget>(dialog, "CONTROL_CALDATE")->setSelectedDate(NameDate(second.path));
  QTest::mouseClick(ChannelButton(dialog, 2), Qt::LeftButton);
  QTest::mouseClick(ChannelButton(dialog, 4), Qt::LeftButton);
  dialog.SetRecordSetRunner([](CRecordSetDlg& set) {
    set.findChild<QComboBox*>("CMB_ADDRESS")->setEditText("10.0.0.5");
    set.findChild<QLineEdit*>("EDIT_PORT")->setText("8000");
    set.accept();
    return set.result();
  });
  QTest::mouseClick(Child<QWidget>(dialog, "BTN_SEARCH"), Qt::LeftButton);

  auto* list = Child<QTreeWidget>(dialog, "LIST_RESULT");
  ASSERT_EQ(list->topLevelItemCount(), 2);
  const std::string name = FileNameOf(second.path);
  EXPECT_EQ(list->topLevelItem(0)->text(0), "2");
  EXPECT_EQ(list->topLevelItem(0)->text(1), "Manual");
  EXPECT_EQ(list->topLevelItem(0)->text(2).toStdString(),
            name.substr(11, 2) + ":" + name.substr(13, 2) + ":" + name.substr(15, 2));
  EXPECT_EQ(list->topLevelItem(0)->text(3).toStdString(), second.path);
  EXPECT_EQ(list->topLevelItem(1)->text(0), "4");
  EXPECT_EQ(list->topLevelItem(1)->text(3).toStdString(), fourth.path);

  // A double click on each row plays it in its channel's window.
  ShownPictures shown[2];
  auto openRow = [&](int row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    const QPoint centre(20, list->visualItemRect(item).center().y());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
    ASSERT_EQ(dialog.WindowStates()[static_cast<std::size_t>(row)].nState, kWindowPlaying) << row;
    Pellix_SetDisplayCallBack(row, &ShownPictures::Collect, &shown[row]);
  };
  openRow(0);
  openRow(1);
  ASSERT_EQ(dialog.SelectedWindow(), 1);

  // Paused, the window shows the picture last handed out, as libavcodec decodes that frame.
  ASSERT_TRUE(QTest::qWaitFor([&] { return shown[1].Count() >= 10; }, 10000));
  QTest::mouseClick(Child<QWidget>(dialog, "BTN_PAUSE"), Qt::LeftButton);
  ASSERT_EQ(dialog.WindowStates()[1].nState, kWindowPaused);
  QTest::qWait(300);
  const auto paused = shown[1].Pictures();
  const auto pausedMatch = lumaro_test::MatchPictures({paused.back()}, Reference(), fourth.firstFrame, fourth.frames);
  const std::vector<std::uint8_t> expected = pellix::test::DecodeFrameBgra(
      platform::ToHostPath(fourth.path), pausedMatch.frames[0] - fourth.firstFrame, lumaro_test::kLiveWidth,
      lumaro_test::kLiveHeight);
  // The colour conversions differ a little (about one level); the frame before differs more.
  const std::vector<std::uint8_t> before = pellix::test::DecodeFrameBgra(
      platform::ToHostPath(fourth.path), pausedMatch.frames[0] - fourth.firstFrame - 1, lumaro_test::kLiveWidth,
      lumaro_test::kLiveHeight);
  const double difference = MeanDifference(dialog.VideoWindow(1)->LastPicture(), expected);
  const double differenceBefore = MeanDifference(dialog.VideoWindow(1)->LastPicture(), before);
  EXPECT_LT(difference, 3.0);
  EXPECT_GT(differenceBefore, difference + 1.0);
  std::printf("channel 4 paused at frame %d: window picture off by %.2f per colour byte (%.2f from the frame before)\n",
              pausedMatch.frames[0], difference, differenceBefore);
  QTest::mouseClick(Child<QWidget>(dialog, "BTN_PLAY"), Qt::LeftButton);
  EXPECT_EQ(dialog.WindowStates()[1].nState, kWindowPlaying);
  // Playing, the selected window's recording is named by its disk and size.
  auto* size = Child<CColorStatic>(dialog, "STC_FILESIZE");
  const QString expectedSize = QStringLiteral("%1 KB").arg(platform::FileSize(fourth.path) / 1024);
  EXPECT_TRUE(QTest::qWaitFor([&] { return size->Text() == expectedSize; }, 3000)) << size->Text().toStdString();
  EXPECT_EQ(Child<CColorStatic>(dialog, "STC_DISK")->Text(), QStringLiteral("E:"));

  // Both play to their ends (no later recording follows) with the recorded pictures.
  ASSERT_TRUE(lumaro_test::WaitForState(dialog, 0, kWindowIdle, 15000));
  ASSERT_TRUE(lumaro_test::WaitForState(dialog, 1, kWindowIdle, 15000));
  ExpectShowsTheRecording(shown[0], second, "channel 2");
  ExpectShowsTheRecording(shown[1], fourth, "channel 4");
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());
}

// A network camera's H.264 recording, made as the live client makes it (the decoder entry's
// codec 5, capture into the camera's folder named after its host), is found by the local
// search and plays through to its end.
TEST_F(LumaroEndToEnd, NetworkCameraH264RecordingIsFoundAndPlays) {
  suite::test::TempDriveTable drives("CD", 'C');
  const std::time_t now = std::time(nullptr);
  const test_media::EncodedStream h264 = test_media::Encode(
      "libx264", lumaro_test::kLiveWidth, lumaro_test::kLiveHeight, kStreamFrames, kGop, platform::MakeFourCC('H', '2', '6', '4'));
  ASSERT_EQ(h264.frames.size(), static_cast<std::size_t>(kStreamFrames));
  const LiveRecording camera = lumaro_test::RecordLive(
      h264, 0, lumaro_test::LiveRecordFolder('D', "cam.example", 554, 0, now), 0, kStreamFrames, 0x102, 5);
  ASSERT_FALSE(camera.path.empty());

  lumaro_test::ProgramFolder folder;
  CLumaroDlg dialog(0, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.show();
  auto* remote = Child<QCheckBox>(dialog, "CHK_REMOTE");
  QTest::mouseClick(remote, Qt::LeftButton, {}, QPoint(4, remote->height() / 2));
  Child<QCalendarWidget>(dialog, "CONTROL_CALDATE")->setSelectedDate(NameDate(camera.path));
  QTest::mouseClick(ChannelButton(dialog, 1), Qt::LeftButton);
  dialog.SetRecordSetRunner([](CRecordSetDlg& set) {
    set.findChild<QComboBox*>("CMB_ADDRESS")->setEditText("cam.example");
    set.findChild<QLineEdit*>("EDIT_PORT")->setText("554");
    set.accept();
    return set.result();
  });
  QTest::mouseClick(Child<QWidget>(dialog, "BTN_SEARCH"), Qt::LeftButton);
  auto* list = Child<QTreeWidget>(dialog, "LIST_RESULT");
  ASSERT_EQ(list->topLevelItemCount(), 1);
  EXPECT_EQ(list->topLevelItem(0)->text(3).toStdString(), camera.path);

  ShownPictures shown;
  QTreeWidgetItem* item = list->topLevelItem(0);
  const QPoint centre(20, list->visualItemRect(item).center().y());
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
  ASSERT_EQ(dialog.WindowStates()[0].nState, kWindowPlaying);
  Pellix_SetDisplayCallBack(0, &ShownPictures::Collect, &shown);
  ASSERT_TRUE(lumaro_test::WaitForState(dialog, 0, kWindowIdle, 15000));
  EXPECT_GE(shown.Count(), static_cast<std::size_t>(camera.frames - 5)) << "pictures shown of the camera's recording";
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());
}

TEST_F(LumaroEndToEnd, TimeRulerShowsTheDaysRecordingsAndAClickPlaysThemInEveryWindow) {
  suite::test::TempDriveTable drives("CDE", 'C');
  const std::time_t now = std::time(nullptr);
  // A capture-card recording kept in the common date folder, which the standalone program
  // searches: channel 1 on D, channel 3 on E.
  const LiveRecording first =
      lumaro_test::RecordLive(Stream(), 0, lumaro_test::LiveRecordFolder('D', "", 0, 0, now), 0, kStreamFrames, 0x202);
  const LiveRecording third =
      lumaro_test::RecordLive(Stream(), 2, lumaro_test::LiveRecordFolder('E', "", 0, 2, now), 20, kStreamFrames);
  ASSERT_FALSE(first.path.empty());
  ASSERT_FALSE(third.path.empty());
  EXPECT_EQ(third.firstFrame, 2 * kGop);

  lumaro_test::ProgramFolder folder;
  CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.show();
  ASSERT_EQ(dialog.Mode(), ViewMode::Time);
  Child<QCalendarWidget>(dialog, "CONTROL_CALDATE")->setSelectedDate(NameDate(first.path));
  QTest::mouseClick(ChannelButton(dialog, 1), Qt::LeftButton);
  QTest::mouseClick(ChannelButton(dialog, 3), Qt::LeftButton);
  // The newly selected channel's window is selected and heard; the speed shown is its own.
  EXPECT_EQ(dialog.SelectedWindow(), 1);
  EXPECT_EQ(dialog.SoundWindow(), 1);
  EXPECT_EQ(Child<CColorStatic>(dialog, "STC_SPEED")->Text(), QStringLiteral("(1.0 X)"));

  // Each channel's recording is found with its start from the name and its recorded length.
  const auto& records1 = dialog.Channels()[0].records;
  const auto& records3 = dialog.Channels()[2].records;
  ASSERT_EQ(records1.size(), 1u);
  ASSERT_EQ(records3.size(), 1u);
  EXPECT_EQ(records1[0].strPath, first.path);
  EXPECT_EQ(records1[0].nType, kRecordAuto);
  // The writer counts every second begun, at the capture's 15 frames per second.
  EXPECT_EQ(records1[0].nDuration, first.frames / 15 + 1);
  EXPECT_EQ(records1[0].tStart - dialog.SearchDayStart(), NameSecondOfDay(first.path));
  EXPECT_EQ(records3[0].strPath, third.path);
  EXPECT_EQ(records3[0].nDuration, third.frames / 15 + 1);
  TimeStaffWnd* ruler = dialog.RulerArea();
  ASSERT_EQ(ruler->Bars(1).size(), 1u);
  ASSERT_EQ(ruler->Bars(3).size(), 1u);
  EXPECT_EQ(ruler->Bars(1)[0].nStart, NameSecondOfDay(first.path));
  EXPECT_EQ(ruler->Bars(1)[0].colour, QColor(0, 255, 0));

  // A click on channel 1's bar plays both channels from their starts.
  ruler->SetScrollPos(0);
  const int x = TimeStaffWnd::kX0 + NameSecondOfDay(first.path) * ruler->BlockWidth() / 7200;
  QTest::mouseClick(ruler, Qt::LeftButton, {}, QPoint(x, TimeStaffWnd::kRowHeight / 2 + 1));
  ShownPictures shown[2];
  for (int window = 0; window < 2; ++window) {
    ASSERT_TRUE(lumaro_test::WaitForState(dialog, window, kWindowPlaying)) << window;
    Pellix_SetDisplayCallBack(window, &ShownPictures::Collect, &shown[window]);
  }
  ASSERT_TRUE(lumaro_test::WaitForState(dialog, 0, kWindowIdle, 15000));
  ASSERT_TRUE(lumaro_test::WaitForState(dialog, 1, kWindowIdle, 15000));
  ExpectShowsTheRecording(shown[0], first, "channel 1");
  ExpectShowsTheRecording(shown[1], third, "channel 3");
  EXPECT_FALSE(dialog.VideoWindow(0)->LastPicture().isNull());
  EXPECT_FALSE(dialog.VideoWindow(1)->LastPicture().isNull());
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());
}

}  // namespace
