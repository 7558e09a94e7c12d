#pragma once

// A main dialog with the real connection work attached, in front of the device simulators on
// loopback: a DVR (dvr_sim), a capture-card server (alder_sim) and a network camera
// (camera_sim), each started on demand.

#include <memory>
#include <string>
#include <vector>

#include "live_client/settings/KorvelSettings.h"
#include "tests/live_client/core/KorvelDialogFixture.h"
#include "tests/tools/alder_sim/AlderSimProcess.h"
#include "tests/tools/dvr_sim/DvrSimProcess.h"

class QTreeWidgetItem;

namespace korvel_test {

constexpr int kDvrPort = 8670;
constexpr int kAlderPort = 8000;
constexpr int kCameraPort = 8554;
constexpr int kServicesPort = 8080;  // the camera services' HTTP port (onvif_sim)

// One configured video window.
struct SimulatorSlot {
  int page;
  int window;
  std::string address;
  int port;
  int kind;
  int channel;
  std::string user = {};  // the simulator's credentials
  std::string password = {};
  int port2 = 0;  // a network camera's services port (0: none)
};

class KorvelSimulatorTest : public KorvelDialogTest {
 protected:
  // The dialog goes first so that no device vanishes under a running preview.
  void TearDown() override;

  bool StartDvr(const std::string& address, const std::string& password = "1234", int kind = 0);
  bool StartAlder(const std::string& address, int channels = 4, int port = kAlderPort);
  // The test camera with streams "h264" (G.711 mu-law), "h265" (A-law), "mjpeg" and
  // "h264-aac", all 352x288 at 25 pictures/s, behind user "admin" and password "s3cret".
  bool StartCamera(const std::string& address);
  // The test camera with the two streams the services' profiles name: "main" (1920x1080) and
  // "sub" (640x360, G.711 mu-law), behind the same credentials.
  bool StartCameraWithProfiles(const std::string& address);
  // The services of a camera on `address` whose streams are on `streams` (a camera started
  // with StartCameraWithProfiles); `extra` goes on onvif_sim's command line. Null when it did
  // not start.
  testsupport::AlderSimProcess* StartServices(const std::string& address, const std::string& streams,
                                              const std::vector<std::string>& extra = {});

  // Writes the slots and `settings` into the configuration and opens the dialog with the real
  // connection work. Without `maintenance` the test runs the maintenance steps itself.
  bool OpenWithSlots(const std::vector<SimulatorSlot>& wanted, const CKorvelSettings& settings,
                     bool maintenance = true);

  // Window w's item in the window tree.
  QTreeWidgetItem* TreeItem(int w) const;

  std::unique_ptr<dvr_sim_test::DvrSimProcess> dvr_;
  std::unique_ptr<testsupport::AlderSimProcess> alder_;
  std::unique_ptr<testsupport::AlderSimProcess> camera_;
  std::vector<std::unique_ptr<testsupport::AlderSimProcess>> services_;
};

}  // namespace korvel_test
