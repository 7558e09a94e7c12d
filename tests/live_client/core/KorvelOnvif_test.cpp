// Network cameras reached through their services port, in the real main dialog (offscreen):
// the test camera (camera_sim) serves the streams, the test device (onvif_sim) the services;
// each device on its own loopback address. Login by profile, refusals in the error report.

#include <gtest/gtest.h>

#include <QTest>
#include <QTreeWidget>
#include <memory>
#include <mutex>

#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelIds.h"
#include "live_client/core/KorvelLogin.h"
#include "live_client/core/KorvelPreview.h"
#include "live_client/core/PageInfo.h"
#include "platform/Sync.h"
#include "tests/live_client/core/KorvelSimulatorFixture.h"

using namespace korvel;

namespace korvel_test {
namespace {

constexpr int kServicesPort = 8080;

class KorvelOnvifTest : public KorvelSimulatorTest {
 protected:
  void TearDown() override {
    dialog_.reset();
    devices_.clear();
    KorvelSimulatorTest::TearDown();
  }
  // The test camera with the two streams the test device's profiles name: "main" (1920x1080,
  // never opened here) and "sub" (640x360).
  bool StartStreams(const std::string& address) {
    camera_ = std::make_unique<testsupport::AlderSimProcess>("camera_sim");
    return camera_->Start({"--address", address, "--port", std::to_string(kCameraPort), "--user", "admin",
                           "--password", "s3cret", "--stream", "main:h264:none:1920x1080:5", "--stream",
                           "sub:h264:pcmu:640x360"},
                          std::chrono::seconds(30));
  }
  // The services of a camera on `address` whose streams are on `streams`.
  testsupport::AlderSimProcess* StartServices(const std::string& address, const std::string& streams,
                                              std::vector<std::string> extra = {}) {
    auto device = std::make_unique<testsupport::AlderSimProcess>("onvif_sim");
    std::vector<std::string> arguments = {"--address", address, "--port", std::to_string(kServicesPort),
                                          "--camera", streams + ":" + std::to_string(kCameraPort)};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    if (!device->Start(arguments)) return nullptr;
    devices_.push_back(std::move(device));
    return devices_.back().get();
  }
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

  std::vector<std::unique_ptr<testsupport::AlderSimProcess>> devices_;
};

TEST_F(KorvelOnvifTest, CameraLoggedInThroughItsServicesShowsItsChannelsProfileAndRefusalsAreReported) {
  ASSERT_TRUE(StartStreams("127.0.0.216"));
  ASSERT_NE(StartServices("127.0.0.217", "127.0.0.216"), nullptr);
  ASSERT_NE(StartServices("127.0.0.218", "127.0.0.216", {"--no-media"}), nullptr);
  ASSERT_TRUE(OpenWith({Camera(0, "127.0.0.217", 1), Camera(1, "127.0.0.217", 1, "guess"),
                        Camera(2, "127.0.0.218", 0)}));

  // The slot names neither the stream's address nor its path: the camera tells them.
  ASSERT_TRUE(ConnectWindow(0));
  EXPECT_EQ(LoadPreviewMediaInfo(0).nWidth, 640);
  EXPECT_EQ(LoadPreviewMediaInfo(0).nHeight, 360);
  CVideoStatic* surface = VideoWindow(0)->Surface();
  const unsigned start = surface->PresentCount();
  EXPECT_TRUE(QTest::qWaitFor([&] { return surface->PresentCount() > start + 5; }, 10000));

  // A wrong password is the login-failure message; a camera without streams its own.
  DoubleClickTree(1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return TreeImage(1) == kTreeImageFailed; }, 15000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return HasReport(ReportCode(104), 1 << 16); }, 5000));
  DoubleClickTree(2);
  ASSERT_TRUE(QTest::qWaitFor([&] { return TreeImage(2) == kTreeImageFailed; }, 15000));
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return HasReport(ReportCode(kConnectNoMediaService + 100), 2 << 16); }, 5000));
}

}  // namespace
}  // namespace korvel_test
