// Twenty-five windows live at once from both simulators for a minute: picture callbacks stay
// short, memory stays flat, and paging through all five pages while connected neither leaks
// nor deadlocks. Prints the figures it measured.

#include <gtest/gtest.h>

#include <QTest>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/resource.h>

#include "live_client/core/CKorvelLive.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelIds.h"
#include "live_client/core/KorvelPreview.h"
#include "live_client/core/PageInfo.h"
#include "tests/live_client/core/KorvelDialogFixture.h"
#include "tests/support/ProcessFigures.h"
#include "tests/tools/alder_sim/AlderSimProcess.h"
#include "tests/tools/dvr_sim/DvrSimProcess.h"

using namespace korvel;

namespace korvel_test {
// AddressSanitizer holds freed memory back in its quarantine, so the resident size grows in
// its builds whatever the client does; leaks there are LeakSanitizer's to find.
// ThreadSanitizer's shadow memory grows as well, and it slows every memory access several
// times over: its builds check the threads, not the speed, so the timing limits are left out.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

namespace {

constexpr int kDvrWindows = 16;  // one kind-1 recorder
constexpr int kRunSeconds = 60;

using suite::test::CpuSeconds;
using suite::test::ResidentKiB;

class KorvelLoadTest : public KorvelDialogTest {
 protected:
  void TearDown() override {
    dialog_.reset();
    dvr_.Stop();
    alder_.Stop();
    alder2_.Stop();
    KorvelDialogTest::TearDown();
  }
  int TreeImage(int w) const {
    auto* tree = dialog_->findChild<QTreeWidget*>("TREE_CONFIG");
    return tree->topLevelItem(0)->child(w)->data(0, Qt::UserRole + 1).toInt();
  }
  bool AllConnected(int timeout_ms) {
    return QTest::qWaitFor(
        [&] {
          for (int w = 0; w < kVideoWindowCount; ++w)
            if (TreeImage(w) != kTreeImageConnected) return false;
          return true;
        },
        timeout_ms);
  }
  // Saves page 1's slots as the configuration, opens the dialog with the real connection work
  // and has every window's worker connect at once; true when all are connected.
  bool OpenAndConnectAll() {
    CKorvelSettings settings;
    settings.m_strRecDrive = "D:\\";
    if (!SaveConfigToFile(ClientWindows(), g_PageInfo, settings)) return false;
    ResetClientTables();
    dialog_ = std::make_unique<CKorvelDlg>(ClientWindows());
    dialog_->SetLiveLink(std::make_shared<CKorvelLive>(*dialog_));
    if (!OpenDialog()) return false;
    for (int w = 0; w < kVideoWindowCount; ++w) dialog_->SignalCommand(w, ConnectCommand::Connect);
    return AllConnected(60000);
  }
  // Every window streams for the minute while the client's figures are taken; they are
  // printed and returned.
  struct LoadFigures {
    long rss10 = 0, rss60 = 0;
    unsigned callbacks = 0, slow = 0, fewest = 0;
  };
  LoadFigures MeasureMinute() {
    ResetLongestPictureCallback();
    unsigned presents[kVideoWindowCount];
    for (int w = 0; w < kVideoWindowCount; ++w)
      presents[w] = VideoWindow(w)->Surface()->PresentCount();
    const double cpuStart = CpuSeconds();
    QTest::qWait(10000);
    LoadFigures figures;
    figures.rss10 = ResidentKiB();
    QTest::qWait((kRunSeconds - 10) * 1000);
    figures.rss60 = ResidentKiB();
    const double cpuShare = (CpuSeconds() - cpuStart) / kRunSeconds;
    const unsigned longestUs = LongestPictureCallbackUs();
    const PictureCallbackBreakdown longest = LongestPictureCallbackBreakdown();
    figures.callbacks = PictureCallbackCount();
    figures.slow = SlowPictureCallbackCount();
    double load[1] = {0};
    getloadavg(load, 1);
    figures.fewest = ~0u;
    for (int w = 0; w < kVideoWindowCount; ++w) {
      const unsigned drawn = VideoWindow(w)->Surface()->PresentCount() - presents[w];
      figures.fewest = std::min(figures.fewest, drawn);
    }
    std::printf("LOAD: RSS at 10 s %ld KiB, at 60 s %ld KiB; CPU %.0f%% of one core (%.0f%% of "
                "two); picture callbacks %u, %u of them 100 ms or longer, longest %.1f ms; fewest "
                "pictures in a window %u in %d s; machine load average %.1f\n",
                figures.rss10, figures.rss60, cpuShare * 100, cpuShare * 50, figures.callbacks,
                figures.slow, longestUs / 1000.0, figures.fewest, kRunSeconds, load[0]);
    std::printf("LOAD: the longest callback (%s) spent %.1f ms decoding and %.1f ms displaying "
                "of its %.1f ms\n",
                longest.decoded ? "a kind-3 frame" : "a DVR picture", longest.decodeUs / 1000.0,
                longest.displayUs / 1000.0, longest.totalUs / 1000.0);
    return figures;
  }
  dvr_sim_test::DvrSimProcess dvr_;
  testsupport::AlderSimProcess alder_;
  testsupport::AlderSimProcess alder2_;
};

TEST_F(KorvelLoadTest, TwentyFiveLiveWindowsForAMinuteThenEveryPage) {
  ASSERT_TRUE(dvr_.Start({"--listen", "127.0.0.85", "--port", "8670", "--kind", "1", "--user",
                          "admin", "--password", "1234", "--size", "352x288", "--loop", "4"}));
  ASSERT_TRUE(alder_.Start({"--address", "127.0.0.86", "--port", "8000", "--user", "op",
                            "--password", "pw", "--channels", "9", "--fps", "25", "--size",
                            "352x288", "--no-recordings"}));
  for (int w = 0; w < kVideoWindowCount; ++w) {
    CCameraInfo& slot = g_PageInfo[0].camera[w];
    const bool dvr = w < kDvrWindows;
    slot.strAddr = dvr ? "127.0.0.85" : "127.0.0.86";
    slot.nPort = dvr ? 8670 : 8000;
    slot.nKind = dvr ? 1 : 3;
    slot.nChannel = dvr ? w : w - kDvrWindows;
    slot.strUser = dvr ? "admin" : "op";
    slot.strPassword = dvr ? "1234" : "pw";
  }
  ASSERT_TRUE(OpenAndConnectAll());

  const LoadFigures figures = MeasureMinute();
  const unsigned slow = figures.slow, callbacks = figures.callbacks, fewest = figures.fewest;
  const long rss10 = figures.rss10, rss60 = figures.rss60;
  // A callback held up for 100 ms or more is a stall; on a machine shared with other work the
  // scheduler alone can cause a rare one, so a handful in 37,500 are tolerated.
  // Sanitized builds run the same minute at a fraction of the speed: they check memory and
  // threads, and the timing limits hold in the optimised build only, as for the D1 minute.
  if (!kSanitized) {
    EXPECT_LE(slow, callbacks / 5000) << "picture callbacks were held up";
    EXPECT_GT(fewest, static_cast<unsigned>(kRunSeconds * 5)) << "a window was starved";
  } else {
    EXPECT_GT(fewest, 0u) << "a window drew nothing";
  }
  if (!kSanitized) {
    EXPECT_LT(rss60 - rss10, 8 * 1024) << "memory grew while streaming";
  }

  // Page through all five pages and back: the previews stop and come back, nothing waits.
  for (int step = 0; step < kPageCount; ++step) {
    ASSERT_TRUE(dialog_->findChild<QWidget*>("BTN_PAGERIGHT"));
    QTest::mouseClick(dialog_->findChild<QWidget*>("BTN_PAGERIGHT"), Qt::LeftButton);
  }
  EXPECT_EQ(dialog_->CurrentPage(), 0);
  ASSERT_TRUE(AllConnected(30000));
  const long rssBeforePaging = ResidentKiB();
  for (int round = 0; round < 3; ++round) {
    for (int step = 0; step < kPageCount; ++step)
      QTest::mouseClick(dialog_->findChild<QWidget*>("BTN_PAGERIGHT"), Qt::LeftButton);
  }
  ASSERT_TRUE(AllConnected(30000));
  const unsigned before = VideoWindow(24)->Surface()->PresentCount();
  EXPECT_TRUE(QTest::qWaitFor([&] { return VideoWindow(24)->Surface()->PresentCount() > before + 10; }, 10000));
  QTest::qWait(2000);
  const long rssAfterPaging = ResidentKiB();
  std::printf("LOAD: RSS before paging %ld KiB, after three more rounds %ld KiB\n",
              rssBeforePaging, rssAfterPaging);
  if (!kSanitized) {
    EXPECT_LT(rssAfterPaging - rssBeforePaging, 8 * 1024) << "paging leaked";
  }
  EXPECT_TRUE(dialog_->ErrorReports().empty());
}

// Twenty-five capture-card windows of D1 XviD at 25 pictures/s for a minute: 625 pictures a
// second decoded and shown, from two recorders whose channels loop pictures encoded before the
// minute starts, so that the machine's time goes to the client.
TEST_F(KorvelLoadTest, TwentyFiveD1WindowsForAMinute) {
  const std::vector<std::string> common = {"--port", "8000", "--user", "op", "--password", "pw",
                                           "--fps", "25", "--size", "704x576", "--preencoded",
                                           "2", "--no-recordings"};
  std::vector<std::string> first = {"--address", "127.0.0.87", "--channels", "13"};
  std::vector<std::string> second = {"--address", "127.0.0.88", "--channels", "12"};
  first.insert(first.end(), common.begin(), common.end());
  second.insert(second.end(), common.begin(), common.end());
  ASSERT_TRUE(alder_.Start(first));
  ASSERT_TRUE(alder2_.Start(second));
  for (int w = 0; w < kVideoWindowCount; ++w) {
    CCameraInfo& slot = g_PageInfo[0].camera[w];
    slot.strAddr = w < 13 ? "127.0.0.87" : "127.0.0.88";
    slot.nPort = 8000;
    slot.nKind = 3;
    slot.nChannel = w < 13 ? w : w - 13;
    slot.strUser = "op";
    slot.strPassword = "pw";
  }
  ASSERT_TRUE(OpenAndConnectAll());
  // The recorders' loops are encoded as the first viewers arrive; the minute starts after.
  QTest::qWait(5000);
  for (int w = 0; w < kVideoWindowCount; ++w) EXPECT_EQ(LoadPreviewMediaInfo(w).nWidth, 704) << w;

  const LoadFigures figures = MeasureMinute();
  if (!kSanitized) {
    // D1 XviD takes most of this machine's two cores, so a busy host delays some decodes past
    // 100 ms; the count is printed above as a figure. What must hold is that the delays stay
    // rare (a lock taken across windows would hold up most callbacks) and that no window falls
    // behind.
    EXPECT_LE(figures.slow, figures.callbacks / 50) << "picture callbacks were held up";
    // Every window keeps up: at least nine pictures in ten of the 1,500 it was sent.
    EXPECT_GE(figures.fewest, static_cast<unsigned>(kRunSeconds * 25 * 9 / 10))
        << "a window fell behind";
    EXPECT_LT(figures.rss60 - figures.rss10, 8 * 1024) << "memory grew while streaming";
  } else {
    EXPECT_GT(figures.fewest, 0u) << "a window drew nothing";
  }
  EXPECT_TRUE(dialog_->ErrorReports().empty());
}

}  // namespace
}  // namespace korvel_test
