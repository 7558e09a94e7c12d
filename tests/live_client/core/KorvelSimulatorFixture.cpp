#include "tests/live_client/core/KorvelSimulatorFixture.h"

#include <chrono>

#include <QTreeWidget>

#include "live_client/core/CKorvelLive.h"
#include "live_client/core/KorvelConfig.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/PageInfo.h"

namespace korvel_test {

void KorvelSimulatorTest::TearDown() {
  dialog_.reset();
  dvr_.reset();
  alder_.reset();
  camera_.reset();
  services_.clear();
  KorvelDialogTest::TearDown();
}

bool KorvelSimulatorTest::StartDvr(const std::string& address, const std::string& password, int kind) {
  dvr_ = std::make_unique<dvr_sim_test::DvrSimProcess>();
  return dvr_->Start({"--listen", address, "--port", std::to_string(kDvrPort), "--kind",
                      std::to_string(kind), "--user", "admin", "--password", password, "--size",
                      "352x288"});
}

bool KorvelSimulatorTest::StartAlder(const std::string& address, int channels, int port) {
  alder_ = std::make_unique<testsupport::AlderSimProcess>();
  return alder_->Start({"--address", address, "--port", std::to_string(port), "--user", "op",
                        "--password", "pw", "--channels", std::to_string(channels), "--fps", "25",
                        "--size", "352x288", "--no-recordings"});
}

bool KorvelSimulatorTest::StartCamera(const std::string& address) {
  camera_ = std::make_unique<testsupport::AlderSimProcess>("camera_sim");
  return camera_->Start({"--address", address, "--port", std::to_string(kCameraPort), "--user",
                         "admin", "--password", "s3cret", "--stream", "h264:h264:pcmu:352x288",
                         "--stream", "h265:h265:pcma:352x288", "--stream", "mjpeg:mjpeg:pcmu:352x288",
                         "--stream", "h264-aac:h264:aac:352x288"});
}

bool KorvelSimulatorTest::StartCameraWithProfiles(const std::string& address) {
  camera_ = std::make_unique<testsupport::AlderSimProcess>("camera_sim");
  return camera_->Start({"--address", address, "--port", std::to_string(kCameraPort), "--user", "admin",
                         "--password", "s3cret", "--stream", "main:h264:none:1920x1080:5", "--stream",
                         "sub:h264:pcmu:640x360"},
                        std::chrono::seconds(30));
}

testsupport::AlderSimProcess* KorvelSimulatorTest::StartServices(const std::string& address,
                                                                 const std::string& streams,
                                                                 const std::vector<std::string>& extra) {
  auto device = std::make_unique<testsupport::AlderSimProcess>("onvif_sim");
  std::vector<std::string> arguments = {"--address", address, "--port", std::to_string(kServicesPort),
                                        "--camera", streams + ":" + std::to_string(kCameraPort)};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  if (!device->Start(arguments)) return nullptr;
  services_.push_back(std::move(device));
  return services_.back().get();
}

bool KorvelSimulatorTest::OpenWithSlots(const std::vector<SimulatorSlot>& wanted,
                                        const CKorvelSettings& settings, bool maintenance) {
  for (const SimulatorSlot& spec : wanted) {
    CCameraInfo& slot = g_PageInfo[spec.page].camera[spec.window];
    slot.strAddr = spec.address;
    slot.nPort = spec.port;
    slot.nKind = spec.kind;
    slot.nChannel = spec.channel;
    slot.strUser = spec.user;
    slot.strPassword = spec.password;
    slot.nPort2 = spec.port2;
    slot.strSvrDesc = "Rec";
  }
  if (!SaveConfigToFile(ClientWindows(), g_PageInfo, settings)) return false;
  ResetClientTables();
  dialog_ = std::make_unique<CKorvelDlg>(ClientWindows());
  dialog_->SetLiveLink(std::make_shared<CKorvelLive>(*dialog_));
  if (!maintenance) dialog_->SetMaintenanceThreadFactory({});
  return OpenDialog();
}

QTreeWidgetItem* KorvelSimulatorTest::TreeItem(int w) const {
  auto* tree = dialog_->findChild<QTreeWidget*>("TREE_CONFIG");
  return tree ? tree->topLevelItem(0)->child(w) : nullptr;
}

}  // namespace korvel_test
