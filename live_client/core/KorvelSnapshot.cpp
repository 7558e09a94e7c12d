#include "live_client/core/KorvelSnapshot.h"

#include <climits>
#include <cstdint>
#include <mutex>
#include <thread>

#include "camera_link/Camlink.h"
#include "common/TraceMessage.h"
#include "decoder_library/Halvane.h"
#include "device_sdk/Orvane/Orvane.h"
#include "live_client/core/CKorvelDlg.h"
#include "live_client/core/PageInfo.h"
#include "live_client/settings/KorvelSettings.h"
#include "live_client/skin/TextFormat.h"
#include "live_client/storage/MDiskManager.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"

std::string SnapshotFolder(const std::string& snapPath, const std::string& address, int channel) {
  return FormatText("%s\\", {snapPath}) + FormatText("%s\\", {address}) +
         FormatText("%02d\\", {static_cast<long long>(channel + 1)});
}

std::string SnapshotFileName(int format, const platform::LocalTime& time) {
  switch (format) {
    case 0: return platform::FormatTime("%Y%m%d-%H%M%S.JPG", time);
    case 1: return platform::FormatTime("%Y%m%d-%H%M%S.BMP", time);
    default: return {};
  }
}

std::string SnapshotDrive(const std::string& snapPath) {
  const std::size_t slash = snapPath.find('\\');
  return slash == std::string::npos ? snapPath : snapPath.substr(0, slash + 1);
}

int SnapshotFreeSpaceMB(MDiskManager& disks, const std::string& snapPath) {
  const bool onDrive = snapPath.size() >= 2 && snapPath[1] == ':' &&
                       ((snapPath[0] >= 'A' && snapPath[0] <= 'Z') || (snapPath[0] >= 'a' && snapPath[0] <= 'z'));
  if (onDrive) return disks.FreeSpaceMB(SnapshotDrive(snapPath));
  platform::DiskSpace space;
  if (!platform::GetFolderFreeSpace(platform::ToHostPath(snapPath), space)) return -1;
  const std::uint64_t mb = space.total_free_bytes >> 20;
  return mb > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(mb);
}

namespace {

// Fetches the camera's own picture on a thread of its own, so the operator never waits for the
// camera; when the camera has none or the fetch fails, the decoder writes the decoded picture
// to the same file instead. The thread touches only the two libraries, by handle: a handle
// closed meanwhile just fails the call.
void SnapFromCamera(int handle, int channel, int decoder, const std::string& windowsPath) {
  std::thread([handle, channel, decoder, windowsPath] {
    const std::string hostPath = platform::ToHostPath(windowsPath);
    const int fetched = CMLGetSnapshot(handle, channel, hostPath.c_str());
    if (fetched == CML_OK) {
      TraceMessage("[KORVEL] - snapshot %s: the camera's picture", windowsPath.c_str());
      return;
    }
    TraceMessage("[KORVEL] - snapshot %s: no picture from the camera (%d), the decoded one instead",
                 windowsPath.c_str(), fetched);
    if (DEC_Snap(decoder, windowsPath.c_str()) == 0)
      TraceMessage("[KORVEL] - snapshot %s: the decoder took none either", windowsPath.c_str());
  }).detach();
}

}  // namespace

SnapshotResult TakeSnapshot(CKorvelDlg& dialog, int w) {
  SnapshotResult result;
  TraceMessage("[KORVEL] - Snapshot: %d", w);
  if (w < 0 || w >= kVideoWindowCount) return result;

  const int freeMB = SnapshotFreeSpaceMB(dialog.Disks(), dialog.m_strSnapPath);
  if (freeMB < kSnapshotMinFreeMB) {
    TraceMessage("[KORVEL] - snapshot folder %s: %d MB free", dialog.m_strSnapPath.c_str(), freeMB);
    dialog.Skin().ShowMessage("IDS_SNAP_NOSPACE", platform::MB_OK, dialog.Handle());
    result.outcome = SnapshotOutcome::NoSpace;
    return result;
  }

  CCameraInfo& slot = g_PageInfo[dialog.CurrentPage()].camera[w];
  std::string address;
  int kind, channel, decoder, handle, servicesPort, connected;
  {
    std::lock_guard<platform::CriticalSection> guard(slot.lock);
    address = slot.strAddr;
    kind = slot.nKind;
    channel = slot.nChannel;
    decoder = slot.hDecoder;
    handle = slot.hDvr;
    servicesPort = slot.nPort2;
    connected = slot.bConnected;
  }
  // A camera's address may carry its stream path: its folder is named after the host only.
  const std::string folder =
      SnapshotFolder(dialog.m_strSnapPath, kind == kKindCamera ? CameraHostOf(address) : address, channel);
  const std::string name = SnapshotFileName(dialog.m_nSnapFormat, platform::GetLocalTime());
  result.path = folder + name;

  bool saved = false;
  if (!name.empty()) {
    // A camera with services hands its own picture (full size, never decoded) to a JPEG
    // snapshot; a BMP one is the decoded picture as for every other window.
    if (kind == kKindCamera && servicesPort > 0 && connected && dialog.m_nSnapFormat == 0) {
      platform::FileError error = platform::FileError::None;
      if (!platform::CreateFolderTree(folder, &error))
        TraceMessage("[KORVEL] - cannot create %s: %s", folder.c_str(), platform::FileErrorText(error));
      SnapFromCamera(handle, channel, decoder, result.path);
      saved = true;
    } else if (DecodesOnClient(kind)) {
      platform::FileError error = platform::FileError::None;
      if (!platform::CreateFolderTree(folder, &error))
        TraceMessage("[KORVEL] - cannot create %s: %s", folder.c_str(), platform::FileErrorText(error));
      saved = DEC_Snap(decoder, result.path.c_str()) != 0;
    } else {
      const int code = ORVANE_snapshot(handle, channel, folder.c_str(), name.c_str());
      if (code != 0) TraceMessage("[KORVEL] - ORVANE_snapshot Err: %d", code);
      saved = code == 0;
    }
  }
  result.outcome = saved ? SnapshotOutcome::Saved : SnapshotOutcome::Failed;
  NotifySnapshotResult(dialog, saved, result.path);
  return result;
}
