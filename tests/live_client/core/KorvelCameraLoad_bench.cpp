// Seventeen network cameras live at once for a minute: sixteen 640x360 H.264 sub-streams and
// one 1920x1080 main stream at 25 pictures/s, from the test camera serving clips encoded
// beforehand (nothing encodes while this runs). Prints what the client process alone used:
// CPU, memory at 10 s and 60 s, pictures shown per window, and the time from a picture's
// arrival at the camera link to its hand-over to the window (median, 99th percentile,
// longest). A benchmark, not a test: it is built, not run by ctest.

#include <gtest/gtest.h>

#include <QTest>
#include <QTreeWidget>
#include <cstdio>
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

using namespace korvel;

namespace korvel_test {
namespace {

constexpr int kSubStreams = 16;
constexpr int kWindows = kSubStreams + 1;
constexpr int kRunSeconds = 60;
constexpr const char* kAddress = "127.0.0.165";

using suite::test::CpuSeconds;
using suite::test::ResidentKiB;

class KorvelCameraLoad : public KorvelDialogTest {
 protected:
  void TearDown() override {
    dialog_.reset();
    camera_.Stop();
    KorvelDialogTest::TearDown();
  }
  int TreeImage(int w) const {
    auto* tree = dialog_->findChild<QTreeWidget*>("TREE_CONFIG");
    return tree->topLevelItem(0)->child(w)->data(0, Qt::UserRole + 1).toInt();
  }
  testsupport::AlderSimProcess camera_{"camera_sim"};
};

TEST_F(KorvelCameraLoad, SixteenSubStreamsAndOneMainStreamForAMinute) {
  ASSERT_TRUE(camera_.Start({"--address", kAddress, "--port", "8554", "--preencoded", "4",
                             "--stream", "sub:h264:none:640x360", "--stream",
                             "main:h264:none:1920x1080"},
                            std::chrono::seconds(60)));
  for (int w = 0; w < kWindows; ++w) {
    CCameraInfo& slot = g_PageInfo[0].camera[w];
    slot.strAddr = std::string(kAddress) + (w < kSubStreams ? "/sub" : "/main");
    slot.nPort = 8554;
    slot.nKind = kKindCamera;
    slot.nChannel = 0;
  }
  CKorvelSettings settings;
  settings.m_strRecDrive = "D:\\";
  ASSERT_TRUE(SaveConfigToFile(ClientWindows(), g_PageInfo, settings));
  ResetClientTables();
  dialog_ = std::make_unique<CKorvelDlg>(ClientWindows());
  dialog_->SetLiveLink(std::make_shared<CKorvelLive>(*dialog_));
  ASSERT_TRUE(OpenDialog());
  for (int w = 0; w < kWindows; ++w) dialog_->SignalCommand(w, ConnectCommand::Connect);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        for (int w = 0; w < kWindows; ++w)
          if (TreeImage(w) != kTreeImageConnected) return false;
        return true;
      },
      60000));
  QTest::qWait(2000);  // past the first key frames

  ResetLongestPictureCallback();
  unsigned presents[kWindows];
  for (int w = 0; w < kWindows; ++w) presents[w] = VideoWindow(w)->Surface()->PresentCount();
  const double cpuStart = CpuSeconds();
  QTest::qWait(10000);
  const long rss10 = ResidentKiB();
  QTest::qWait((kRunSeconds - 10) * 1000);
  const long rss60 = ResidentKiB();
  const double cpuShare = (CpuSeconds() - cpuStart) / kRunSeconds;
  double slowest = 1e9, slowestMain = 0;
  for (int w = 0; w < kWindows; ++w) {
    const double rate = (VideoWindow(w)->Surface()->PresentCount() - presents[w]) / double(kRunSeconds);
    slowest = std::min(slowest, rate);
    if (w == kSubStreams) slowestMain = rate;
  }
  std::printf("CAMERA LOAD: %d windows (16 x 640x360 + 1 x 1920x1080 H.264, 25 pictures/s) for %d s\n",
              kWindows, kRunSeconds);
  std::printf("CAMERA LOAD: client CPU %.0f%% of one core; RSS at 10 s %ld KiB, at 60 s %ld KiB (%+.1f%%)\n",
              cpuShare * 100, rss10, rss60, 100.0 * (rss60 - rss10) / rss10);
  std::printf("CAMERA LOAD: slowest window %.2f pictures/s shown (1080p window %.2f); callbacks %u, "
              "%u of them 100 ms or longer\n",
              slowest, slowestMain, PictureCallbackCount(), SlowPictureCallbackCount());
  std::printf("CAMERA LOAD: arrival to window hand-over: median < %u ms, 99th percentile < %u ms, "
              "longest %.1f ms\n",
              PictureCallbackPercentileMs(0.5), PictureCallbackPercentileMs(0.99),
              LongestPictureCallbackUs() / 1000.0);
}

}  // namespace
}  // namespace korvel_test
