// Start-up checks of the application object and the running-time arithmetic of the status line.

#include <gtest/gtest.h>

#include <QTimer>
#include <filesystem>
#include <memory>

#include "live_client/core/CKorvelApp.h"
#include "live_client/core/CKorvelDlg.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelRunningTime.h"
#include "platform/Display.h"
#include "platform/MessageBox.h"
#include "tests/live_client/core/KorvelDialogFixture.h"

namespace korvel_test {
namespace {

using platform::DisplayMode;

class DisplayCheckTest : public ::testing::Test {
 protected:
  void Use(DisplayMode current, std::vector<DisplayMode> modes) {
    previous_ = platform::SetDisplayProvider(std::make_shared<FixedDisplay>(current, modes));
  }
  void SetUp() override { platform::ResetMessageBoxes(); }
  void TearDown() override {
    platform::RestoreDisplayMode();
    platform::SetDisplayProvider(previous_);
    platform::ResetMessageBoxes();
  }
  std::shared_ptr<platform::DisplayProvider> previous_;
};

TEST_F(DisplayCheckTest, SuitedModesPassWithoutAQuestion) {
  for (auto [mode, resolution] : {std::pair{DisplayMode{16, 1440, 900, 60}, 2},
                                  std::pair{DisplayMode{32, 1024, 768, 75}, 1}}) {
    Use(mode, {mode});
    CKorvelApp app;
    g_nResolution = -1;
    EXPECT_TRUE(app.CheckDisplayMode());
    EXPECT_EQ(g_nResolution, resolution);
    EXPECT_EQ(app.m_nSavedWidth, mode.width);
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
  }
}

TEST_F(DisplayCheckTest, UnsuitedModeOffersTheLargestSuitedOneAndNoEndsTheProgram) {
  const DisplayMode desktop{32, 1280, 1024, 60};
  Use(desktop, {desktop, {32, 1024, 768, 60}, {32, 1440, 900, 60}, {16, 1440, 900, 75},
                {32, 1440, 900, 75}, {32, 1600, 1200, 60}});
  platform::ScriptMessageBoxAnswers({platform::IDNO});
  CKorvelApp app;
  EXPECT_FALSE(app.CheckDisplayMode());
  EXPECT_EQ(g_nResolution, 0);
  auto boxes = platform::ShownMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "There is no suited Display Mode!\n We recommend Korvel.exe to run under "
            "1440*900,to change display mode?\n\nCancel to exit!");
  EXPECT_EQ(boxes[0].type & platform::MB_TYPEMASK, platform::MB_YESNO);
  EXPECT_FALSE(platform::IsDisplayModeChanged());
}

TEST_F(DisplayCheckTest, YesSwitchesTheVirtualModeAndExitRestoresIt) {
  const DisplayMode desktop{32, 1280, 1024, 60};
  Use(desktop, {desktop, {32, 1024, 768, 60}, {32, 1440, 900, 60}});
  platform::ScriptMessageBoxAnswers({platform::IDYES});
  CKorvelApp app;
  EXPECT_TRUE(app.CheckDisplayMode());
  EXPECT_EQ(platform::CurrentDisplayMode(), (DisplayMode{32, 1440, 900, 60}));
  // The theme follows the mode switched to.
  EXPECT_EQ(g_nResolution, 2);
  app.ExitInstance();
  EXPECT_EQ(platform::CurrentDisplayMode(), desktop);
}

TEST_F(DisplayCheckTest, EightBitsAskAndAFailedSwitchIsReported) {
  // 1440 x 900 at 8 bits is not suited; the only candidate is the default 1024 x 768 x 16,
  // which this screen does not offer, so the switch fails.
  const DisplayMode desktop{8, 1440, 900, 60};
  Use(desktop, {desktop});
  platform::ScriptMessageBoxAnswers({platform::IDYES});
  CKorvelApp app;
  EXPECT_FALSE(app.CheckDisplayMode());
  EXPECT_EQ(g_nResolution, 0);
  auto boxes = platform::ShownMessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes[0].text.find("1024*768"), std::string::npos);
  EXPECT_EQ(boxes[1].text, "Change display mode fail.");
}

TEST_F(KorvelDialogTest, ProgramRunsTheDialogModallyUntilExitThenRestoresTheDisplay) {
  const DisplayMode desktop{32, 1280, 1024, 60};
  platform::SetDisplayProvider(std::make_shared<FixedDisplay>(
      desktop, std::vector<DisplayMode>{desktop, {32, 1024, 768, 60}}));
  // Every question (the display switch, the exit) is answered Yes.
  platform::SetDefaultMessageBoxAnswer(platform::IDYES);
  QRect shownAt;
  QTimer::singleShot(300, [&] {
    ASSERT_NE(g_pMainDlg, nullptr);
    shownAt = g_pMainDlg->geometry();
    QTest::mouseClick(g_pMainDlg->findChild<QWidget*>("BTN_EXIT"), Qt::LeftButton);
  });
  CKorvelApp app;
  EXPECT_FALSE(app.InitInstance(ClientWindows()));
  // The dialog was sized to the virtual mode switched to.
  EXPECT_EQ(shownAt, QRect(0, 0, 1024, 768));
  EXPECT_EQ(g_nResolution, 1);
  EXPECT_EQ(g_pMainDlg, nullptr);
  // The teardown saved the configuration.
  EXPECT_TRUE(std::filesystem::exists(ClientHost() + "/Korvel.cfg"));
  app.ExitInstance();
  EXPECT_EQ(platform::CurrentDisplayMode(), desktop);
}

TEST(KorvelRunningTimeTest, CountsDaysAndKeepsCountingAcrossTheTickWrap) {
  KorvelRunningTime running;
  running.Update(5'000);
  EXPECT_EQ(running.Days(), 0);
  EXPECT_EQ(running.ClockText(), "00:00:00");
  running.Update(5'000 + 3'723'000);  // 1 h 2 min 3 s later
  EXPECT_EQ(running.ClockText(), "01:02:03");
  running.Update(5'000 + 2 * 86'400'000u + 61'000);
  EXPECT_EQ(running.Days(), 2);
  EXPECT_EQ(running.ClockText(), "00:01:01");
  // The 32-bit tick wraps: each wrap adds 50 days and the clock restarts from the wrap.
  running.Update(0xFFFFFF00u);
  running.Update(10'000);
  EXPECT_EQ(running.Days(), 50);
  EXPECT_EQ(running.ClockText(), "00:00:10");
}

}  // namespace
}  // namespace korvel_test
