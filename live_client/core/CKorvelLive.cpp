#include "live_client/core/CKorvelLive.h"

#include <cstring>
#include <mutex>

#include "camera_link/Camlink.h"
#include "common/TraceMessage.h"
#include "device_sdk/Ferrow/Ferrow.h"
#include "device_sdk/Orvane/Orvane.h"
#include "live_client/core/CKorvelDlg.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelIds.h"
#include "live_client/core/KorvelLogin.h"
#include "live_client/core/KorvelRecording.h"
#include "live_client/core/LoginInfo.h"
#include "live_client/core/PageInfo.h"
#include "live_client/core/PtzCodes.h"
#include "platform/MessageBox.h"

void CKorvelLive::RunCommand(int window, ConnectCommand command) {
  if (window < 0 || window >= kVideoWindowCount) return;
  switch (command) {
    case ConnectCommand::Connect:
      Connect(window);
      break;
    case ConnectCommand::Disconnect:
      Disconnect(window);
      break;
    case ConnectCommand::StartRecord:
      dialog_.Recording().StartManualRecord(window);
      break;
    case ConnectCommand::StopRecord:
      dialog_.Recording().StopManualRecord(window);
      break;
    case ConnectCommand::None:
      break;
  }
}

void CKorvelLive::Connect(int w) {
  const int p = dialog_.CurrentPage();
  std::lock_guard<platform::CriticalSection> table(g_csCameraTable);
  CCameraInfo& slot = g_PageInfo[p].camera[w];
  std::lock_guard<platform::CriticalSection> guard(slot.lock);
  slot.bBusy = 1;
  if (!slot.IsAssigned()) {
    dialog_.Skin().ShowMessage("IDS_CAMERA_NOASSIGN", platform::MB_OK, dialog_.Handle());
  } else if (!slot.bConnected) {
    CLoginInfo* login = nullptr;
    if (CheckLogin(login, slot)) {
      ConnectCamera(&dialog_, *login, slot, p, w);
    } else {
      const int result = StartLogin(&dialog_, login, slot);
      if (result == 0 && login) ConnectCamera(&dialog_, *login, slot, p, w);
      else ReportConnectFailure(&dialog_, result, w, p);
    }
  }
  slot.bTried = 1;
  slot.bBusy = 0;
  dialog_.UpdateIndicators(p, w);
}

void CKorvelLive::Disconnect(int w) {
  const int p = dialog_.CurrentPage();
  CCameraInfo& slot = g_PageInfo[p].camera[w];
  // A window that records or is armed by its timetable is asked about first. The question
  // waits for the operator on the UI thread, which may need this window's locks meanwhile, so
  // none is held while it is up.
  bool ask = false;
  {
    std::lock_guard<platform::CriticalSection> table(g_csCameraTable);
    std::lock_guard<platform::CriticalSection> guard(slot.lock);
    slot.bBusy = 1;
    ask = slot.IsAssigned() && slot.bTried && slot.bConnected && (slot.nRecKind || slot.bSchedOn);
  }
  if (ask && platform::MessageBox(dialog_.Handle(), dialog_.LanguageText("IDS_QUEST_DISCONNECT"),
                                  "KORVEL", platform::MB_YESNO | platform::MB_ICONQUESTION) !=
                 platform::IDYES) {
    {
      std::lock_guard<platform::CriticalSection> guard(slot.lock);
      slot.bBusy = 0;
      dialog_.UpdateIndicators(p, w);
    }
    dialog_.PostLayoutRefresh();
    return;
  }
  std::lock_guard<platform::CriticalSection> table(g_csCameraTable);
  CLoginInfo* login = nullptr;
  {
    std::unique_lock<platform::CriticalSection> guard(slot.lock);
    slot.bBusy = 1;
    if (slot.IsAssigned() && slot.bTried) {
      if (CheckLogin(login, slot)) {
        TraceMessage("[KORVEL] - Disconnect,  WND: %d. CALLID = %d\n", w, slot.hDecoder);
        ::StopPreview(&dialog_, *login, slot);
        dialog_.SetRecordMark(p, w, 0);
      } else {
        dialog_.Recording().DisarmSchedule(slot);
        TraceMessage("[KORVEL] - Disconnect, WND: %d: the server's login is not in the list", w);
      }
    }
    slot.bTried = 0;
    slot.bBusy = 0;
    dialog_.UpdateIndicators(p, w);
  }
  dialog_.PostLayoutRefresh();
  CheckLogout(&dialog_, login, &slot);
}

bool CKorvelLive::StopPreview(int page, int window) {
  CCameraInfo& slot = g_PageInfo[page].camera[window];
  std::lock_guard<platform::CriticalSection> guard(slot.lock);
  CLoginInfo* login = nullptr;
  if (!CheckLogin(login, slot)) return false;
  ::StopPreview(&dialog_, *login, slot);
  return true;
}

bool CKorvelLive::Reconnect(int page, int window) {
  CCameraInfo& slot = g_PageInfo[page].camera[window];
  std::lock_guard<platform::CriticalSection> guard(slot.lock);
  CLoginInfo* login = nullptr;
  if (!CheckLogin(login, slot)) return false;
  ConnectCamera(&dialog_, *login, slot, page, window);
  return true;
}

void CKorvelLive::DisconnectAll() {
  TraceMessage("[KORVEL] - DisConnnect, current page: %d", dialog_.CurrentPage());
  for (int p = 0; p < kPageCount; ++p) {
    for (int w = 0; w < kSlotsPerPage; ++w) {
      CCameraInfo& slot = g_PageInfo[p].camera[w];
      bool missing = false;
      {
        std::lock_guard<platform::CriticalSection> guard(slot.lock);
        slot.bBusy = 1;
        if (slot.IsAssigned() && slot.bConnected) {
          TraceMessage("[KORVEL] - DisConnnect slot %d", p * kSlotsPerPage + w);
          CLoginInfo* login = nullptr;
          if (CheckLogin(login, slot)) {
            ::StopPreview(&dialog_, *login, slot);
            slot.bConnected = 0;
          } else {
            missing = true;
          }
        }
        slot.bBusy = 0;
      }
      // Shown outside the slot's lock: the box is modal and loss reports need the slot.
      if (missing)
        dialog_.Skin().ShowMessage("IDS_NOFIND_LOGININFO", platform::MB_OK, dialog_.Handle());
      dialog_.UpdateIndicators(p, w);
    }
  }
}

void CKorvelLive::SendCameraPtz(int handle, int channel, int code, int start, int w) {
  // The pad speaks the kind-3 vocabulary to a camera; the library queues the command and
  // sends it on its own thread, so the pad never waits for the camera.
  int result = CML_ERR_NOT_SERVED;
  int command = 0;
  switch (code) {
    case kPtzUp: command = CML_PTZ_UP; break;
    case kPtzDown: command = CML_PTZ_DOWN; break;
    case kPtzLeft: command = CML_PTZ_LEFT; break;
    case kPtzRight: command = CML_PTZ_RIGHT; break;
    case kPtzZoomIn: command = CML_PTZ_ZOOM_IN; break;
    case kPtzZoomOut: command = CML_PTZ_ZOOM_OUT; break;
    case kPtzFocusNear: command = CML_PTZ_FOCUS_NEAR; break;
    case kPtzFocusFar: command = CML_PTZ_FOCUS_FAR; break;
    case kPtzIrisOpen: command = CML_PTZ_IRIS_OPEN; break;
    case kPtzIrisClose: command = CML_PTZ_IRIS_CLOSE; break;
    default: break;
  }
  if (command != 0) {
    result = CMLPtzControl(handle, channel, command, start != 0 ? 1 : 0);
  } else if (code == kPtzPresetAdd || code == kPtzPresetClear || code == kPtzPresetGoto) {
    // A preset command carries the preset number where the buttons carry their press.
    if (start <= 0) return;
    const int action = code == kPtzPresetAdd ? CML_PRESET_SET
                       : code == kPtzPresetClear ? CML_PRESET_CLEAR
                                                 : CML_PRESET_GOTO;
    result = CMLPtzPreset(handle, channel, action, start);
  }
  if (result == CML_OK) {
    TraceMessage("[KORVEL] - camera PTZ %d START: %d of window %d queued", code, start, w + 1);
  } else if (result == CML_ERR_NOT_SERVED) {
    TraceMessage("[KORVEL] - PTZ %d of window %d not served by the camera: nothing sent", code, w + 1);
  } else {
    TraceMessage("[KORVEL] - PTZ %d of window %d not sent: %d", code, w + 1, result);
  }
}

void CKorvelLive::Ptz(platform::WPARAM code, platform::LPARAM start) {
  TraceMessage("[KORVEL] - [CLIENT]   ---   Yuntai Control:");
  const int w = g_nCurWnd;
  if (w < 0 || w >= kVideoWindowCount) return;
  const int p = dialog_.CurrentPage();
  CCameraInfo& slot = g_PageInfo[p].camera[w];
  int kind, channel, handle, servicesPort;
  std::string user;
  {
    std::lock_guard<platform::CriticalSection> guard(slot.lock);
    kind = slot.nKind;
    channel = slot.nChannel;
    handle = slot.hDvr;
    user = slot.strUser;
    servicesPort = slot.nPort2;
  }
  int c = static_cast<int>(code);
  int s = static_cast<int>(start);
  if (kind == kKindCamera) {
    if (servicesPort <= 0) {
      // A camera reached over RTSP alone takes no PTZ command.
      TraceMessage("[KORVEL] - PTZ %d of window %d not sent: the camera has no PTZ service", c, w + 1);
      return;
    }
    SendCameraPtz(handle, channel, c, s, w);
    return;
  }
  if (kind == kKindAlder) {
    if (c == kPtzAutoOn) {
      if (s == 0) return;
      int& state = dialog_.m_nAutoScan[p * kSlotsPerPage + w];
      c = state == 0 ? kPtzAutoOn : kPtzAutoOff;
      state = state == 0 ? 1 : 0;
      s = 1;
    }
    unsigned char payload[kAlderPtzPayloadBytes];
    BuildAlderPtzPayload(payload, channel, c, s, user);
    TraceMessage("[KORVEL] - [CLIENT]   ---   YUNTAI: HANDLER: %d, CHANNEL: %d, ID: %d, STOP:%d",
                 handle, channel, c, s);
    FRWRequestEx(handle, channel, FRW_REQUEST_PTZ, FRW_REQUEST_PTZ_SUB, payload,
                 FRW_PTZ_PAYLOAD_BYTES, nullptr, nullptr, 0, 0);
  } else {
    TraceMessage("[KORVEL] - ZL: Yuitai Control - cmd: %d, START: %d", c, s);
    unsigned char record[kDvrPtzRecordBytes];
    BuildDvrPtzRecord(record, channel, c, s);
    ORVANE_PTZ command;
    static_assert(sizeof command == kDvrPtzRecordBytes);
    std::memcpy(&command, record, sizeof command);
    ORVANE_PtzControl(handle, &command);
  }
}
