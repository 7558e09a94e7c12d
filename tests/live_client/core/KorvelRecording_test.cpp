// Recording and snapshots of the live client against the device simulators on loopback,
// driven through the real main dialog (offscreen): manual recording of kind-3 and DVR windows,
// the recording limit and the refusals, the schedule and the drive watchdog with an injected
// clock and injected free space, snapshots, and a long run of eight channels while the drive
// fills and frees (KORVEL_RECORD_RELIABILITY_SECONDS, default 45).

#include <gtest/gtest.h>

#include <QTest>
#include <QTreeWidget>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <thread>

#include "live_client/core/CKorvelLive.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelIds.h"
#include "live_client/core/KorvelPreview.h"
#include "live_client/core/KorvelRecording.h"
#include "live_client/core/KorvelSnapshot.h"
#include "live_client/core/PageInfo.h"
#include "live_client/settings/CRecordDlg.h"
#include "live_client/settings/CTaskbarNotifier.h"
#include "live_client/settings/KorvelSettings.h"
#include "live_client/skin/MHollowStatic.h"
#include "common/qt/SystemText.h"
#include "live_client/storage/CRecordDrives.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "tests/decoder_library/CommandOutput.h"
#include "tests/live_client/core/KorvelSimulatorFixture.h"

using namespace korvel;
namespace fs = std::filesystem;

namespace korvel_test {
namespace {

// One AVI file found below a drive's VIDEO folder.
struct FoundAvi {
  fs::path host;
  std::string windows;  // the path the index names
};

class KorvelRecordingTest : public KorvelSimulatorTest {
 protected:
  // Writes the slots into the configuration and opens the dialog with the real connection
  // work. Without `maintenance` the test runs the maintenance steps itself (Tick).
  // Each window gets its simulator's credentials.
  bool OpenWith(std::vector<SimulatorSlot> windows, bool maintenance) {
    for (SimulatorSlot& spec : windows) {
      const bool alder = spec.kind == kKindAlder;
      spec.user = alder ? "op" : "admin";
      spec.password = alder ? "pw" : "1234";
    }
    CKorvelSettings settings;
    settings.m_strRecDrive = "D:\\";
    settings.m_nRecDriveMask = 3;
    return OpenWithSlots(windows, settings, maintenance);
  }

  // Connects window w as the operator does (double click in the tree) and waits for it.
  bool Connect(int w) {
    auto* tree = dialog_->findChild<QTreeWidget*>("TREE_CONFIG");
    emit tree->itemDoubleClicked(TreeItem(w), 0);
    return QTest::qWaitFor([&] { return TreeItem(w)->data(0, Qt::UserRole + 1).toInt() == kTreeImageConnected; },
                           15000) &&
           WaitIdle(w);
  }
  bool WaitIdle(int w) {
    return QTest::qWaitFor(
        [&] { return platform::WaitForOne(dialog_->IdleEvent(w), 0) == platform::WAIT_OBJECT_0; }, 15000);
  }
  void Select(int w) {
    auto* tree = dialog_->findChild<QTreeWidget*>("TREE_CONFIG");
    tree->setCurrentItem(TreeItem(w));
  }
  // Presses the record or stop button of window w and waits until its worker is done.
  bool Press(int w, const char* button) {
    Select(w);
    QWidget* control = Control(button);
    if (!QTest::qWaitFor([&] { return control->isVisible() && control->isEnabled(); }, 10000)) return false;
    QTest::mouseClick(control, Qt::LeftButton);
    return WaitIdle(w);
  }
  static int RecKind(int page, int w) {
    std::lock_guard<platform::CriticalSection> guard(g_PageInfo[page].camera[w].lock);
    return g_PageInfo[page].camera[w].nRecKind;
  }
  // Whether the slot counts as connected, read under its lock: the worker changes it.
  static int Connected(int page, int w) {
    std::lock_guard<platform::CriticalSection> guard(g_PageInfo[page].camera[w].lock);
    return g_PageInfo[page].camera[w].bConnected;
  }
  // One maintenance tick on a thread of its own, as the maintenance thread runs it, while
  // the UI thread keeps serving messages.
  void Tick() {
    std::atomic<bool> done{false};
    std::thread tick([&] {
      dialog_->RecordDrives().DiskNospace(dialog_->Recording());
      dialog_->Recording().DealTimerRec();
      dialog_->Recording().StopTimerRec();
      done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 30000));
    tick.join();
    QTest::qWait(50);  // the posted marks and buttons
  }
  std::vector<QString> BoxTexts() const {
    std::vector<QString> texts;
    for (const auto& box : platform::ShownMessageBoxes()) texts.push_back(FromSystemText(box.text));
    return texts;
  }
  bool BoxShown(const char* key) const {
    const QString wanted = English(key);
    for (const QString& text : BoxTexts())
      if (text == wanted) return true;
    return false;
  }

  // Every AVI file below the drives' VIDEO folders.
  std::vector<FoundAvi> AviFiles() const {
    std::vector<FoundAvi> files;
    for (char letter : {'D', 'E'}) {
      const fs::path video = fs::path(drives_->Root(letter)) / "VIDEO";
      if (!fs::exists(video)) continue;
      for (const auto& entry : fs::recursive_directory_iterator(video)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".avi") continue;
        std::string windows = std::string(1, letter) + ":\\" +
                              fs::relative(entry.path(), drives_->Root(letter)).string();
        for (char& c : windows)
          if (c == '/') c = '\\';
        files.push_back({entry.path(), windows});
      }
    }
    return files;
  }
  // Index entries ("path\seconds") of the date folder `date` (host path).
  static std::vector<std::string> IndexEntries(const fs::path& date) {
    std::vector<std::string> entries;
    const std::string main = (date / "FileInfo.ini").string();
    platform::ClearProfileCache();
    const int count = std::atoi(platform::ReadProfileString(main, "FileCount", "FileCount", "0").c_str());
    for (int i = 0; i < count; ++i) {
      const std::string numbered = (date / ("FileInfo" + std::to_string(i) + ".ini")).string();
      for (const std::string& key : platform::ProfileKeyNames(numbered, "FileInfo")) entries.push_back(key);
    }
    return entries;
  }
  // Every file is played through by ffprobe and entered exactly once in its date folder's
  // index; every index entry names a file that is there.
  void ExpectPlayableAndIndexed(const std::vector<FoundAvi>& files) {
    std::map<std::string, int> indexed;  // windows path -> entries
    std::set<fs::path> dates;
    for (const FoundAvi& file : files) dates.insert(file.host.parent_path().parent_path().parent_path());
    for (const fs::path& date : dates) {
      for (const std::string& key : IndexEntries(date)) {
        const std::size_t slash = key.rfind('\\');
        ASSERT_NE(slash, std::string::npos) << key;
        ++indexed[key.substr(0, slash)];
      }
    }
    std::set<std::string> present;
    for (const FoundAvi& file : files) {
      present.insert(file.windows);
      EXPECT_EQ(indexed[file.windows], 1) << file.windows << " indexed " << indexed[file.windows] << " times";
      const auto probe = halvane_test::RunCommand(
          "ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
          "-of csv=p=0 " + halvane_test::Quoted(file.host.string()) + " 2>&1");
      EXPECT_EQ(probe.status, 0) << file.host << ": " << probe.output;
      EXPECT_GT(std::atoi(probe.output.c_str()), 0) << file.host << ": " << probe.output;
    }
    for (const auto& [path, count] : indexed)
      EXPECT_TRUE(present.count(path)) << "the index names a file that is not there: " << path;
  }

};

// A Monday: 1 January 2024, local time.
std::time_t MondayAt(int hour, int minute, int second) {
  platform::LocalTime time;
  time.year = 2024;
  time.month = 1;
  time.day = 1;
  time.hour = static_cast<std::uint16_t>(hour);
  time.minute = static_cast<std::uint16_t>(minute);
  time.second = static_cast<std::uint16_t>(second);
  return platform::FromLocalTime(time);
}

TEST(KorvelRecordingNames, FoldersOfBothDeviceFamiliesAndSnapshotNames) {
  platform::LocalTime may25;
  may25.year = 2010;
  may25.month = 5;
  may25.day = 25;
  may25.hour = 8;
  may25.minute = 59;
  may25.second = 7;
  const std::time_t t = platform::FromLocalTime(may25);
  EXPECT_EQ(RecordingFolder("D:\\", "10.0.0.5", 8000, kKindAlder, 0, t),
            "D:\\VIDEO\\10.0.0.5[SVR8000]\\2010_05_25\\chn_01\\08\\");
  EXPECT_EQ(RecordingFolder("E:\\", "cam.example", 9000, kKindAlder, 23, t),
            "E:\\VIDEO\\cam.example[SVR9000]\\2010_05_25\\chn_24\\08\\");
  for (int kind : {kKindDogwood, kKindCedar, kKindBirch})
    EXPECT_EQ(RecordingFolder("D:\\", "10.0.0.5", 8000, kind, 3, t), "D:\\VIDEO\\DVR_REC\\10.0.0.5[SVR8000]\\");

  // A network camera's folder names its host, never the stream path of its address.
  EXPECT_EQ(RecordingFolder("D:\\", "cam.example/Streaming/101", 554, kKindCamera, 0, t),
            "D:\\VIDEO\\cam.example[SVR554]\\2010_05_25\\chn_01\\08\\");
  EXPECT_EQ(SnapshotFolder("C:\\Pic", "10.0.0.5", 0), "C:\\Pic\\10.0.0.5\\01\\");
  EXPECT_EQ(SnapshotFileName(0, may25), "20100525-085907.JPG");
  EXPECT_EQ(SnapshotFileName(1, may25), "20100525-085907.BMP");
  EXPECT_EQ(SnapshotFileName(2, may25), "");
  EXPECT_EQ(SnapshotFileName(-1, may25), "");
  EXPECT_EQ(SnapshotDrive("C:\\Pic"), "C:\\");
  EXPECT_EQ(SnapshotDrive("D:\\shots\\day"), "D:\\");
}

// Four network cameras (H.264 with G.711, H.265, Motion JPEG, H.264 with AAC) as an operator
// uses them: moving pictures, the selected camera's sound, ten seconds recorded by hand,
// snapshots; then the camera drops every client: the loss reaches the error report once per
// login, the windows come back by themselves within seconds, and the recording goes on in a
// new file.
TEST_F(KorvelRecordingTest, NetworkCamerasShowRecordSnapAndComeBackAfterTheCameraDropsThem) {
  const fs::path wav = fs::path(drives_->Root('C')) / "camera-sound.wav";
  setenv("KORVEL_AUDIO", ("wav:" + wav.string()).c_str(), 1);
  ASSERT_TRUE(StartCamera("127.0.0.161"));
  std::vector<SimulatorSlot> cameras = {{0, 0, "127.0.0.161/h264", kCameraPort, kKindCamera, 0},
                                        {0, 1, "127.0.0.161/h265", kCameraPort, kKindCamera, 0},
                                        {0, 2, "127.0.0.161/mjpeg", kCameraPort, kKindCamera, 0},
                                        {0, 3, "127.0.0.161/h264-aac", kCameraPort, kKindCamera, 0}};
  for (SimulatorSlot& camera : cameras) {
    camera.user = "admin";
    camera.password = "s3cret";
  }
  CKorvelSettings settings;
  settings.m_strRecDrive = "D:\\";
  settings.m_nRecDriveMask = 3;
  ASSERT_TRUE(OpenWithSlots(cameras, settings, true));
  for (int w = 0; w < 4; ++w) ASSERT_TRUE(Connect(w)) << "camera window " << w;
  const int codecs[] = {5, 6, 7, 5};
  for (int w = 0; w < 4; ++w) {
    EXPECT_EQ(LoadPreviewMediaInfo(w).nCompressor, codecs[w]);
    EXPECT_EQ(LoadPreviewMediaInfo(w).nWidth, 352);
    // The camera's ball moves every picture.
    CVideoStatic* surface = VideoWindow(w)->Surface();
    const unsigned start = surface->PresentCount();
    ASSERT_TRUE(QTest::qWaitFor([&] { return surface->PresentCount() > start + 10; }, 10000)) << w;
    const QImage first = surface->grab().toImage();
    EXPECT_TRUE(QTest::qWaitFor([&] { return surface->grab().toImage() != first; }, 4000)) << w;
  }

  Select(0);
  ASSERT_TRUE(Press(0, "BTN_RECORD"));
  EXPECT_EQ(RecKind(0, 0), kRecordManual);
  QTest::qWait(5000);
  Click("BTN_SNAP");
  CTaskbarNotifier* notifier = FindNotifier(dialog_.get());
  ASSERT_NE(notifier, nullptr);
  const std::string snap = notifier->Text();
  EXPECT_NE(snap.find("127.0.0.161"), std::string::npos) << snap;
  EXPECT_EQ(snap.find("/h264"), std::string::npos) << "the stream path is no folder: " << snap;
  EXPECT_TRUE(QTest::qWaitFor([&] { return fs::exists(drives_->Host(snap)) && fs::file_size(drives_->Host(snap)) > 0; }, 5000)) << snap;

  // The camera drops every client: each window is lost once and comes back by itself.
  camera_->Command("drop");
  ASSERT_TRUE(QTest::qWaitFor([&] { return TreeItem(0)->data(0, Qt::UserRole + 1).toInt() == kTreeImageFailed; }, 8000));
  ASSERT_TRUE(QTest::qWaitFor([&] {
    for (int w = 0; w < 4; ++w)
      if (TreeItem(w)->data(0, Qt::UserRole + 1).toInt() != kTreeImageConnected) return false;
    return true;
  }, 8000)) << "the cameras came back within 5 s of the loss";
  int lossReports = 0;
  for (const auto& entry : dialog_->ErrorReports())
    if ((entry.wParam & 0xFFFF) == 5) ++lossReports;
  EXPECT_EQ(lossReports, 4) << "one loss report per camera login";
  EXPECT_EQ(RecKind(0, 0), kRecordManual) << "the recording goes on after the reconnection";
  QTest::qWait(5000);
  ASSERT_TRUE(Press(0, "BTN_STOPRECORD"));
  EXPECT_EQ(RecKind(0, 0), kRecordNone);

  const std::vector<FoundAvi> files = AviFiles();
  ASSERT_EQ(files.size(), 2u) << "one file before the loss, one after";
  const std::regex layout(R"(D:\\VIDEO\\127\.0\.0\.161\[SVR8554\]\\\d{4}_\d\d_\d\d\\chn_01\\\d\d\\[-\d]+ M101\.avi)");
  for (const FoundAvi& file : files) {
    EXPECT_TRUE(std::regex_match(file.windows, layout)) << file.windows;
    const auto probe = halvane_test::RunCommand(
        "ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " +
        halvane_test::Quoted(file.host.string()) + " 2>&1");
    EXPECT_EQ(probe.output, "h264\nadpcm_ima_wav\n") << file.host;
  }
  ExpectPlayableAndIndexed(files);

  // The selected camera's sound reached the sound output: ticks, not silence.
  dialog_.reset();
  unsetenv("KORVEL_AUDIO");
  std::ifstream in(wav, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 44u + 8000u * 2);
  std::vector<int16_t> samples((bytes.size() - 44) / 2);
  std::memcpy(samples.data(), bytes.data() + 44, samples.size() * 2);
  int loud = 0;
  for (int16_t sample : samples)
    if (std::abs(sample) > 1000) ++loud;
  EXPECT_GT(loud, 100) << "the camera's sound is silent";
}

TEST_F(KorvelRecordingTest, ManualKind3RecordingWritesIndexedPlayableFilesInTheChannelsHourFolder) {
  ASSERT_TRUE(StartAlder("127.0.0.120"));
  ASSERT_TRUE(OpenWith({{0, 0, "127.0.0.120", kAlderPort, kKindAlder, 0}}, true));
  ASSERT_TRUE(Connect(0));
  EXPECT_TRUE(Control("BTN_RECORD")->isVisible());
  EXPECT_FALSE(Control("BTN_STOPRECORD")->isVisible());

  ASSERT_TRUE(Press(0, "BTN_RECORD"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Control("BTN_STOPRECORD")->isVisible(); }, 5000));
  EXPECT_TRUE(Control("BTN_STOPRECORD")->isEnabled());
  EXPECT_FALSE(Control("BTN_RECORD")->isVisible());
  EXPECT_EQ(RecKind(0, 0), kRecordManual);
  EXPECT_EQ(dialog_->Recording().RecordingCount(), 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return VideoWindow(0)->IsRecordingMarked(); }, 3000));
  EXPECT_EQ(VideoWindow(0)->RecordMark()->text(), QString::fromUtf8("●"));

  // A format change ends the file and the recording goes on in a new one.
  QTest::qWait(3000);
  alder_->Command("format 1 704x576");
  QTest::qWait(3000);

  ASSERT_TRUE(Press(0, "BTN_STOPRECORD"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Control("BTN_RECORD")->isVisible(); }, 5000));
  EXPECT_TRUE(Control("BTN_RECORD")->isEnabled());
  EXPECT_EQ(RecKind(0, 0), kRecordNone);
  EXPECT_EQ(dialog_->Recording().RecordingCount(), 0);
  EXPECT_FALSE(VideoWindow(0)->IsRecordingMarked());

  const std::vector<FoundAvi> files = AviFiles();
  ASSERT_EQ(files.size(), 2u) << "one file before the format change, one after";
  const std::regex layout(
      R"(D:\\VIDEO\\127\.0\.0\.120\[SVR8000\]\\(\d{4})_(\d\d)_(\d\d)\\chn_01\\(\d\d)\\(\d{4})-(\d\d)-(\d\d)-(\d\d)\d{4} M101\.avi)");
  for (const FoundAvi& file : files) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(file.windows, match, layout)) << file.windows;
    // Date and hour folders name the moment the file was made.
    EXPECT_EQ(match[1], match[5]);
    EXPECT_EQ(match[2], match[6]);
    EXPECT_EQ(match[3], match[7]);
    EXPECT_EQ(match[4], match[8]);
  }
  ExpectPlayableAndIndexed(files);
  EXPECT_TRUE(dialog_->ErrorReports().empty());
}

TEST_F(KorvelRecordingTest, DvrRecordingLandsUnderDvrRecAndDisconnectingARecordingWindowAsksFirst) {
  ASSERT_TRUE(StartDvr("127.0.0.121"));
  ASSERT_TRUE(OpenWith({{0, 0, "127.0.0.121", kDvrPort, kKindDogwood, 0}}, true));
  ASSERT_TRUE(Connect(0));
  ASSERT_TRUE(Press(0, "BTN_RECORD"));
  ASSERT_EQ(RecKind(0, 0), kRecordManual);
  const fs::path folder = fs::path(drives_->Root('D')) / "VIDEO" / "DVR_REC" / "127.0.0.121[SVR8670]";
  auto recorded = [&] {
    if (!fs::exists(folder)) return std::uintmax_t{0};
    std::uintmax_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(folder))
      if (entry.path().filename().string().rfind("CH01_", 0) == 0) bytes += entry.file_size();
    return bytes;
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return recorded() > 0; }, 10000));

  // The operator is asked; No keeps it connected and recording.
  platform::ResetMessageBoxes();
  platform::ScriptMessageBoxAnswers({platform::IDNO});
  emit dialog_->findChild<QTreeWidget*>("TREE_CONFIG")->itemDoubleClicked(TreeItem(0), 0);
  ASSERT_TRUE(WaitIdle(0));
  ASSERT_EQ(BoxTexts(), std::vector<QString>{English("IDS_QUEST_DISCONNECT")});
  EXPECT_EQ(RecKind(0, 0), kRecordManual);
  EXPECT_EQ(Connected(0, 0), 1);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return TreeItem(0)->data(0, Qt::UserRole + 1).toInt() == kTreeImageConnected; }, 5000));

  // Yes ends the recording with the connection and gives its unit of the count back.
  platform::ResetMessageBoxes();
  platform::ScriptMessageBoxAnswers({platform::IDYES});
  emit dialog_->findChild<QTreeWidget*>("TREE_CONFIG")->itemDoubleClicked(TreeItem(0), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(0, 0) == 0; }, 10000));
  ASSERT_TRUE(WaitIdle(0));
  EXPECT_EQ(RecKind(0, 0), kRecordNone);
  EXPECT_EQ(dialog_->Recording().RecordingCount(), 0);
  const std::uintmax_t bytes = recorded();
  QTest::qWait(500);
  EXPECT_EQ(recorded(), bytes) << "the recording goes on after the disconnect";
}

TEST_F(KorvelRecordingTest, RefusalsAndTheLimitOfFortyEightSharedWithArmedSchedules) {
  ASSERT_TRUE(StartAlder("127.0.0.122"));
  std::vector<SimulatorSlot> wanted = {{0, 0, "127.0.0.122", kAlderPort, kKindAlder, 0},
                             {0, 1, "127.0.0.122", kAlderPort, kKindAlder, 1},
                             {0, 2, "127.0.0.122", kAlderPort, kKindAlder, 2}};
  for (int i = 0; i < 47; ++i) wanted.push_back({1 + i / 25, i % 25, "127.0.0.122", kAlderPort, kKindAlder, 3});
  ASSERT_TRUE(OpenWith(wanted, false));
  // 47 windows on other pages have their schedules armed: 47 units of the count.
  ScheduleBytes none = {};
  RecordingTally& tally = ClientRecordingTally();
  for (int i = 0; i < 47; ++i)
    ASSERT_EQ(ApplyWindowSchedule(g_PageInfo[1 + i / 25].camera[i % 25], none, true, tally.lock, tally.count),
              ScheduleApplyResult::Armed);
  ASSERT_TRUE(Connect(0));
  ASSERT_TRUE(Connect(1));

  platform::ResetMessageBoxes();
  ASSERT_TRUE(Press(0, "BTN_RECORD"));
  EXPECT_EQ(RecKind(0, 0), kRecordManual);
  EXPECT_EQ(dialog_->Recording().RecordingCount(), 48);
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());

  // The 49th is refused, and so is a second start of a recording window or one not connected.
  ASSERT_TRUE(Press(1, "BTN_RECORD"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return BoxShown("IDS_RECNUM_OVERFLOW"); }, 5000));
  EXPECT_EQ(RecKind(0, 1), kRecordNone);
  EXPECT_EQ(dialog_->Recording().RecordingCount(), 48);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Control("BTN_RECORD")->isEnabled(); }, 5000))
      << "a refused start gives the buttons back";
  dialog_->Recording().StartManualRecord(0);
  dialog_->Recording().StartManualRecord(2);
  QTest::qWait(100);
  EXPECT_TRUE(BoxShown("IDS_ALREADY_RECMANUAL"));
  EXPECT_TRUE(BoxShown("IDS_CAMERA_NOCONNECT"));
  EXPECT_EQ(dialog_->Recording().RecordingCount(), 48);

  // Disarming a schedule makes room for one more.
  ASSERT_EQ(ApplyWindowSchedule(g_PageInfo[1].camera[0], none, false, tally.lock, tally.count),
            ScheduleApplyResult::Disarmed);
  ASSERT_TRUE(Press(1, "BTN_RECORD"));
  EXPECT_EQ(RecKind(0, 1), kRecordManual);
  EXPECT_EQ(dialog_->Recording().RecordingCount(), 48);

  // Without room nothing starts.
  ASSERT_TRUE(Press(1, "BTN_STOPRECORD"));
  dialog_->m_bNoDiskSpace = 1;
  platform::ResetMessageBoxes();
  ASSERT_TRUE(Press(1, "BTN_RECORD"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return BoxShown("IDS_DISKSPACE_FULL"); }, 5000));
  EXPECT_EQ(RecKind(0, 1), kRecordNone);

  // A drive where no recording folder can be made: the failed start goes to the error
  // report (code 3, window and page) and changes nothing.
  dialog_->m_bNoDiskSpace = 0;
  std::ofstream(fs::path(drives_->Root('E')) / "VIDEO") << "not a folder";
  dialog_->RecordDrives().SetRecDrive("E:\\");
  platform::ResetMessageBoxes();
  ASSERT_TRUE(Press(1, "BTN_RECORD"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog_->ErrorReports().empty(); }, 5000));
  EXPECT_EQ(dialog_->ErrorReports().back().wParam, 3u);
  EXPECT_EQ(dialog_->ErrorReports().back().lParam, (1 << 16) | 0);
  EXPECT_EQ(RecKind(0, 1), kRecordNone);
  EXPECT_EQ(dialog_->Recording().RecordingCount(), 47);
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());
}

TEST_F(KorvelRecordingTest, ScheduleHoursAndDriveSwitchesWithAnInjectedClockAndFreeSpace) {
  ASSERT_TRUE(StartAlder("127.0.0.123"));
  ASSERT_TRUE(OpenWith({{0, 0, "127.0.0.123", kAlderPort, kKindAlder, 0},
                        {0, 1, "127.0.0.123", kAlderPort, kKindAlder, 1}},
                       false));
  std::atomic<std::time_t> now{MondayAt(7, 59, 59)};
  dialog_->Recording().SetClock([&] { return now.load(); });
  disks_->Set('D', 2048, 8192);
  disks_->Set('E', 650, 1000);  // not chosen: 650 is not above 600 + 100

  ASSERT_TRUE(Connect(0));
  ASSERT_TRUE(Connect(1));
  // Window 0 armed for Monday 08:00-08:59 only.
  ScheduleBytes monday8 = {};
  monday8[8] = 1 << 1;
  RecordingTally& tally = ClientRecordingTally();
  ASSERT_EQ(ApplyWindowSchedule(g_PageInfo[0].camera[0], monday8, true, tally.lock, tally.count),
            ScheduleApplyResult::Armed);

  Tick();
  EXPECT_EQ(RecKind(0, 0), kRecordNone) << "07:59:59 is outside the schedule";
  now = MondayAt(8, 0, 0);
  Tick();
  EXPECT_EQ(RecKind(0, 0), kRecordScheduled) << "starts in the first second of 08:00";
  EXPECT_TRUE(QTest::qWaitFor([&] { return VideoWindow(0)->IsRecordingMarked(); }, 3000));
  EXPECT_EQ(dialog_->Recording().RecordingCount(), 1) << "a scheduled start adds nothing to its armed unit";
  EXPECT_TRUE(fs::is_directory(drives_->Host("D:\\VIDEO\\127.0.0.123[SVR8000]\\2024_01_01\\chn_01\\08\\")));
  // A manual recording beside it; the schedule never stops it.
  ASSERT_TRUE(Press(1, "BTN_RECORD"));
  ASSERT_EQ(RecKind(0, 1), kRecordManual);
  EXPECT_EQ(dialog_->Recording().RecordingCount(), 2);
  QTest::qWait(2500);

  // D falls below the minimum; E has room: both recordings move there as what they were.
  disks_->Set('D', 599, 8192);
  disks_->Set('E', 701, 1000);
  Tick();
  EXPECT_EQ(dialog_->RecordDrives().RecDrive(), "E:\\");
  EXPECT_EQ(RecKind(0, 0), kRecordScheduled);
  EXPECT_EQ(RecKind(0, 1), kRecordManual);
  EXPECT_EQ(dialog_->Recording().RecordingCount(), 2);
  QTest::qWait(2500);

  // No drive has room: everything stops, the status line turns red, starts are refused.
  disks_->Set('E', 500, 1000);
  Tick();
  EXPECT_EQ(dialog_->m_bNoDiskSpace.load(), 1);
  EXPECT_EQ(RecKind(0, 0), kRecordNone);
  EXPECT_EQ(RecKind(0, 1), kRecordNone);
  EXPECT_EQ(dialog_->Recording().RecordingCount(), 1) << "the armed schedule keeps its unit";
  EXPECT_TRUE(QTest::qWaitFor([&] { return !VideoWindow(0)->IsRecordingMarked(); }, 3000));
  platform::SendMessage(dialog_->Handle(), platform::WM_TIMER, TIMER_STATUS, 0);
  MHollowStatic* disk = Child<MHollowStatic>("STC_USEDISK");
  EXPECT_EQ(disk->TextColor(), QColor(255, 0, 0));
  platform::ResetMessageBoxes();
  ASSERT_TRUE(Press(1, "BTN_RECORD"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return BoxShown("IDS_DISKSPACE_FULL"); }, 5000));
  Tick();
  EXPECT_EQ(RecKind(0, 0), kRecordNone) << "the schedule waits for room";

  // Room returns on E: the schedule starts again, the status line is white again.
  disks_->Set('E', 900, 1000);
  Tick();
  EXPECT_EQ(dialog_->m_bNoDiskSpace.load(), 0);
  EXPECT_EQ(RecKind(0, 0), kRecordScheduled);
  platform::SendMessage(dialog_->Handle(), platform::WM_TIMER, TIMER_STATUS, 0);
  EXPECT_EQ(disk->TextColor(), QColor(255, 255, 255));
  QTest::qWait(2500);

  // Disarming stops the scheduled recording at the next tick; arming again starts it again.
  ASSERT_EQ(ApplyWindowSchedule(g_PageInfo[0].camera[0], monday8, false, tally.lock, tally.count),
            ScheduleApplyResult::Disarmed);
  Tick();
  EXPECT_EQ(RecKind(0, 0), kRecordNone);
  EXPECT_EQ(dialog_->Recording().RecordingCount(), 0);
  ASSERT_EQ(ApplyWindowSchedule(g_PageInfo[0].camera[0], monday8, true, tally.lock, tally.count),
            ScheduleApplyResult::Armed);
  Tick();
  EXPECT_EQ(RecKind(0, 0), kRecordScheduled);
  QTest::qWait(2500);

  // 09:00:00 ends the hour: the scheduled recording stops in its first second.
  now = MondayAt(9, 0, 0);
  Tick();
  EXPECT_EQ(RecKind(0, 0), kRecordNone);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !VideoWindow(0)->IsRecordingMarked(); }, 3000));

  // Armed for 09:00 as well, it records while its page is not shown; disarmed, the recording
  // ends and the connection kept for it is dropped.
  ScheduleBytes monday9 = {};
  monday9[9] = 1 << 1;
  ASSERT_EQ(ApplyWindowSchedule(g_PageInfo[0].camera[0], monday9, true, tally.lock, tally.count),
            ScheduleApplyResult::Stored);
  EXPECT_EQ(RecKind(0, 1), kRecordNone);
  Click("BTN_PAGERIGHT");
  Tick();
  EXPECT_EQ(RecKind(0, 0), kRecordScheduled);
  EXPECT_EQ(Connected(0, 0), 1);
  EXPECT_EQ(Connected(0, 1), 0) << "an idle window of a page left goes";
  QTest::qWait(2500);
  ASSERT_EQ(ApplyWindowSchedule(g_PageInfo[0].camera[0], monday9, false, tally.lock, tally.count),
            ScheduleApplyResult::Disarmed);
  Tick();
  EXPECT_EQ(RecKind(0, 0), kRecordNone);
  EXPECT_EQ(g_PageInfo[0].camera[0].bConnected, 0);

  // Files: scheduled ones (T) and manual ones (M) on both drives, all playable and indexed.
  std::multiset<std::string> kinds;
  const std::vector<FoundAvi> files = AviFiles();
  for (const FoundAvi& file : files) {
    const std::string name = file.host.filename().string();
    kinds.insert(file.windows.substr(0, 3) + name.substr(name.size() - 8));
  }
  EXPECT_EQ(kinds.count("D:\\T101.avi"), 1u);
  EXPECT_EQ(kinds.count("D:\\M102.avi"), 1u);
  EXPECT_EQ(kinds.count("E:\\T101.avi"), 4u) << "after the switch, after the room came back, after re-arming, at 09:00";
  EXPECT_EQ(kinds.count("E:\\M102.avi"), 1u) << "a manual recording stopped for lack of room stays stopped";
  ExpectPlayableAndIndexed(files);
}

TEST_F(KorvelRecordingTest, SnapshotsAsJpegAndBmpInTheChannelsFolderAndTheTwentyMegabyteRule) {
  ASSERT_TRUE(StartAlder("127.0.0.124"));
  ASSERT_TRUE(StartDvr("127.0.0.125"));
  ASSERT_TRUE(OpenWith({{0, 0, "127.0.0.124", kAlderPort, kKindAlder, 2},
                        {0, 1, "127.0.0.125", kDvrPort, kKindDogwood, 0}},
                       false));
  ASSERT_TRUE(Connect(0));
  ASSERT_TRUE(Connect(1));
  QTest::qWait(1000);  // pictures on both
  // The notice names the picture by its place on this computer.
  const std::regex jpgName(drives_->Root('C') + R"(/Pic/127\.0\.0\.124/03/\d{8}-\d{6}\.JPG)");
  auto header = [](const std::string& path, std::size_t bytes) {
    std::ifstream in(path, std::ios::binary);
    std::string data(bytes, '\0');
    in.read(data.data(), static_cast<std::streamsize>(bytes));
    return in ? data : std::string();
  };

  Select(0);
  Click("BTN_SNAP");
  CTaskbarNotifier* notifier = FindNotifier(dialog_.get());
  ASSERT_NE(notifier, nullptr);
  const std::string jpg = notifier->Text();
  EXPECT_TRUE(std::regex_match(jpg, jpgName)) << jpg;
  EXPECT_EQ(notifier->TextStyle(), kNotifierTextHighlight);
  EXPECT_EQ(notifier->Caption(), "Snap");
  ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(drives_->Host(jpg)) && fs::file_size(drives_->Host(jpg)) > 0; }, 5000));
  EXPECT_EQ(header(drives_->Host(jpg), 3), std::string("\xFF\xD8\xFF"));

  dialog_->m_nSnapFormat = 1;
  dialog_->OnCommand(ID_MENU_SNAP);
  const std::string bmp = notifier->Text();
  EXPECT_EQ(bmp.substr(bmp.size() - 4), ".BMP");
  ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(drives_->Host(bmp)) && fs::file_size(drives_->Host(bmp)) > 54; }, 5000));
  EXPECT_EQ(header(drives_->Host(bmp), 2), "BM");

  // The DVR window's picture is saved by the SDK in its own channel folder.
  Select(1);
  dialog_->m_nSnapFormat = 0;
  Click("BTN_SNAP");
  const std::string dvrJpg = notifier->Text();
  EXPECT_EQ(dvrJpg.rfind(drives_->Root('C') + "/Pic/127.0.0.125/01/", 0), 0u) << dvrJpg;
  EXPECT_EQ(notifier->TextStyle(), kNotifierTextHighlight);
  ASSERT_TRUE(fs::exists(drives_->Host(dvrJpg)));
  EXPECT_EQ(header(drives_->Host(dvrJpg), 3), std::string("\xFF\xD8\xFF"));

  // A format without a file name fails in the notifier and writes nothing.
  dialog_->m_nSnapFormat = 2;
  Select(0);
  const auto before = std::distance(fs::directory_iterator(drives_->Host("C:\\Pic\\127.0.0.124\\03")),
                                    fs::directory_iterator());
  Click("BTN_SNAP");
  EXPECT_EQ(notifier->TextStyle(), 0u);
  EXPECT_NE(notifier->Text().find(dialog_->LanguageText("IDS_SNAP_FAIL")), std::string::npos);

  // 19 MB free on the snapshot drive: refused with the message, nothing saved.
  dialog_->m_nSnapFormat = 0;
  disks_->Set('C', 19, 4000);
  platform::ResetMessageBoxes();
  Click("BTN_SNAP");
  EXPECT_EQ(BoxTexts(), std::vector<QString>{English("IDS_SNAP_NOSPACE")});
  QTest::qWait(300);
  EXPECT_EQ(std::distance(fs::directory_iterator(drives_->Host("C:\\Pic\\127.0.0.124\\03")),
                          fs::directory_iterator()),
            before);
}

// Eight kind-3 channels record (four by hand, four on an all-week schedule) while the
// maintenance thread watches drives whose free space keeps falling below the minimum and
// coming back: recording moves between D and E, stops when neither has room and resumes.
// Whatever is left on disk must play and be indexed exactly once.
TEST_F(KorvelRecordingTest, EightChannelsThroughFillingAndFreeingDrivesLeaveOnlyPlayableIndexedFiles) {
  const char* configured = std::getenv("KORVEL_RECORD_RELIABILITY_SECONDS");
  const int seconds = configured && std::atoi(configured) > 0 ? std::atoi(configured) : 45;
  ASSERT_TRUE(StartAlder("127.0.0.126", 8));
  std::vector<SimulatorSlot> wanted;
  for (int w = 0; w < 8; ++w) wanted.push_back({0, w, "127.0.0.126", kAlderPort, kKindAlder, w});
  ASSERT_TRUE(OpenWith(wanted, true));
  for (int w = 0; w < 8; ++w) ASSERT_TRUE(Connect(w));
  ScheduleBytes always;
  std::fill(std::begin(always), std::end(always), 0x7F);
  RecordingTally& tally = ClientRecordingTally();
  for (int w = 4; w < 8; ++w)
    ASSERT_EQ(ApplyWindowSchedule(g_PageInfo[0].camera[w], always, true, tally.lock, tally.count),
              ScheduleApplyResult::Armed);
  for (int w = 0; w < 4; ++w) ASSERT_TRUE(Press(w, "BTN_RECORD"));

  // Phases of a few seconds each: D full -> E; E full too -> suspended; D back -> D.
  struct Phase {
    int dFree, eFree;
  };
  const Phase phases[] = {{2048, 2048}, {500, 2048}, {500, 500}, {2048, 500}, {2048, 2048}, {599, 701}};
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int suspensions = 0;
  int switches = 0;
  std::string lastDrive = dialog_->RecordDrives().RecDrive();
  for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
    const Phase& phase = phases[i % std::size(phases)];
    disks_->Set('D', phase.dFree, 8192);
    disks_->Set('E', phase.eFree, 8192);
    QTest::qWait(3500);
    if (dialog_->m_bNoDiskSpace.load()) ++suspensions;
    if (dialog_->RecordDrives().RecDrive() != lastDrive) ++switches;
    lastDrive = dialog_->RecordDrives().RecDrive();
    // The operator starts the manual recordings again once there is room.
    if (!dialog_->m_bNoDiskSpace.load())
      for (int w = 0; w < 4; ++w)
        if (RecKind(0, w) == kRecordNone) dialog_->SignalCommand(w, ConnectCommand::StartRecord);
  }
  EXPECT_GT(suspensions, 0);
  EXPECT_GT(switches, 0);
  EXPECT_TRUE(dialog_->ErrorReports().empty());

  // Exit as the operator does: every file is closed and indexed.
  platform::ScriptMessageBoxAnswers({platform::IDYES});
  dialog_->OnCancel();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog_->isVisible(); }, 20000));
  for (int w = 0; w < 8; ++w) EXPECT_EQ(RecKind(0, w), kRecordNone);

  const std::vector<FoundAvi> files = AviFiles();
  std::printf("[ reliability ] %d s, %zu files kept, %d suspended phases, %d drive changes\n", seconds,
              files.size(), suspensions, switches);
  EXPECT_GE(files.size(), 8u);
  ExpectPlayableAndIndexed(files);
}

}  // namespace
}  // namespace korvel_test
