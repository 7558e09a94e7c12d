// The application object: display check, command line, single instance, exit notice.

#include <gtest/gtest.h>

#include <QTest>
#include <atomic>
#include <cstdlib>

#include "LumaroTestSupport.h"
#include "platform/Display.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/TitledWindow.h"
#include "playback_app/CLumaroApp.h"
#include "playback_app/CLumaroDlg.h"
#include "playback_app/LumaroGlobals.h"
#include "playback_app/LumaroIds.h"
#include "tests/support/TempDriveTable.h"
#include "tests/support/TempFolder.h"

using namespace lumaro;

namespace {

class ListedDisplay : public platform::DisplayProvider {
 public:
  ListedDisplay(platform::DisplayMode current, std::vector<platform::DisplayMode> modes)
      : current_(current), modes_(std::move(modes)) {}
  platform::DisplayMode CurrentMode() override { return current_; }
  std::vector<platform::DisplayMode> Modes() override { return modes_; }

 private:
  platform::DisplayMode current_;
  std::vector<platform::DisplayMode> modes_;
};

class LumaroAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lumaro_test::App();
    platform::ResetMessageBoxes();
    runtime_ = std::make_unique<suite::test::TempFolder>("lumaro-run");
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    oldRuntime_ = old ? old : "";
    setenv("XDG_RUNTIME_DIR", runtime_->path().c_str(), 1);
    Display({32, 1024, 768, 60}, {{32, 1024, 768, 60}});
  }
  void TearDown() override {
    platform::RestoreDisplayMode();
    platform::SetDisplayProvider(nullptr);
    if (oldRuntime_.empty()) unsetenv("XDG_RUNTIME_DIR");
    else setenv("XDG_RUNTIME_DIR", oldRuntime_.c_str(), 1);
    platform::ResetMessageBoxes();
    g_nResolution = 1;
  }
  void Display(platform::DisplayMode current, std::vector<platform::DisplayMode> modes) {
    platform::SetDisplayProvider(std::make_shared<ListedDisplay>(current, std::move(modes)));
  }

  std::unique_ptr<suite::test::TempFolder> runtime_;
  std::string oldRuntime_;
};

TEST_F(LumaroAppTest, CommandLineReachesTheDialog) {
  struct Case {
    const char* arguments;
    const char* picture;
    bool client;
  };
  for (const Case& c : {Case{"-pri=D:\\Snap\\ -s=5", "D:\\Snap\\", false}, Case{"-pri=D:\\Snap -s=0", "D:\\Picture\\", true},
                        Case{"", "D:\\Picture\\", false}}) {
    CLumaroApp app;
    bool ran = false;
    const StartResult result = app.InitInstance(c.arguments, [&](CLumaroDlg& dialog) {
      ran = true;
      EXPECT_EQ(dialog.PicturePath(), c.picture) << c.arguments;
      EXPECT_EQ(dialog.IsClientMode(), c.client) << c.arguments;
      return 0;
    });
    EXPECT_EQ(result, StartResult::DialogRan);
    EXPECT_TRUE(ran);
  }
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());
}

TEST_F(LumaroAppTest, ASecondInstanceEndsSilently) {
  auto first = std::make_unique<platform::SingleInstanceLock>(kInstanceMutexName);
  ASSERT_TRUE(first->Held());
  CLumaroApp app;
  bool ran = false;
  EXPECT_EQ(app.InitInstance("-pri=4294967295 -s=0", [&](CLumaroDlg&) { return ran = true, 0; }),
            StartResult::SecondInstance);
  EXPECT_FALSE(ran);
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());
  // Once the first instance is gone the program starts again.
  first.reset();
  EXPECT_EQ(app.InitInstance("", [&](CLumaroDlg&) { return ran = true, 0; }), StartResult::DialogRan);
  EXPECT_TRUE(ran);
}

TEST_F(LumaroAppTest, ExitNoticeGoesToTheTitledWindow) {
  platform::TitledWindowServer server;
  std::atomic<unsigned> received{0};
  ASSERT_TRUE(server.Register(kExitNoticeTitle, {}, [&](const platform::Message& message) {
    if (message.wParam == 0 && message.lParam == 0) received = message.message;
  }));
  CLumaroApp app;
  EXPECT_EQ(app.InitInstance("", [](CLumaroDlg&) { return 0; }), StartResult::DialogRan);
  (void)QTest::qWaitFor([&] { return received.load() == 1524u; }, 5000);
  ASSERT_EQ(received.load(), 1524u);
}

TEST_F(LumaroAppTest, UnsuitedDisplayOffersTheBestSuitedMode) {
  const platform::DisplayMode big{32, 1280, 1024, 60};
  struct Case {
    std::vector<platform::DisplayMode> modes;
    const char* named;
  };
  const Case cases[] = {
      {{big, {32, 1024, 768, 60}, {32, 1440, 900, 60}}, "1440*900"},
      // 1440 x 900 only at a lower refresh rate than the 1024 x 768 candidate found first.
      {{big, {32, 1024, 768, 75}, {32, 1440, 900, 60}}, "1024*768"},
  };
  for (const Case& c : cases) {
    Display(big, c.modes);
    platform::ResetMessageBoxes();
    platform::ScriptMessageBoxAnswers({platform::IDNO});
    CLumaroApp app;
    EXPECT_EQ(app.InitInstance("", [](CLumaroDlg&) { return 0; }), StartResult::DisplayRefused);
    ASSERT_EQ(platform::ShownMessageBoxes().size(), 1u);
    EXPECT_NE(platform::ShownMessageBoxes()[0].text.find(std::string("Lumaro.exe to run under ") + c.named),
              std::string::npos)
        << platform::ShownMessageBoxes()[0].text;
  }
  // Yes switches to 1440 x 900 and chooses the 1440 x 900 themes; the end puts the mode back.
  Display(big, cases[0].modes);
  platform::ScriptMessageBoxAnswers({platform::IDYES});
  CLumaroApp app;
  EXPECT_EQ(app.InitInstance("", [](CLumaroDlg&) { return 0; }), StartResult::DialogRan);
  EXPECT_EQ(g_nResolution, 2);
  EXPECT_EQ(platform::CurrentDisplayMode().width, 1440);
  app.ExitInstance();
  EXPECT_EQ(platform::CurrentDisplayMode().width, 1280);
}

}  // namespace
