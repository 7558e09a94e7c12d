// The live client against the device simulators on loopback, driven through the real main
// dialog (offscreen): logins shared per recorder, failures reaching the error report, moving
// pictures in the windows, lost connections, the sound of the selected window and the PTZ pad.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QTest>
#include <QTreeWidget>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "device_sdk/Glimmet/Glimmet.h"
#include "live_client/core/CKorvelLive.h"
#include "live_client/core/CYuntaiButton.h"
#include "live_client/core/KorvelColors.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelIds.h"
#include "live_client/core/KorvelLogin.h"
#include "live_client/core/KorvelPreview.h"
#include "live_client/core/LoginInfo.h"
#include "live_client/core/PageInfo.h"
#include "common/qt/SystemText.h"
#include "platform/MessageBox.h"
#include "tests/live_client/core/KorvelSimulatorFixture.h"
#include "tests/live_client/core/TraceCapture.h"

using namespace korvel;
namespace fs = std::filesystem;

namespace korvel_test {
namespace {

// Serves the UI thread until `condition` holds; false when `timeout_ms` passed first.
template <typename Condition>
bool WaitUntil(Condition condition, int timeout_ms) {
  return QTest::qWaitFor(condition, timeout_ms);
}

class KorvelLiveTest : public KorvelSimulatorTest {
 protected:
  // Writes the slots into the configuration and opens the dialog with the real connection
  // work attached.
  bool OpenWith(const std::vector<SimulatorSlot>& specs) {
    CKorvelSettings settings;
    settings.m_strRecDrive = "D:\\";
    return OpenWithSlots(specs, settings);
  }

  int TreeImage(int w) const { return TreeItem(w)->data(0, Qt::UserRole + 1).toInt(); }
  void DoubleClickTree(int w) {
    auto* tree = dialog_->findChild<QTreeWidget*>("TREE_CONFIG");
    emit tree->itemDoubleClicked(TreeItem(w), 0);
  }
  // Whether the slot counts as connected, read under its lock: the worker changes it.
  static int Connected(int page, int w) {
    std::lock_guard<platform::CriticalSection> guard(g_PageInfo[page].camera[w].lock);
    return g_PageInfo[page].camera[w].bConnected;
  }
  // Recorder logins in the table (the blank records made at start-up do not count). The
  // workers add and remove records meanwhile: the table is read under its own lock.
  static int Logins() {
    std::lock_guard<platform::CriticalSection> guard(g_csLoginTable);
    int count = 0;
    for (const auto& record : g_LoginTable)
      if (record && !record->strAddr.empty()) ++count;
    return count;
  }
  // True when window w is being drawn and shows a picture that differs from an earlier read
  // within a few seconds (the simulators' pictures carry a moving bar and a clock).
  bool PicturesMove(int w) {
    CVideoStatic* surface = VideoWindow(w)->Surface();
    const unsigned start = surface->PresentCount();
    if (!QTest::qWaitFor([&] { return surface->PresentCount() > start + 5; }, 10000)) return false;
    const QImage first = surface->grab().toImage();
    return QTest::qWaitFor([&] { return surface->grab().toImage() != first; }, 4000);
  }
  // With SUITE_SCREENSHOT_DIR set, the main window is saved there as <name>.png.
  void SaveShot(const char* name) {
    const char* folder = std::getenv("SUITE_SCREENSHOT_DIR");
    if (folder != nullptr && *folder != '\0')
      dialog_->grab().save(QString::fromUtf8(folder) + "/" + QString::fromLatin1(name) + ".png");
  }
  // True once window w shows nothing but its idle background (the blank is painted by the UI
  // thread, so it is waited for).
  bool ShowsIdle(int w, int timeout_ms = 3000) {
    CVideoStatic* surface = VideoWindow(w)->Surface();
    const QRgb idle = korvel::ColorRef(korvel::kSurfaceIdleColor).rgb();
    return QTest::qWaitFor([&] {
      const QImage shown = surface->grab().toImage().convertToFormat(QImage::Format_RGB32);
      for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
          if (shown.pixel(x, y) != idle) return false;
      return !shown.isNull();
    }, timeout_ms);
  }
  bool HasReport(platform::WPARAM wParam, platform::LPARAM lParam = -1) const {
    for (const auto& entry : dialog_->ErrorReports())
      if (entry.wParam == wParam && (lParam < 0 || entry.lParam == lParam)) return true;
    return false;
  }
  CYuntaiButton* PtzButton(const char* name) const {
    return dialog_->findChild<CYuntaiButton*>(QString::fromLatin1(name));
  }
  void SelectInTree(int w) {
    auto* tree = dialog_->findChild<QTreeWidget*>("TREE_CONFIG");
    tree->setCurrentItem(TreeItem(w));
  }

};

constexpr platform::WPARAM ReportCode(int shown) {
  return (static_cast<platform::WPARAM>(shown) << 16) | 1u;
}

TEST_F(KorvelLiveTest, DvrWindowsShareOneLoginShowMovingPicturesAndLogOutWithTheLast) {
  ASSERT_TRUE(StartDvr("127.0.0.70", "1234"));
  ASSERT_TRUE(OpenWith({{0, 0, "127.0.0.70", kDvrPort, 0, 0, "admin", "1234"},
                        {0, 1, "127.0.0.70", kDvrPort, 0, 1, "admin", "1234"}}));

  EXPECT_EQ(TreeImage(0), kTreeImageAssigned);
  DoubleClickTree(0);
  // Pending at once, connected when the worker is done.
  EXPECT_EQ(TreeImage(0), kTreeImagePending);
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(0) == kTreeImageConnected; }, 15000)) << "TreeImage(0) == kTreeImageConnected";
  EXPECT_EQ(g_nCurWnd, 0);
  ASSERT_TRUE(WaitUntil([&] { return Control("BTN_RECORD")->isEnabled(); }, 10000)) << "Control(\"BTN_RECORD\")->isEnabled()";
  EXPECT_TRUE(Control("BTN_RECORD")->isVisible());
  EXPECT_TRUE(PicturesMove(0));
  EXPECT_EQ(Logins(), 1);

  DoubleClickTree(1);
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(1) == kTreeImageConnected; }, 15000)) << "TreeImage(1) == kTreeImageConnected";
  EXPECT_TRUE(PicturesMove(1));
  EXPECT_EQ(Logins(), 1) << "the second channel of the recorder reuses the login";

  // A recording window asks first; No leaves it connected.
  {
    std::lock_guard<platform::CriticalSection> guard(g_PageInfo[0].camera[0].lock);
    g_PageInfo[0].camera[0].nRecKind = 1;
  }
  platform::ResetMessageBoxes();
  platform::ScriptMessageBoxAnswers({platform::IDNO});
  DoubleClickTree(0);
  ASSERT_TRUE(WaitUntil([&] { return platform::ShownMessageBoxes().size() == 1u; }, 5000));
  EXPECT_EQ(FromSystemText(platform::ShownMessageBoxes()[0].text), English("IDS_QUEST_DISCONNECT"));
  EXPECT_EQ(platform::ShownMessageBoxes()[0].caption, "KORVEL");
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(0) == kTreeImageConnected; }, 5000));
  ASSERT_TRUE(WaitUntil([&] { return platform::WaitForOne(dialog_->IdleEvent(0), 0) == platform::WAIT_OBJECT_0; }, 5000));
  EXPECT_EQ(Connected(0, 0), 1);
  EXPECT_TRUE(PicturesMove(0));
  {
    std::lock_guard<platform::CriticalSection> guard(g_PageInfo[0].camera[0].lock);
    g_PageInfo[0].camera[0].nRecKind = 0;
  }

  // Disconnecting the first keeps the login the second still uses; the second logs out.
  DoubleClickTree(0);
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(0) == kTreeImageAssigned; }, 15000)) << "TreeImage(0) == kTreeImageAssigned";
  ASSERT_TRUE(WaitUntil([&] { return platform::WaitForOne(dialog_->IdleEvent(0), 0) == platform::WAIT_OBJECT_0; }, 10000)) << "platform::WaitForOne(dialog_->IdleEvent(0), 0) == platform::WAIT_OBJECT_0";
  EXPECT_EQ(Logins(), 1);
  EXPECT_FALSE(Control("BTN_RECORD")->isEnabled());
  const unsigned stopped = VideoWindow(0)->Surface()->PresentCount();
  QTest::qWait(300);
  EXPECT_EQ(VideoWindow(0)->Surface()->PresentCount(), stopped) << "a stopped preview still draws";

  DoubleClickTree(1);
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(1) == kTreeImageAssigned; }, 15000)) << "TreeImage(1) == kTreeImageAssigned";
  ASSERT_TRUE(WaitUntil([&] { return Logins() == 0; }, 5000)) << "Logins() == 0";
  EXPECT_TRUE(dialog_->ErrorReports().empty());
}

TEST_F(KorvelLiveTest, RefusedAndUnresolvableConnectsReachTheErrorReport) {
  ASSERT_TRUE(StartDvr("127.0.0.71", "right"));
  const std::string dynamicName = std::string("shop7") + ".DDNS-Alder.net";
  ASSERT_TRUE(OpenWith({{0, 2, "127.0.0.71", kDvrPort, 0, 0, "admin", "wrong"},
                        {0, 3, dynamicName, kDvrPort, 1, 0, "admin", "right"}}));

  DoubleClickTree(2);
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(2) == kTreeImageFailed; }, 15000)) << "TreeImage(2) == kTreeImageFailed";
  ASSERT_TRUE(WaitUntil([&] { return HasReport(ReportCode(104), (2 << 16) | 0); }, 10000)) << "HasReport(ReportCode(104), (2 << 16) | 0)";
  EXPECT_EQ(Logins(), 0) << "a refused login leaves no record";
  EXPECT_FALSE(Control("BTN_RECORD")->isEnabled());

  // A name of the dynamic-DNS domain is never looked up for a DVR: 98 at once.
  DoubleClickTree(3);
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(3) == kTreeImageFailed; }, 5000)) << "TreeImage(3) == kTreeImageFailed";
  ASSERT_TRUE(WaitUntil([&] { return HasReport(ReportCode(98), (3 << 16) | 0); }, 10000)) << "HasReport(ReportCode(98), (3 << 16) | 0)";
  EXPECT_EQ(Logins(), 0);

  // A failed window disconnects on the next double click and can be tried again.
  DoubleClickTree(2);
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(2) == kTreeImageAssigned; }, 5000)) << "TreeImage(2) == kTreeImageAssigned";

  // Unassigned windows only tell the operator.
  platform::ResetMessageBoxes();
  DoubleClickTree(9);
  const auto boxes = platform::ShownMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(FromSystemText(boxes[0].text), English("IDS_CAMERA_NOASSIGN"));
}

TEST_F(KorvelLiveTest, DroppedDvrMarksItsWindowsLostAndAPageChangeLeavesThem) {
  ASSERT_TRUE(StartDvr("127.0.0.72", "1234"));
  ASSERT_TRUE(OpenWith({{0, 0, "127.0.0.72", kDvrPort, 0, 0, "admin", "1234"},
                        {0, 1, "127.0.0.72", kDvrPort, 0, 2, "admin", "1234"}}));
  DoubleClickTree(0);
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(0) == kTreeImageConnected; }, 15000)) << "TreeImage(0) == kTreeImageConnected";
  DoubleClickTree(1);
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(1) == kTreeImageConnected; }, 15000)) << "TreeImage(1) == kTreeImageConnected";

  dvr_->DropConnections();
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(0) == kTreeImageFailed; }, 15000)) << "TreeImage(0) == kTreeImageFailed";
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(1) == kTreeImageFailed; }, 5000)) << "TreeImage(1) == kTreeImageFailed";
  EXPECT_TRUE(ShowsIdle(0)) << "a lost window keeps no picture that looks live";
  EXPECT_TRUE(ShowsIdle(1));
  ASSERT_TRUE(WaitUntil([&] { return HasReport(5); }, 10000)) << "HasReport(5)";
  EXPECT_EQ(std::count_if(dialog_->ErrorReports().begin(), dialog_->ErrorReports().end(),
                          [](const auto& entry) { return entry.wParam == 5; }),
            1) << "one loss report per login";

  Click("BTN_PAGERIGHT");
  Click("BTN_PAGELEFT");
  QTest::qWait(500);
  EXPECT_EQ(TreeImage(0), kTreeImageFailed);
  EXPECT_EQ(Connected(0, 0), 0) << "a lost window is not reconnected";
  const unsigned presents = VideoWindow(0)->Surface()->PresentCount();
  QTest::qWait(400);
  EXPECT_EQ(VideoWindow(0)->Surface()->PresentCount(), presents);

  // The operator reconnects by hand: disconnect every window of the recorder (the last one
  // logs out of the dropped login), then connect again.
  DoubleClickTree(0);
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(0) == kTreeImageAssigned; }, 15000)) << "TreeImage(0) == kTreeImageAssigned";
  EXPECT_EQ(Logins(), 1) << "window 1 still holds the login";
  DoubleClickTree(1);
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(1) == kTreeImageAssigned; }, 15000)) << "TreeImage(1) == kTreeImageAssigned";
  ASSERT_TRUE(WaitUntil([&] { return Logins() == 0; }, 5000));
  DoubleClickTree(0);
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(0) == kTreeImageConnected; }, 15000)) << "TreeImage(0) == kTreeImageConnected";
  EXPECT_TRUE(PicturesMove(0));
}

// A window that no longer gets pictures shows its idle background at once, whatever ended
// them: the page was left, the window was disconnected, or every window was.
TEST_F(KorvelLiveTest, WindowsWithoutPicturesShowTheirIdleBackground) {
  ASSERT_TRUE(StartDvr("127.0.0.200", "1234"));
  ASSERT_TRUE(OpenWith({{0, 0, "127.0.0.200", kDvrPort, 0, 0, "admin", "1234"},
                        {0, 1, "127.0.0.200", kDvrPort, 0, 1, "admin", "1234"}}));
  DoubleClickTree(0);
  DoubleClickTree(1);
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(0) == kTreeImageConnected; }, 15000));
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(1) == kTreeImageConnected; }, 15000));
  ASSERT_TRUE(PicturesMove(0));
  ASSERT_TRUE(PicturesMove(1));

  Click("BTN_PAGERIGHT");  // a page without cameras
  QTest::qWait(300);
  SaveShot("page-left");
  EXPECT_TRUE(ShowsIdle(0));
  EXPECT_TRUE(ShowsIdle(1));
  QTest::qWait(300);  // no late picture of the page left comes back
  EXPECT_TRUE(ShowsIdle(0, 0));
  Click("BTN_PAGELEFT");
  EXPECT_TRUE(PicturesMove(0)) << "the page's windows come back";

  // While the program closes, the callbacks of running previews draw nothing more.
  g_bClosing = 1;
  QTest::qWait(200);
  const unsigned closedAt = VideoWindow(0)->Surface()->PresentCount();
  QTest::qWait(500);
  EXPECT_EQ(VideoWindow(0)->Surface()->PresentCount(), closedAt);
  g_bClosing = 0;

  DoubleClickTree(0);  // disconnect
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(0) == kTreeImageAssigned; }, 15000));
  EXPECT_TRUE(ShowsIdle(0));
  // The record mark follows the slot afterwards, and does not bring the old picture back.
  dialog_->SetRecordMark(0, 0, 0);
  QTest::qWait(200);
  EXPECT_TRUE(ShowsIdle(0, 0));

  ASSERT_TRUE(PicturesMove(1));
  Click("BTN_DISCONNECTALL");
  QTest::qWait(300);
  SaveShot("disconnect-all");
  EXPECT_TRUE(ShowsIdle(1));
}

TEST_F(KorvelLiveTest, AlderWindowDecodesIntoItsWindowFollowsAFormatChangeAndNoticesADrop) {
  ASSERT_TRUE(StartAlder("127.0.0.73"));
  ASSERT_TRUE(OpenWith({{0, 4, "127.0.0.73", kAlderPort, 3, 1, "op", "pw"},
                        {1, 4, "127.0.0.73", kAlderPort, 3, 2, "op", "pw"}}));
  DoubleClickTree(4);
  EXPECT_EQ(TreeImage(4), kTreeImagePending);
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(4) == kTreeImageConnected; }, 15000)) << "TreeImage(4) == kTreeImageConnected";
  EXPECT_TRUE(PicturesMove(4));
  EXPECT_EQ(LoadPreviewMediaInfo(4).nWidth, 352);

  alder_->Command("format 2 704x576");
  ASSERT_TRUE(WaitUntil([&] { return LoadPreviewMediaInfo(4).nWidth == 704; }, 10000)) << "LoadPreviewMediaInfo(4).nWidth == 704";
  EXPECT_EQ(LoadPreviewMediaInfo(4).nHeight, 576);
  EXPECT_TRUE(PicturesMove(4)) << "pictures go on at the new size";

  alder_->Command("drop");
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(4) == kTreeImageFailed; }, 15000)) << "TreeImage(4) == kTreeImageFailed";
  EXPECT_EQ(g_PageInfo[0].camera[4].nLostFlag, 1);
  EXPECT_TRUE(ShowsIdle(4)) << "a lost window keeps no picture that looks live";
  Click("BTN_PAGERIGHT");
  Click("BTN_PAGELEFT");
  QTest::qWait(500);
  EXPECT_EQ(TreeImage(4), kTreeImageFailed);
  EXPECT_EQ(Connected(0, 4), 0);

  DoubleClickTree(4);
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(4) == kTreeImageAssigned; }, 15000)) << "TreeImage(4) == kTreeImageAssigned";
  ASSERT_TRUE(WaitUntil([&] { return Logins() == 0; }, 5000)) << "Logins() == 0";
}

// Frequency of a 16-bit mono stretch by its zero crossings.
double ToneOf(const std::vector<int16_t>& samples, std::size_t from, std::size_t count,
              int rate) {
  int crossings = 0;
  for (std::size_t i = from + 1; i < from + count && i < samples.size(); ++i)
    if ((samples[i - 1] < 0) != (samples[i] < 0)) ++crossings;
  return crossings / 2.0 / (static_cast<double>(count) / rate);
}

TEST_F(KorvelLiveTest, SoundFollowsTheSelectedWindowAndMuteSilencesIt) {
  const fs::path wav = fs::path(drives_->Root('C')) / "sound.wav";
  setenv("KORVEL_AUDIO", ("wav:" + wav.string()).c_str(), 1);
  ASSERT_TRUE(StartDvr("127.0.0.74", "1234"));
  ASSERT_TRUE(OpenWith({{0, 0, "127.0.0.74", kDvrPort, 0, 0, "admin", "1234"},
                        {0, 1, "127.0.0.74", kDvrPort, 0, 3, "admin", "1234"}}));
  DoubleClickTree(1);
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(1) == kTreeImageConnected; }, 15000)) << "TreeImage(1) == kTreeImageConnected";
  DoubleClickTree(0);
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(0) == kTreeImageConnected; }, 15000)) << "TreeImage(0) == kTreeImageConnected";
  // Window 0 (channel 1, 400 Hz) is selected; then window 1 (channel 4, 700 Hz).
  QTest::qWait(2000);
  SelectInTree(1);
  EXPECT_EQ(g_nCurWnd, 1);
  QTest::qWait(2000);
  Click("BTN_MUTE");
  EXPECT_EQ(g_bMute.load(), 1);
  EXPECT_EQ(g_bSoundStarted.load(), 0);
  dialog_.reset();
  unsetenv("KORVEL_AUDIO");

  std::ifstream in(wav, std::ios::binary);
  ASSERT_TRUE(in.good());
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 44u + 8000u);
  std::vector<int16_t> samples((bytes.size() - 44) / 2);
  std::memcpy(samples.data(), bytes.data() + 44, samples.size() * 2);
  // Sound of about four seconds: the first stretch is channel 1, the last channel 4.
  ASSERT_GT(samples.size(), 8000u * 3);
  EXPECT_NEAR(ToneOf(samples, 800, 4000, 8000), 400.0, 25.0);
  EXPECT_NEAR(ToneOf(samples, samples.size() - 4800, 4000, 8000), 700.0, 25.0);
  // The switch moved the sound once, without the two channels ever mixed.
  EXPECT_LT(samples.size(), 8000u * 6) << "sound kept playing after the mute";
}

TEST_F(KorvelLiveTest, PtzPadSteersTheSelectedWindowOfEitherFamily) {
  TraceCapture traces;
  ASSERT_TRUE(traces.Registered());
  ASSERT_TRUE(StartDvr("127.0.0.75", "1234"));
  ASSERT_TRUE(StartAlder("127.0.0.76"));
  ASSERT_TRUE(OpenWith({{0, 0, "127.0.0.75", kDvrPort, 0, 1, "admin", "1234"},
                        {0, 1, "127.0.0.76", kAlderPort, 3, 2, "op", "pw"}}));
  DoubleClickTree(1);
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(1) == kTreeImageConnected; }, 15000)) << "TreeImage(1) == kTreeImageConnected";
  DoubleClickTree(0);
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(0) == kTreeImageConnected; }, 15000)) << "TreeImage(0) == kTreeImageConnected";
  ASSERT_EQ(g_nCurWnd, 0);

  // DVR window: "up" is code 1 while held, 0 (stop) on release; the picture follows the head.
  CYuntaiButton* up = PtzButton("BTN_PTZ_UP");
  ASSERT_NE(up, nullptr);
  EXPECT_EQ(up->nCode, 1);
  EXPECT_EQ(PtzButton("BTN_ZOOM_IN")->nCode, 6);
  QTest::mousePress(up, Qt::LeftButton);
  EXPECT_TRUE(traces.WaitFor("ZL: Yuitai Control - cmd: 1, START: 1"));
  EXPECT_TRUE(PicturesMove(0));
  QTest::mouseRelease(up, Qt::LeftButton);
  EXPECT_TRUE(traces.WaitFor("ZL: Yuitai Control - cmd: 1, START: 0"));

  // Kind-3 window: the same button sends 8 with its check value and user name, which the
  // device checks and accepts.
  SelectInTree(1);
  ASSERT_EQ(g_nCurWnd, 1);
  EXPECT_EQ(up->nCode, 8);
  QTest::mousePress(up, Qt::LeftButton);
  QTest::mouseRelease(up, Qt::LeftButton);
  EXPECT_TRUE(alder_->WaitForLine("ptz channel=3 code=8 start=1 accepted", std::chrono::seconds(5)));
  EXPECT_TRUE(alder_->WaitForLine("ptz channel=3 code=8 start=0 accepted", std::chrono::seconds(5)));

  // Automatic scan toggles on the press; its release sends nothing.
  CYuntaiButton* autoScan = PtzButton("BTN_PTZ_AUTO");
  ASSERT_NE(autoScan, nullptr);
  QTest::mouseClick(autoScan, Qt::LeftButton);
  EXPECT_TRUE(alder_->WaitForLine("ptz channel=3 code=12 start=1 accepted", std::chrono::seconds(5)));
  EXPECT_TRUE(autoScan->isChecked());
  QTest::mouseClick(autoScan, Qt::LeftButton);
  EXPECT_TRUE(alder_->WaitForLine("ptz channel=3 code=13 start=1 accepted", std::chrono::seconds(5)));
  EXPECT_FALSE(autoScan->isChecked());
  QTest::mouseClick(autoScan, Qt::LeftButton);
  EXPECT_TRUE(autoScan->isChecked());
  EXPECT_EQ(traces.Count("ID: 12, STOP:0"), 0) << "a release of the scan button sent a stop";

  // The DVR family has no brush or scan codes: those keep the kind-3 ones; the stored scan
  // state comes back with the window.
  SelectInTree(0);
  EXPECT_EQ(up->nCode, 1);
  EXPECT_EQ(PtzButton("BTN_BRUSH_OFF")->nCode, 6);
  SelectInTree(1);
  EXPECT_TRUE(autoScan->isChecked());
}

TEST_F(KorvelLiveTest, DynamicDnsAlderIsReachedThroughAPunchedHole) {
  ASSERT_TRUE(StartAlder("127.0.0.77", 4, 8100));
  const fs::path table = fs::path(drives_->Root('C')) / "holes.tab";
  {
    std::ofstream out(table);
    out << "gate.ddns-alder.net 0\n"
        << "gate.ddns-alder.net 2 ip=127.0.0.77 service=8100,8101\n";
  }
  setenv("TESKLINE_TABLE", table.string().c_str(), 1);
  // The configured port is not the device's: only the traversal's answer reaches it.
  ASSERT_TRUE(OpenWith({{0, 6, "gate.ddns-alder.net", 7000, 3, 0, "op", "pw"}}));
  DoubleClickTree(6);
  ASSERT_TRUE(WaitUntil([&] { return TreeImage(6) == kTreeImageConnected; }, 20000)) << "TreeImage(6) == kTreeImageConnected";
  EXPECT_TRUE(PicturesMove(6));
  ASSERT_EQ(Logins(), 1);
  EXPECT_EQ(std::string(g_LoginTable.back()->frwConnect.szAddress), "127.0.0.77");
  EXPECT_EQ(g_LoginTable.back()->frwConnect.wPort, 8100);
  unsetenv("TESKLINE_TABLE");
}

}  // namespace
}  // namespace korvel_test

namespace korvel_test {
namespace {

// Sixteen windows of both families live side by side. With KORVEL_SCREENSHOT set to a file
// name the dialog is saved there as a picture (run under Xvfb for a screenshot of the real
// window system).
TEST_F(KorvelLiveTest, SixteenWindowsOfBothFamiliesLiveAtOnce) {
  ASSERT_TRUE(StartDvr("127.0.0.79", "1234", 2));
  ASSERT_TRUE(StartAlder("127.0.0.80", 8));
  std::vector<SimulatorSlot> specs;
  for (int w = 0; w < 16; ++w) {
    // The 4 x 4 layout shows windows 0-15.
    const int window = w;
    if (w < 8) specs.push_back({0, window, "127.0.0.79", kDvrPort, 2, w, "admin", "1234"});
    else specs.push_back({0, window, "127.0.0.80", kAlderPort, 3, w - 8, "op", "pw"});
  }
  ASSERT_TRUE(OpenWith(specs));
  Click("BTN_SIXTEEN");
  ASSERT_EQ(ShownWindows().size(), 16u);
  for (const SimulatorSlot& spec : specs) dialog_->SignalCommand(spec.window, ConnectCommand::Connect);
  for (const SimulatorSlot& spec : specs) {
    ASSERT_TRUE(WaitUntil([&] { return TreeImage(spec.window) == kTreeImageConnected; }, 30000))
        << spec.window;
    EXPECT_TRUE(VideoWindow(spec.window)->isVisible()) << spec.window;
  }
  for (const SimulatorSlot& spec : specs) EXPECT_TRUE(PicturesMove(spec.window)) << spec.window;
  if (const char* file = std::getenv("KORVEL_SCREENSHOT")) {
    QTest::qWait(500);
    EXPECT_TRUE(dialog_->grab().save(QString::fromLocal8Bit(file)));
  }
}

}  // namespace
}  // namespace korvel_test
