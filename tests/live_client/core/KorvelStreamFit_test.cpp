// Camera windows showing the profile that fits them, in the real main dialog (offscreen): the
// test camera serves a 1280x720 and a 352x288 stream, the test device names them as two
// profiles; each test on its own loopback address. Every picture handed to a window is
// watched: a move between profiles must never put a blank, black or unwritten picture on
// screen, nor leave the window without pictures for longer than a few frame times.

#include <gtest/gtest.h>

#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <vector>

#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelIds.h"
#include "live_client/core/KorvelPreview.h"
#include "live_client/core/KorvelRecording.h"
#include "live_client/core/KorvelStreamFit.h"
#include "live_client/core/PageInfo.h"
#include "live_client/settings/KorvelSettings.h"
#include "platform/Sync.h"
#include "tests/decoder_library/CommandOutput.h"
#include "tests/live_client/core/KorvelSimulatorFixture.h"
#include "tests/live_client/core/TraceCapture.h"

using namespace korvel;
namespace fs = std::filesystem;

namespace korvel_test {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizedBuild = true;
#else
constexpr bool kSanitizedBuild = false;
#endif

namespace {

using Clock = std::chrono::steady_clock;

TEST(ChooseCameraProfile, SmallestThatCoversTheWindowElseTheLargest) {
  const std::vector<CameraProfileSize> camera = {{1280, 720}, {352, 288}, {640, 360}};
  // A 4x4 cell fits in the smallest; one a little wider than 352 needs the next size up.
  EXPECT_EQ(ChooseCameraProfile(camera, 200, 150, false), 1);
  EXPECT_EQ(ChooseCameraProfile(camera, 353, 200, false), 2);
  // Both sides must be covered: 640x360 is wide enough but not tall enough for 400x400.
  EXPECT_EQ(ChooseCameraProfile(camera, 400, 400, false), 0);
  // Exactly the profile's size is covered by it.
  EXPECT_EQ(ChooseCameraProfile(camera, 640, 360, false), 2);
  // Larger than every profile: the largest; alone: the largest whatever the size.
  EXPECT_EQ(ChooseCameraProfile(camera, 1920, 1080, false), 0);
  EXPECT_EQ(ChooseCameraProfile(camera, 10, 10, true), 0);
  // Profiles the camera gave no size are never chosen; none with a size gives none.
  EXPECT_EQ(ChooseCameraProfile({{0, 0}, {352, 288}}, 800, 600, true), 1);
  EXPECT_EQ(ChooseCameraProfile({{0, 0}, {-5, 288}}, 100, 100, false), -1);
  EXPECT_EQ(ChooseCameraProfile({}, 100, 100, true), -1);
}

// One hand-over to a window's render port (or a blank of the window).
struct Presented {
  int window = 0;
  int width = 0;
  int height = 0;
  bool blank = false;
  int meanLuma = 0;     // of a sample of the picture's luma
  bool uniform = true;  // every sampled luma the same
  Clock::time_point at;
};

std::mutex g_presentedLock;
std::vector<Presented> g_presented;  // Guarded by g_presentedLock

void Watch(int window, const unsigned char* picture, int width, int height) {
  Presented seen;
  seen.window = window;
  seen.at = Clock::now();
  seen.blank = picture == nullptr;
  if (picture && width > 0 && height > 0) {
    seen.width = width;
    seen.height = height;
    const long pixels = static_cast<long>(width) * height;
    long sum = 0;
    long samples = 0;
    int first = picture[0];
    for (long i = 0; i < pixels; i += 97) {
      sum += picture[i];
      ++samples;
      if (picture[i] != first) seen.uniform = false;
    }
    seen.meanLuma = static_cast<int>(sum / samples);
  }
  std::lock_guard<std::mutex> guard(g_presentedLock);
  if (g_presented.size() < 50000) g_presented.push_back(seen);
}

class KorvelStreamFitTest : public KorvelSimulatorTest {
 protected:
  void SetUp() override {
    KorvelSimulatorTest::SetUp();
    {
      std::lock_guard<std::mutex> guard(g_presentedLock);
      g_presented.clear();
    }
    SetPresentObserver(&Watch);
  }
  void TearDown() override {
    KorvelSimulatorTest::TearDown();
    SetPresentObserver(nullptr);
  }

  // The test camera and its services on one address; `services` goes to the test device.
  bool StartCameraAndServices(const std::string& address, std::vector<std::string> services = {}) {
    camera_ = std::make_unique<testsupport::AlderSimProcess>("camera_sim");
    if (!camera_->Start({"--address", address, "--port", std::to_string(kCameraPort), "--user", "admin",
                         "--password", "s3cret", "--preencoded", "3", "--stream",
                         "main:h264:none:1280x720", "--stream", "sub:h264:none:352x288"},
                        std::chrono::seconds(60)))
      return false;
    services.insert(services.begin(), {"--main-size", "1280x720", "--sub-size", "352x288"});
    return StartServices(address, address, services) != nullptr;
  }
  bool OpenWithCamera(const std::string& address) {
    SimulatorSlot slot{0, 0, address, kCameraPort, kKindCamera, 0, "admin", "s3cret"};
    slot.port2 = kServicesPort;
    CKorvelSettings settings;
    settings.m_strRecDrive = "D:\\";
    settings.m_nRecDriveMask = 3;
    return OpenWithSlots({slot}, settings);
  }
  bool ConnectWindow(int w) {
    emit dialog_->findChild<QTreeWidget*>("TREE_CONFIG")->itemDoubleClicked(TreeItem(w), 0);
    return QTest::qWaitFor([&] { return TreeItem(w)->data(0, Qt::UserRole + 1).toInt() == kTreeImageConnected; },
                           15000);
  }
  bool WaitIdle(int w) {
    return QTest::qWaitFor(
        [&] { return platform::WaitForOne(dialog_->IdleEvent(w), 0) == platform::WAIT_OBJECT_0; }, 20000);
  }
  static int RecKind(int w) {
    std::lock_guard<platform::CriticalSection> guard(g_PageInfo[0].camera[w].lock);
    return g_PageInfo[0].camera[w].nRecKind;
  }
  // Waits until window w was handed `count` pictures of width x height in a row.
  static bool WaitForPictures(int w, int width, int height, int count = 10, int ms = 15000) {
    return QTest::qWaitFor(
        [&] {
          std::lock_guard<std::mutex> guard(g_presentedLock);
          int run = 0;
          for (auto it = g_presented.rbegin(); it != g_presented.rend() && run < count; ++it) {
            if (it->window != w) continue;
            if (it->blank || it->width != width || it->height != height) return false;
            ++run;
          }
          return run >= count;
        },
        ms);
  }
  static std::vector<Presented> PresentedTo(int w) {
    std::lock_guard<std::mutex> guard(g_presentedLock);
    std::vector<Presented> mine;
    for (const Presented& seen : g_presented)
      if (seen.window == w) mine.push_back(seen);
    return mine;
  }
  // The sizes window w showed, each run of one size once, e.g. "1280x720 352x288".
  static std::string SizeRuns(const std::vector<Presented>& pictures) {
    std::ostringstream runs;
    int width = -1;
    int height = -1;
    for (const Presented& seen : pictures) {
      if (seen.blank || (seen.width == width && seen.height == height)) continue;
      width = seen.width;
      height = seen.height;
      runs << (runs.tellp() > 0 ? " " : "") << width << "x" << height;
    }
    return runs.str();
  }
  // Every picture from the first on is a decoded one and the window never went blank or
  // waited long; the longest wait between two pictures goes to `longestGapMs`.
  static void ExpectUnbroken(const std::vector<Presented>& pictures, long& longestGapMs) {
    longestGapMs = 0;
    bool started = false;
    Clock::time_point last;
    int bad = 0;
    for (const Presented& seen : pictures) {
      if (!started && seen.blank) continue;  // the idle window before the connection
      EXPECT_FALSE(seen.blank) << "the window went blank between pictures";
      if (seen.blank) continue;
      // The test camera's picture is a bright ball on a blue-grey ground: never uniform,
      // never as dark as black (16) or an unwritten buffer (0).
      if (seen.uniform || seen.meanLuma < 35) ++bad;
      if (started)
        longestGapMs = std::max<long>(
            longestGapMs, std::chrono::duration_cast<std::chrono::milliseconds>(seen.at - last).count());
      started = true;
      last = seen.at;
    }
    EXPECT_EQ(bad, 0) << "pictures that were not the camera's";
  }
};

TEST_F(KorvelStreamFitTest, LayoutAndFullScreenMoveTheWindowBetweenProfilesWithoutABlankPicture) {
  ASSERT_TRUE(StartCameraAndServices("127.0.0.101"));
  ASSERT_TRUE(OpenWithCamera("127.0.0.101"));
  dialog_->OnCommand(ID_MENU_LAYOUT_1);
  ASSERT_TRUE(ConnectWindow(0));
  // Alone the window shows the largest profile, its slot's.
  ASSERT_TRUE(WaitForPictures(0, 1280, 720));
  EXPECT_EQ(ShownCameraProfile(0, 0), 0);

  // In a grid of sixteen the 352x288 profile covers the window; alone again, the largest.
  dialog_->OnCommand(ID_MENU_LAYOUT_16);
  ASSERT_TRUE(WaitForPictures(0, 352, 288));
  EXPECT_EQ(ShownCameraProfile(0, 0), 1);
  QTest::qWait(500);
  dialog_->OnCommand(ID_MENU_LAYOUT_1);
  ASSERT_TRUE(WaitForPictures(0, 1280, 720));
  EXPECT_EQ(ShownCameraProfile(0, 0), 0);

  // Full screen counts as alone, whatever the grid.
  dialog_->OnCommand(ID_MENU_LAYOUT_16);
  ASSERT_TRUE(WaitForPictures(0, 352, 288));
  dialog_->OnCommand(IDC_BTN_FULLSCREEN);
  ASSERT_TRUE(WaitForPictures(0, 1280, 720));
  dialog_->OnCommand(IDC_BTN_FULLSCREEN);
  ASSERT_TRUE(WaitForPictures(0, 352, 288));

  // Off, the window goes back to its slot's profile and stays there.
  dialog_->SetFitStreamToWindow(false);
  ASSERT_TRUE(WaitForPictures(0, 1280, 720));
  QTest::qWait(1500);
  EXPECT_EQ(ShownCameraProfile(0, 0), 0);
  EXPECT_EQ(IncomingCameraProfile(0, 0), -1);

  const std::vector<Presented> pictures = PresentedTo(0);
  // One run per layout: no move back and forth, and the old stream's pictures end at the move.
  EXPECT_EQ(SizeRuns(pictures), "1280x720 352x288 1280x720 352x288 1280x720 352x288 1280x720");
  long longestGapMs = 0;
  ExpectUnbroken(pictures, longestGapMs);
  std::printf("pictures handed to the window: %zu, longest wait between two: %ld ms\n", pictures.size(),
              longestGapMs);
  // 25 pictures/s: a move may cost a few frame times, never a visible stall.
  if (!kSanitizedBuild) {
    EXPECT_LE(longestGapMs, 400);
  }
}

TEST_F(KorvelStreamFitTest, ARecordingWindowRecordsAndShowsOnlyItsSlotsProfile) {
  ASSERT_TRUE(StartCameraAndServices("127.0.0.102"));
  ASSERT_TRUE(OpenWithCamera("127.0.0.102"));
  dialog_->OnCommand(ID_MENU_LAYOUT_16);
  ASSERT_TRUE(ConnectWindow(0));
  ASSERT_TRUE(WaitForPictures(0, 352, 288)) << "the grid's cell takes the small profile";

  // The recording starts on the slot's profile: the window goes back to it without a blank.
  dialog_->SignalCommand(0, ConnectCommand::StartRecord);
  ASSERT_TRUE(WaitIdle(0));
  ASSERT_EQ(RecKind(0), kRecordManual);
  ASSERT_TRUE(WaitForPictures(0, 1280, 720));
  // Neither the layout nor the status timer moves a recording window.
  dialog_->OnCommand(ID_MENU_LAYOUT_4);
  QTest::qWait(500);
  dialog_->OnCommand(ID_MENU_LAYOUT_16);
  QTest::qWait(2500);
  EXPECT_EQ(ShownCameraProfile(0, 0), 0);
  EXPECT_EQ(IncomingCameraProfile(0, 0), -1);
  EXPECT_TRUE(WaitForPictures(0, 1280, 720, 20, 100));
  dialog_->SignalCommand(0, ConnectCommand::StopRecord);
  ASSERT_TRUE(WaitIdle(0));
  ASSERT_EQ(RecKind(0), kRecordNone);
  // Once it no longer records, the window fits its cell again.
  ASSERT_TRUE(WaitForPictures(0, 352, 288));

  const std::vector<Presented> pictures = PresentedTo(0);
  EXPECT_EQ(SizeRuns(pictures), "1280x720 352x288 1280x720 352x288");
  long longestGapMs = 0;
  ExpectUnbroken(pictures, longestGapMs);
  if (!kSanitizedBuild) {
    EXPECT_LE(longestGapMs, 400);
  }

  // The file holds the slot's 1280x720 pictures alone, from a key frame on.
  std::vector<fs::path> files;
  const fs::path video = fs::path(drives_->Root('D')) / "VIDEO";
  ASSERT_TRUE(fs::exists(video));
  for (const auto& entry : fs::recursive_directory_iterator(video))
    if (entry.is_regular_file() && entry.path().extension() == ".avi") files.push_back(entry.path());
  ASSERT_EQ(files.size(), 1u);
  const auto sizes = halvane_test::RunCommand(
      "ffprobe -v error -select_streams v:0 -show_entries frame=width,height,key_frame -of csv=p=0 " +
      halvane_test::Quoted(files[0].string()) + " 2>&1");
  std::istringstream lines(sizes.output);
  std::string line;
  int frames = 0;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    // key_frame,width,height (a frame with side data adds fields after them)
    std::istringstream fields(line);
    std::string key, width, height;
    std::getline(fields, key, ',');
    std::getline(fields, width, ',');
    std::getline(fields, height, ',');
    if (frames == 0) {
      EXPECT_EQ(key, "1") << "the file begins with a key frame";
    }
    EXPECT_EQ(width + "x" + height, "1280x720") << "frame " << frames << ": " << line;
    ++frames;
  }
  EXPECT_GE(frames, 25) << sizes.output;
}

TEST_F(KorvelStreamFitTest, AProfileWhoseStreamDoesNotOpenLeavesTheWindowOnItsStream) {
  TraceCapture traces;
  ASSERT_TRUE(traces.Registered());
  // The small profile names a stream the camera does not have.
  ASSERT_TRUE(StartCameraAndServices("127.0.0.103", {"--sub-path", "missing"}));
  ASSERT_TRUE(OpenWithCamera("127.0.0.103"));
  dialog_->OnCommand(ID_MENU_LAYOUT_16);
  ASSERT_TRUE(ConnectWindow(0));
  // The UI thread must keep running meanwhile: the profile is chosen on it.
  EXPECT_TRUE(QTest::qWaitFor([&] { return traces.Count("window 1: profile 1 did not open") >= 1; }, 10000));
  // The window keeps showing its stream, and the profile is not asked for at every tick.
  QTest::qWait(3000);
  EXPECT_TRUE(WaitForPictures(0, 1280, 720, 40, 100));
  EXPECT_EQ(ShownCameraProfile(0, 0), 0);
  EXPECT_EQ(traces.Count("profile 1 did not open"), 1);
  long longestGapMs = 0;
  ExpectUnbroken(PresentedTo(0), longestGapMs);
  if (!kSanitizedBuild) {
    EXPECT_LE(longestGapMs, 400);
  }
}

}  // namespace
}  // namespace korvel_test
