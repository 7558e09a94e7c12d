// Network cameras reached through their services port, in the real main dialog (offscreen):
// the test camera (camera_sim) serves the streams, the test device (onvif_sim) the services;
// each device on its own loopback address. Login by profile, refusals in the error report.

#include <gtest/gtest.h>

#include <QAction>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>

#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelIds.h"
#include "live_client/core/KorvelLogin.h"
#include "live_client/core/KorvelPreview.h"
#include "live_client/core/PageInfo.h"
#include "live_client/core/CPresetDlg.h"
#include "live_client/core/CYuntaiButton.h"
#include "live_client/core/PtzCodes.h"
#include "live_client/settings/CPageSet.h"
#include "live_client/settings/CTaskbarNotifier.h"
#include "live_client/settings/KorvelSettings.h"
#include "platform/Sync.h"
#include "platform/Window.h"
#include "tests/live_client/core/KorvelSimulatorFixture.h"
#include "tests/live_client/core/TraceCapture.h"

using namespace korvel;

namespace korvel_test {
namespace {

class KorvelOnvifTest : public KorvelSimulatorTest {
 protected:
  // A kind-4 window with a services port: the address is the camera's, the channel its
  // profile.
  static SimulatorSlot Camera(int w, const std::string& address, int profile,
                              const std::string& password = "s3cret") {
    SimulatorSlot slot{0, w, address, kCameraPort, kKindCamera, profile, "admin", password};
    slot.port2 = kServicesPort;
    return slot;
  }
  bool OpenWith(const std::vector<SimulatorSlot>& windows) {
    CKorvelSettings settings;
    settings.m_strRecDrive = "D:\\";
    return OpenWithSlots(windows, settings);
  }
  int TreeImage(int w) const { return TreeItem(w)->data(0, Qt::UserRole + 1).toInt(); }
  void DoubleClickTree(int w) {
    emit dialog_->findChild<QTreeWidget*>("TREE_CONFIG")->itemDoubleClicked(TreeItem(w), 0);
  }
  bool ConnectWindow(int w) {
    DoubleClickTree(w);
    return QTest::qWaitFor([&] { return TreeImage(w) == kTreeImageConnected; }, 15000);
  }
  bool HasReport(platform::WPARAM wParam, platform::LPARAM lParam) const {
    for (const auto& entry : dialog_->ErrorReports())
      if (entry.wParam == wParam && entry.lParam == lParam) return true;
    return false;
  }
  static constexpr platform::WPARAM ReportCode(int shown) {
    return (static_cast<platform::WPARAM>(shown) << 16) | 1u;
  }

  CYuntaiButton* PtzButton(const char* name) const {
    return dialog_->findChild<CYuntaiButton*>(QString::fromLatin1(name));
  }
  void Select(int w) { dialog_->findChild<QTreeWidget*>("TREE_CONFIG")->setCurrentItem(TreeItem(w)); }
  // Waits (serving the UI thread) until the device printed `count` lines containing text.
  static bool WaitForCount(testsupport::AlderSimProcess& device, const std::string& text, int count) {
    return QTest::qWaitFor([&] { return device.CountLines(text) >= count; }, 5000);
  }

};

TEST_F(KorvelOnvifTest, CameraLoggedInThroughItsServicesShowsItsChannelsProfileAndRefusalsAreReported) {
  ASSERT_TRUE(StartCameraWithProfiles("127.0.0.240"));
  ASSERT_NE(StartServices("127.0.0.241", "127.0.0.240"), nullptr);
  ASSERT_NE(StartServices("127.0.0.242", "127.0.0.240", {"--no-media"}), nullptr);
  ASSERT_TRUE(OpenWith({Camera(0, "127.0.0.241", 1), Camera(1, "127.0.0.241", 1, "guess"),
                        Camera(2, "127.0.0.242", 0)}));

  // The slot names neither the stream's address nor its path: the camera tells them.
  ASSERT_TRUE(ConnectWindow(0));
  EXPECT_EQ(LoadPreviewMediaInfo(0).nWidth, 640);
  EXPECT_EQ(LoadPreviewMediaInfo(0).nHeight, 360);
  CVideoStatic* surface = VideoWindow(0)->Surface();
  const unsigned start = surface->PresentCount();
  EXPECT_TRUE(QTest::qWaitFor([&] { return surface->PresentCount() > start + 5; }, 10000));

  // The tree and the camera list name the profile as the camera does, with its size.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return TreeItem(0)->text(0).endsWith(QStringLiteral("127.0.0.241  SubStream 640x360")); }, 5000))
      << TreeItem(0)->text(0).toStdString();
  {
    CPageSet list(dialog_->Skin(), g_PageInfo, nullptr);
    ASSERT_TRUE(list.InitPage());
    EXPECT_EQ(list.List()->topLevelItem(0)->text(4), QStringLiteral("1  SubStream 640x360"));
    EXPECT_EQ(list.List()->topLevelItem(1)->text(4), QStringLiteral("1"));
  }

  // A wrong password is the login-failure message; a camera without streams its own.
  DoubleClickTree(1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return TreeImage(1) == kTreeImageFailed; }, 15000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return HasReport(ReportCode(104), 1 << 16); }, 5000));
  EXPECT_FALSE(TreeItem(1)->text(0).contains(QStringLiteral("Stream"))) << "no profile without a login";
  DoubleClickTree(2);
  ASSERT_TRUE(QTest::qWaitFor([&] { return TreeImage(2) == kTreeImageFailed; }, 15000));
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return HasReport(ReportCode(kConnectNoMediaService + 100), 2 << 16); }, 5000));
}

TEST_F(KorvelOnvifTest, PtzPadSteersACameraThroughItsServicesAndSaysWhatItCannotServe) {
  TraceCapture traces;
  ASSERT_TRUE(traces.Registered());
  ASSERT_TRUE(StartCameraWithProfiles("127.0.0.243"));
  testsupport::AlderSimProcess* device = StartServices("127.0.0.244", "127.0.0.243");
  ASSERT_NE(device, nullptr);
  SimulatorSlot plain{0, 1, "127.0.0.243/sub", kCameraPort, kKindCamera, 0, "admin", "s3cret"};
  ASSERT_TRUE(OpenWith({Camera(0, "127.0.0.244", 1), plain}));
  ASSERT_TRUE(ConnectWindow(0));
  Select(0);

  // Each direction: one move on the press, one stop on the release.
  struct Direction {
    const char* button;
    const char* move;
  };
  const Direction directions[] = {
      {"BTN_PTZ_UP", "pan=0.000 tilt=0.500 zoom=0.000"},   {"BTN_PTZ_DOWN", "pan=0.000 tilt=-0.500 zoom=0.000"},
      {"BTN_PTZ_LEFT", "pan=-0.500 tilt=0.000 zoom=0.000"}, {"BTN_PTZ_RIGHT", "pan=0.500 tilt=0.000 zoom=0.000"},
      {"BTN_ZOOM_IN", "pan=0.000 tilt=0.000 zoom=0.500"},   {"BTN_ZOOM_OUT", "pan=0.000 tilt=0.000 zoom=-0.500"},
  };
  int stops = 0;
  for (const Direction& direction : directions) {
    CYuntaiButton* button = PtzButton(direction.button);
    ASSERT_NE(button, nullptr) << direction.button;
    QTest::mousePress(button, Qt::LeftButton);
    QTest::mouseRelease(button, Qt::LeftButton);
    ASSERT_TRUE(WaitForCount(*device, "ptz Stop profile=profile_sub", ++stops)) << direction.button;
    EXPECT_EQ(device->CountLines(std::string("ContinuousMove profile=profile_sub ") + direction.move), 1)
        << direction.button;
  }
  QTest::qWait(200);
  EXPECT_EQ(device->CountLines("ptz ContinuousMove"), 6);
  EXPECT_EQ(device->CountLines("ptz Stop"), 6);

  // The brush is no camera command and this camera has no imaging service: traced, not sent.
  CYuntaiButton* brush = PtzButton("BTN_BRUSH_ON");
  EXPECT_EQ(brush->nCode, kPtzBrushOn) << "a camera window takes the pad's own codes";
  QTest::mousePress(brush, Qt::LeftButton);
  QTest::mouseRelease(brush, Qt::LeftButton);
  QTest::mousePress(PtzButton("BTN_FOCUS_FAR"), Qt::LeftButton);
  QTest::mouseRelease(PtzButton("BTN_FOCUS_FAR"), Qt::LeftButton);
  EXPECT_TRUE(traces.WaitFor("PTZ 7 of window 1 not served by the camera", 2));
  EXPECT_TRUE(traces.WaitFor("PTZ 0 of window 1 not served by the camera", 2));

  // Presets carry their number: set 2, then recall it; the camera sees one token.
  ASSERT_TRUE(platform::PostMessage(dialog_->Handle(), WM_KORVEL_PTZ, kPtzPresetAdd, 2));
  ASSERT_TRUE(platform::PostMessage(dialog_->Handle(), WM_KORVEL_PTZ, kPtzPresetGoto, 2));
  ASSERT_TRUE(WaitForCount(*device, "ptz GotoPreset", 1));
  const std::string set = "ptz SetPreset profile=profile_sub name=Preset 2 token=preset_1";
  EXPECT_EQ(device->CountLines(set), 1);
  EXPECT_EQ(device->CountLines("ptz GotoPreset profile=profile_sub token=preset_1"), 1);

  // The operator types the number in the presets of the window menu: set 5, go to it, clear it.
  dialog_->findChild<QAction*>(QStringLiteral("Menu%1").arg(ID_MENU_PRESETS))->trigger();
  auto* presets = dialog_->findChild<CPresetDlg*>(QStringLiteral("CPresetDlg"));
  ASSERT_NE(presets, nullptr);
  EXPECT_TRUE(presets->isVisible());
  EXPECT_EQ(presets->windowTitle(), English("IDS_PRESETDLG_CAPTION"));
  auto* number = presets->findChild<QSpinBox*>(QStringLiteral("SPIN_PRESET_NUMBER"));
  number->setValue(5);
  QTest::mouseClick(presets->findChild<QPushButton*>(QStringLiteral("BTN_PRESET_SET")), Qt::LeftButton);
  QTest::mouseClick(presets->findChild<QPushButton*>(QStringLiteral("BTN_PRESET_GOTO")), Qt::LeftButton);
  QTest::mouseClick(presets->findChild<QPushButton*>(QStringLiteral("BTN_PRESET_CLEAR")), Qt::LeftButton);
  ASSERT_TRUE(WaitForCount(*device, "ptz RemovePreset profile=profile_sub token=preset_2", 1));
  EXPECT_EQ(device->CountLines("ptz SetPreset profile=profile_sub name=Preset 5 token=preset_2"), 1);
  EXPECT_EQ(device->CountLines("ptz GotoPreset profile=profile_sub token=preset_2"), 1);
  QTest::mouseClick(presets->findChild<QPushButton*>(QStringLiteral("BTN_PRESET_CLOSE")), Qt::LeftButton);
  EXPECT_FALSE(presets->isVisible());

  // A camera without a services port still only says so.
  ASSERT_TRUE(ConnectWindow(1));
  Select(1);
  QTest::mousePress(PtzButton("BTN_PTZ_UP"), Qt::LeftButton);
  QTest::mouseRelease(PtzButton("BTN_PTZ_UP"), Qt::LeftButton);
  EXPECT_TRUE(traces.WaitFor("of window 2 not sent: the camera has no PTZ service", 2));
  QTest::qWait(200);
  EXPECT_EQ(device->CountLines("ptz ContinuousMove"), 6);
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(KorvelOnvifTest, SnapshotIsTheCamerasOwnPictureOrTheDecodedOneWhenTheCameraHasNone) {
  ASSERT_TRUE(StartCameraWithProfiles("127.0.0.245"));
  testsupport::AlderSimProcess* device = StartServices("127.0.0.246", "127.0.0.245");
  ASSERT_NE(device, nullptr);
  ASSERT_NE(StartServices("127.0.0.247", "127.0.0.245", {"--no-snapshot"}), nullptr);
  ASSERT_TRUE(OpenWith({Camera(0, "127.0.0.246", 1), Camera(1, "127.0.0.247", 1)}));
  ASSERT_TRUE(ConnectWindow(0));
  ASSERT_TRUE(ConnectWindow(1));
  dialog_->m_nSnapFormat = 0;
  QTest::qWait(1000);  // pictures on both

  // The camera's picture goes into the file the client names, byte for byte.
  Select(0);
  Click("BTN_SNAP");
  CTaskbarNotifier* notifier = FindNotifier(dialog_.get());
  ASSERT_NE(notifier, nullptr);
  const std::string own = notifier->Text();
  EXPECT_NE(own.find("/127.0.0.246/02/"), std::string::npos) << own;
  ASSERT_TRUE(QTest::qWaitFor([&] { return device->CountLines("snapshot sub served") == 1; }, 5000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(own); }, 5000)) << own;
  const std::string picture = FileText(own);
  EXPECT_TRUE(device->WaitForLine("snapshot sub served " + std::to_string(picture.size()) + " bytes",
                                  std::chrono::seconds(1)));
  EXPECT_NE(picture.find("onvif_sim snapshot sub"), std::string::npos);

  // Without a snapshot address the decoder writes the decoded picture to the same place.
  Select(1);
  Click("BTN_SNAP");
  const std::string decoded = FindNotifier(dialog_.get())->Text();
  EXPECT_NE(decoded.find("/127.0.0.247/02/"), std::string::npos) << decoded;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return std::filesystem::exists(decoded) && std::filesystem::file_size(decoded) > 0; }, 5000))
      << decoded;
  const std::string written = FileText(decoded);
  EXPECT_EQ(written.substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(written.find("onvif_sim snapshot"), std::string::npos);
}

}  // namespace
}  // namespace korvel_test
